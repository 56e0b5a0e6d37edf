#pragma once

namespace talvex {

/// A Windows program of the GUI subsystem starts without a console, so
/// what it prints for --help, --version or a bad argument would be lost
/// when it is started from a Command Prompt. This sends standard output
/// and standard error to the console of the program that started it,
/// unless they already go somewhere (a file, a pipe). Call it before
/// printing; it does nothing when there is no such console.
void useParentConsole();

} // namespace talvex
