// The answers to an identification: which ones pass for a boot loader or
// an application identity, the fields cut out of them and the version text
// (SettingsAnswerFuzz reads the card-port settings from such a text).

#include "FuzzCheck.h"

#include "protocol/CommandText.h"
#include "protocol/Identification.h"
#include "protocol/VersionText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace talvex;

namespace {

constexpr std::size_t kBootSerialByte = 5;
constexpr std::size_t kApplicationSerialByte = 6;
constexpr std::size_t kSerialBytes = 16;
// The version: the low digit of this byte (the major) and the next byte.
constexpr std::size_t kBootVersionByte = 21;
constexpr std::size_t kApplicationVersionByte = 30;

bool isUpperHex(const std::string& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

void checkFields(const std::vector<std::uint8_t>& answer, const IdentityFields& fields, bool hit,
                 std::size_t serialByte, std::size_t versionByte)
{
    const std::string hex = toHexText(answer);
    // Bounded whatever arrives: the buffers behind these are fixed.
    FUZZ_CHECK(fields.serialNumber.size() <= 32);
    FUZZ_CHECK(fields.versionDigits.size() <= 3);
    FUZZ_CHECK(fields.answerText == hex.substr(0, 64));
    FUZZ_CHECK(fields.readerDigit == (hex.size() > 3 ? hex[3] : 0));
    if (hit) {
        const std::vector<std::uint8_t> serial(answer.begin() + static_cast<std::ptrdiff_t>(serialByte),
                                               answer.begin() + static_cast<std::ptrdiff_t>(serialByte + kSerialBytes));
        FUZZ_CHECK(fields.serialNumber == toHexText(serial));
        FUZZ_CHECK(fields.versionDigits.size() == 3 && isUpperHex(fields.versionDigits));
        FUZZ_CHECK(fields.versionDigits == toHexText({answer[versionByte], answer[versionByte + 1]}).substr(1));
    }

    const std::string text = firmwareVersionText(fields.versionDigits);
    FUZZ_CHECK(text.empty() == fields.versionDigits.empty());
    if (!text.empty()) {
        // The text and the number agree: major character, then the minor.
        const char major = fields.versionDigits[0];
        const int majorValue = major >= '0' && major <= '9' ? major - '0' : 0;
        const int minor = firmwareVersionNumber(fields.versionDigits) - majorValue * 100;
        FUZZ_CHECK(minor >= 0 && minor <= 0xFF);
        char expected[16];
        std::snprintf(expected, sizeof expected, "%c.%02d", major, minor);
        FUZZ_CHECK(text == expected);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> answer(data, data + size);

    const bool boot = isBootLoaderAnswer(answer);
    const bool application = isApplicationIdentity(answer);
    // Taken only in its exact layout: a fragment or a longer burst is no hit.
    FUZZ_CHECK(boot == (answer.size() == kBootAnswerLength && answer[0] == kIdentifyCode));
    FUZZ_CHECK(application == (answer.size() == kApplicationAnswerLength));
    FUZZ_CHECK(isApplicationGreeting(answer) ==
               (answer.size() >= 2 && (answer[0] == kApplicationAnswer1 || answer[0] == kApplicationAnswer2)));

    checkFields(answer, bootLoaderFields(answer), boot, kBootSerialByte, kBootVersionByte);
    checkFields(answer, applicationFields(answer), application, kApplicationSerialByte,
                kApplicationVersionByte);

    if (answer.size() > kApplicationAnswerLength) {
        // Bytes past the longest layout change no field.
        const std::vector<std::uint8_t> head(answer.begin(), answer.begin() + kApplicationAnswerLength);
        const IdentityFields whole = applicationFields(answer);
        const IdentityFields cut = applicationFields(head);
        FUZZ_CHECK(whole.serialNumber == cut.serialNumber && whole.versionDigits == cut.versionDigits &&
                   whole.answerText == cut.answerText && whole.readerDigit == cut.readerDigit);
    }
    return 0;
}
