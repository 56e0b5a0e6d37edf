#pragma once

#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/Invocation.h"

#include <ostream>
#include <string>
#include <vector>

namespace talvex {
class ApplicationContext;
}

namespace talvex::cli {

/// Runs one parsed command on `context`: its host, clock and FTDI library
/// are the caller's (the host's own, the simulated bench, or a test's
/// bench in virtual time).
ExitCode runInvocation(const Invocation& call, ApplicationContext& context, Console& console);

/// Parses and runs on `context`, help and argument errors included; what
/// talvexctl does once its host is chosen. Answers the exit status.
int runTalvexctl(const std::vector<std::string>& arguments, ApplicationContext& context, Console& console);

/// The program: parses, chooses the host's ports or the simulated
/// programmer (--simulate) on a real-time clock, and runs. `escapeCodes`:
/// the terminal on standard error reads ANSI cursor movement.
int talvexctlMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool interactive,
                  bool escapeCodes = false);

} // namespace talvex::cli
