#include "usbserial/FtdiLibraryChoice.h"

#include "usbserial/D2xxBackend.h"
#include "usbserial/LibftdiBackend.h"

namespace talvex {
std::optional<FtdiLibraryPreference> ftdiLibraryPreferenceNamed(std::string_view name)
{
    if (name == "d2xx")
        return FtdiLibraryPreference::D2xx;
    if (name == "libftdi")
        return FtdiLibraryPreference::Libftdi;
    return std::nullopt;
}

FtdiLibraryLoaders defaultFtdiLibraryLoaders()
{
    return {[] { return loadD2xxBackend(); }, [] { return loadLibftdi(); }};
}

FtdiLoadResult chooseFtdiLibrary(FtdiLibraryPreference preference, const FtdiLibraryLoaders& loaders)
{
    switch (preference) {
    case FtdiLibraryPreference::D2xx: return loaders.d2xx();
    case FtdiLibraryPreference::Libftdi: return loaders.libftdi();
    case FtdiLibraryPreference::Automatic: break;
    }
    FtdiLoadResult d2xx = loaders.d2xx();
    if (d2xx)
        return d2xx;
    FtdiLoadResult libftdi = loaders.libftdi();
    if (libftdi)
        return libftdi;
    libftdi.error = "no FTDI library could be loaded. " + d2xx.error + " " + libftdi.error;
    return libftdi;
}

} // namespace talvex
