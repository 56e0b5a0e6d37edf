#include "cli/CommandRun.h"

#include "cli/Choices.h"
#include "context/ApplicationContext.h"
#include "protocol/SettingsExchange.h"
#include "update/ServerAddress.h"

namespace talvex::cli {
namespace {

std::string describeBuild(SpeedVariant variant)
{
    if (variant == SpeedVariant::Normal)
        return "the normal build";
    return "the " + std::string(buildName(variant)) + " build (" + std::string(optionName(variant)) + ")";
}

std::string commandsOf(SpeedVariant variant)
{
    switch (variant) {
    case SpeedVariant::LowSpeed1: return "set phoenix-clock";
    case SpeedVariant::LowSpeed2: return "set uniprog, factory-reset";
    case SpeedVariant::Normal: break;
    }
    return "set clock, set card-port, set advanced, save, restore-default";
}

} // namespace

ExitCode CommandRun::fail(ExitCode code, const std::string& text) const
{
    console.error(std::string(call.command->name) + ": " + text);
    return code;
}

std::optional<Connection> connectForCommand(CommandRun& run, ExitCode& failure)
{
    const std::string word = run.call.value("--variant").value_or("auto");
    const auto variants = variantsFor(word);
    if (!variants) {
        failure = run.fail(ExitCode::BadArguments,
                           "--variant is one of " + variantChoices().joined() + ", not \"" + word + "\"");
        return std::nullopt;
    }
    const std::string port = *run.call.value("--port");
    Connection connection = connectProgrammer(
        run.context, port, *variants, [&](std::string_view line) { run.console.log(line); },
        [&](std::string_view line) { run.console.problem(line); });
    if (!connection.opened) {
        failure = exitCodeForOpen(connection.opened.status());
        if (failure == ExitCode::ProgrammerGone)
            run.console.problem(programmerGoneLine(port));
        return std::nullopt;
    }
    if (!connection.found()) {
        failure = ExitCode::NoProgrammer;
        return std::nullopt;
    }
    return connection;
}

bool requireBuild(CommandRun& run, const Connection& connection, SpeedVariant variant, ExitCode& failure)
{
    const std::string port = *run.call.value("--port");
    if (connection.identity.mode == ProgrammerMode::BootLoader) {
        failure = run.fail(ExitCode::DeviceRefused,
                           "the programmer on " + port + " runs its boot loader: only a firmware upload is possible");
        return false;
    }
    if (connection.variant != variant) {
        failure = run.fail(ExitCode::DeviceRefused,
                           "the programmer on " + port + " is " + describeBuild(connection.variant) + ", not " +
                               describeBuild(variant) + "; its commands: " + commandsOf(connection.variant));
        return false;
    }
    return true;
}


std::optional<VersionServer> versionServerForCommand(CommandRun& run, ExitCode& failure)
{
    VersionServer server = run.context.versionServer();
    if (const auto text = run.call.value("--server")) {
        const auto chosen = parseServerAddress(*text, server);
        if (!chosen) {
            failure = run.fail(ExitCode::BadArguments,
                               "--server takes a URL (http:// or https://), HOST or HOST:PORT, not \"" + *text + "\"");
            return std::nullopt;
        }
        server = *chosen;
    }
    return server;
}

} // namespace talvex::cli
