#pragma once

#include "cli/Console.h"
#include "cli/Talvexctl.h"
#include "sim/SimulatedFtdi.h"
#include "support/SimBench.h"

#include <sstream>
#include <string>
#include <vector>

namespace talvex::test {

/// What one run of talvexctl gave.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

/// One run of talvexctl in process on `context`, standard output on `out`
/// when given (one that fails, say); `terminal`: standard error is a
/// terminal that reads escape codes.
inline CliResult runIn(ApplicationContext& context, const std::vector<std::string>& arguments,
                       std::ostream* out = nullptr, bool terminal = false)
{
    std::ostringstream kept;
    std::ostringstream err;
    cli::Console console(out ? *out : kept, err, terminal);
    console.setEscapeCodes(terminal);
    const int status = cli::runTalvexctl(arguments, context, console);
    return {status, kept.str(), err.str()};
}

/// talvexctl in process on a simulated bench in virtual time: the
/// programmer's ports on the bench's host, its FTDI chip as the library.
struct CliBench {
    SimBench sim;
    std::shared_ptr<SimulatedFtdi> ftdi = std::make_shared<SimulatedFtdi>();

    CliBench()
    {
        auto chip = ftdi;
        sim.context.setUsbSerialLibrary([chip] { return D2xxLoadResult {chip, {}}; });
    }

    CliResult run(const std::vector<std::string>& arguments) { return runIn(sim.context, arguments); }
    CliResult run(const std::vector<std::string>& arguments, std::ostream& out)
    {
        return runIn(sim.context, arguments, &out);
    }
};

inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace talvex::test
