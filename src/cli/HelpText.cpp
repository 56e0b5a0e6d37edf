#include "cli/CommandTable.h"

#include "cli/Choices.h"
#include "protocol/VersionText.h"

#include <algorithm>
#include <utility>

// The help texts made from the command table: the program's, a group's, a
// command's, and the pieces the man page shares.
namespace talvex::cli {
namespace {

std::string substituted(std::string text)
{
    const std::pair<std::string_view, std::string> values[] = {
        {"{clocks}", clockChoices().joined()},
        {"{phoenix-clocks}", phoenixClockChoices().joined()},
        {"{speeds}", speedChoices().joined()},
        {"{parities}", parityChoices().joined()},
        {"{modes}", advancedModeChoices().joined()},
        {"{advanced-clocks}", advancedClockChoices().joined()},
        {"{advanced-speeds}", advancedSpeedChoices().joined()},
        {"{advanced-parities}", advancedParityChoices().joined()},
        {"{uniprog-clocks}", uniprogClockChoices().joined()},
        {"{uniprog-bauds}", uniprogBaudChoices().joined()},
        {"{variants}", variantChoices().joined()},
    };
    for (const auto& [key, value] : values) {
        for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

constexpr std::size_t kHelpIndent = 26;
constexpr std::size_t kHelpWidth = 79;

// `words` after `left`, broken at blanks so no line passes the width;
// lines after the first start at the help column.
std::string wrapped(std::string left, const std::string& words)
{
    std::string text;
    std::string line = std::move(left);
    std::size_t at = 0;
    bool lineHasWords = false;
    while (at < words.size()) {
        const std::size_t end = std::min(words.find(' ', at), words.size());
        const std::string word = words.substr(at, end - at);
        at = end + 1;
        if (lineHasWords && line.size() + 1 + word.size() > kHelpWidth) {
            text += line + "\n";
            line = std::string(kHelpIndent, ' ');
            lineHasWords = false;
        }
        line += (lineHasWords ? " " : "") + word;
        lineHasWords = true;
    }
    return text + line + "\n";
}

std::string optionLines(const std::vector<OptionEntry>& options)
{
    std::string text;
    for (const OptionEntry& option : options) {
        // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) on
        // a literal plus a string here.
        std::string left = "  ";
        left += option.name;
        if (!option.value.empty()) {
            left += ' ';
            left += option.value;
        }
        if (left.size() + 2 > kHelpIndent) {
            text += left + "\n";
            left.clear();
        }
        left.resize(kHelpIndent, ' ');
        text += wrapped(left, substituted(std::string(option.help)));
    }
    return text;
}

std::string exitCodeLines()
{
    return "Exit status:\n"
           "  0  the device confirmed the operation\n"
           "  1  another failure (no FTDI library, a file, the version server)\n"
           "  2  bad arguments\n"
           "  3  no programmer answered\n"
           "  4  the port cannot be opened (the reason is printed)\n"
           "  5  the device refused (an error answer, or not in this mode or build)\n"
           "  6  the upload failed\n"
           "  7  no card in the reader\n"
           "  8  the programmer is gone (its port vanished: unplugged?)\n";
}

} // namespace

std::string expandedHelp(std::string_view text)
{
    return substituted(std::string(text));
}

std::string exitStatusHelp()
{
    return exitCodeLines();
}

std::string programDescription()
{
    return "TalvexUSB-Setting Manager " + toolVersionText(kToolVersion) +
           " on the command line: finds the programmer, reads and\n"
           "writes its settings, uploads firmware and writes the USB serial number;\n"
           "decodes and checks a smartcard's answer to reset.\n"
           "Results go to standard output, log lines and problems to standard error.\n";
}

std::string programHelp()
{
    std::string text = "usage: talvexctl [--simulate] [--quiet] COMMAND [ARGUMENTS] [OPTIONS]\n" +
        programDescription() + "\nCommands:\n";
    for (const CommandEntry& command : commandTable()) {
        std::string left = "  " + std::string(command.name);
        left.resize(std::max<std::size_t>(left.size() + 2, 24), ' ');
        text += left + std::string(command.summary) + "\n";
    }
    text += "  help [COMMAND]        this help, or a command's (also: COMMAND --help)\n\n"
            "Options for every command:\n" +
        optionLines(globalOptions()) + "\n" + exitCodeLines();
    return text;
}

std::string groupHelp(std::string_view group)
{
    std::string text = "usage: talvexctl " + std::string(group) + " COMMAND ...\n\nCommands:\n";
    for (const CommandEntry& command : commandTable()) {
        if (command.name.substr(0, group.size() + 1) != std::string(group) + " ")
            continue;
        std::string left = "  " + std::string(command.name);
        left.resize(std::max<std::size_t>(left.size() + 2, 24), ' ');
        text += left + std::string(command.summary) + "\n";
    }
    text += "\n\"talvexctl " + std::string(group) + " COMMAND --help\" tells more.\n";
    return text;
}

std::string commandHelp(const CommandEntry& command)
{
    std::string text = "usage: talvexctl ";
    text += command.name;
    if (!command.synopsis.empty()) {
        text += ' ';
        text += command.synopsis;
    }
    text += '\n';
    text += command.summary;
    text += "\n\n";
    text += substituted(std::string(command.details));
    text += '\n';
    if (!command.options.empty())
        text += "\nOptions:\n" + optionLines(command.options);
    text += "\nOptions for every command: --simulate, --sim-state FILE, --answer-delay MS,\n"
            "--quiet, --help (talvexctl --help tells more).\n\n" +
        exitCodeLines();
    return text;
}

} // namespace talvex::cli
