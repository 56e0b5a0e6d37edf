// talvexctl: the settings manager's command-line front end.

#include "cli/Talvexctl.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#define TALVEX_ISATTY(fd) _isatty(fd)
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <unistd.h>
#define TALVEX_ISATTY(fd) ::isatty(fd)
#endif

namespace {

// Windows 10 consoles read ANSI cursor movement only once asked to; older
// ones refuse, and get plain lines instead.
bool escapeCodesOnStandardError()
{
#if defined(_WIN32)
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return ::GetConsoleMode(err, &mode) && ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    const char* term = std::getenv("TERM");
    return !(term && std::string_view(term) == "dumb");
#endif
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // A terminal on standard error lets the progress line redraw in place.
    const bool interactive = TALVEX_ISATTY(2) != 0;
    const bool escapeCodes = interactive && escapeCodesOnStandardError();
    return talvex::cli::talvexctlMain(arguments, std::cout, std::cerr, interactive, escapeCodes);
}
