// A stand-in for FTDI's D2XX library, for tests: the same C entry points
// and calling convention, over FTDI chips emulated in a state file that the
// test names in TALVEX_FTD2XX_STATE. Every call reads the file and writes
// it back, so the test sees each chip's EEPROM and counters afterwards.
// Built three more times with entry points left out (FT_ReadEE, FT_WriteEE,
// the latency timer's) to test how the tool meets an older or broken library.

#include "support/ftd2xx/StandinState.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define TALVEX_STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define TALVEX_STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using talvex::FtDeviceListInfoNode;
using talvex::FtHandle;
using talvex::FtStatus;
namespace ftstatus = talvex::ftstatus;
namespace standin = talvex::standin;

namespace {

// Handles are small numbers no pointer takes, so a stale or foreign handle
// is recognised instead of dereferenced.
constexpr std::uintptr_t kHandleBase = 0x7A1E0000;

const char* statePath()
{
    return std::getenv(standin::kStateVariable);
}

// Runs `action` on the loaded state and saves it when the action changed
// it; FT_OTHER_ERROR when there is no state to act on.
template<typename Action>
FtStatus withState(Action action, bool changes = true)
{
    const char* path = statePath();
    if (!path)
        return ftstatus::kOtherError;
    auto state = standin::loadState(path);
    if (!state)
        return ftstatus::kOtherError;
    const FtStatus status = action(*state);
    if (changes && !standin::saveState(path, *state))
        return ftstatus::kOtherError;
    return status;
}

standin::Chip* chipOf(standin::State& state, FtHandle handle)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value < kHandleBase || value >= kHandleBase + state.chips.size())
        return nullptr;
    standin::Chip& chip = state.chips[value - kHandleBase];
    return chip.opened ? &chip : nullptr;
}

// Runs `action` on the open chip behind the handle; FT_INVALID_HANDLE when there is none.
template<typename Action>
FtStatus withChip(FtHandle handle, Action action, bool changes = true)
{
    return withState(
        [&](standin::State& state) {
            standin::Chip* chip = chipOf(state, handle);
            return chip ? action(*chip) : ftstatus::kInvalidHandle;
        },
        changes);
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
    return withState(
        [&](standin::State& state) {
            if (state.createFailure != ftstatus::kOk)
                return state.createFailure;
            *count = static_cast<std::uint32_t>(state.chips.size());
            return ftstatus::kOk;
        },
        false);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetDeviceInfoList(FtDeviceListInfoNode* records,
                                                                     std::uint32_t* count)
{
    if (!records || !count)
        return ftstatus::kInvalidParameter;
    return withState(
        [&](standin::State& state) {
            if (state.listFailure != ftstatus::kOk)
                return state.listFailure;
            const std::size_t n = std::min<std::size_t>(*count, state.chips.size());
            for (std::size_t i = 0; i < n; ++i) {
                const standin::Chip& chip = state.chips[i];
                FtDeviceListInfoNode& record = records[i];
                record.Flags = chip.flags | (chip.opened ? talvex::kFtFlagOpened : 0);
                record.Type = chip.type;
                record.ID = chip.id;
                record.LocId = chip.locId;
                // The real library writes whole fields; so does this one.
                copyField(record.SerialNumber, sizeof record.SerialNumber, chip.serial);
                copyField(record.Description, sizeof record.Description, chip.description);
                record.ftHandle = chip.opened ? reinterpret_cast<FtHandle>(kHandleBase + i) : nullptr;
            }
            *count = static_cast<std::uint32_t>(n);
            return ftstatus::kOk;
        },
        false);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_Open(int index, FtHandle* handle)
{
    if (!handle)
        return ftstatus::kInvalidParameter;
    return withState([&](standin::State& state) {
        if (index < 0 || static_cast<std::size_t>(index) >= state.chips.size())
            return ftstatus::kDeviceNotFound;
        standin::Chip& chip = state.chips[static_cast<std::size_t>(index)];
        if (chip.openFailure != ftstatus::kOk)
            return chip.openFailure;
        if (chip.opened)
            return ftstatus::kDeviceNotOpened;
        chip.opened = true;
        *handle = reinterpret_cast<FtHandle>(kHandleBase + static_cast<std::uintptr_t>(index));
        return ftstatus::kOk;
    });
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_EraseEE(FtHandle handle)
{
    return withChip(handle, [](standin::Chip& chip) {
        chip.eeprom.fill(0xFFFF); // an erased 93C46 reads all ones
        ++chip.erases;
        return ftstatus::kOk;
    });
}

#if !defined(TALVEX_STANDIN_WITHOUT_WRITEEE)
TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_WriteEE(FtHandle handle, std::uint32_t wordOffset,
                                                           std::uint16_t value)
{
    return withChip(handle, [&](standin::Chip& chip) {
        if (wordOffset >= chip.eeprom.size())
            return ftstatus::kInvalidParameter;
        if (static_cast<int>(wordOffset) == chip.failWriteWord)
            return chip.failWriteStatus;
        ++chip.wordWrites;
        if (static_cast<int>(wordOffset) != chip.stuckWord)
            chip.eeprom[wordOffset] = value;
        return ftstatus::kOk;
    });
}
#endif

#if !defined(TALVEX_STANDIN_WITHOUT_READEE)
TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_ReadEE(FtHandle handle, std::uint32_t wordOffset,
                                                          std::uint16_t* value)
{
    if (!value)
        return ftstatus::kInvalidParameter;
    return withChip(
        handle,
        [&](standin::Chip& chip) {
            if (wordOffset >= chip.eeprom.size())
                return ftstatus::kInvalidParameter;
            *value = chip.eeprom[wordOffset];
            return ftstatus::kOk;
        },
        false);
}
#endif

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_Close(FtHandle handle)
{
    return withChip(handle, [](standin::Chip& chip) {
        if (chip.closeFailure != ftstatus::kOk)
            return chip.closeFailure;
        chip.opened = false;
        return ftstatus::kOk;
    });
}

#if !defined(TALVEX_STANDIN_WITHOUT_LATENCY)
// Reads one field of an open chip, changing nothing.
template<typename T, typename Field>
FtStatus readField(FtHandle handle, T* out, Field field)
{
    if (!out)
        return ftstatus::kInvalidParameter;
    return withChip(
        handle,
        [&](const standin::Chip& chip) {
            *out = chip.*field;
            return ftstatus::kOk;
        },
        false);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetComPortNumber(FtHandle handle, std::int32_t* number)
{
    return readField(handle, number, &standin::Chip::comPort);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_GetLatencyTimer(FtHandle handle, std::uint8_t* milliseconds)
{
    return readField(handle, milliseconds, &standin::Chip::latency);
}

TALVEX_STANDIN_EXPORT FtStatus TALVEX_D2XX_CALL FT_SetLatencyTimer(FtHandle handle, std::uint8_t milliseconds)
{
    return withChip(handle, [&](standin::Chip& chip) {
        if (milliseconds < chip.lowestLatency)
            return ftstatus::kInvalidParameter;
        chip.latency = milliseconds;
        chip.latencySets += (chip.latencySets.empty() ? "" : " ") + std::to_string(milliseconds);
        return ftstatus::kOk;
    });
}
#endif
