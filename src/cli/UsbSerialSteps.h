#pragma once

#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "usbserial/UsbSerialTool.h"

#include <string>
#include <string_view>

namespace talvex::cli {

/// The Serial tab's operations on a terminal: the tool's log lines go out
/// as they are, and each outcome becomes an exit code.

/// "Read Serial": lists the FTDI devices and selects the one a write opens;
/// `listingText` receives the Serial tab's text of the list.
ExitCode listUsbDevices(UsbSerialTool& tool, Console& console, std::string* listingText = nullptr);

/// "Write Serial" after a listing.
ExitCode writeUsbSerial(UsbSerialTool& tool, Console& console, std::string_view serial);

/// What "Serialize" does after a successful upload: list, derive the USB
/// serial number from the programmer's, write it.
ExitCode serializeProgrammer(UsbSerialTool& tool, Console& console, std::string_view programmerSerial);

} // namespace talvex::cli
