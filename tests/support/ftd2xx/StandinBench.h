#pragma once

// The stand-in D2XX library over the chips of a UsbBench, loaded through
// the same loader the program uses.

#include "support/libusb/UsbBench.h"
#include "usbserial/D2xxBackend.h"
#include "ftdi/DynamicD2xx.h"

#include <filesystem>
#include <string>

namespace talvex::test {

class StandinBench : public UsbBench {
public:
    StandinBench()
        : m_backups(std::filesystem::path(statePath()).replace_extension(".backups"))
    {
    }
    ~StandinBench()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_backups, ignored);
    }

    static D2xxLoadResult load(const char* library = TALVEX_FTD2XX_STANDIN) { return DynamicD2xx::load(library); }

    /// The tool's view of the stand-in library, backups kept here.
    FtdiLoadResult d2xx(const char* library = TALVEX_FTD2XX_STANDIN) const
    {
        FtdiLoadResult loaded = d2xxBackend(load(library));
        loaded.backupDirectory = m_backups;
        return loaded;
    }
    const std::filesystem::path& backupDirectory() const { return m_backups; }

private:
    std::filesystem::path m_backups;
};

} // namespace talvex::test
