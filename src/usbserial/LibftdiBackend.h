#pragma once

#include "usbserial/FtdiBackend.h"

#include <string>

namespace talvex {

/// libftdi's file name: "libftdi1.so.2" (the run-time package, without
/// the development files).
std::string defaultLibftdiLibraryName();

/// Loads libftdi at run time, so the program starts without it. Lists
/// the FTDI chips (one record per chip), opens one by its USB serial
/// number, or by bus and address when another chip carries the same
/// number, claiming only interface A: ftdi_sio lets go of that interface
/// for the EEPROM access and takes it back when the chip is closed. Not
/// built for Windows, where D2XX is the library: there the result only
/// says so.
FtdiLoadResult loadLibftdi(const std::string& nameOrPath = defaultLibftdiLibraryName());

} // namespace talvex
