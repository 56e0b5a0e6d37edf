#pragma once

#include "serial/PortHost.h"

#include <map>
#include <string>

namespace talvex {

/// The present devices of the Ports class that have a USB device behind
/// them, by port name ("COM3"), read through SetupAPI. Empty where SetupAPI
/// lists none (Wine, for one).
std::map<std::string, UsbIdentity> setupApiUsbPorts();

} // namespace talvex
