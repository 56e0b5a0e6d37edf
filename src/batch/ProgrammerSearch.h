#pragma once

#include "batch/FoundProgrammer.h"

#include <functional>
#include <string>
#include <vector>

namespace talvex {

class Clock;
class PortHost;

/// What a batch searches, and how it hears of it.
struct ProgrammerSearchRequest {
    /// Only these ports, in this order, whether the host lists them or not
    /// (a pseudo-terminal is never listed); empty: every listed port.
    std::vector<std::string> ports;
    int answerDelayMs = 1000;
    std::function<void(const std::string&)> log;
};

/// Finds every programmer on the host. The ports of each FTDI chip are
/// tried together, interface A only, all chips at once; ports without an
/// FTDI identity are tried one by one (all at once too) and paired by the
/// serial number they answer with. As the automatic detection does, the
/// other ports are opened only when no FTDI chip answered, unless they
/// were named. The programmers come in the order of their first port.
std::vector<FoundProgrammer> findProgrammers(PortHost& host, Clock& clock, const ProgrammerSearchRequest& request);

/// The port that carries `usb`'s chip and interface now (a system may
/// name a re-plugged device's ports anew); `fallback` when none does.
std::string portOfUsbIdentity(PortHost& host, const UsbIdentity& usb, const std::string& fallback);

} // namespace talvex
