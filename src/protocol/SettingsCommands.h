#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace talvex {

// Builds the command texts of the settings window from what the window has
// chosen. A radio button group or list is passed as the index of its
// chosen entry (nothing chosen = nullopt); the tables below are the ones
// the window fills its widgets from, so index and code cannot drift apart.

/// Clock buttons of the clock write (3.43 … 12.00 MHz), codes "01"…"06".
inline constexpr std::array<std::string_view, 6> kClockButtons{
    "clock_343", "clock_400", "clock_480", "clock_600", "clock_800", "clock_1200"};
/// Clock buttons of the Phoenix write (3.572 … 12.00 MHz), codes "01"…"07".
inline constexpr std::array<std::string_view, 7> kPhoenixClockButtons{
    "ph_clock_1", "ph_clock_2", "ph_clock_3", "ph_clock_4", "ph_clock_5", "ph_clock_6", "ph_clock_7"};
/// Card-port speed buttons (9600, 38400, 115200), codes "00"…"02".
inline constexpr std::array<std::string_view, 3> kSpeedButtons{"9600", "38400", "115200"};
/// Card-port parity buttons (None, Odd, Even), codes "00"…"02".
inline constexpr std::array<std::string_view, 3> kParityButtons{"None", "Odd", "Even"};

/// Lists of the Advanced page. "default" (the last item) is code "FF".
inline constexpr std::array<std::string_view, 7> kAdvancedClockItems{
    "3.43   Mhz", "4.00   Mhz", "4.80   Mhz", "6.00   Mhz", "8.00   Mhz", "12.00 Mhz", "default"};
inline constexpr std::array<std::string_view, 4> kAdvancedSpeedItems{"9600", "38400", "115200", "default"};
inline constexpr std::array<std::string_view, 4> kAdvancedParityItems{"None", "Odd", "Even", "default"};
/// The Advanced page's modes; anything but the first two is the debug mode.
inline constexpr std::array<std::string_view, 3> kAdvancedModeItems{"ATR at 9600", "ATR at 115200",
                                                                    "debug (special)"};

/// Lists of the Uniprog page. "Default" (the last item) is code "FF".
inline constexpr std::array<std::string_view, 8> kUniprogClockItems{
    "3.43   Mhz", "3.69   Mhz", "4.00   Mhz", "4.80   Mhz", "6.00   Mhz", "8.00   Mhz", "12.00 Mhz", "Default"};
inline constexpr std::array<std::string_view, 4> kUniprogBaudItems{"9600", "38400", "115200", "Default"};

/// The lists a command text is built from, so a front end can point at
/// the one left without a selection (the window at its list, the command
/// line at its option).
enum class ChoiceField {
    AdvancedCom1Clock,
    AdvancedCom1Parity,
    AdvancedCom1Speed,
    AdvancedCom2Clock,
    AdvancedCom2Parity,
    AdvancedCom2Speed,
    DebugParity,
    DebugSpeed,
    UniprogClock1,
    UniprogClock2,
    UniprogBaud1,
    UniprogBaud2,
    UniprogBaudCom1,
    UniprogBaudCom2,
};

/// A list the user left without a selection.
struct MissingChoice {
    ChoiceField field;
    std::string_view label; ///< e.g. "Reader 1 clock", for the log
};

/// A command text, or the choice that kept it from being built.
struct BuiltCommand {
    std::string text;                     ///< empty when refused
    std::optional<MissingChoice> missing; ///< set when refused

    bool ok() const { return !missing.has_value(); }
};

/// "02", reader ("00" for reader 1, "01" otherwise), clock code; without a
/// clock the text ends after the reader code.
std::string buildClockWrite(bool reader1Checked, std::optional<int> clockButton);

/// "03", reader, speed code, parity code, added stop bits as two hex
/// digits. A group with nothing chosen contributes nothing.
std::string buildCardPortWrite(bool reader1Checked, std::optional<int> speedButton, std::optional<int> parityButton,
                               double addedStopBits);

/// "77", reader, Phoenix clock code; without a clock the text ends after
/// the reader code.
std::string buildPhoenixWrite(bool reader1Checked, std::optional<int> phoenixClockButton);

/// One serial port's lists on the Advanced page (indices into the
/// kAdvanced…Items tables).
struct AdvancedPortChoice {
    std::optional<int> clock;
    std::optional<int> parity;
    std::optional<int> speed;
};

struct AdvancedChoice {
    std::optional<int> mode; ///< index into kAdvancedModeItems
    AdvancedPortChoice com1;
    AdvancedPortChoice com2;
    std::optional<int> debugParity;
    std::optional<int> debugSpeed;
    bool debugDefaultChecked = false;
    double debugStopBits = 0;
};

/// The ATR modes: "FD", "01" (ATR at 9600) or "00" (ATR at 115200), "00",
/// com1 clock, parity, speed, "01", com2 clock, parity, speed. The debug
/// mode: "FD", "02", parity, speed, "FF" or the stop bits. Refused when a
/// list the mode needs has no selection.
BuiltCommand buildAdvancedWrite(const AdvancedChoice& choice);

/// The six lists of the Uniprog page, as indices into their item tables.
/// Also what a Uniprog read answer selects.
struct UniprogChoice {
    std::optional<int> clock1;
    std::optional<int> clock2;
    std::optional<int> baud1;
    std::optional<int> baud2;
    std::optional<int> baudCom1;
    std::optional<int> baudCom2;

    bool operator==(const UniprogChoice&) const = default;
};

/// "44", "00", clocks R1 then R2, bauds R1 then R2, baud COMs R1 then R2,
/// "0000". Refused when any list has no selection.
BuiltCommand buildUniprogWrite(const UniprogChoice& choice);

} // namespace talvex
