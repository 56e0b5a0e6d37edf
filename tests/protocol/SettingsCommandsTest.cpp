#include "protocol/CommandText.h"
#include "protocol/SettingsAnswers.h"
#include "protocol/SettingsCommands.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes bytesOf(const std::string& text)
{
    return commandFrame(text).value_or(Bytes{});
}

// The hexadecimal text of a 32-byte identity carrying a card port.
std::string identityText(std::uint32_t clockHz, std::uint8_t speed, std::uint8_t parity, std::uint8_t stops)
{
    Bytes identity(32, 0x00);
    identity[1] = 0x02;
    identity[22] = static_cast<std::uint8_t>(clockHz >> 16);
    identity[23] = static_cast<std::uint8_t>(clockHz >> 8);
    identity[24] = static_cast<std::uint8_t>(clockHz);
    identity[25] = speed;
    identity[26] = parity;
    identity[27] = stops;
    return toHexText(identity);
}

AdvancedChoice atrExample()
{
    AdvancedChoice choice;
    choice.mode = 0; // ATR at 9600
    choice.com1 = {1, 2, 1}; // "4.00   Mhz", "Even", "38400"
    choice.com2 = {6, 3, 3}; // all "default"
    return choice;
}

UniprogChoice uniprogExample()
{
    // "4.00   Mhz", "Default", "38400", "115200", "Default", "9600"
    return {2, 7, 1, 2, 3, 0};
}

} // namespace

TEST(SettingsCommands, ReaderWritesCarryReaderThenCodes)
{
    // Clock write: reader 2 + 8.00 MHz; reader 1 + the first and last clock.
    EXPECT_EQ(bytesOf(buildClockWrite(false, 4)), (Bytes{0x02, 0x01, 0x05}));
    EXPECT_EQ(buildClockWrite(true, 0), "020001");
    EXPECT_EQ(buildClockWrite(true, 5), "020006");
    // No clock chosen (or an index past the buttons): the text ends early.
    EXPECT_EQ(buildClockWrite(true, std::nullopt), "0200");
    EXPECT_EQ(buildClockWrite(false, 6), "0201");

    // Card port: reader 1, 115200, Odd, 0 stop bits.
    EXPECT_EQ(bytesOf(buildCardPortWrite(true, 2, 1, 0.0)), (Bytes{0x03, 0x00, 0x02, 0x01, 0x00}));
    // The spin value is truncated and written as two hex digits.
    EXPECT_EQ(buildCardPortWrite(false, 0, 2, 3.9), "0301000203");
    EXPECT_EQ(buildCardPortWrite(true, 1, 0, 26.0), "030001001A");
    // A group with nothing chosen contributes nothing.
    EXPECT_EQ(buildCardPortWrite(true, std::nullopt, 2, 1.0), "03000201");
    EXPECT_EQ(buildCardPortWrite(true, 1, std::nullopt, 1.0), "03000101");

    // Phoenix: its own seven clocks.
    EXPECT_EQ(bytesOf(buildPhoenixWrite(true, 6)), (Bytes{0x77, 0x00, 0x07}));
    EXPECT_EQ(buildPhoenixWrite(false, 0), "770101");
    EXPECT_EQ(buildPhoenixWrite(false, std::nullopt), "7701");
}

