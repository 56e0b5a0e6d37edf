#pragma once

#include "serial/LowLatency.h"
#include "serial/SerialPort.h"

#include <memory>

#include <termios.h>

namespace talvex {

/// A termios serial port (a USB-serial adapter, a UART or a pseudo-terminal
/// slave). PosixPortHost opens and locks the descriptor; this object owns it
/// from then on and, when destroyed, puts back the termios found at open,
/// drops the locks and closes it.
///
/// The descriptor stays non-blocking: every wait goes through poll() so
/// that a device that vanishes or stops accepting data cannot hang us.
class PosixSerialPort final : public SerialPort {
public:
    /// Takes ownership of `fd`, which is locked (flock) and exclusive
    /// (TIOCEXCL); `original` is what the destructor restores.
    PosixSerialPort(int fd, const termios& original);
    ~PosixSerialPort() override;

    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool sendByte(std::uint8_t byte) override;
    bool writeBlock(const std::uint8_t* data, std::size_t length) override;
    ReadResult read(std::uint8_t* buffer, std::size_t capacity) override;
    std::optional<std::uint32_t> modemStatus() override;
    Status presence() override;
    LineSettings currentSettings() const override;

    /// On failure errno says why (EINVAL for a malformed string or a
    /// setting termios cannot express), so the host can report it.
    bool applyMode(const std::string& mode) override;

    /// Low latency on the chip while the port is held (FTDI adapters).
    void holdLowLatency(SerialFlagsAccess& access) { m_lowLatency = std::make_unique<LowLatencyHold>(m_fd, access); }

private:
    bool setModemLine(int line, bool on);

    int m_fd;
    termios m_original;
    LineSettings m_applied; ///< fallback when the settings cannot be read back
    std::unique_ptr<LowLatencyHold> m_lowLatency;
};

} // namespace talvex
