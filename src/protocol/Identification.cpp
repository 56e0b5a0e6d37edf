#include "protocol/Identification.h"

#include "common/Clock.h"
#include "protocol/AnswerWait.h"
#include "protocol/CommandText.h"
#include "protocol/Exchange.h"
#include "protocol/LineSequences.h"
#include "protocol/VersionText.h"
#include "serial/PortSlot.h"

namespace talvex {
namespace {

std::string textAt(const std::string& text, std::size_t position, std::size_t length)
{
    return position < text.size() ? text.substr(position, length) : std::string();
}

IdentityFields fieldsAt(const std::vector<std::uint8_t>& answer, std::size_t serialAt, std::size_t versionAt)
{
    const std::string hex = toHexText(answer);
    IdentityFields fields;
    fields.readerDigit = hex.size() > 3 ? hex[3] : 0;
    fields.serialNumber = textAt(hex, serialAt, 32);
    fields.versionDigits = textAt(hex, versionAt, 3);
    fields.answerText = textAt(hex, 0, 64);
    return fields;
}

std::vector<std::uint8_t> askFor(PortSlot& port, Clock& clock, std::uint8_t code, int waitMs)
{
    port.sendByte(code);
    return awaitAnswer(port, clock, waitMs, kDiscoveryAnswerCapacity,
                       code == kIdentifyCode ? AnswerComplete(isWholeIdentifyAnswer) : AnswerComplete(isWholeIdentity));
}

} // namespace

std::optional<int> readerOfDigit(SpeedVariant variant, char readerDigit)
{
    const char first = variant == SpeedVariant::LowSpeed1 ? '0' : '1';
    if (readerDigit == first)
        return 1;
    if (readerDigit == first + 1)
        return 2;
    return std::nullopt;
}

bool isBootLoaderAnswer(const std::vector<std::uint8_t>& answer)
{
    return answer.size() == kBootAnswerLength && answer[0] == kIdentifyCode;
}

bool isApplicationGreeting(const std::vector<std::uint8_t>& answer)
{
    return answer.size() >= 2 && (answer[0] == kApplicationAnswer1 || answer[0] == kApplicationAnswer2);
}

bool isApplicationIdentity(const std::vector<std::uint8_t>& answer)
{
    return answer.size() == kApplicationAnswerLength;
}

IdentityFields bootLoaderFields(const std::vector<std::uint8_t>& answer)
{
    return fieldsAt(answer, 10, 43);
}

IdentityFields applicationFields(const std::vector<std::uint8_t>& answer)
{
    return fieldsAt(answer, 12, 61);
}

LineSequence scanPreparation(SpeedVariant variant, int answerDelayMs)
{
    return lineSequence(scanPreparationOf(variant), answerDelayMs);
}

LineSequence shortenedPreparation(SpeedVariant variant)
{
    switch (variant) {
    case SpeedVariant::LowSpeed1: return lineSequence(LinePreparation::ShortLowSpeed1);
    case SpeedVariant::LowSpeed2: return lineSequence(LinePreparation::ShortLowSpeed2);
    case SpeedVariant::Normal: break;
    }
    return {};
}

LineSequence selectedPortPreparation(SpeedVariant variant)
{
    return lineSequence(selectedPortPreparationOf(variant));
}

int identificationWaitMs(SpeedVariant variant, int answerDelayMs)
{
    return variant == SpeedVariant::Normal ? answerDelayMs : 250;
}

IdentifyResult identify(PortSlot& port, Clock& clock, SpeedVariant variant, int answerDelayMs)
{
    const int waitMs = identificationWaitMs(variant, answerDelayMs);
    IdentifyResult result;

    port.readAll(kDiscoveryAnswerCapacity);
    runLineSequence(port, clock, shortenedPreparation(variant));

    std::vector<std::uint8_t> answer = askFor(port, clock, kIdentifyCode, waitMs);
    if (isApplicationGreeting(answer)) {
        runLineSequence(port, clock, shortenedPreparation(variant));
        answer = askFor(port, clock, kApplicationIdentityCode, waitMs);
        if (isApplicationIdentity(answer)) {
            result.mode = ProgrammerMode::Application;
            result.fields = applicationFields(answer);
        }
    } else if (isBootLoaderAnswer(answer)) {
        result.mode = ProgrammerMode::BootLoader;
        result.fields = bootLoaderFields(answer);
    }
    if (result.mode != ProgrammerMode::None) {
        result.versionText = firmwareVersionText(result.fields.versionDigits);
        result.answer = answer;
    }
    clock.sleepMs(waitMs);
    return result;
}

} // namespace talvex
