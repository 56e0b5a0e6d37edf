#pragma once

#include <string>
#include <vector>

namespace talvex {

/// What the program was asked for on its command line.
struct CommandLine {
    bool simulate = false;
    int simulatedProgrammers = 1;
    bool smartcardTool = false;
    bool help = false;
    bool version = false;
    std::string error; ///< set when the arguments make no sense

    void simulateBench(const std::string& count);

    static CommandLine parse(const std::vector<std::string>& arguments);
    static std::string usage();
};

} // namespace talvex
