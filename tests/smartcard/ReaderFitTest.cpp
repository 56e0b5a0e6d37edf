// Whether the reader's clock and card-port speed suit a card, and the
// reader's settings as the programmer's identity reports them.

#include "sim/SimulatedProgrammer.h"
#include "smartcard/AtrReport.h"
#include "smartcard/ReaderFit.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

ReaderCardPort reader(std::uint32_t clockHz, std::uint32_t baud, int addedStopBits = 0)
{
    ReaderCardPort port;
    port.clockHz = clockHz;
    port.baud = baud;
    port.addedStopBits = addedStopBits;
    return port;
}

Bytes hex(const char* text)
{
    return parseHexBytes(text).value();
}

bool suggests(const ReaderFit& fit, std::uint32_t clockHz, std::uint32_t baud, bool afterPps)
{
    for (const ReaderFit::Setting& setting : fit.suitableSettings) {
        if (setting.clockHz == clockHz && setting.baud == baud && setting.afterPps == afterPps)
            return true;
    }
    return false;
}

} // namespace

TEST(ReaderFit, TheCardsRateAtTheReadersClockIsSetAgainstItsSpeed)
{
    struct Case {
        const char* name;
        const char* atr;
        std::optional<ReaderCardPort> reader;
        ReaderFit::Speed speed;
        bool clockAboveMaximum;
        bool guardTimeShort;
        const char* verdict = ""; ///< the start of the first verdict sentence
    };
    const char* plain = "3B 02 14 50";
    // TA1 13 (F=372, D=4), TD1 10, TA2 00: specific mode T=0 with TA1's F and D,
    // 3.43 MHz · 4 / 372 = 36881.7 bit/s right after the ATR.
    const char* specific = "3B 90 13 10 00";
    const char* ta1x18 = "3B FE 18 00 00 80 31 FE 45 80 31 80 66 40 90 A4 16 2A 00 83 0F 90 00 EF";
    const Case cases[] = {
        // 3.43 MHz / 372 = 9220 bit/s: 4 % from 9600, within a UART's reach.
        {"plain card, 3.43 MHz and 9600", plain, reader(3430000, 9600), ReaderFit::Speed::MatchesInitial, false, false},
        {"plain card, 4 MHz and 115200", plain, reader(4000000, 115200), ReaderFit::Speed::Mismatch, false, false},
        {"plain card, 4.8 MHz and 9600: 12904 bit/s", plain, reader(4800000, 9600), ReaderFit::Speed::Mismatch, false,
         false},
        // TA1 18 (D=12): 3.43 MHz · 12 / 372 = 110645 bit/s.
        {"TA1 18 at 3.43 MHz and 115200", ta1x18, reader(3430000, 115200), ReaderFit::Speed::MatchesOffered, false,
         false},
        {"plain card clocked at 12 MHz", plain, reader(12000000, 9600), ReaderFit::Speed::Mismatch, true, false},
        {"TC1 5 with 2 stop bits added", "3B 40 05", reader(3430000, 9600, 2), ReaderFit::Speed::MatchesInitial,
         false, true},
        {"TC1 5 with 5 stop bits added", "3B 40 05", reader(3430000, 9600, 5), ReaderFit::Speed::MatchesInitial,
         false, false},
        {"TC1 FF asks for the minimum", "3B 40 FF", reader(3430000, 9600, 0), ReaderFit::Speed::MatchesInitial,
         false, false},
        {"reader unknown", plain, std::nullopt, ReaderFit::Speed::Unknown, false, false},
        {"specific mode at 9600: the ATR's rate is no help", specific, reader(3430000, 9600),
         ReaderFit::Speed::Mismatch, false, false,
         "the card port's 9600 baud does not suit the card: it works at 36881.7 bit/s at 3.43 MHz (F=372, D=4) "
         "right after the ATR, in specific mode (TA2, T=0), and no PPS exchange can change that"},
        {"specific mode at 38400: no PPS needed", specific, reader(3430000, 38400),
         ReaderFit::Speed::MatchesSpecific, false, false, "the card port's 38400 baud suits the card: it works at"},
        // TA2 10: bit 5 set, implicit F and D.
        {"specific mode, implicit parameters", "3B 90 13 10 10", reader(3430000, 9600), ReaderFit::Speed::Unknown,
         false, false, "the card works in specific mode (TA2, T=0) at a rate the ATR does not give (implicit"},
        // TD1 10, TA2 00 without TA1: T=0 at F=372, D=1 from the start.
        {"specific mode without TA1", "3B 80 10 00", reader(3430000, 9600), ReaderFit::Speed::MatchesSpecific,
         false, false, "the card port's 9600 baud suits the card: it works at 9220.4 bit/s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReaderFit fit = assessReaderFit(decodeAtr(hex(c.atr)), c.reader);
        EXPECT_EQ(fit.speed, c.speed);
        EXPECT_EQ(fit.clockAboveMaximum, c.clockAboveMaximum);
        EXPECT_EQ(fit.guardTimeShort, c.guardTimeShort);
        EXPECT_EQ(fit.warnings.size(), (c.clockAboveMaximum ? 1u : 0u) + (c.guardTimeShort ? 1u : 0u));
        EXPECT_EQ(fit.clockFromReader, c.reader.has_value());
        ASSERT_TRUE(fit.initialRate.has_value());
        EXPECT_NEAR(*fit.initialRate, fit.clockHz / 372.0, 1e-6);
        EXPECT_EQ(fit.suitableSettings.empty(), c.speed != ReaderFit::Speed::Mismatch);
        ASSERT_FALSE(fit.verdict.empty());
        EXPECT_EQ(fit.verdict.front().rfind(c.verdict, 0), 0u) << fit.verdict.front();
    }
}

TEST(ReaderFit, AMismatchNamesTheSettingsThatWouldSuit)
{
    const ReaderFit plain = assessReaderFit(decodeAtr(hex("3B 02 14 50")), reader(4000000, 115200));
    EXPECT_TRUE(suggests(plain, 3430000, 9600, false));
    EXPECT_EQ(plain.suitableSettings.size(), 1u);

    // TA1 18 at 3.43 MHz gives 110645 bit/s after a PPS; never above fmax.
    const ReaderFit fast = assessReaderFit(decodeAtr(hex("3B 10 18")), reader(8000000, 9600));
    EXPECT_TRUE(fast.clockAboveMaximum);
    EXPECT_TRUE(suggests(fast, 3430000, 115200, true));
    for (const ReaderFit::Setting& setting : fast.suitableSettings)
        EXPECT_LE(setting.clockHz, 5000000u);

    // In specific mode only TA1's rate counts, and without a PPS: at 4 MHz
    // 43010.8 bit/s is 12 % off 38400.
    const ReaderFit specific = assessReaderFit(decodeAtr(hex("3B 90 13 10 00")), reader(4000000, 9600));
    EXPECT_TRUE(suggests(specific, 3430000, 38400, false));
    EXPECT_EQ(specific.suitableSettings.size(), 1u);
}

TEST(ReaderFit, TheReadersSettingsComeFromTheProgrammersIdentity)
{
    SimulatedProgrammer device(SpeedVariant::Normal, "00112233445566778899AABBCCDDEEFF");
    device.setFirmwareVersion(2, 7);
    SimulatedProgrammer::ReaderSettings settings;
    settings.clockHz = 3430000;
    settings.speedCode = 0x00;
    settings.parityCode = 0x02;
    settings.addedStopBits = 3;
    device.setReaderSettings(2, settings);
    const auto port = readerCardPortFromIdentity(device.answerFor(2, {0x00}));
    ASSERT_TRUE(port.has_value());
    EXPECT_EQ(port->clockHz, 3430000u);
    EXPECT_EQ(port->baud, 9600u);
    EXPECT_EQ(port->parityCode, 2);
    EXPECT_EQ(port->addedStopBits, 3);
    EXPECT_EQ(port->serialNumber, "00112233445566778899AABBCCDDEEFF");
    EXPECT_EQ(port->versionText, "2.07");
    EXPECT_EQ(port->readerDigit, '2');

    // Another answer (the greeting, a cut identity) names no settings.
    EXPECT_FALSE(readerCardPortFromIdentity(device.answerFor(1, {0xA5})).has_value());
    Bytes cut = device.answerFor(1, {0x00});
    cut.pop_back();
    EXPECT_FALSE(readerCardPortFromIdentity(cut).has_value());
}

TEST(AtrReport, WithoutTheReadersIdentityTheWindowsLabelsNameTheProgrammer)
{
    const std::string report = serviceReport(diagnoseAtr(hex("3B 02 14 50"), std::nullopt, {}), "ABCD", "1.10");
    EXPECT_NE(report.find("Programmer serial number: ABCD\nFirmware version: 1.10\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nATR: 3B 02 14 50 (4 bytes)\n"), std::string::npos);
    EXPECT_NE(report.find("Reader: settings not known"), std::string::npos);
}
