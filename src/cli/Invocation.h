#pragma once

#include "cli/CommandTable.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::cli {

/// What talvexctl was asked to do, checked against the command table.
struct Invocation {
    const CommandEntry* command = nullptr; ///< none for "--help", "--version" and bare help
    std::vector<std::string> positionals;
    /// The command's options by name ("--port"); a flag holds "".
    std::map<std::string, std::string, std::less<>> options;

    bool help = false; ///< show help instead of running
    std::string helpGroup; ///< "set" or "usb-serial": the group's help
    bool version = false;
    bool simulate = false;
    int simulatedProgrammers = 1; ///< --simulate=N
    bool quiet = false;
    std::optional<std::string> simState;
    std::optional<std::string> simCards;
    std::optional<int> answerDelayMs;

    bool has(std::string_view option) const { return options.find(option) != options.end(); }
    std::optional<std::string> value(std::string_view option) const;
};

struct ParsedArguments {
    Invocation invocation;
    std::string error; ///< set when the arguments make no sense

    bool ok() const { return error.empty(); }
};

/// Reads the arguments (without the program name). Options may come before
/// or after the command words, as "--name value" or "--name=value"; "--"
/// ends the options.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

/// The help the invocation asks for: the program's, a group's or a command's.
std::string helpText(const Invocation& invocation);

} // namespace talvex::cli
