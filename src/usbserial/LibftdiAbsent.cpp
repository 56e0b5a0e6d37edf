#include "usbserial/LibftdiBackend.h"

// Builds without libftdi's headers (Windows, where D2XX is the library).

namespace talvex {

std::string defaultLibftdiLibraryName()
{
    return "libftdi1.so.2";
}

FtdiLoadResult loadLibftdi(const std::string& nameOrPath)
{
    return {nullptr,
            "this build of the tool cannot use libftdi (" + nameOrPath +
                "); use FTDI's D2XX library.",
            {}};
}

} // namespace talvex
