#include "protocol/ProgrammerConnect.h"

#include "common/Clock.h"
#include "serial/PortAccess.h"
#include "serial/PortSlot.h"

namespace talvex {
namespace {

// Connect waits this long after dropping RTS, before DTR and identification.
constexpr int kConnectSettleMs = 1500;

} // namespace

Result<IdentifyResult> openAndIdentify(PortSlot& port, PortHost& host, Clock& clock, const std::string& portName,
                                       SpeedVariant variant, int answerDelayMs, const ConnectLog& log)
{
    log("Attempting to open COM Port...", false);
    if (const Result<void> opened = port.open(host, portName, modeFor(variant)); !opened) {
        // Say why, and the fix when it is a permission, so the user can act on it.
        for (const std::string& line : portOpenErrorLines(portName, opened.failure()))
            log(line, true);
        return opened.failure();
    }
    log(portName + " Port opened successfully!", false);
    port.setRts(false);
    clock.sleepMs(kConnectSettleMs);
    port.setDtr(true);
    return identify(port, clock, variant, answerDelayMs);
}

void logIdentification(ProgrammerMode mode, const ConnectLog& log)
{
    switch (mode) {
    case ProgrammerMode::None:
        log("No Programmer found !", true);
        break;
    case ProgrammerMode::BootLoader:
        log("Programmer in BOOT mode.", false);
        log("Only firmware upload allowed !", false);
        break;
    case ProgrammerMode::Application:
        log("Programmer in PROGRAM mode.", false);
        break;
    }
}

} // namespace talvex
