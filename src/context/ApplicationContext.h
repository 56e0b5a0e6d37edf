#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/Discovery.h"
#include "serial/PortSlot.h"
#include "update/VersionCheck.h"
#include "ftdi/D2xxApi.h"
#include "usbserial/D2xxBackend.h"
#include "usbserial/EepromBackup.h"
#include "usbserial/FtdiLibraryChoice.h"

#include <filesystem>
#include <functional>

namespace talvex {

class Clock;
class PortHost;

/// The state the whole process shares, in one place: the port host and
/// clock it runs on, the two port slots and what the last detection found.
/// main() makes one and hands it to every window; each test makes its own.
class ApplicationContext {
public:
    ApplicationContext(PortHost& host, Clock& clock, std::function<void()> pump = {})
        : m_host(host)
        , m_clock(clock)
        , m_pump(std::move(pump))
    {
    }

    PortHost& host() { return m_host; }
    Clock& clock() { return m_clock; }
    PortSlots& ports() { return m_ports; }
    DetectionResults& detection() { return m_detection; }

    /// Lets the windows repaint between the steps of a long operation.
    void pump()
    {
        if (m_pump)
            m_pump();
    }
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

    DiscoveryEnvironment discovery() { return {m_host, m_ports.a, m_clock, m_pump}; }

    /// How the USB serial tool gets its FTDI library: by default D2XX
    /// where it loads and libftdi otherwise (the preference can force one),
    /// with the EEPROM backups in the user's data directory.
    FtdiLoadResult loadUsbSerialLibrary() const
    {
        FtdiLoadResult loaded = m_ftdiLibrary(m_ftdiPreference);
        loaded.backupDirectory = m_backupDirectory;
        return loaded;
    }
    void setFtdiLibraryPreference(FtdiLibraryPreference preference) { m_ftdiPreference = preference; }
    /// Where the libraries are loaded from (tests: the stand-ins).
    void setFtdiLibraryLoaders(FtdiLibraryLoaders loaders)
    {
        m_ftdiLibrary = [loaders = std::move(loaders)](FtdiLibraryPreference preference) {
            return chooseFtdiLibrary(preference, loaders);
        };
    }
    /// A D2XX-shaped library instead, whatever the preference: the
    /// simulated programmer's chip. Its backups go to the temporary
    /// directory, never among the backups of real chips.
    using UsbSerialLibrary = std::function<D2xxLoadResult()>;
    void setUsbSerialLibrary(UsbSerialLibrary library)
    {
        m_ftdiLibrary = [library = std::move(library)](FtdiLibraryPreference) { return d2xxBackend(library()); };
        m_backupDirectory = std::filesystem::temp_directory_path() / "talvex-simulated-eeprom-backups";
    }
    const std::filesystem::path& usbSerialBackupDirectory() const { return m_backupDirectory; }
    void setUsbSerialBackupDirectory(std::filesystem::path directory) { m_backupDirectory = std::move(directory); }

    /// What the vendor's server named last, and where the check asks.
    LatestVersions& latestVersions() { return m_latestVersions; }
    const VersionServer& versionServer() const { return m_versionServer; }
    void setVersionServer(VersionServer server) { m_versionServer = std::move(server); }

private:
    PortHost& m_host;
    Clock& m_clock;
    std::function<void()> m_pump;
    PortSlots m_ports;
    DetectionResults m_detection;
    LatestVersions m_latestVersions;
    std::function<FtdiLoadResult(FtdiLibraryPreference)> m_ftdiLibrary = [](FtdiLibraryPreference preference) {
        return chooseFtdiLibrary(preference, defaultFtdiLibraryLoaders());
    };
    FtdiLibraryPreference m_ftdiPreference = FtdiLibraryPreference::Automatic;
    std::filesystem::path m_backupDirectory = defaultEepromBackupDirectory();
    VersionServer m_versionServer;
};

} // namespace talvex
