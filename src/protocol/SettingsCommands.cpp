#include "protocol/SettingsCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace talvex {
namespace {

std::string hexByte(int value)
{
    static const char digits[] = "0123456789ABCDEF";
    const auto byte = static_cast<std::uint8_t>(value);
    return {digits[byte >> 4], digits[byte & 0x0F]};
}

std::string readerCode(bool reader1Checked)
{
    return reader1Checked ? "00" : "01";
}

bool inRange(std::optional<int> index, std::size_t count)
{
    return index && *index >= 0 && static_cast<std::size_t>(*index) < count;
}

// Code of an entry in a table whose codes count up from `first`; nothing
// for an index outside the table (treated like no choice).
std::optional<std::string> countedCode(std::optional<int> index, std::size_t count, int first)
{
    if (!inRange(index, count))
        return std::nullopt;
    return hexByte(*index + first);
}

// Code of a list entry whose last item is "default" (FF).
std::optional<std::string> listCode(std::optional<int> index, std::size_t count, int first)
{
    if (!inRange(index, count))
        return std::nullopt;
    if (static_cast<std::size_t>(*index) == count - 1)
        return std::string("FF");
    return hexByte(*index + first);
}

// A spin box value as the device takes it: truncated, one byte. Values
// outside a byte are clamped so the text keeps its two digits per field.
std::string spinCode(double value)
{
    const double truncated = std::trunc(value);
    if (!(truncated >= 0)) // also NaN
        return hexByte(0);
    return hexByte(static_cast<int>(std::min(truncated, 255.0)));
}

// Builds a text from list codes, stopping at the first list without one.
class ListText {
public:
    explicit ListText(std::string start)
        : m_text(std::move(start))
    {
    }

    void fixed(std::string_view code)
    {
        if (!m_missing)
            m_text += code;
    }

    void list(std::optional<std::string> code, ChoiceField field, std::string_view label)
    {
        if (m_missing)
            return;
        if (code)
            m_text += *code;
        else
            m_missing = MissingChoice{field, label};
    }

    BuiltCommand result() const
    {
        if (m_missing)
            return {{}, m_missing};
        return {m_text, std::nullopt};
    }

private:
    std::string m_text;
    std::optional<MissingChoice> m_missing;
};

std::optional<std::string> advancedClock(std::optional<int> index)
{
    return listCode(index, kAdvancedClockItems.size(), 1);
}

std::optional<std::string> advancedSpeed(std::optional<int> index)
{
    return listCode(index, kAdvancedSpeedItems.size(), 0);
}

std::optional<std::string> advancedParity(std::optional<int> index)
{
    return listCode(index, kAdvancedParityItems.size(), 0);
}

} // namespace

std::string buildClockWrite(bool reader1Checked, std::optional<int> clockButton)
{
    return "02" + readerCode(reader1Checked) + countedCode(clockButton, kClockButtons.size(), 1).value_or("");
}

std::string buildCardPortWrite(bool reader1Checked, std::optional<int> speedButton, std::optional<int> parityButton,
                               double addedStopBits)
{
    return "03" + readerCode(reader1Checked) + countedCode(speedButton, kSpeedButtons.size(), 0).value_or("") +
           countedCode(parityButton, kParityButtons.size(), 0).value_or("") + spinCode(addedStopBits);
}

std::string buildPhoenixWrite(bool reader1Checked, std::optional<int> phoenixClockButton)
{
    return "77" + readerCode(reader1Checked) +
           countedCode(phoenixClockButton, kPhoenixClockButtons.size(), 1).value_or("");
}

BuiltCommand buildAdvancedWrite(const AdvancedChoice& choice)
{
    const bool atrAt9600 = choice.mode == 0;
    const bool atrAt115200 = choice.mode == 1;
    if (!atrAt9600 && !atrAt115200) {
        ListText text("FD02");
        text.list(advancedParity(choice.debugParity), ChoiceField::DebugParity, "debug parity");
        text.list(advancedSpeed(choice.debugSpeed), ChoiceField::DebugSpeed, "debug speed");
        text.fixed(choice.debugDefaultChecked ? "FF" : spinCode(choice.debugStopBits));
        return text.result();
    }
    // Parity comes before speed in the device's field order.
    ListText text(atrAt9600 ? "FD01" : "FD00");
    text.fixed("00");
    text.list(advancedClock(choice.com1.clock), ChoiceField::AdvancedCom1Clock, "COM1 clock");
    text.list(advancedParity(choice.com1.parity), ChoiceField::AdvancedCom1Parity, "COM1 parity");
    text.list(advancedSpeed(choice.com1.speed), ChoiceField::AdvancedCom1Speed, "COM1 speed");
    text.fixed("01");
    text.list(advancedClock(choice.com2.clock), ChoiceField::AdvancedCom2Clock, "COM2 clock");
    text.list(advancedParity(choice.com2.parity), ChoiceField::AdvancedCom2Parity, "COM2 parity");
    text.list(advancedSpeed(choice.com2.speed), ChoiceField::AdvancedCom2Speed, "COM2 speed");
    return text.result();
}

BuiltCommand buildUniprogWrite(const UniprogChoice& choice)
{
    const auto clock = [](std::optional<int> index) { return listCode(index, kUniprogClockItems.size(), 1); };
    const auto baud = [](std::optional<int> index) { return listCode(index, kUniprogBaudItems.size(), 0); };
    ListText text("4400");
    text.list(clock(choice.clock1), ChoiceField::UniprogClock1, "Reader 1 clock");
    text.list(clock(choice.clock2), ChoiceField::UniprogClock2, "Reader 2 clock");
    text.list(baud(choice.baud1), ChoiceField::UniprogBaud1, "Reader 1 baud");
    text.list(baud(choice.baud2), ChoiceField::UniprogBaud2, "Reader 2 baud");
    text.list(baud(choice.baudCom1), ChoiceField::UniprogBaudCom1, "Reader 1 baud COM");
    text.list(baud(choice.baudCom2), ChoiceField::UniprogBaudCom2, "Reader 2 baud COM");
    text.fixed("0000");
    return text.result();
}

} // namespace talvex
