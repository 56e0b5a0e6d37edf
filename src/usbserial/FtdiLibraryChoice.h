#pragma once

#include "usbserial/FtdiBackend.h"

#include <functional>
#include <optional>
#include <string_view>

namespace talvex {

/// Which FTDI library the USB serial tool uses.
enum class FtdiLibraryPreference {
    Automatic, ///< D2XX where it loads (Windows, or a Linux with FTDI's driver), libftdi otherwise
    D2xx,
    Libftdi,
};

/// "d2xx" or "libftdi", as talvexctl's --ftdi-library takes it.
std::optional<FtdiLibraryPreference> ftdiLibraryPreferenceNamed(std::string_view name);

/// How to load each library; tests give the stand-ins' paths.
struct FtdiLibraryLoaders {
    std::function<FtdiLoadResult()> d2xx;
    std::function<FtdiLoadResult()> libftdi;
};

/// The libraries loaded by their default names.
FtdiLibraryLoaders defaultFtdiLibraryLoaders();

/// Loads the library the preference names; automatically D2XX first and
/// libftdi when D2XX does not load. When nothing loads, the error says
/// why for each library tried.
FtdiLoadResult chooseFtdiLibrary(FtdiLibraryPreference preference, const FtdiLibraryLoaders& loaders);

} // namespace talvex
