#include "smartcard/ReaderFit.h"

#include "common/Clock.h"
#include "protocol/CommandText.h"
#include "protocol/Exchange.h"
#include "protocol/Identification.h"
#include "protocol/VersionText.h"
#include "serial/PortSlot.h"

#include <cmath>
#include <cstdio>

namespace talvex {
namespace {

// The identity's card-port fields (docs/ARCHITECTURE.md).
constexpr std::size_t kClockAt = 22;
constexpr std::size_t kSpeedAt = 25;
constexpr std::size_t kParityAt = 26;
constexpr std::size_t kStopBitsAt = 27;
// The device answers "00" within milliseconds; the card tool waits as long.
constexpr int kIdentityWaitMs = 200;
constexpr int kInitialF = 372;
// N = 255 asks for the minimum guard time, not for more.
constexpr int kMinimumGuardTime = 255;

std::string trimmed(std::string text)
{
    while (text.size() > 1 && text.back() == '0' && text.find('.') != std::string::npos)
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return trimmed(text);
}

bool near(double baud, double rate)
{
    return std::fabs(baud - rate) <= kRateTolerance * rate;
}

std::string fd(std::optional<int> f, std::optional<int> d)
{
    return "F=" + (f ? std::to_string(*f) : std::string("reserved")) +
        ", D=" + (d ? std::to_string(*d) : std::string("reserved"));
}

// Every clock and speed of the reader at which the card's rate fits,
// never above the card's maximum clock. In specific mode only the rate
// after the ATR counts: no PPS can bring another.
std::vector<ReaderFit::Setting> suitableSettings(const AtrTiming& timing)
{
    std::vector<ReaderFit::Setting> settings;
    for (const std::uint32_t clock : kReaderClocksHz) {
        if (timing.maxClockHz && clock > *timing.maxClockHz)
            continue;
        for (const std::uint32_t baud : kReaderBauds) {
            const auto offered = bitRate(clock, timing.f, timing.d);
            if (timing.specificMode) {
                if (!timing.implicitParameters && offered && near(baud, *offered))
                    settings.push_back({clock, baud, false});
            } else if (near(baud, *bitRate(clock, kInitialF, 1))) {
                settings.push_back({clock, baud, false});
            } else if (timing.ta1Present && offered && near(baud, *offered)) {
                settings.push_back({clock, baud, true});
            }
        }
    }
    return settings;
}

std::string suitableText(ReaderFit& fit, const AtrTiming& timing)
{
    fit.suitableSettings = suitableSettings(timing);
    if (fit.suitableSettings.empty())
        return "no clock and speed of the reader suit the card";
    std::string text = "settings that suit the card:";
    for (const ReaderFit::Setting& setting : fit.suitableSettings) {
        text += (&setting == &fit.suitableSettings.front() ? " " : ", ") + megahertz(setting.clockHz) + " with " +
            std::to_string(setting.baud) + " baud" + (setting.afterPps ? " after a PPS exchange" : "");
    }
    return text;
}

void specificVerdict(ReaderFit& fit, const AtrTiming& timing, const std::string& port, double baud)
{
    const std::string mode = "in specific mode (TA2, T=" + std::to_string(timing.specificProtocol) + ")";
    if (!fit.specificRate) {
        fit.verdict.push_back(std::string("the card works ") + mode + " at a rate the ATR does not give (" +
                              (timing.implicitParameters ? "implicit parameters" : "TA1 uses reserved values") +
                              "), and no PPS exchange can change it");
        return;
    }
    const std::string works = "it works at " + bitsPerSecond(*fit.specificRate) + " at " + megahertz(fit.clockHz) +
        " (" + fd(timing.f, timing.d) + ") right after the ATR, " + mode;
    if (near(baud, *fit.specificRate)) {
        fit.speed = ReaderFit::Speed::MatchesSpecific;
        fit.verdict.push_back(port + " suits the card: " + works);
        return;
    }
    fit.speed = ReaderFit::Speed::Mismatch;
    fit.verdict.push_back(port + " does not suit the card: " + works + ", and no PPS exchange can change that");
    fit.verdict.push_back(suitableText(fit, timing));
}

} // namespace

std::optional<std::uint32_t> cardPortBaud(int speedCode)
{
    switch (speedCode) {
    case 0: return 9600;
    case 1: return 38400;
    case 2: return 115200;
    default: return std::nullopt;
    }
}

std::string parityName(int parityCode)
{
    switch (parityCode) {
    case 0: return "none";
    case 1: return "odd";
    case 2: return "even";
    default: return "code " + std::to_string(parityCode);
    }
}

std::optional<ReaderCardPort> readerCardPortFromIdentity(const std::vector<std::uint8_t>& answer)
{
    if (!isApplicationIdentity(answer))
        return std::nullopt;
    ReaderCardPort port;
    const std::uint32_t clock = static_cast<std::uint32_t>(answer[kClockAt]) << 16 |
        static_cast<std::uint32_t>(answer[kClockAt + 1]) << 8 | answer[kClockAt + 2];
    if (clock != 0)
        port.clockHz = clock;
    port.baud = cardPortBaud(answer[kSpeedAt]);
    port.parityCode = answer[kParityAt];
    port.addedStopBits = answer[kStopBitsAt];
    const IdentityFields fields = applicationFields(answer);
    port.readerDigit = fields.readerDigit;
    port.serialNumber = fields.serialNumber;
    port.versionText = firmwareVersionText(fields.versionDigits);
    return port;
}

std::optional<ReaderCardPort> queryReaderCardPort(PortSlot& port, Clock& clock)
{
    port.readAll(kAnswerCapacity);
    port.sendByte(kApplicationIdentityCode);
    clock.sleepMs(kIdentityWaitMs);
    return readerCardPortFromIdentity(port.readAll(kAnswerCapacity));
}

std::string megahertz(double hz)
{
    return fixed(hz / 1e6, 4) + " MHz";
}

std::string bitsPerSecond(double rate)
{
    return fixed(rate, 1) + " bit/s";
}

ReaderFit assessReaderFit(const DecodedAtr& atr, const std::optional<ReaderCardPort>& reader)
{
    ReaderFit fit;
    if (reader && reader->clockHz) {
        fit.clockHz = *reader->clockHz;
        fit.clockFromReader = true;
    }
    if (reader)
        fit.readerBaud = reader->baud;
    const AtrTiming timing = atrTiming(atr);
    fit.initialRate = bitRate(fit.clockHz, kInitialF, 1);
    if (timing.specificMode && !timing.implicitParameters)
        fit.specificRate = bitRate(fit.clockHz, timing.f, timing.d);
    else if (timing.ta1Present && !timing.specificMode)
        fit.offeredRate = bitRate(fit.clockHz, timing.f, timing.d);

    const std::string clockText = megahertz(fit.clockHz);
    if (!fit.clockFromReader || !fit.readerBaud) {
        fit.verdict.push_back("the reader's clock and card-port speed are not known: rates are given at " +
                              clockText);
    } else {
        const double baud = *fit.readerBaud;
        const std::string port = "the card port's " + std::to_string(*fit.readerBaud) + " baud";
        if (timing.specificMode) {
            specificVerdict(fit, timing, port, baud);
        } else if (near(baud, *fit.initialRate)) {
            fit.speed = ReaderFit::Speed::MatchesInitial;
            fit.verdict.push_back(port + " suits the card: it answers at " + bitsPerSecond(*fit.initialRate) +
                                  " at " + clockText + " (F=372, D=1)");
        } else if (fit.offeredRate && near(baud, *fit.offeredRate)) {
            fit.speed = ReaderFit::Speed::MatchesOffered;
            fit.verdict.push_back(port + " suits the rate TA1 offers: " + bitsPerSecond(*fit.offeredRate) + " at " +
                                  clockText + " (" + fd(timing.f, timing.d) + ", after a PPS exchange)");
        } else {
            fit.speed = ReaderFit::Speed::Mismatch;
            std::string sentence = port + " does not suit the card: it answers at " +
                bitsPerSecond(*fit.initialRate) + " at " + clockText + " (F=372, D=1)";
            if (fit.offeredRate)
                sentence += " and offers " + bitsPerSecond(*fit.offeredRate) + " (" + fd(timing.f, timing.d) + ")";
            fit.verdict.push_back(sentence);
            fit.verdict.push_back(suitableText(fit, timing));
        }
    }
    if (fit.clockFromReader && timing.maxClockHz && fit.clockHz > *timing.maxClockHz) {
        fit.clockAboveMaximum = true;
        fit.warnings.push_back("the reader's clock " + clockText + " is above the card's maximum " +
                               megahertz(*timing.maxClockHz) + " (Fi=" + std::to_string(timing.fi) + ")");
    }
    if (reader && reader->addedStopBits && atr.tc(1) && timing.extraGuardTime != kMinimumGuardTime &&
        *reader->addedStopBits < timing.extraGuardTime) {
        fit.guardTimeShort = true;
        fit.warnings.push_back("the card asks for " + std::to_string(timing.extraGuardTime) +
                               " etu of extra guard time (TC1); the card port adds " +
                               std::to_string(*reader->addedStopBits) + " stop bits");
    }
    return fit;
}

} // namespace talvex
