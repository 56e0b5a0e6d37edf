#include "app/CommandLine.h"

#include <charconv>

namespace talvex {

CommandLine CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine line;
    for (const std::string& argument : arguments) {
        if (argument == "--simulate")
            line.simulate = true;
        else if (argument.rfind("--simulate=", 0) == 0)
            line.simulateBench(argument.substr(11));
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

void CommandLine::simulateBench(const std::string& count)
{
    int programmers = 0;
    const auto [end, failure] = std::from_chars(count.data(), count.data() + count.size(), programmers);
    if (failure != std::errc() || end != count.data() + count.size() || programmers < 1 || programmers > 16) {
        if (error.empty())
            error = "--simulate=N takes a number of programmers from 1 to 16, not \"" + count + "\"";
        return;
    }
    simulate = true;
    simulatedProgrammers = programmers;
}

std::string CommandLine::usage()
{
    return "usage: talvex-setting-manager [--simulate[=N]] [--smartcard-tool] [--help] [--version]\n"
           "  --simulate  add a simulated programmer on COM3/COM4 (no hardware needed)\n"
           "  --simulate=N  N simulated programmers, on COM3/COM4, COM5/COM6 and so on\n"
           "  --smartcard-tool  open the smartcard test window at once (it lists the ports itself)\n"
           "  --help      show this text\n"
           "  --version   show the tool's version\n";
}

} // namespace talvex
