// talvexctl: the settings manager's command-line front end.

#include "cli/Talvexctl.h"

#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define TALVEX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define TALVEX_ISATTY(fd) ::isatty(fd)
#endif

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // A terminal on standard error lets the progress line redraw in place.
    const bool interactive = TALVEX_ISATTY(2) != 0;
    return talvex::cli::talvexctlMain(arguments, std::cout, std::cerr, interactive);
}
