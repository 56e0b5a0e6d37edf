#pragma once

#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "usbserial/UsbSerialTool.h"

#include <optional>
#include <string>
#include <string_view>

namespace talvex::cli {

/// The Serial tab's operations on a terminal: the tool's log lines go out
/// as they are, and each outcome becomes an exit code.

/// The exit status of an EEPROM read or write that ended so.
ExitCode exitCodeFor(EepromOutcome outcome);

/// "Read Serial": lists the FTDI devices and selects the one a write opens;
/// `listingText` receives the Serial tab's text of the list.
ExitCode listUsbDevices(UsbSerialTool& tool, Console& console, std::string* listingText = nullptr);

/// After a listing: the chip the request names, or the only programmer chip;
/// several chips and none named is refused with the candidates.
ExitCode selectUsbChip(UsbSerialTool& tool, Console& console, const FtdiChipRequest& request);

/// "Write Serial" after a listing.
ExitCode writeUsbSerial(UsbSerialTool& tool, Console& console, std::string_view serial);

/// A write's lines and its exit code: a serial number's or a restore's.
ExitCode reportUsbWrite(const UsbSerialWrite& write, Console& console);

/// What "Serialize" does after a successful upload: list, choose the chip
/// behind the programmer's port, derive the USB serial number from the
/// programmer's, write it.
ExitCode serializeProgrammer(UsbSerialTool& tool, Console& console, const FtdiChipRequest& programmerChip,
                             std::string_view programmerSerial);

} // namespace talvex::cli
