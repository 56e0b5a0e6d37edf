#pragma once

#include "protocol/SettingsCommands.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace talvex {

/// What an identification answer says about the reader's card port, as the
/// settings window's buttons: indices into kClockButtons,
/// kPhoenixClockButtons, kSpeedButtons and kParityButtons. A field the
/// answer does not carry, or carries with a value outside the table, is
/// nothing (no button of that group checked).
struct ReaderPortSettings {
    std::optional<int> clockButton;
    std::optional<int> phoenixClockButton;
    std::optional<int> speedButton;
    std::optional<int> parityButton;
    std::optional<int> addedStopBits; ///< SpinBox1
    std::optional<char> readerDigit;  ///< character 3 of the text
};

/// Reads the hexadecimal text of an application identity (the answer text
/// of an identification): clock in Hz at characters 44-49, speed code at
/// 50-51, parity code at 52-53, added stop bits at 54-55. A short or
/// malformed text yields nothing for the fields it lacks.
ReaderPortSettings parseReaderPortSettings(std::string_view answerText);

/// The list entries a Uniprog read answer selects: bytes 3-8 hold the clock
/// codes R1, R2, the baud codes R1, R2 and the baud COM codes R1, R2. FF
/// selects "Default"; a value outside a list selects nothing. Nothing at all
/// for a failed or short (under 9 bytes) answer.
std::optional<UniprogChoice> parseUniprogAnswer(const std::vector<std::uint8_t>& answer);

} // namespace talvex
