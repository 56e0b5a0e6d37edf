#pragma once

#include "usbserial/D2xxApi.h"
#include "usbserial/EepromImage.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

namespace talvex {

/// FT_GetDeviceInfoList over a list built by FT_CreateDeviceInfoList: at
/// most `count` records into `records`, `count` set to how many.
FtStatus copyDeviceList(const std::vector<FtDeviceListInfoNode>& list, FtDeviceListInfoNode* records,
                        std::uint32_t& count);

/// The simulated programmer's FTDI chip as the D2XX library shows it, in
/// process, for --simulate and tests: a dual-channel chip (type FT2232C,
/// ID 0x04036010, one device-list record per channel, LocId 0x2111 and
/// 0x2112) with one 64-word 93C46 EEPROM behind both channels.
///
/// Like the real chip it reads its EEPROM when it is plugged in: with a
/// valid image (checksum right) the records carry the EEPROM's serial
/// number plus the channel letter ("TLVX0001A", "TLVX0001B") and the
/// product name plus " A"/" B" ("TalvexUSB A", "TalvexUSB B"); with a
/// blank or broken image no serial number and "Dual RS232 A"/"B". A new
/// serial number therefore shows only after replug(), as on the bench.
class SimulatedFtdi final : public D2xxApi {
public:
    /// The chip leaves the factory programmed with the tool's own image.
    static constexpr const char* kFactorySerial = "TLVX0001";

    /// `hubPort` places the chip on bus 2 of the host: port 1 is location
    /// "2-1" with LocIds 0x2111 and 0x2112, port 2 "2-2" with 0x2211 …
    explicit SimulatedFtdi(const std::string& usbSerial = kFactorySerial, int hubPort = 1);

    /// Where the chip sits, as a Linux system names it ("2-1").
    std::string usbLocation() const;
    /// Whether `handle` is an open channel of this chip.
    bool ownsHandle(FtHandle handle) const;

    std::string name() const override { return "the simulated programmer's FTDI chip (D2XX)"; }
    FtStatus createDeviceInfoList(std::uint32_t& count) override;
    FtStatus getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count) override;
    FtStatus open(int index, FtHandle& handle) override;
    FtStatus eraseEe(FtHandle handle) override;
    FtStatus writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value) override;
    bool canReadEe() const override { return true; }
    FtStatus readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value) override;
    FtStatus close(FtHandle handle) override;

    /// Unplugged: no device listed, open handles dead. Plugging in again
    /// reads the EEPROM afresh.
    void setPlugged(bool plugged);
    void replug();

    EepromWords eeprom() const;
    void setEeprom(const EepromWords& words);

    /// Fault injection: FT_Open of a channel (0 or 1) answers `status`
    /// (FT_OK to heal); FT_WriteEE of `word` answers `status`.
    void failOpen(int channel, FtStatus status);
    void failWrite(int word, FtStatus status);

private:
    static constexpr int kChannels = 2;

    struct Channel {
        bool open = false;
        FtStatus openFailure = ftstatus::kOk;
    };

    void enumerate();
    int channelOf(FtHandle handle) const;

    mutable std::mutex m_mutex;
    int m_hubPort = 1;
    EepromWords m_eeprom{};
    std::array<Channel, kChannels> m_channels{};
    std::array<FtDeviceListInfoNode, kChannels> m_records{};
    std::vector<FtDeviceListInfoNode> m_list;
    bool m_plugged = true;
    int m_failWord = -1;
    FtStatus m_failWriteStatus = ftstatus::kOk;
};

} // namespace talvex
