// A stand-in for FTDI's D2XX library, for tests: the same C entry points
// and calling convention, over the FT2232 chips of the chip model kept in
// the state file that TALVEX_USB_STATE names (the one the stand-in libusb
// reads too). One device-list record per channel; every call loads the
// file, acts and saves it. Built three more times with entry points left
// out (FT_ReadEE, FT_WriteEE, the latency timer's) to test how the tool
// meets an older or broken library.

#include "sim/FtdiChipModel.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#define TALVEX_STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define TALVEX_STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using talvex::FtDeviceListInfoNode;
using talvex::Ft2232Bus;
using talvex::Ft2232Chip;
using talvex::FtHandle;
using talvex::FtStatus;
namespace ftstatus = talvex::ftstatus;

namespace {

constexpr const char* kStateVariable = "TALVEX_USB_STATE";

// Handles are numbers no pointer takes: base + plug-in << 16 + chip * 2 +
// channel, so a stale or foreign handle is recognised, not dereferenced.
constexpr std::uintptr_t kHandleBase = 0x7A000000;
constexpr std::uintptr_t kHandleSpan = 0x01000000;

std::mutex g_mutex;
std::vector<FtDeviceListInfoNode> g_list; // FT_CreateDeviceInfoList's snapshot

struct Channel {
    std::size_t chip = 0;
    int channel = 0;
};

FtHandle handleOf(const Ft2232Chip& chip, std::size_t index, int channel)
{
    return reinterpret_cast<FtHandle>(kHandleBase + (static_cast<std::uintptr_t>(chip.plugCount & 0xFF) << 16)
                                      + index * 2 + static_cast<std::uintptr_t>(channel));
}

// Runs `action` on the loaded bus and saves it; FT_OTHER_ERROR when there
// is no state to act on: the stand-in never invents devices.
template<typename Action>
FtStatus withBus(Action action, bool changes = true)
{
    const char* path = std::getenv(kStateVariable);
    if (!path)
        return ftstatus::kOtherError;
    auto bus = talvex::loadFt2232Bus(path);
    if (!bus)
        return ftstatus::kOtherError;
    const FtStatus status = action(*bus);
    if (changes && !talvex::saveFt2232Bus(path, *bus))
        return ftstatus::kOtherError;
    return status;
}

// The channels the library lists now, in order.
std::vector<Channel> listed(const Ft2232Bus& bus)
{
    std::vector<Channel> channels;
    for (std::size_t i = 0; i < bus.chips.size(); ++i) {
        if (bus.chips[i].plugged) {
            channels.push_back({i, 0});
            channels.push_back({i, 1});
        }
    }
    return channels;
}

FtDeviceListInfoNode recordOf(const Ft2232Bus& bus, const Channel& at)
{
    const Ft2232Chip& chip = bus.chips[at.chip];
    FtDeviceListInfoNode record = talvex::d2xxRecordOf(chip, at.channel);
    if (chip.d2xxOpen[static_cast<std::size_t>(at.channel)])
        record.ftHandle = handleOf(chip, at.chip, at.channel);
    return record;
}

FtStatus openAt(Ft2232Bus& bus, const Channel& at, FtHandle* handle)
{
    Ft2232Chip& chip = bus.chips[at.chip];
    const FtStatus status = talvex::d2xxOpenChannel(chip, at.channel);
    if (status == ftstatus::kOk)
        *handle = handleOf(chip, at.chip, at.channel);
    return status;
}

// Runs `action` on the chip and channel of an open handle: FT_INVALID_HANDLE
// for one never given out, FT_IO_ERROR for one whose chip has left the bus
// since (FT_Close of it succeeds: it only frees the handle).
template<typename Action>
FtStatus withChannel(FtHandle handle, Action action, bool closing = false)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value < kHandleBase || value >= kHandleBase + kHandleSpan)
        return ftstatus::kInvalidHandle;
    const std::uintptr_t offset = value - kHandleBase;
    const int plug = static_cast<int>(offset >> 16);
    const std::size_t index = (offset & 0xFFFF) / 2;
    const int channel = static_cast<int>(offset & 1);
    return withBus([&](Ft2232Bus& bus) {
        if (index >= bus.chips.size())
            return ftstatus::kInvalidHandle;
        Ft2232Chip& chip = bus.chips[index];
        if (!chip.plugged || (chip.plugCount & 0xFF) != plug)
            return closing ? ftstatus::kOk : ftstatus::kIoError;
        if (!chip.d2xxOpen[static_cast<std::size_t>(channel)])
            return ftstatus::kInvalidHandle;
        return action(chip, channel);
    });
}

