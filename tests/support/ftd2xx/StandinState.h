#pragma once

#include "usbserial/D2xxTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvex::standin {

/// The environment variable naming the stand-in D2XX library's state
/// file. Only tests set it; without it the library answers FT_OTHER_ERROR.
constexpr const char* kStateVariable = "TALVEX_FTD2XX_STATE";

/// One emulated FTDI chip: its device-list record, its 64-word EEPROM and
/// the faults a test asks for.
struct Chip {
    std::uint32_t flags = 0;
    std::uint32_t type = fttype::kFt232R;
    std::uint32_t id = 0x04036001;
    std::uint32_t locId = 0;
    std::string serial;
    std::string description;
    std::array<std::uint16_t, 64> eeprom{};

    bool opened = false;
    int erases = 0;
    int wordWrites = 0;

    FtStatus openFailure = ftstatus::kOk;   ///< FT_Open answers this
    int failWriteWord = -1;                 ///< FT_WriteEE of this word fails…
    FtStatus failWriteStatus = ftstatus::kEepromWriteFailed; ///< …with this
    int stuckWord = -1;                     ///< writes to this word are lost, yet answered FT_OK
    FtStatus closeFailure = ftstatus::kOk;  ///< FT_Close answers this
};

struct State {
    FtStatus createFailure = ftstatus::kOk; ///< FT_CreateDeviceInfoList answers this
    FtStatus listFailure = ftstatus::kOk;   ///< FT_GetDeviceInfoList answers this
    std::vector<Chip> chips;
};

/// The file is plain "key value" lines; "chip" starts the next chip and
/// string values run to the end of the line, blanks included.
std::optional<State> loadState(const std::string& path);
bool saveState(const std::string& path, const State& state);

} // namespace talvex::standin
