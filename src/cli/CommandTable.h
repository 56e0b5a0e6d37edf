#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::cli {

struct OptionEntry {
    std::string_view name; ///< with its dashes: "--port"
    std::string_view value; ///< what the value is called in the help; empty for a flag
    std::string_view help;
};

struct CommandRun;
enum class ExitCode : int;

/// One command of talvexctl: its words, what runs it, its arguments,
/// options and help text. The one place a command is named.
struct CommandEntry {
    std::string_view name; ///< "detect", "set clock", "usb-serial image"
    ExitCode (*run)(CommandRun&) = nullptr;
    std::string_view synopsis; ///< what follows the name in the usage line
    std::string_view summary; ///< one line for the command list
    std::string_view details; ///< paragraphs for its own --help
    std::vector<std::string_view> positionals; ///< all required, in order
    std::vector<OptionEntry> options;
    std::vector<std::string_view> requiredOptions;

    const OptionEntry* option(std::string_view optionName) const;
};

/// The options every command takes.
const std::vector<OptionEntry>& globalOptions();
const OptionEntry* globalOption(std::string_view name);

const std::vector<CommandEntry>& commandTable();
const CommandEntry* findCommand(std::string_view name);

/// Words that take a second word ("set clock", "usb-serial list").
bool isCommandGroup(std::string_view word);

/// A help text with its choice lists ({clocks}, ...) filled in.
std::string expandedHelp(std::string_view text);
/// The exit status lines of the help ("Exit status:" and one line a code).
std::string exitStatusHelp();
/// What talvexctl is, as its help says after the usage line.
std::string programDescription();

/// The program's own help, a group's (its commands) and a command's.
std::string programHelp();
std::string groupHelp(std::string_view group);
std::string commandHelp(const CommandEntry& command);

} // namespace talvex::cli
