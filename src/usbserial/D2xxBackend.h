#pragma once

#include "ftdi/D2xxApi.h"
#include "ftdi/DynamicLibrary.h"
#include "usbserial/FtdiBackend.h"

#include <string>

namespace talvex {

/// The USB serial tool's view of a D2XX-shaped library: FTDI's own,
/// loaded at run time, or the simulated programmer's chip.
FtdiLoadResult d2xxBackend(D2xxLoadResult library);

/// Loads FTDI's D2XX library (see DynamicD2xx::load) behind the backend.
FtdiLoadResult loadD2xxBackend(const std::string& nameOrPath = defaultD2xxLibraryName());


} // namespace talvex
