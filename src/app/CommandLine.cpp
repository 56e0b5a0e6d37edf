#include "app/CommandLine.h"

namespace talvex {

CommandLine CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine line;
    for (const std::string& argument : arguments) {
        if (argument == "--simulate")
            line.simulate = true;
        else if (argument == "--smartcard-tool")
            line.smartcardTool = true;
        else if (argument == "--help" || argument == "-h")
            line.help = true;
        else if (argument == "--version" || argument == "-v")
            line.version = true;
        else if (line.error.empty())
            line.error = "unknown option: " + argument;
    }
    return line;
}

std::string CommandLine::usage()
{
    return "usage: talvex-setting-manager [--simulate] [--smartcard-tool] [--help] [--version]\n"
           "  --simulate  add a simulated programmer on COM3/COM4 (no hardware needed)\n"
           "  --smartcard-tool  open the smartcard test window at once (it lists the ports itself)\n"
           "  --help      show this text\n"
           "  --version   show the tool's version\n";
}

} // namespace talvex
