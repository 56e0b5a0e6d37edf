#pragma once

#include "serial/LineSettings.h"
#include "serial/ReadResult.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace talvex {

/// Modem status bit the device uses for card presence.
inline constexpr std::uint32_t kModemStatusCts = 0x10;

/// Every read of the tool ends after this much silence.
inline constexpr int kReadTimeoutMs = 20;

/// One open serial port. Backends: POSIX (termios), Win32 and the simulated
/// programmer. A port is opened by a PortHost with the fixed 20 ms read and
/// write time-outs and the mode string applied; destroying it closes it and
/// puts back the settings it had before.
///
/// Line calls report failure but callers ignore it, as the device protocol
/// does: a pseudo-terminal, for one, has no modem lines.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;

    /// Sends one byte ahead of pending output.
    virtual bool sendByte(std::uint8_t byte) = 0;

    /// Plain write of a block; true when every byte was written.
    virtual bool writeBlock(const std::uint8_t* data, std::size_t length) = 0;

    /// One read of up to `capacity` bytes that returns after at most the
    /// read time-out. With no bytes, the status tells silence (TimedOut)
    /// from a device that vanished (Gone); a vanished device still takes
    /// the time-out, so a polling caller cannot spin.
    virtual ReadResult read(std::uint8_t* buffer, std::size_t capacity) = 0;

    /// The modem status bits (CTS is kModemStatusCts); nothing on failure.
    virtual std::optional<std::uint32_t> modemStatus() = 0;

    /// Ok while the device behind the port is there as far as the system
    /// knows, Gone once it vanished (unplugged). Asks without reading, so
    /// a thread that only watches lines can notice.
    virtual Status presence() = 0;

    virtual LineSettings currentSettings() const = 0;

    /// Applies a mode string such as "9600,N,8,1"; false when the string is
    /// malformed or the platform refuses it.
    virtual bool applyMode(const std::string& mode) = 0;
};

} // namespace talvex