TEST(SettingsCommands, AdvancedWriteFollowsItsModeAndRefusesMissingLists)
{
    const BuiltCommand atr9600 = buildAdvancedWrite(atrExample());
    ASSERT_TRUE(atr9600.ok());
    EXPECT_EQ(bytesOf(atr9600.text), (Bytes{0xFD, 0x01, 0x00, 0x02, 0x02, 0x01, 0x01, 0xFF, 0xFF, 0xFF}));

    AdvancedChoice atr115200 = atrExample();
    atr115200.mode = 1;
    EXPECT_EQ(buildAdvancedWrite(atr115200).text, "FD000002020101FFFFFF");

    // Debug: parity, speed, then FF for "default" or the stop bits.
    AdvancedChoice debug;
    debug.mode = 2;
    debug.debugSpeed = 2;  // 115200
    debug.debugParity = 0; // None
    debug.debugDefaultChecked = true;
    debug.debugStopBits = 3;
    EXPECT_EQ(bytesOf(buildAdvancedWrite(debug).text), (Bytes{0xFD, 0x02, 0x00, 0x02, 0xFF}));
    debug.debugDefaultChecked = false;
    EXPECT_EQ(buildAdvancedWrite(debug).text, "FD02000203");
    debug.debugParity = 3; // "default"
    EXPECT_EQ(buildAdvancedWrite(debug).text, "FD02FF0203");
    // No mode chosen is the debug mode; it does not need the COM lists.
    debug.mode = std::nullopt;
    EXPECT_EQ(buildAdvancedWrite(debug).text, "FD02FF0203");

    // A list without a selection: nothing to send, and the list named.
    AdvancedChoice missingSpeed = atrExample();
    missingSpeed.com2.speed = std::nullopt;
    const BuiltCommand refused = buildAdvancedWrite(missingSpeed);
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.text.empty());
    EXPECT_EQ(refused.missing->field, ChoiceField::AdvancedCom2Speed);
    AdvancedChoice missingClock = atrExample();
    missingClock.com1.clock = 7; // past "default": no item
    EXPECT_EQ(buildAdvancedWrite(missingClock).missing->field, ChoiceField::AdvancedCom1Clock);
    debug.debugSpeed = std::nullopt;
    EXPECT_EQ(buildAdvancedWrite(debug).missing->field, ChoiceField::DebugSpeed);
}

TEST(SettingsCommands, UniprogWriteNeedsEveryListAndMirrorsTheReadAnswer)
{
    const BuiltCommand built = buildUniprogWrite(uniprogExample());
    ASSERT_TRUE(built.ok());
    const Bytes written = bytesOf(built.text);
    EXPECT_EQ(written, (Bytes{0x44, 0x00, 0x03, 0xFF, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x00}));

    // The same six codes in a read answer select the same entries.
    Bytes answer{0x42, 0x00, 0x00};
    answer.insert(answer.end(), written.begin() + 2, written.begin() + 8);
    EXPECT_EQ(parseUniprogAnswer(answer), uniprogExample());

    // Each list, left empty, is the one named; nothing is built.
    const ChoiceField named[] = {ChoiceField::UniprogClock1, ChoiceField::UniprogClock2,
                                   ChoiceField::UniprogBaud1,  ChoiceField::UniprogBaud2,
                                   ChoiceField::UniprogBaudCom1, ChoiceField::UniprogBaudCom2};
    std::optional<int> UniprogChoice::*fields[] = {&UniprogChoice::clock1,   &UniprogChoice::clock2,
                                                    &UniprogChoice::baud1,    &UniprogChoice::baud2,
                                                    &UniprogChoice::baudCom1, &UniprogChoice::baudCom2};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        UniprogChoice choice = uniprogExample();
        choice.*fields[i] = std::nullopt;
        const BuiltCommand refused = buildUniprogWrite(choice);
        EXPECT_FALSE(refused.ok()) << i;
        EXPECT_TRUE(refused.text.empty());
        ASSERT_TRUE(refused.missing.has_value());
        EXPECT_EQ(refused.missing->field, named[i]);
        EXPECT_FALSE(refused.missing->label.empty());
    }
}

