#pragma once

#include "serial/PortHost.h"
#include "usbserial/FtdiChipChoice.h"

#include <string>

namespace talvex {

/// The FTDI chip behind a programmer's port, as the host lists the port's
/// USB device: what a serial number write goes to.
FtdiChipRequest programmerChipRequest(PortHost& host, const std::string& port);

} // namespace talvex
