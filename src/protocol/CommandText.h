#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// Largest frame one command may carry.
inline constexpr std::size_t kMaxFrameBytes = 1024;

/// Digit value in command text: "1"-"9" and "A"-"F" count; every other
/// character, lower case included, counts 0 — the device's own convention,
/// so callers always build commands in upper case.
int commandDigitValue(char digit);

std::uint8_t hexPairToByte(char high, char low);

/// The bytes of a command text; a trailing odd digit is dropped. Nothing
/// when the text would make more than kMaxFrameBytes bytes.
std::optional<std::vector<std::uint8_t>> commandFrame(std::string_view text);

/// Two upper-case digits per byte, so byte i sits at characters 2i, 2i+1.
std::string toHexText(const std::vector<std::uint8_t>& bytes);

/// Case-blind value of a character in hexadecimal text read back from the
/// device: "0"-"9", "A"-"Z" (value minus 55), "a"-"z" (value minus 87);
/// nothing for other characters, which readers skip.
std::optional<int> textDigitValue(char digit);

} // namespace talvex
