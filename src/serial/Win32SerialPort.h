#pragma once

#include "serial/SerialPort.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>

namespace talvex {

class D2xxLatencyHold;

/// A COM port opened for synchronous I/O. Modem lines are driven through
/// the DCB only, the way the device has always been driven.
class Win32SerialPort final : public SerialPort {
public:
    /// Takes over an open comm handle and remembers its time-outs and DCB,
    /// to put them back on close.
    explicit Win32SerialPort(HANDLE handle);
    ~Win32SerialPort() override;

    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    /// The fixed 20 ms read and write time-outs; false when the driver
    /// refuses them (GetLastError says why).
    bool applyFixedTimeouts();

    /// Kept until the handle is closed, then ended: the chip's latency
    /// timer goes back only once D2XX can open the channel again.
    void keepLatencyHold(std::unique_ptr<D2xxLatencyHold> hold);

    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool sendByte(std::uint8_t byte) override;
    bool writeBlock(const std::uint8_t* data, std::size_t length) override;
    ReadResult read(std::uint8_t* buffer, std::size_t capacity) override;
    std::optional<std::uint32_t> modemStatus() override;
    Status presence() override;
    LineSettings currentSettings() const override;
    bool applyMode(const std::string& mode) override;

    /// What close puts back: the settings found at open, but the modem
    /// lines as they are now, so closing raises no line that the tool had
    /// dropped (a glitch every probed device would see).
    static DCB dcbForClose(const DCB& saved, const DCB& current);

    /// UTF-8 (or, failing that, the ANSI code page) to UTF-16 for the W
    /// calls; empty when neither reading works.
    static std::wstring toWide(const std::string& text);

private:
    HANDLE m_handle;
    COMMTIMEOUTS m_savedTimeouts{};
    DCB m_savedDcb{};
    bool m_haveSavedTimeouts = false;
    bool m_haveSavedDcb = false;
    std::unique_ptr<D2xxLatencyHold> m_latency;
};

} // namespace talvex