TEST(SettingsAnswers, IdentityTextChecksTheButtonsItCarries)
{
    // Every button's value travels through the device in SettingsExchangeTest;
    // clocks only one build has check only that build's button.
    const ReaderPortSettings phoenixOnly = parseReaderPortSettings(identityText(3572000, 0, 0, 0));
    EXPECT_EQ(phoenixOnly.clockButton, std::nullopt);
    EXPECT_EQ(phoenixOnly.phoenixClockButton, 0);
    EXPECT_EQ(parseReaderPortSettings(identityText(3690000, 0, 0, 0)).phoenixClockButton, 1);
    const ReaderPortSettings normalOnly = parseReaderPortSettings(identityText(3430000, 0, 0, 0));
    EXPECT_EQ(normalOnly.clockButton, 0);
    EXPECT_EQ(normalOnly.phoenixClockButton, std::nullopt);

    // Values outside the tables check nothing in their group.
    const ReaderPortSettings odd = parseReaderPortSettings(identityText(3579545, 0x03, 0xFF, 0x1A));
    EXPECT_EQ(odd.clockButton, std::nullopt);
    EXPECT_EQ(odd.phoenixClockButton, std::nullopt);
    EXPECT_EQ(odd.speedButton, std::nullopt);
    EXPECT_EQ(odd.parityButton, std::nullopt);
    EXPECT_EQ(odd.addedStopBits, 0x1A);
}

TEST(SettingsAnswers, ShortOrMalformedInputGivesNothing)
{
    const std::string full = identityText(8000000, 0x00, 0x01, 0x02);
    // Cut inside the speed field: the clock is there, the rest is not.
    const ReaderPortSettings cut = parseReaderPortSettings(full.substr(0, 51));
    EXPECT_EQ(cut.clockButton, 4);
    EXPECT_EQ(cut.speedButton, std::nullopt);
    EXPECT_EQ(cut.parityButton, std::nullopt);
    EXPECT_EQ(cut.addedStopBits, std::nullopt);
    const ReaderPortSettings tiny = parseReaderPortSettings("0001");
    EXPECT_EQ(tiny.readerDigit, '1');
    EXPECT_EQ(tiny.clockButton, std::nullopt);
    EXPECT_EQ(parseReaderPortSettings("").readerDigit, std::nullopt);
    std::string garbled = full;
    garbled[54] = 'Z';
    EXPECT_EQ(parseReaderPortSettings(garbled).addedStopBits, std::nullopt);

    // Uniprog answers: clock 8 and baud 3 are the lists' last item,
    // "Default", as FF is, so a following write is not refused; values
    // past a list select nothing there.
    const auto edges = parseUniprogAnswer({0x42, 0x00, 0x00, 0x08, 0x09, 0x03, 0x04, 0xFE, 0x00});
    ASSERT_TRUE(edges.has_value());
    EXPECT_EQ(edges->clock1, 7);
    EXPECT_EQ(kUniprogClockItems[7], "Default");
    EXPECT_EQ(edges->clock2, std::nullopt);
    EXPECT_EQ(edges->baud1, 3);
    EXPECT_EQ(kUniprogBaudItems[3], "Default");
    EXPECT_EQ(edges->baud2, std::nullopt);
    EXPECT_EQ(edges->baudCom1, std::nullopt);
    EXPECT_EQ(edges->baudCom2, 0);
    const auto zeroClock = parseUniprogAnswer({0x42, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
    ASSERT_TRUE(zeroClock.has_value());
    EXPECT_EQ(zeroClock->clock1, std::nullopt);
    // Short or failed answers parse to nothing; extra bytes do no harm.
    EXPECT_FALSE(parseUniprogAnswer({0x42, 0x00, 0x00, 0x03, 0xFF, 0x01, 0x02, 0xFF}).has_value());
    EXPECT_FALSE(parseUniprogAnswer({0x42, 0x01, 0x00, 0x03, 0xFF, 0x01, 0x02, 0xFF, 0x00}).has_value());
    EXPECT_FALSE(parseUniprogAnswer({}).has_value());
    EXPECT_EQ(parseUniprogAnswer({0x42, 0x00, 0x00, 0x03, 0xFF, 0x01, 0x02, 0xFF, 0x00, 0x55}), uniprogExample());
}
