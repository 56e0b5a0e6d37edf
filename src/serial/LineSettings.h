#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talvex {

/// Parity codes as the platform numbers them (0 none … 4 space).
enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

/// Stop-bit codes as the platform numbers them (0 one, 1 one and a half, 2 two).
enum class StopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };

struct LineSettings {
    std::uint32_t baudRate = 0;
    Parity parity = Parity::None;
    std::uint8_t dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings&) const = default;
};

/// Parses a mode string of the form "115200,N,8,1" (baud, parity letter,
/// data bits, stop bits). Nothing when it is malformed.
std::optional<LineSettings> parseModeString(const std::string& mode);

/// The settings printout of the smartcard tool, appended to a log pane:
/// "\r\n\r\n<title>" then baud rate, parity, bits and stop bits.
std::string describeLineSettings(const std::string& title, const LineSettings& settings);

} // namespace talvex
