#include "cli/ManPage.h"

#include "cli/CommandTable.h"
#include "protocol/VersionText.h"

#include <sstream>

namespace talvex::cli {
namespace {

std::string bold(std::string_view text)
{
    return "\\fB" + roffText(text) + "\\fR";
}

std::string italic(std::string_view text)
{
    return "\\fI" + roffText(text) + "\\fR";
}

// Help paragraphs are hand-broken lines; roff fills them again.
std::string paragraphs(const std::string& text)
{
    std::string out;
    std::istringstream lines(text);
    bool blank = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ".IP\n";
        blank = false;
        out += roffText(line) + "\n";
    }
    return out;
}

std::string optionItems(const std::vector<OptionEntry>& options)
{
    std::string out;
    for (const OptionEntry& option : options) {
        out += ".TP\n" + bold(option.name);
        if (!option.value.empty())
            out += " " + italic(option.value);
        out += "\n" + roffText(expandedHelp(option.help)) + "\n";
    }
    return out;
}

} // namespace

std::string roffText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    // A line starting with a point or an apostrophe would be a request.
    if (!out.empty() && (out.front() == '.' || out.front() == '\''))
        out.insert(0, "\\&");
    return out;
}

std::string manPage()
{
    const std::string version = toolVersionText(kToolVersion);
    std::string page = ".TH TALVEXCTL 1 \"\" \"TalvexUSB\\-Setting Manager " + roffText(version) +
                       "\" \"User Commands\"\n"
                       ".SH NAME\ntalvexctl \\- the TalvexUSB\\-Setting Manager on the command line\n"
                       ".SH SYNOPSIS\n.B talvexctl\n[\\fB\\-\\-simulate\\fR] [\\fB\\-\\-quiet\\fR] \\fICOMMAND\\fR "
                       "[\\fIARGUMENTS\\fR] [\\fIOPTIONS\\fR]\n"
                       ".SH DESCRIPTION\n" +
                       paragraphs(programDescription()) + ".SH COMMANDS\n";
    for (const CommandEntry& command : commandTable()) {
        page += ".SS " + roffText("talvexctl " + std::string(command.name)) + "\n";
        if (!command.synopsis.empty())
            page += bold("talvexctl " + std::string(command.name)) + " " + roffText(command.synopsis) + "\n.br\n";
        page += roffText(command.summary) + ".\n.PP\n" + paragraphs(expandedHelp(command.details));
        if (!command.options.empty())
            page += ".PP\nOptions:\n.RS\n" + optionItems(command.options) + ".RE\n";
    }
    page += ".SH OPTIONS\nFor every command:\n" + optionItems(globalOptions());
    page += ".SH \"EXIT STATUS\"\n";
    std::istringstream codes(exitStatusHelp());
    std::string line;
    std::getline(codes, line); // the heading
    while (std::getline(codes, line)) {
        const auto code = line.find_first_not_of(' ');
        if (code == std::string::npos)
            continue;
        const auto text = line.find_first_not_of(' ', line.find(' ', code));
        page += ".TP\n" + bold(line.substr(code, line.find(' ', code) - code)) + "\n" + roffText(line.substr(text)) +
                "\n";
    }
    return page;
}

} // namespace talvex::cli
