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

    CliResult run(const std::vector<std::string>& arguments)
    {
        std::ostringstream out;
        CliResult result = run(arguments, out);
        result.out = out.str();
        return result;
    }

    /// With standard output on the caller's stream (one that fails, say).
    CliResult run(const std::vector<std::string>& arguments, std::ostream& out)
    {
        std::ostringstream err;
        cli::Console console(out, err);
        CliResult result;
        result.status = cli::runTalvexctl(arguments, sim.context, console);
        result.err = err.str();
        return result;
    }
};

inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace talvex::test
