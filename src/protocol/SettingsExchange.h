#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/Exchange.h"
#include "protocol/LineSequence.h"

#include <string>
#include <string_view>

namespace talvex {

class Clock;
class PortSlot;

/// The settings window's device commands.
enum class SettingsCommand {
    ClockWrite,
    CardPortWrite,
    Save,
    RestoreDefault,
    SmartMouseMode,
    BypassMode,
    AdvancedWrite,
    PhoenixWrite,
    UniprogRead,
    UniprogWrite,
    UniprogFactoryReset,
};

/// How one command goes out with a given speed variant: the line
/// preparation, the wait for the answer, and the two lines for the log.
struct SettingsCommandPlan {
    LineSequence preparation;
    int waitMs = 0;
    std::string_view successLine;
    std::string_view errorLine;
};

SettingsCommandPlan settingsCommandPlan(SettingsCommand command, SpeedVariant variant);

/// The text of a command that takes no arguments ("05", "FD00", "42" …);
/// empty for the commands a builder makes.
std::string_view fixedCommandText(SettingsCommand command);

struct SettingsOutcome {
    ExchangeResult exchange;
    std::string_view logLine; ///< the success or the error line
};

/// Runs one command: preparation, text, wait, answer and verdict. An empty
/// text sends nothing and logs the error line.
SettingsOutcome runSettingsCommand(PortSlot& port, Clock& clock, SettingsCommand command, SpeedVariant variant,
                                   std::string_view text);

/// The line that follows a command's error line when the programmer's
/// port vanished, so the user knows to plug it in rather than retry.
std::string programmerGoneLine(std::string_view port);

/// Runs a command that takes no arguments with its fixed text.
SettingsOutcome runSettingsCommand(PortSlot& port, Clock& clock, SettingsCommand command, SpeedVariant variant);

} // namespace talvex
