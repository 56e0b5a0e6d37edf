#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/Identification.h"
#include "serial/PortHost.h"

#include <functional>
#include <string>

namespace talvex {

class Clock;
class PortSlot;

/// Receives a connect's log lines; `problem` marks the ones that report a
/// failure (a command line sends those to standard error).
using ConnectLog = std::function<void(const std::string& line, bool problem)>;

/// The settings window's Connect without the window: opens the port with
/// the variant's mode, drops RTS, waits 1.5 s, raises DTR and identifies.
/// The port stays open when it opened. Logs the connect's own lines. Fails
/// only when the port does not open; a silent port is ProgrammerMode::None.
Result<IdentifyResult> openAndIdentify(PortSlot& port, PortHost& host, Clock& clock, const std::string& portName,
                              SpeedVariant variant, int answerDelayMs, const ConnectLog& log);

/// The log lines that say what the identification found.
void logIdentification(ProgrammerMode mode, const ConnectLog& log);

} // namespace talvex