void copyField(char* field, std::size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

} // namespace

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_CreateDeviceInfoList(std::uint32_t* count)
{
    if (!count)
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withBus(
        [&](Ft2232Bus& bus) {
            if (bus.d2xxCreateFailure != ftstatus::kOk)
                return bus.d2xxCreateFailure;
            g_list.clear();
            for (const Channel& at : listed(bus))
                g_list.push_back(recordOf(bus, at));
            *count = static_cast<std::uint32_t>(g_list.size());
            return ftstatus::kOk;
        },
        false);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetDeviceInfoList(FtDeviceListInfoNode* records,
                                                                     std::uint32_t* count)
{
    if (!records || !count)
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withBus(
        [&](Ft2232Bus& bus) {
            if (bus.d2xxListFailure != ftstatus::kOk)
                return bus.d2xxListFailure;
            const std::size_t n = std::min<std::size_t>(*count, g_list.size());
            std::copy_n(g_list.begin(), n, records);
            *count = static_cast<std::uint32_t>(n);
            return ftstatus::kOk;
        },
        false);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_Open(int index, FtHandle* handle)
{
    if (!handle)
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withBus([&](Ft2232Bus& bus) {
        const std::vector<Channel> channels = listed(bus);
        if (index < 0 || static_cast<std::size_t>(index) >= channels.size())
            return ftstatus::kDeviceNotFound;
        return openAt(bus, channels[static_cast<std::size_t>(index)], handle);
    });
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_OpenEx(void* argument, std::uint32_t flags, FtHandle* handle)
{
    if (!handle || (flags != talvex::ftopen::kByLocation && !argument))
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withBus([&](Ft2232Bus& bus) {
        for (const Channel& at : listed(bus)) {
            const Ft2232Chip& chip = bus.chips[at.chip];
            bool match = false;
            if (flags == talvex::ftopen::kByLocation) {
                // The location travels in the pointer argument itself.
                match = talvex::d2xxLocIdOf(chip, at.channel)
                     == static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(argument));
            } else if (flags == talvex::ftopen::kBySerialNumber) {
                const std::string serial = talvex::d2xxDeviceInfo(chip, at.channel).serialNumber;
                match = !serial.empty() && serial == static_cast<const char*>(argument);
            } else if (flags == talvex::ftopen::kByDescription) {
                match = talvex::d2xxDeviceInfo(chip, at.channel).description == static_cast<const char*>(argument);
            } else {
                return ftstatus::kInvalidParameter;
            }
            if (match)
                return openAt(bus, at, handle);
        }
        return ftstatus::kDeviceNotFound;
    });
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetDeviceInfo(FtHandle handle, std::uint32_t* type,
                                                                 std::uint32_t* id, char* serialNumber,
                                                                 char* description, void*)
{
    std::lock_guard lock(g_mutex);
    return withChannel(handle, [&](Ft2232Chip& chip, int channel) {
        const talvex::FtOpenedDevice device = talvex::d2xxDeviceInfo(chip, channel);
        if (type)
            *type = device.type;
        if (id)
            *id = device.id;
        if (serialNumber)
            copyField(serialNumber, 16, device.serialNumber);
        if (description)
            copyField(description, 64, device.description);
        return ftstatus::kOk;
    });
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_EraseEE(FtHandle handle)
{
    std::lock_guard lock(g_mutex);
    return withChannel(handle, [](Ft2232Chip& chip, int) { return talvex::d2xxEraseEe(chip); });
}

#if !defined(TALVEX_STANDIN_WITHOUT_WRITEEE)
TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_WriteEE(FtHandle handle, std::uint32_t wordOffset,
                                                           std::uint16_t value)
{
    std::lock_guard lock(g_mutex);
    return withChannel(handle, [&](Ft2232Chip& chip, int) { return talvex::d2xxWriteEe(chip, wordOffset, value); });
}
#endif

#if !defined(TALVEX_STANDIN_WITHOUT_READEE)
TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_ReadEE(FtHandle handle, std::uint32_t wordOffset,
                                                          std::uint16_t* value)
{
    if (!value)
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withChannel(handle, [&](Ft2232Chip& chip, int) { return talvex::d2xxReadEe(chip, wordOffset, *value); });
}
#endif

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_Close(FtHandle handle)
{
    std::lock_guard lock(g_mutex);
    return withChannel(
        handle, [](Ft2232Chip& chip, int channel) { return talvex::d2xxCloseChannel(chip, channel); }, true);
}

#if !defined(TALVEX_STANDIN_WITHOUT_LATENCY)
TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetComPortNumber(FtHandle handle, std::int32_t* number)
{
    if (!number)
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withChannel(handle, [&](Ft2232Chip& chip, int channel) {
        *number = chip.comPort[static_cast<std::size_t>(channel)];
        return ftstatus::kOk;
    });
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetLatencyTimer(FtHandle handle, std::uint8_t* milliseconds)
{
    if (!milliseconds)
        return ftstatus::kInvalidParameter;
    std::lock_guard lock(g_mutex);
    return withChannel(handle, [&](Ft2232Chip& chip, int channel) {
        *milliseconds = chip.latency[static_cast<std::size_t>(channel)];
        return ftstatus::kOk;
    });
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_SetLatencyTimer(FtHandle handle, std::uint8_t milliseconds)
{
    std::lock_guard lock(g_mutex);
    return withChannel(handle,
                       [&](Ft2232Chip& chip, int channel) { return talvex::d2xxSetLatency(chip, channel, milliseconds); });
}
#endif
