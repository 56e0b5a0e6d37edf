// The settings answers: the card-port settings read from an identity's
// hexadecimal text, the Uniprog read answer, and the device's verdict on
// a command. The same input is read as text and as answer bytes.

#include "FuzzCheck.h"

#include "protocol/CommandText.h"
#include "protocol/Exchange.h"
#include "protocol/SettingsAnswers.h"
#include "protocol/SettingsCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace talvex;

namespace {

constexpr std::uint8_t kUniprogReadCode = 0x42;
constexpr std::size_t kUniprogAnswerLength = 9;
constexpr std::size_t kLastSettingsCharacter = 56; // stop bits end here

bool inTable(std::optional<int> index, std::size_t count)
{
    return !index || (*index >= 0 && static_cast<std::size_t>(*index) < count);
}

bool sameFields(const ReaderPortSettings& a, const ReaderPortSettings& b)
{
    return a.clockButton == b.clockButton && a.phoenixClockButton == b.phoenixClockButton &&
           a.speedButton == b.speedButton && a.parityButton == b.parityButton && a.addedStopBits == b.addedStopBits;
}

void checkReaderPortText(std::string_view text)
{
    const ReaderPortSettings settings = parseReaderPortSettings(text);
    FUZZ_CHECK(settings.readerDigit == (text.size() > 3 ? std::optional<char>(text[3]) : std::nullopt));
    // A short text yields nothing for the fields it lacks.
    FUZZ_CHECK(text.size() >= 50 || (!settings.clockButton && !settings.phoenixClockButton));
    FUZZ_CHECK(text.size() >= 52 || !settings.speedButton);
    FUZZ_CHECK(text.size() >= 54 || !settings.parityButton);
    FUZZ_CHECK(text.size() >= 56 || !settings.addedStopBits);
    FUZZ_CHECK(inTable(settings.clockButton, kClockButtons.size()));
    FUZZ_CHECK(inTable(settings.phoenixClockButton, kPhoenixClockButtons.size()));
    FUZZ_CHECK(inTable(settings.speedButton, kSpeedButtons.size()));
    FUZZ_CHECK(inTable(settings.parityButton, kParityButtons.size()));
    FUZZ_CHECK(!settings.addedStopBits || (*settings.addedStopBits >= 0 && *settings.addedStopBits <= 0xFF));

    // Characters after the stop bits count for nothing.
    if (text.size() > kLastSettingsCharacter)
        FUZZ_CHECK(sameFields(parseReaderPortSettings(text.substr(0, kLastSettingsCharacter)), settings));

    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    FUZZ_CHECK(sameFields(parseReaderPortSettings(upper), settings));

    // Writing back what was read sends the same codes.
    if (settings.speedButton && settings.parityButton && settings.addedStopBits) {
        const auto frame = commandFrame(buildCardPortWrite(true, settings.speedButton, settings.parityButton,
                                                           *settings.addedStopBits));
        FUZZ_CHECK(frame.has_value());
        const std::vector<std::uint8_t> expected{0x03, 0x00, static_cast<std::uint8_t>(*settings.speedButton),
                                                 static_cast<std::uint8_t>(*settings.parityButton),
                                                 static_cast<std::uint8_t>(*settings.addedStopBits)};
        FUZZ_CHECK(*frame == expected);
    }
}

void checkUniprogAnswer(const std::vector<std::uint8_t>& answer)
{
    const std::optional<UniprogChoice> choice = parseUniprogAnswer(answer);
    const bool shaped = answer.size() >= kUniprogAnswerLength && answer[0] == kUniprogReadCode && answer[1] == 0x00;
    FUZZ_CHECK(choice.has_value() == shaped);
    // A Uniprog answer is only read when the device confirmed the read.
    FUZZ_CHECK(!choice || isCommandSuccess({kUniprogReadCode}, answer));
    if (!choice)
        return;

    const std::optional<int> lists[] = {choice->clock1, choice->clock2, choice->baud1,
                                        choice->baud2,  choice->baudCom1, choice->baudCom2};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t count = i < 2 ? kUniprogClockItems.size() : kUniprogBaudItems.size();
        FUZZ_CHECK(inTable(lists[i], count));
        // FF is "Default", the last entry of each list.
        if (answer[3 + i] == 0xFF)
            FUZZ_CHECK(lists[i] == static_cast<int>(count) - 1);
    }

    const std::vector<std::uint8_t> head(answer.begin(), answer.begin() + kUniprogAnswerLength);
    FUZZ_CHECK(parseUniprogAnswer(head) == choice);

    // What was read, written back, carries the same six codes; clock 8 and
    // baud 3 are the lists' "Default", which a write sends as FF.
    const BuiltCommand write = buildUniprogWrite(*choice);
    const bool complete = std::all_of(std::begin(lists), std::end(lists), [](auto list) { return list.has_value(); });
    FUZZ_CHECK(write.ok() == complete);
    if (complete) {
        const auto frame = commandFrame(write.text);
        FUZZ_CHECK(frame && frame->size() == 10);
        for (std::size_t i = 0; i < 6; ++i) {
            const std::uint8_t defaultValue = i < 2 ? 8 : 3;
            const std::uint8_t read = answer[3 + i];
            FUZZ_CHECK((*frame)[2 + i] == (read == defaultValue ? 0xFF : read));
        }
    }
}

void checkCommandVerdict(const std::vector<std::uint8_t>& answer)
{
    const bool success = isCommandSuccess({kUniprogReadCode}, answer);
    FUZZ_CHECK(success == (answer.size() >= 2 && answer[0] == kUniprogReadCode && answer[1] == 0x00));
    // Without a command nothing was confirmed.
    FUZZ_CHECK(!isCommandSuccess({}, answer));
    if (!answer.empty())
        FUZZ_CHECK(isCommandSuccess({answer[0]}, answer) == (answer.size() >= 2 && answer[1] == 0x00));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> answer(data, data + size);
    checkReaderPortText(std::string_view(reinterpret_cast<const char*>(data), size));
    checkUniprogAnswer(answer);
    checkCommandVerdict(answer);
    return 0;
}
