#include "ftdi/D2xxTypes.h"

#include <algorithm>
#include <array>

namespace talvex {

std::string d2xxStatusName(FtStatus status)
{
    static constexpr std::array<const char*, 19> kNames = {
        "FT_OK",
        "FT_INVALID_HANDLE",
        "FT_DEVICE_NOT_FOUND",
        "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR",
        "FT_INSUFFICIENT_RESOURCES",
        "FT_INVALID_PARAMETER",
        "FT_INVALID_BAUD_RATE",
        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
        "FT_FAILED_TO_WRITE_DEVICE",
        "FT_EEPROM_READ_FAILED",
        "FT_EEPROM_WRITE_FAILED",
        "FT_EEPROM_ERASE_FAILED",
        "FT_EEPROM_NOT_PRESENT",
        "FT_EEPROM_NOT_PROGRAMMED",
        "FT_INVALID_ARGS",
        "FT_NOT_SUPPORTED",
        "FT_OTHER_ERROR",
    };
    if (status < kNames.size())
        return kNames[status];
    return "status " + std::to_string(status);
}

std::string d2xxFieldText(const char* field, std::size_t size)
{
    const char* end = std::find(field, field + size, '\0');
    return std::string(field, end);
}

} // namespace talvex
