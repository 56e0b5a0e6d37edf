#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvex {

/// The characters a USB serial number may hold: space,
/// digits, lower- and upper-case letters.
constexpr std::string_view kUsbSerialCharacters =
    " 0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

/// The first 8 characters, padded with spaces to 8, as the listing fills
/// and as the serial descriptor's 8 slots take it.
std::string padUsbSerial(std::string_view text);

/// At most 8 characters, each one of kUsbSerialCharacters.
bool isUsbSerialText(std::string_view text);

/// Whether `text` may be written as a USB serial number: 1 to 8 allowed
/// characters, the first a digit or letter (a leading blank hides the chip
/// from listings that skip such numbers, and from scripts that split on
/// blanks). The one check for a write and for an image file.
bool isWritableUsbSerial(std::string_view text);
/// What the user is told when it is not.
constexpr std::string_view kUsbSerialRule =
    "Use 1 to 8 digits, letters or spaces, starting with a digit or letter";

/// The USB serial number derived from the programmer's serial number:
/// its characters 15 to 22 (counting from 1). Nothing unless the text is
/// exactly 32 hexadecimal digits, as a connected programmer shows it.
std::optional<std::string> usbSerialFromProgrammerSerial(std::string_view programmerSerial);

} // namespace talvex
