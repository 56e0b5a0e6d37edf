#pragma once

#include "serial/PortHost.h"

#include <memory>

namespace talvex {

/// The operating system's own ports (termios on POSIX, Win32 on Windows).
std::unique_ptr<PortHost> makeNativePortHost();

} // namespace talvex
