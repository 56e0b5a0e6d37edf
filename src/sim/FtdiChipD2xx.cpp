// The chips as FTDI's D2XX library shows them: one record per channel, and
// the library's status for each EEPROM request.
#include "sim/FtdiChipModel.h"

#include <algorithm>
#include <cstring>

namespace talvex {
namespace {

constexpr std::uint32_t kD2xxTypeFt2232C = 4;
constexpr std::uint32_t kD2xxTypeFt2232H = 6;

} // namespace

std::uint32_t d2xxLocIdOf(const Ft2232Chip& chip, int channel)
{
    const std::uint32_t first = chip.ports.empty() ? 0 : static_cast<std::uint32_t>(chip.ports[0]);
    const std::uint32_t second = chip.ports.size() > 1 ? static_cast<std::uint32_t>(chip.ports[1]) : 1;
    return (static_cast<std::uint32_t>(chip.bus) & 0xF) << 12 | (first & 0xF) << 8 | (second & 0xF) << 4
         | static_cast<std::uint32_t>(channel + 1);
}

FtDeviceListInfoNode d2xxRecordOf(const Ft2232Chip& chip, int channel)
{
    FtDeviceListInfoNode record{};
    const FtdiEnumeration seen = chip.enumeration();
    const char letter = channel == 0 ? 'A' : 'B';
    record.Type = chip.kind == Ft2232Kind::Ft2232C ? kD2xxTypeFt2232C : kD2xxTypeFt2232H;
    record.ID = static_cast<std::uint32_t>(seen.vendorId) << 16 | seen.productId;
    record.LocId = d2xxLocIdOf(chip, channel);
    const bool heldByOther = channel == 0 && chip.heldElsewhere;
    if (chip.d2xxOpen[static_cast<std::size_t>(channel)] || heldByOther)
        record.Flags |= kFtFlagOpened;
    // An open device's strings are not read again.
    if (heldByOther)
        return record;
    const std::string serial = seen.serial && !seen.serial->empty() ? *seen.serial + letter : std::string();
    const std::string description = seen.product + ' ' + letter;
    std::strncpy(record.SerialNumber, serial.c_str(), sizeof record.SerialNumber - 1);
    std::strncpy(record.Description, description.c_str(), sizeof record.Description - 1);
    return record;
}

FtStatus d2xxOpenChannel(Ft2232Chip& chip, int channel)
{
    const auto i = static_cast<std::size_t>(channel);
    if (!chip.plugged)
        return ftstatus::kDeviceNotFound;
    if (chip.d2xxOpenFailure[i] != ftstatus::kOk)
        return chip.d2xxOpenFailure[i];
    if (chip.d2xxOpen[i] || chip.noAccess || (channel == 0 && chip.heldElsewhere))
        return ftstatus::kDeviceNotOpened;
    chip.d2xxOpen[i] = true;
    return ftstatus::kOk;
}

FtStatus d2xxCloseChannel(Ft2232Chip& chip, int channel)
{
    if (chip.d2xxCloseFailure != ftstatus::kOk)
        return chip.d2xxCloseFailure;
    chip.d2xxOpen[static_cast<std::size_t>(channel)] = false;
    return ftstatus::kOk;
}

namespace {

FtStatus d2xxStatusOf(ChipAnswer answer, FtStatus refused)
{
    switch (answer) {
    case ChipAnswer::Ok: return ftstatus::kOk;
    case ChipAnswer::Failed: return refused;
    case ChipAnswer::Gone: return ftstatus::kIoError;
    }
    return ftstatus::kOtherError;
}

} // namespace

FtStatus d2xxReadEe(Ft2232Chip& chip, std::uint32_t word, std::uint16_t& value)
{
    return d2xxStatusOf(chip.readWord(word, value), ftstatus::kEepromReadFailed);
}

FtStatus d2xxWriteEe(Ft2232Chip& chip, std::uint32_t word, std::uint16_t value)
{
    return d2xxStatusOf(chip.writeWord(word, value), chip.d2xxWriteFailure);
}

FtStatus d2xxEraseEe(Ft2232Chip& chip)
{
    return d2xxStatusOf(chip.erase(), ftstatus::kEepromEraseFailed);
}

FtStatus d2xxSetLatency(Ft2232Chip& chip, int channel, std::uint8_t milliseconds)
{
    const auto i = static_cast<std::size_t>(channel);
    if (!chip.plugged)
        return ftstatus::kIoError;
    if (milliseconds < chip.lowestLatency)
        return ftstatus::kInvalidParameter;
    chip.latency[i] = milliseconds;
    chip.latencySets[i].push_back(milliseconds);
    return ftstatus::kOk;
}

FtOpenedDevice d2xxDeviceInfo(const Ft2232Chip& chip, int channel)
{
    const FtDeviceListInfoNode record = d2xxRecordOf(chip, channel);
    const auto field = [](const char* text, std::size_t size) {
        return std::string(text, std::find(text, text + size, '\0'));
    };
    return {record.Type, record.ID, field(record.SerialNumber, sizeof record.SerialNumber),
            field(record.Description, sizeof record.Description)};
}

} // namespace talvex
