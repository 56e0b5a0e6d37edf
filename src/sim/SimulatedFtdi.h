#pragma once

#include "sim/FtdiChipModel.h"
#include "ftdi/D2xxApi.h"
// Its users read the image with the tool's helpers.
#include "usbserial/EepromImage.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace talvex {

/// FT_GetDeviceInfoList over a list built by FT_CreateDeviceInfoList: at
/// most `count` records into `records`, `count` set to how many.
FtStatus copyDeviceList(const std::vector<FtDeviceListInfoNode>& list, FtDeviceListInfoNode* records,
                        std::uint32_t& count);

/// The simulated programmer's FTDI chip as the D2XX library shows it, in
/// process, for --simulate and tests: one FT2232 of the chip model with
/// its EEPROM, one device-list record per channel (LocId 0x2111 and 0x2112
/// on hub port 1).
///
/// Like the real chip it reads its EEPROM when it is plugged in: with a
/// valid image the records carry the EEPROM's serial number plus the
/// channel letter ("TLVX0001A") and the product plus " A"/" B"; with a
/// blank or broken image no serial number and "Dual RS232 A"/"B". A new
/// serial number therefore shows only after replug(), as on the bench.
class SimulatedFtdi final : public D2xxApi {
public:
    /// The chip leaves the factory programmed with this serial number.
    static constexpr const char* kFactorySerial = "TLVX0001";

    /// `hubPort` places the chip on bus 2 of the host: port 1 is location
    /// "2-1", port 2 "2-2" … Its EEPROM holds a valid image with
    /// manufacturer "FTDI", product "TalvexUSB" and `usbSerial`.
    explicit SimulatedFtdi(const std::string& usbSerial = kFactorySerial, int hubPort = 1,
                           Ft2232Kind kind = Ft2232Kind::Ft2232C, EepromPart part = EepromPart::C46);
    /// Any chip the model describes, faults included.
    explicit SimulatedFtdi(Ft2232Chip chip);

    /// Where the chip sits, as a Linux system names it ("2-1").
    std::string usbLocation() const;
    /// Whether `handle` is an open channel of this chip.
    bool ownsHandle(FtHandle handle) const;

    std::string name() const override { return "the simulated programmer's FTDI chip (D2XX)"; }
    FtStatus createDeviceInfoList(std::uint32_t& count) override;
    FtStatus getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count) override;
    FtStatus open(int index, FtHandle& handle) override;
    bool canOpenEx() const override { return true; }
    /// FT_DEVICE_NOT_FOUND unless a channel of this chip has that record.
    FtStatus openBySerial(const std::string& serial, FtHandle& handle) override;
    FtStatus openByLocation(std::uint32_t locId, FtHandle& handle) override;
    FtStatus getDeviceInfo(FtHandle handle, FtOpenedDevice& device) override;
    FtStatus eraseEe(FtHandle handle) override;
    FtStatus writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value) override;
    bool canReadEe() const override { return true; }
    FtStatus readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value) override;
    FtStatus close(FtHandle handle) override;

    /// Unplugged: no device listed, open handles dead. Plugging in again
    /// reads the EEPROM afresh.
    void setPlugged(bool plugged);
    void replug();

    /// The first 64 words (all of a 93C46), for the tool's 64-word helpers.
    EepromWords eeprom() const;
    /// The whole part, as many words as it holds.
    std::vector<std::uint16_t> eepromPart() const;
    /// The first 64 words; the rest of a larger EEPROM is kept. Seen at the
    /// next plug-in.
    void setEeprom(const EepromWords& words);
    /// Padded with 0xFFFF or cut to the EEPROM's size; seen at the next plug-in.
    void setEepromPart(const std::vector<std::uint16_t>& words);

    /// Fault injection: FT_Open of a channel (0 or 1) answers `status`
    /// (FT_OK to heal); FT_WriteEE of `word` answers `status`, unwritten.
    void failOpen(int channel, FtStatus status);
    void failWrite(int word, FtStatus status);

    /// The chip with its records and faults.
    Ft2232Chip chip() const;
    /// Changes the chip under the lock, for faults the methods above lack.
    template<typename Change>
    void change(Change change)
    {
        std::lock_guard lock(m_mutex);
        change(m_chip);
    }

private:
    static constexpr int kChannels = 2;

    /// A handle: its channel and the plug-in it was opened in.
    struct Slot {
        int channel = 0;
        int plugCount = 0;
        bool held = false; ///< given out and not closed
    };

    /// The held slot behind `handle`, or none.
    const Slot* slotOf(FtHandle handle) const;
    /// Whether the chip has left the bus since the slot was opened.
    bool stale(const Slot& slot) const;
    /// Runs `action` on the channel of a live handle; FT_INVALID_HANDLE for
    /// an unknown one, FT_IO_ERROR for one whose chip has gone.
    template<typename Action>
    FtStatus withChannel(FtHandle handle, Action action);
    FtStatus openChannel(int channel, FtHandle& handle);

    mutable std::mutex m_mutex;
    Ft2232Chip m_chip;
    std::array<Slot, kChannels> m_slots{};
    std::vector<FtDeviceListInfoNode> m_list;
};

} // namespace talvex
