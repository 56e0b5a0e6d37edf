#pragma once

#include "serial/PortHost.h"
#include "ftdi/D2xxApi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace talvex {

/// What the tool asks of an FTDI chip's latency timer while it holds one of
/// its COM ports: a short answer then reaches the host after 1 ms instead
/// of the driver's 16.
inline constexpr std::uint8_t kLowLatencyTimerMs = 1;

/// 7 for "COM7" (any case); nothing for any other name.
std::optional<int> comPortNumber(const std::string& name);

/// The timer value a port was found with, put back when the hold ends.
class D2xxLatencyHold {
public:
    D2xxLatencyHold(std::shared_ptr<D2xxApi> api, int comNumber, UsbIdentity usb, std::uint8_t savedMs);
    /// Puts the saved value back; the COM port must be closed by then.
    ~D2xxLatencyHold();
    D2xxLatencyHold(const D2xxLatencyHold&) = delete;
    D2xxLatencyHold& operator=(const D2xxLatencyHold&) = delete;

    std::uint8_t savedMs() const { return m_savedMs; }

private:
    std::shared_ptr<D2xxApi> m_api;
    int m_comNumber;
    UsbIdentity m_usb;
    std::uint8_t m_savedMs;
};

/// What asking for low latency before one port open gave.
struct LatencyRequest {
    /// Set when the timer was lowered: keep it until the port is closed.
    std::unique_ptr<D2xxLatencyHold> hold;
    /// Set when an FTDI port keeps the driver's setting: the one log line
    /// saying so and why. Empty for other ports and when all went well.
    std::string logLine;
};

/// Lowers the latency timer of the FTDI channel behind the COM port `port`
/// through D2XX (`api`, null when the library is not loaded). Call it
/// before the port is opened: a D2XX device is open to one client at a
/// time, so FT_Open fails on a channel whose COM port is open; the timer is
/// set through a short-lived D2XX handle and put back the same way once the
/// port is closed. The channel is the D2XX device with the port's serial
/// number and channel letter ("TLVX0001A"), or, for a chip without a serial
/// number, any FTDI device; either way FT_GetComPortNumber must name the
/// port's COM number. Nothing is done for a port that is not an FTDI
/// chip's or whose timer is already that low.
LatencyRequest lowerLatencyTimer(const std::shared_ptr<D2xxApi>& api, const PortInfo& port);

} // namespace talvex
