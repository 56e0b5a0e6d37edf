#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The few declarations of FTDI's D2XX API the USB serial tool uses, written
// from the published programmer's guide (types, record layout, status
// values). On 32-bit Windows the library uses the stdcall convention
// (WINAPI); everywhere else the C convention.
#if defined(_WIN32)
#define TALVEX_D2XX_CALL __stdcall
#else
#define TALVEX_D2XX_CALL
#endif

namespace talvex {

// ULONG and DWORD are 32 bits in the D2XX headers on Windows and Linux alike.
using FtStatus = std::uint32_t;
using FtHandle = void*;

namespace ftstatus {
constexpr FtStatus kOk = 0;
constexpr FtStatus kInvalidHandle = 1;
constexpr FtStatus kDeviceNotFound = 2;
constexpr FtStatus kDeviceNotOpened = 3;
constexpr FtStatus kIoError = 4;
constexpr FtStatus kInsufficientResources = 5;
constexpr FtStatus kInvalidParameter = 6;
constexpr FtStatus kInvalidBaudRate = 7;
constexpr FtStatus kDeviceNotOpenedForErase = 8;
constexpr FtStatus kDeviceNotOpenedForWrite = 9;
constexpr FtStatus kFailedToWriteDevice = 10;
constexpr FtStatus kEepromReadFailed = 11;
constexpr FtStatus kEepromWriteFailed = 12;
constexpr FtStatus kEepromEraseFailed = 13;
constexpr FtStatus kEepromNotPresent = 14;
constexpr FtStatus kEepromNotProgrammed = 15;
constexpr FtStatus kInvalidArgs = 16;
constexpr FtStatus kNotSupported = 17;
constexpr FtStatus kOtherError = 18;
} // namespace ftstatus

/// Values of the record's Type field the simulations report.
namespace fttype {
constexpr std::uint32_t kFt232Bm = 0;
constexpr std::uint32_t kFt2232C = 4;
constexpr std::uint32_t kFt232R = 5;
} // namespace fttype

/// FT_FLAGS_OPENED: another process holds the device; the library then
/// leaves the record's other fields empty.
constexpr std::uint32_t kFtFlagOpened = 1;

/// The library's device-list record (FT_DEVICE_LIST_INFO_NODE), laid out
/// as the library fills it: FT_GetDeviceInfoList writes an array of these.
struct FtDeviceListInfoNode {
    std::uint32_t Flags;
    std::uint32_t Type;
    std::uint32_t ID;
    std::uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FtHandle ftHandle;
};
// The library writes this layout; a change here would corrupt every record.
static_assert(offsetof(FtDeviceListInfoNode, SerialNumber) == 16);
static_assert(offsetof(FtDeviceListInfoNode, Description) == 32);
static_assert(offsetof(FtDeviceListInfoNode, ftHandle) == 96);

/// FT_OpenEx's flags.
namespace ftopen {
constexpr std::uint32_t kBySerialNumber = 1;
constexpr std::uint32_t kByDescription = 2;
constexpr std::uint32_t kByLocation = 4;
} // namespace ftopen

/// What FT_GetDeviceInfo tells of an open handle.
struct FtOpenedDevice {
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::string serialNumber; ///< with the channel letter, as in the device list
    std::string description;
};

/// The status's name as FTDI's documentation spells it ("FT_IO_ERROR"),
/// or "status 42" for a value it does not name.
std::string d2xxStatusName(FtStatus status);

/// A fixed-size, zero-terminated character field of a D2XX record as
/// text; stops at the field's end when the library left no terminator.
std::string d2xxFieldText(const char* field, std::size_t size);

} // namespace talvex
