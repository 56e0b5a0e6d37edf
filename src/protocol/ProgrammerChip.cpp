#include "protocol/ProgrammerChip.h"

namespace talvex {

FtdiChipRequest programmerChipRequest(PortHost& host, const std::string& port)
{
    for (const PortInfo& info : host.listPorts()) {
        if (info.name == port && info.usb)
            return FtdiChipRequest::forProgrammerPort(info.usb->serial, info.usb->location);
    }
    return FtdiChipRequest::forProgrammerPort({}, {});
}

} // namespace talvex
