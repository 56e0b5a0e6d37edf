#include "protocol/SettingsExchange.h"

#include "protocol/LineSequences.h"

#include <optional>

namespace talvex {
namespace {

// No preparation at all: the Phoenix clock write on a build other than
// the Phoenix one.
constexpr std::optional<LinePreparation> kNoLines;

struct Timing {
    std::optional<LinePreparation> lines;
    int waitMs;
};

// One row per command; a `phoenix` timing with a wait replaces `usual`
// when the device is the Phoenix build.
struct Row {
    SettingsCommand command;
    std::string_view fixedText;
    Timing usual;
    Timing phoenix;
    std::string_view successLine;
    std::string_view errorLine;
};

constexpr Timing kSameAsUsual{kNoLines, 0};

using enum LinePreparation;

constexpr Row kRows[] = {
    {SettingsCommand::ClockWrite, "", {Standard, 5000}, kSameAsUsual, "Clock set OK !", "Clock set ERROR !"},
    {SettingsCommand::CardPortWrite, "", {Standard, 1000}, kSameAsUsual, "SmartCard Speed set OK !",
     "SmartCard Speed set ERROR !"},
    {SettingsCommand::Save, "05", {Standard, 1000}, kSameAsUsual, "OK, setting stored in flash memory.",
     "Storing setting in flash memory ERROR !"},
    {SettingsCommand::RestoreDefault, "06", {Standard, 1000}, kSameAsUsual, "OK, setting set to factory default.",
     "Reset to factory default ERROR !"},
    {SettingsCommand::SmartMouseMode, "FD00", {Standard, 500}, kSameAsUsual, "OK, Talvex set in SmartMouse mode.",
     "Talvex in SmartMouse mode."},
    {SettingsCommand::BypassMode, "FD01", {Standard, 500}, kSameAsUsual, "OK, Talvex set in Bypass mode.",
     "Talvex in Bypass mode."},
    {SettingsCommand::AdvancedWrite, "", {DtrOn50, 1000}, {PhoenixPulse, 500}, "Talvex set mode OK !",
     "Set mode ERROR !"},
    {SettingsCommand::PhoenixWrite, "", {kNoLines, 2000}, {PhoenixPulse, 500}, "Clock set OK !", "Clock set ERROR !"},
    {SettingsCommand::UniprogRead, "42", {UniprogLines, 500}, kSameAsUsual, "Talvex get parameters OK !",
     "Get parameters ERROR !"},
    {SettingsCommand::UniprogWrite, "", {UniprogLines, 500}, kSameAsUsual, "Talvex set parameters OK !",
     "Set parameters ERROR !"},
    {SettingsCommand::UniprogFactoryReset, "45", {UniprogLines, 500}, kSameAsUsual, "Talvex reset to default !",
     "Reset parameters ERROR !"},
};

const Row& rowOf(SettingsCommand command)
{
    for (const Row& row : kRows) {
        if (row.command == command)
            return row;
    }
    return kRows[0]; // unreachable: every command has a row
}

} // namespace

SettingsCommandPlan settingsCommandPlan(SettingsCommand command, SpeedVariant variant)
{
    const Row& row = rowOf(command);
    const bool phoenix = variant == SpeedVariant::LowSpeed1 && row.phoenix.waitMs > 0;
    const Timing& timing = phoenix ? row.phoenix : row.usual;
    const LineSequence lines = timing.lines ? lineSequence(*timing.lines) : LineSequence{};
    return {lines, timing.waitMs, row.successLine, row.errorLine};
}

std::string_view fixedCommandText(SettingsCommand command)
{
    return rowOf(command).fixedText;
}

SettingsOutcome runSettingsCommand(PortSlot& port, Clock& clock, SettingsCommand command, SpeedVariant variant,
                                   std::string_view text)
{
    const SettingsCommandPlan plan = settingsCommandPlan(command, variant);
    SettingsOutcome outcome;
    // An empty text has no command code to judge an answer by.
    if (!text.empty())
        outcome.exchange = runExchange(port, clock, text, plan.preparation, plan.waitMs);
    outcome.logLine = outcome.exchange.ok() ? plan.successLine : plan.errorLine;
    return outcome;
}

SettingsOutcome runSettingsCommand(PortSlot& port, Clock& clock, SettingsCommand command, SpeedVariant variant)
{
    return runSettingsCommand(port, clock, command, variant, fixedCommandText(command));
}

std::string programmerGoneLine(std::string_view port)
{
    return "The programmer on " + std::string(port) + " is gone (unplugged?): plug it in again and connect.";
}

} // namespace talvex
