#include "serial/PortStatus.h"

namespace talvex {

const char* portStatusName(PortStatus status)
{
    switch (status) {
    case PortStatus::Ok: return "ok";
    case PortStatus::TimedOut: return "time-out";
    case PortStatus::Gone: return "gone";
    case PortStatus::Denied: return "denied";
    case PortStatus::Busy: return "busy";
    case PortStatus::Other: break;
    }
    return "other";
}

} // namespace talvex
