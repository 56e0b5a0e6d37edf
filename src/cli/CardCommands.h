#pragma once

#include "cli/CommandRun.h"

namespace talvex::cli {

// The smartcard diagnostics of talvexctl: "atr HEX" and the "card" group.
ExitCode runAtr(CommandRun& run);
ExitCode runCardAtr(CommandRun& run);
ExitCode runCardWatch(CommandRun& run);
ExitCode runCardSend(CommandRun& run);

/// Asks a running "card watch" to end after its current poll (Ctrl+C).
void requestCardWatchStop();

} // namespace talvex::cli
