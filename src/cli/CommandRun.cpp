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

Step<Connection> connectForCommand(CommandRun& run)
{
    const std::string word = run.call.value("--variant").value_or("auto");
    const auto variants = variantsFor(word);
    if (!variants)
        return run.fail(ExitCode::BadArguments,
                        "--variant is one of " + variantChoices().joined() + ", not \"" + word + "\"");
    const std::string port = *run.call.value("--port");
    Connection connection = connectProgrammer(
        run.context, port, *variants, [&](std::string_view line) { run.console.log(line); },
        [&](std::string_view line) { run.console.problem(line); });
    if (!connection.opened) {
        const ExitCode failure = exitCodeForOpen(connection.opened.status());
        if (failure == ExitCode::ProgrammerGone)
            run.console.problem(programmerGoneLine(port));
        return failure;
    }
    if (!connection.found())
        return ExitCode::NoProgrammer;
    return connection;
}

Step<> requireBuild(CommandRun& run, const Connection& connection, SpeedVariant variant)
{
    const std::string port = *run.call.value("--port");
    if (connection.identity.mode == ProgrammerMode::BootLoader)
        return run.fail(ExitCode::DeviceRefused,
                        "the programmer on " + port + " runs its boot loader: only a firmware upload is possible");
    if (connection.variant != variant)
        return run.fail(ExitCode::DeviceRefused,
                        "the programmer on " + port + " is " + describeBuild(connection.variant) + ", not " +
                            describeBuild(variant) + "; its commands: " + commandsOf(connection.variant));
    return {};
}

Step<Connection> connectToBuild(CommandRun& run, SpeedVariant build)
{
    Step<Connection> connection = connectForCommand(run);
    if (!connection)
        return connection;
    if (const Step<> built = requireBuild(run, *connection, build); !built)
        return built.error();
    return connection;
}

Step<VersionServer> versionServerForCommand(CommandRun& run)
{
    VersionServer server = run.context.versionServer();
    if (const auto text = run.call.value("--server")) {
        const auto chosen = parseServerAddress(*text, server);
        if (!chosen)
            return run.fail(ExitCode::BadArguments,
                            "--server takes a URL (http:// or https://), HOST or HOST:PORT, not \"" + *text + "\"");
        server = *chosen;
    }
    return server;
}

} // namespace talvex::cli
