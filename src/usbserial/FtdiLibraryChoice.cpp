#include "usbserial/FtdiLibraryChoice.h"

#include "usbserial/D2xxBackend.h"
#include "usbserial/LibftdiBackend.h"

namespace talvex {
namespace {

// Each loader's sentence starts with the same words; said once is enough.
std::string reasonOf(const std::string& error)
{
    constexpr std::string_view kPrefix = "USB serial tool unavailable: ";
    if (error.compare(0, kPrefix.size(), kPrefix) == 0)
        return error.substr(kPrefix.size());
    return error;
}

} // namespace

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
    libftdi.error = "USB serial tool unavailable: no FTDI library could be loaded. " + reasonOf(d2xx.error) + " " +
        reasonOf(libftdi.error);
    return libftdi;
}

} // namespace talvex
