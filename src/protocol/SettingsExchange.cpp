#include "protocol/SettingsExchange.h"

namespace talvex {
namespace {

// The line preparations the commands use.
enum class Lines { None, DtrOn50, DtrOn200, DtrPulse, RtsOnDtrOff };

LineSequence sequenceOf(Lines lines)
{
    switch (lines) {
    case Lines::None: break;
    case Lines::DtrOn50: return {LineStep::dtrOn(), LineStep::wait(50)};
    case Lines::DtrOn200: return standardPreparation();
    // The Phoenix (first low-speed) build listens after a DTR pulse.
    case Lines::DtrPulse: return {LineStep::dtrOff(), LineStep::wait(500), LineStep::dtrOn(), LineStep::wait(20)};
    // The Uniprog (second low-speed) build listens while RTS is on and DTR off.
    case Lines::RtsOnDtrOff: return {LineStep::rtsOn(), LineStep::wait(50), LineStep::dtrOff(), LineStep::wait(50)};
    }
    return {};
}

struct Timing {
    Lines lines;
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

constexpr Timing kSameAsUsual{Lines::None, 0};

constexpr Row kRows[] = {
    {SettingsCommand::ClockWrite, "", {Lines::DtrOn200, 5000}, kSameAsUsual, "Clock set OK !", "Clock set ERROR !"},
    {SettingsCommand::CardPortWrite, "", {Lines::DtrOn200, 1000}, kSameAsUsual, "SmartCard Speed set OK !",
     "SmartCard Speed set ERROR !"},
    {SettingsCommand::Save, "05", {Lines::DtrOn200, 1000}, kSameAsUsual, "OK, setting stored in flash memory.",
     "Storing setting in flash memory ERROR !"},
    {SettingsCommand::RestoreDefault, "06", {Lines::DtrOn200, 1000}, kSameAsUsual,
     "OK, setting set to factory default.", "Reset to factory default ERROR !"},
    {SettingsCommand::SmartMouseMode, "FD00", {Lines::DtrOn200, 500}, kSameAsUsual,
     "OK, Talvex set in SmartMouse mode.", "Talvex in SmartMouse mode."},
    {SettingsCommand::BypassMode, "FD01", {Lines::DtrOn200, 500}, kSameAsUsual, "OK, Talvex set in Bypass mode.",
     "Talvex in Bypass mode."},
    {SettingsCommand::AdvancedWrite, "", {Lines::DtrOn50, 1000}, {Lines::DtrPulse, 500}, "Talvex set mode OK !",
     "Set mode ERROR !"},
    {SettingsCommand::PhoenixWrite, "", {Lines::None, 2000}, {Lines::DtrPulse, 500}, "Clock set OK !",
     "Clock set ERROR !"},
    {SettingsCommand::UniprogRead, "42", {Lines::RtsOnDtrOff, 500}, kSameAsUsual, "Talvex get parameters OK !",
     "Get parameters ERROR !"},
    {SettingsCommand::UniprogWrite, "", {Lines::RtsOnDtrOff, 500}, kSameAsUsual, "Talvex set parameters OK !",
     "Set parameters ERROR !"},
    {SettingsCommand::UniprogFactoryReset, "45", {Lines::RtsOnDtrOff, 500}, kSameAsUsual,
     "Talvex reset to default !", "Reset parameters ERROR !"},
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
    return {sequenceOf(timing.lines), timing.waitMs, row.successLine, row.errorLine};
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
    outcome.logLine = outcome.exchange.success ? plan.successLine : plan.errorLine;
    return outcome;
}

SettingsOutcome runSettingsCommand(PortSlot& port, Clock& clock, SettingsCommand command, SpeedVariant variant)
{
    return runSettingsCommand(port, clock, command, variant, fixedCommandText(command));
}

} // namespace talvex
