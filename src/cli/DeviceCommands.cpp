#include "cli/Choices.h"
#include "cli/CommandRun.h"
#include "cli/Json.h"
#include "context/ApplicationContext.h"
#include "protocol/SettingsAnswers.h"
#include "protocol/SettingsCommands.h"
#include "protocol/SettingsExchange.h"

#include <charconv>
#include <utility>

namespace talvex::cli {
namespace {

SettingsOutcome runCommand(CommandRun& run, SettingsCommand command, std::string_view text)
{
    return runSettingsCommand(run.context.ports().a, run.context.clock(), command, run.context.detection().variant,
                              text);
}

// The device's verdict as the window logs it: the success line is the
// result, the error line a problem.
ExitCode report(CommandRun& run, const SettingsOutcome& outcome)
{
    if (outcome.exchange.ok()) {
        run.console.result(outcome.logLine);
        return ExitCode::Ok;
    }
    run.console.problem(outcome.logLine);
    if (outcome.exchange.status == Status::Gone)
        run.console.problem(programmerGoneLine(*run.call.value("--port")));
    return exitCodeFor(outcome.exchange.status);
}

// A read whose answer did not parse: the device's fault unless it is gone.
ExitCode readFailed(CommandRun& run, const SettingsOutcome& outcome)
{
    run.console.problem(settingsCommandPlan(SettingsCommand::UniprogRead, run.context.detection().variant).errorLine);
    if (outcome.exchange.status == Status::Gone) {
        run.console.problem(programmerGoneLine(*run.call.value("--port")));
        return ExitCode::ProgrammerGone;
    }
    return ExitCode::DeviceRefused;
}

// Connects and checks the build; then runs `command` with `text`.
ExitCode connectAndRun(CommandRun& run, SpeedVariant build, SettingsCommand command,
                       const std::function<std::string(const Connection&)>& text)
{
    const Step<Connection> connection = connectToBuild(run, build);
    if (!connection)
        return connection.error();
    return report(run, runCommand(run, command, text(*connection)));
}

// A value from a list, or the failure to report.
Step<int> choose(CommandRun& run, const ChoiceList& list, const std::string& option, const std::string& value)
{
    if (const auto index = list.find(value))
        return *index;
    return run.fail(ExitCode::BadArguments, option + " is one of " + list.joined() + ", not \"" + value + "\"");
}

// The value `option` chooses from a list; nothing when it is not given.
Step<std::optional<int>> chooseGiven(CommandRun& run, const ChoiceList& list, const std::string& option)
{
    const auto value = run.call.value(option);
    if (!value)
        return std::optional<int>();
    const Step<int> index = choose(run, list, option, *value);
    if (!index)
        return index.error();
    return std::optional<int>(*index);
}

std::optional<int> wholeNumber(const std::string& text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::string mhz(const ChoiceList& list, std::optional<int> index)
{
    return index ? list.name(index) + " MHz" : "unknown";
}

std::optional<std::string> jsonChoice(const ChoiceList& list, std::optional<int> index)
{
    return index ? std::optional<std::string>(list.name(index)) : std::nullopt;
}

ExitCode showUniprog(CommandRun& run)
{
    const SettingsOutcome outcome = runCommand(run, SettingsCommand::UniprogRead,
                                               fixedCommandText(SettingsCommand::UniprogRead));
    const auto read = outcome.exchange.ok() ? parseUniprogAnswer(outcome.exchange.answer) : std::nullopt;
    if (!read)
        return readFailed(run, outcome);
    run.console.log(outcome.logLine);
    const std::pair<const char*, std::pair<std::optional<int>, const ChoiceList*>> values[] = {
        {"reader1-clock", {read->clock1, &uniprogClockChoices()}},
        {"reader2-clock", {read->clock2, &uniprogClockChoices()}},
        {"reader1-baud", {read->baud1, &uniprogBaudChoices()}},
        {"reader2-baud", {read->baud2, &uniprogBaudChoices()}},
        {"reader1-baud-com", {read->baudCom1, &uniprogBaudChoices()}},
        {"reader2-baud-com", {read->baudCom2, &uniprogBaudChoices()}},
    };
    if (run.call.has("--json")) {
        JsonObject object;
        object.add("port", *run.call.value("--port")).add("variant", variantWord(run.context.detection().variant));
        for (const auto& [key, value] : values)
            object.add(key, jsonChoice(*value.second, value.first));
        run.console.result(object.text());
    } else {
        for (const auto& [key, value] : values)
            run.console.result(std::string(key) + ": " + value.second->name(value.first));
    }
    return ExitCode::Ok;
}

} // namespace

ExitCode runInfo(CommandRun& run)
{
    const Step<Connection> connection = connectForCommand(run);
    if (!connection)
        return connection.error();
    const IdentifyResult& identity = connection->identity;
    const bool boot = identity.mode == ProgrammerMode::BootLoader;
    // The boot loader listens on reader 1 only and names no reader.
    const std::optional<int> reader = boot ? std::nullopt
                                           : readerOfDigit(connection->variant, identity.fields.readerDigit);
    const std::string mode = boot ? "boot loader" : "application";
    if (run.call.has("--json")) {
        run.console.result(JsonObject()
                               .add("port", *run.call.value("--port"))
                               .add("mode", mode)
                               .add("serialNumber", identity.fields.serialNumber)
                               .add("version", identity.versionText)
                               .add("reader", reader)
                               .add("variant", variantWord(connection->variant))
                               .text());
    } else {
        run.console.result("port: " + *run.call.value("--port"));
        run.console.result("mode: " + mode);
        run.console.result("serial: " + identity.fields.serialNumber);
        run.console.result("version: " + identity.versionText);
        if (reader)
            run.console.result("reader: " + std::to_string(*reader));
        run.console.result("variant: " + variantWord(connection->variant));
    }
    return ExitCode::Ok;
}

ExitCode runSettings(CommandRun& run)
{
    const Step<Connection> connection = connectForCommand(run);
    if (!connection)
        return connection.error();
    if (const Step<> built = requireBuild(run, *connection, connection->variant); !built)
        return built.error();
    if (connection->variant == SpeedVariant::LowSpeed2)
        return showUniprog(run);

    // What the window's "Read Settings" checks, from the identity just read.
    const ReaderPortSettings settings = parseReaderPortSettings(connection->identity.fields.answerText);
    const auto reader = settings.readerDigit ? readerOfDigit(connection->variant, *settings.readerDigit) : std::nullopt;
    const bool phoenix = connection->variant == SpeedVariant::LowSpeed1;
    const ChoiceList& clocks = phoenix ? phoenixClockChoices() : clockChoices();
    const std::optional<int> clock = phoenix ? settings.phoenixClockButton : settings.clockButton;
    const bool json = run.call.has("--json");
    if (json) {
        JsonObject object;
        object.add("port", *run.call.value("--port"))
            .add("variant", variantWord(connection->variant))
            .add("reader", reader)
            .add("clockMHz", jsonChoice(clocks, clock));
        if (!phoenix) {
            object.add("speed", jsonChoice(speedChoices(), settings.speedButton))
                .add("parity", jsonChoice(parityChoices(), settings.parityButton))
                .add("addedStopBits", settings.addedStopBits);
        }
        run.console.result(object.text());
        return ExitCode::Ok;
    }
    run.console.result("reader: " + (reader ? std::to_string(*reader) : std::string("unknown")));
    run.console.result("clock: " + mhz(clocks, clock));
    if (!phoenix) {
        run.console.result("speed: " + speedChoices().name(settings.speedButton));
        run.console.result("parity: " + parityChoices().name(settings.parityButton));
        run.console.result("added-stop-bits: " +
                           (settings.addedStopBits ? std::to_string(*settings.addedStopBits) : std::string("unknown")));
    }
    return ExitCode::Ok;
}

ExitCode runSetClock(CommandRun& run)
{
    const Step<int> clock = choose(run, clockChoices(), "MHZ", run.positional(0));
    if (!clock)
        return clock.error();
    return connectAndRun(run, SpeedVariant::Normal, SettingsCommand::ClockWrite, [&](const Connection& connection) {
        // The window checks the reader the identity names; the user cannot change it.
        return buildClockWrite(connection.identity.fields.readerDigit == '1', *clock);
    });
}

ExitCode runSetCardPort(CommandRun& run)
{
    const Step<std::optional<int>> givenSpeed = chooseGiven(run, speedChoices(), "--speed");
    if (!givenSpeed)
        return givenSpeed.error();
    const Step<std::optional<int>> givenParity = chooseGiven(run, parityChoices(), "--parity");
    if (!givenParity)
        return givenParity.error();
    std::optional<int> speed = *givenSpeed;
    std::optional<int> parity = *givenParity;
    std::optional<int> stopBits;
    if (const auto value = run.call.value("--stop-bits")) {
        // The window's spin box range.
        stopBits = wholeNumber(*value, 0, 254);
        if (!stopBits)
            return run.fail(ExitCode::BadArguments, "--stop-bits takes 0 to 254, not \"" + *value + "\"");
    }
    if (!speed && !parity && !stopBits)
        return run.fail(ExitCode::BadArguments, "give --speed, --parity or --stop-bits");

    const Step<Connection> connection = connectToBuild(run, SpeedVariant::Normal);
    if (!connection)
        return connection.error();
    // What is not given keeps the value the device reports, as the
    // window's groups hold what "Read Settings" checked.
    const ReaderPortSettings current = parseReaderPortSettings(connection->identity.fields.answerText);
    speed = speed ? speed : current.speedButton;
    parity = parity ? parity : current.parityButton;
    if (!speed)
        return run.fail(ExitCode::BadArguments, "the programmer reports no card-port speed: give --speed");
    if (!parity)
        return run.fail(ExitCode::BadArguments, "the programmer reports no card-port parity: give --parity");
    const std::string text = buildCardPortWrite(connection->identity.fields.readerDigit == '1', speed, parity,
                                                stopBits.value_or(current.addedStopBits.value_or(0)));
    return report(run, runCommand(run, SettingsCommand::CardPortWrite, text));
}

ExitCode runSetAdvanced(CommandRun& run)
{
    AdvancedChoice choice;
    const Step<int> mode = choose(run, advancedModeChoices(), "--mode", *run.call.value("--mode"));
    if (!mode)
        return mode.error();
    choice.mode = *mode;
    const bool debug = *choice.mode == 2;

    struct ListOption {
        const char* option;
        const ChoiceList* list;
        std::optional<int>* index;
        bool debugMode;
        ChoiceField field; ///< what a missing choice names
    };
    const ListOption lists[] = {
        {"--com1-clock", &advancedClockChoices(), &choice.com1.clock, false, ChoiceField::AdvancedCom1Clock},
        {"--com1-parity", &advancedParityChoices(), &choice.com1.parity, false, ChoiceField::AdvancedCom1Parity},
        {"--com1-speed", &advancedSpeedChoices(), &choice.com1.speed, false, ChoiceField::AdvancedCom1Speed},
        {"--com2-clock", &advancedClockChoices(), &choice.com2.clock, false, ChoiceField::AdvancedCom2Clock},
        {"--com2-parity", &advancedParityChoices(), &choice.com2.parity, false, ChoiceField::AdvancedCom2Parity},
        {"--com2-speed", &advancedSpeedChoices(), &choice.com2.speed, false, ChoiceField::AdvancedCom2Speed},
        {"--debug-parity", &advancedParityChoices(), &choice.debugParity, true, ChoiceField::DebugParity},
        {"--debug-speed", &advancedSpeedChoices(), &choice.debugSpeed, true, ChoiceField::DebugSpeed},
    };
    for (const ListOption& list : lists) {
        const auto value = run.call.value(list.option);
        if (!value)
            continue;
        if (list.debugMode != debug)
            return run.fail(ExitCode::BadArguments,
                            std::string(list.option) + " does not go with --mode " +
                                advancedModeChoices().name(choice.mode));
        const Step<int> index = choose(run, *list.list, list.option, *value);
        if (!index)
            return index.error();
        *list.index = *index;
    }
    if (const auto value = run.call.value("--debug-stop-bits")) {
        if (!debug)
            return run.fail(ExitCode::BadArguments,
                            "--debug-stop-bits does not go with --mode " + advancedModeChoices().name(choice.mode));
        choice.debugDefaultChecked = choiceWord(*value) == "default";
        // The window's spin box range.
        const auto bits = choice.debugDefaultChecked ? std::optional<int>(0) : wholeNumber(*value, 0, 200);
        if (!bits)
            return run.fail(ExitCode::BadArguments,
                            "--debug-stop-bits takes 0 to 200 or default, not \"" + *value + "\"");
        choice.debugStopBits = *bits;
    }
    const BuiltCommand built = buildAdvancedWrite(choice);
    if (!built.ok()) {
        for (const ListOption& list : lists) {
            if (list.field == built.missing->field)
                return run.fail(ExitCode::BadArguments,
                                "no choice made for " + std::string(built.missing->label) + ": give " + list.option);
        }
        return run.fail(ExitCode::BadArguments, "no choice made for " + std::string(built.missing->label));
    }
    return connectAndRun(run, SpeedVariant::Normal, SettingsCommand::AdvancedWrite,
                         [&](const Connection&) { return built.text; });
}

ExitCode runSetPhoenixClock(CommandRun& run)
{
    const Step<int> clock = choose(run, phoenixClockChoices(), "MHZ", run.positional(0));
    if (!clock)
        return clock.error();
    return connectAndRun(run, SpeedVariant::LowSpeed1, SettingsCommand::PhoenixWrite,
                         [&](const Connection& connection) {
                             // This build numbers its readers from 0.
                             return buildPhoenixWrite(connection.identity.fields.readerDigit == '0', *clock);
                         });
}

ExitCode runSetUniprog(CommandRun& run)
{
    UniprogChoice given;
    struct ListOption {
        const char* option;
        const ChoiceList* list;
        std::optional<int> UniprogChoice::*field;
    };
    const ListOption lists[] = {
        {"--clock1", &uniprogClockChoices(), &UniprogChoice::clock1},
        {"--clock2", &uniprogClockChoices(), &UniprogChoice::clock2},
        {"--baud1", &uniprogBaudChoices(), &UniprogChoice::baud1},
        {"--baud2", &uniprogBaudChoices(), &UniprogChoice::baud2},
        {"--baud-com1", &uniprogBaudChoices(), &UniprogChoice::baudCom1},
        {"--baud-com2", &uniprogBaudChoices(), &UniprogChoice::baudCom2},
    };
    bool any = false;
    for (const ListOption& list : lists) {
        const Step<std::optional<int>> index = chooseGiven(run, *list.list, list.option);
        if (!index)
            return index.error();
        given.*list.field = *index;
        any = any || index->has_value();
    }
    if (!any)
        return run.fail(ExitCode::BadArguments,
                        "give at least one of --clock1, --clock2, --baud1, --baud2, "
                        "--baud-com1, --baud-com2");

    const Step<Connection> connection = connectToBuild(run, SpeedVariant::LowSpeed2);
    if (!connection)
        return connection.error();
    // The window writes what its lists hold after "Read Settings".
    const SettingsOutcome readOutcome = runCommand(run, SettingsCommand::UniprogRead,
                                                   fixedCommandText(SettingsCommand::UniprogRead));
    auto choice = readOutcome.exchange.ok() ? parseUniprogAnswer(readOutcome.exchange.answer) : std::nullopt;
    if (!choice)
        return readFailed(run, readOutcome);
    run.console.log(readOutcome.logLine);
    for (const ListOption& list : lists) {
        if (given.*list.field)
            (*choice).*list.field = given.*list.field;
    }
    for (const ListOption& list : lists) {
        if (!((*choice).*list.field))
            return run.fail(ExitCode::BadArguments,
                            std::string("the programmer reports no valid value for ") + list.option + ": give it");
    }
    const BuiltCommand built = buildUniprogWrite(*choice);
    return report(run, runCommand(run, SettingsCommand::UniprogWrite, built.text));
}

ExitCode runSave(CommandRun& run)
{
    return connectAndRun(run, SpeedVariant::Normal, SettingsCommand::Save,
                         [](const Connection&) { return std::string(fixedCommandText(SettingsCommand::Save)); });
}

ExitCode runRestoreDefault(CommandRun& run)
{
    return connectAndRun(run, SpeedVariant::Normal, SettingsCommand::RestoreDefault, [](const Connection&) {
        return std::string(fixedCommandText(SettingsCommand::RestoreDefault));
    });
}

ExitCode runFactoryReset(CommandRun& run)
{
    return connectAndRun(run, SpeedVariant::LowSpeed2, SettingsCommand::UniprogFactoryReset, [](const Connection&) {
        return std::string(fixedCommandText(SettingsCommand::UniprogFactoryReset));
    });
}

} // namespace talvex::cli
