#include "protocol/SettingsAnswers.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace talvex {
namespace {

constexpr std::size_t kClockAt = 44;
constexpr std::size_t kSpeedAt = 50;
constexpr std::size_t kParityAt = 52;
constexpr std::size_t kStopBitsAt = 54;
constexpr std::size_t kReaderDigitAt = 3;

constexpr std::uint8_t kUniprogReadCode = 0x42;
constexpr std::size_t kUniprogAnswerLength = 9;
constexpr std::size_t kUniprogCodesAt = 3;

// The card clocks the device reports, in Hz as six hex digits, and the
// buttons each one checks in the two clock groups.
struct ReportedClock {
    std::string_view hz;
    std::optional<int> clockButton;
    std::optional<int> phoenixClockButton;
};

constexpr ReportedClock kReportedClocks[] = {
    {"368120", std::nullopt, 0}, // 3.572 MHz
    {"345670", 0, std::nullopt}, // 3.43 MHz
    {"384E10", std::nullopt, 1}, // 3.69 MHz
    {"3D0900", 1, 2},            // 4.00 MHz
    {"493E00", 2, 3},            // 4.80 MHz
    {"5B8D80", 3, 4},            // 6.00 MHz
    {"7A1200", 4, 5},            // 8.00 MHz
    {"B71B00", 5, 6},            // 12.00 MHz
};

std::optional<int> hexDigit(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(digit)));
    if (upper >= 'A' && upper <= 'F')
        return upper - 'A' + 10;
    return std::nullopt;
}

// The byte written as two hex digits at `position`; nothing when the text
// ends before or the digits are not hex.
std::optional<int> byteAt(std::string_view text, std::size_t position)
{
    if (position + 2 > text.size())
        return std::nullopt;
    const auto high = hexDigit(text[position]);
    const auto low = hexDigit(text[position + 1]);
    if (!high || !low)
        return std::nullopt;
    return *high * 16 + *low;
}

// A code "00".."count-1" as the index of its button.
std::optional<int> buttonOf(std::optional<int> code, std::size_t count)
{
    if (code && *code >= 0 && static_cast<std::size_t>(*code) < count)
        return code;
    return std::nullopt;
}

// A Uniprog code as its list entry: FF is the last item ("Default"),
// otherwise value minus `first`.
std::optional<int> uniprogItem(std::uint8_t code, std::size_t count, int first)
{
    if (code == 0xFF)
        return static_cast<int>(count) - 1;
    const int item = code - first;
    if (item >= 0 && static_cast<std::size_t>(item) < count)
        return item;
    return std::nullopt;
}

} // namespace

ReaderPortSettings parseReaderPortSettings(std::string_view answerText)
{
    ReaderPortSettings settings;
    if (answerText.size() > kReaderDigitAt)
        settings.readerDigit = answerText[kReaderDigitAt];

    if (answerText.size() >= kClockAt + 6) {
        std::string hz(answerText.substr(kClockAt, 6));
        std::transform(hz.begin(), hz.end(), hz.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        for (const ReportedClock& clock : kReportedClocks) {
            if (clock.hz == hz) {
                settings.clockButton = clock.clockButton;
                settings.phoenixClockButton = clock.phoenixClockButton;
                break;
            }
        }
    }
    settings.speedButton = buttonOf(byteAt(answerText, kSpeedAt), kSpeedButtons.size());
    settings.parityButton = buttonOf(byteAt(answerText, kParityAt), kParityButtons.size());
    settings.addedStopBits = byteAt(answerText, kStopBitsAt);
    return settings;
}

std::optional<UniprogChoice> parseUniprogAnswer(const std::vector<std::uint8_t>& answer)
{
    if (answer.size() < kUniprogAnswerLength || answer[0] != kUniprogReadCode || answer[1] != 0x00)
        return std::nullopt;
    const auto code = [&](std::size_t field) { return answer[kUniprogCodesAt + field]; };
    const auto clock = [](std::uint8_t value) { return uniprogItem(value, kUniprogClockItems.size(), 1); };
    const auto baud = [](std::uint8_t value) { return uniprogItem(value, kUniprogBaudItems.size(), 0); };
    UniprogChoice choice;
    choice.clock1 = clock(code(0));
    choice.clock2 = clock(code(1));
    choice.baud1 = baud(code(2));
    choice.baud2 = baud(code(3));
    choice.baudCom1 = baud(code(4));
    choice.baudCom2 = baud(code(5));
    return choice;
}

} // namespace talvex
