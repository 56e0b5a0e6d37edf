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
/// The same for the stand-in libftdi, which keeps the same file format.
constexpr const char* kLibftdiStateVariable = "TALVEX_LIBFTDI_STATE";

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

    int comPort = -1;                       ///< FT_GetComPortNumber's answer: the VCP driver's COM number
    std::uint8_t latency = 16;              ///< the latency timer, in ms (the chip's default)
    std::uint8_t lowestLatency = 1;         ///< FT_SetLatencyTimer refuses less than this
    std::string latencySets;                ///< every value FT_SetLatencyTimer took, in order, blank-separated

    // The stand-in libftdi's view of the same chip: the USB device.
    int bus = 1;
    int address = 2;
    std::uint32_t bcdDevice = 0x0500;    ///< the release number: an FT2232C
    std::uint32_t sioDetached = 0;       ///< interfaces ftdi_sio lets go of: bit 0 A, bit 1 B
    int detaches = 0;                    ///< ftdi_sio let go of an interface
    int reattaches = 0;                  ///< ftdi_sio took an interface back
    bool reattachOnClose = false;        ///< opened with AUTO_DETACH_REATACH_SIO_MODULE
    std::string openedBy;                ///< "serial" or "bus": how the last open found it
    bool heldElsewhere = false;          ///< another program claimed interface A
    bool noAccess = false;               ///< the user may not open the USB device
    bool unplugged = false;              ///< gone from the bus
    int vanishAfterWrites = -1;          ///< unplugged after this many word writes
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
