#pragma once

#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/Invocation.h"
#include "cli/ProgrammerConnection.h"
#include "update/ServerAddress.h"

#include <optional>
#include <string>

namespace talvex {
class ApplicationContext;
}

namespace talvex::cli {

/// One command being run: what was asked, the process's state, where to write.
struct CommandRun {
    const Invocation& call;
    ApplicationContext& context;
    Console& console;

    const std::string& positional(std::size_t index) const { return call.positionals.at(index); }

    /// "talvexctl: <command>: <text>" on standard error; answers `code`.
    ExitCode fail(ExitCode code, const std::string& text) const;
};

/// Connects to the programmer on --port with the --variant's speeds;
/// fails when the variant word is wrong, the port does not open or
/// nothing answers.
Step<Connection> connectForCommand(CommandRun& run);

/// Refuses unless the device runs its application and is the build
/// `variant` names: the commands of one build's settings tab.
Step<> requireBuild(CommandRun& run, const Connection& connection, SpeedVariant variant);

/// connectForCommand, then requireBuild.
Step<Connection> connectToBuild(CommandRun& run, SpeedVariant build);

/// The version server the context names, or the one --server names;
/// fails when --server is no address.
Step<VersionServer> versionServerForCommand(CommandRun& run);

// The commands, one function each.
ExitCode runPorts(CommandRun& run);
ExitCode runDetect(CommandRun& run);
ExitCode runInfo(CommandRun& run);
ExitCode runSettings(CommandRun& run);
ExitCode runSetClock(CommandRun& run);
ExitCode runSetCardPort(CommandRun& run);
ExitCode runSetAdvanced(CommandRun& run);
ExitCode runSetPhoenixClock(CommandRun& run);
ExitCode runSetUniprog(CommandRun& run);
ExitCode runSave(CommandRun& run);
ExitCode runRestoreDefault(CommandRun& run);
ExitCode runFactoryReset(CommandRun& run);
ExitCode runUpload(CommandRun& run);
ExitCode runBatchUpload(CommandRun& run);
ExitCode runUsbSerialList(CommandRun& run);
ExitCode runUsbSerialWrite(CommandRun& run);
ExitCode runUsbSerialGenerate(CommandRun& run);
ExitCode runUsbSerialImage(CommandRun& run);
ExitCode runUsbSerialBackup(CommandRun& run);
ExitCode runUsbSerialRestore(CommandRun& run);
ExitCode runCheckVersion(CommandRun& run);
ExitCode runDoctor(CommandRun& run);

} // namespace talvex::cli
