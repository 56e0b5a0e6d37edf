#include "cli/UsbSerialSteps.h"

namespace talvex::cli {
namespace {

ExitCode writeExitCode(UsbSerialWrite::Outcome outcome)
{
    using Outcome = UsbSerialWrite::Outcome;
    switch (outcome) {
    case Outcome::Verified:
    case Outcome::WrittenUnverified: return ExitCode::Ok;
    case Outcome::Unavailable:
    case Outcome::BackupFailed: return ExitCode::Failure;
    case Outcome::InvalidText: return ExitCode::BadArguments;
    case Outcome::NoDeviceSelected: return ExitCode::NoProgrammer;
    case Outcome::OpenFailed: return ExitCode::PortOpenFailed;
    case Outcome::CloseFailed:
    case Outcome::WordWriteFailed:
    case Outcome::Disconnected:
    case Outcome::ReadBackFailed:
    case Outcome::Mismatch: break;
    }
    return ExitCode::DeviceRefused;
}

} // namespace

ExitCode listUsbDevices(UsbSerialTool& tool, Console& console, std::string* listingText)
{
    const UsbSerialListing listing = tool.readSerial();
    if (listingText)
        *listingText = listing.listingText.value_or("");
    for (const std::string& line : listing.logLines) {
        if (listing.outcome == UsbSerialListing::Outcome::Listed)
            console.log(line);
        else
            console.problem(line);
    }
    switch (listing.outcome) {
    case UsbSerialListing::Outcome::Listed: return ExitCode::Ok;
    case UsbSerialListing::Outcome::NoDevice:
        console.error("usb-serial: no FTDI device is attached");
        return ExitCode::NoProgrammer;
    case UsbSerialListing::Outcome::ListFailed:
        console.error("usb-serial: the FTDI library could not list the devices (" + listing.failure.text + ")");
        return ExitCode::Failure;
    case UsbSerialListing::Outcome::Unavailable: break;
    }
    return ExitCode::Failure;
}

ExitCode selectUsbChip(UsbSerialTool& tool, Console& console, const std::optional<std::string>& serial)
{
    const UsbSerialSelection selection = tool.selectChip(serial);
    switch (selection.outcome) {
    case UsbSerialSelection::Outcome::Selected:
        console.log("usb-serial: FTDI chip " + selection.chipSerial + " (device " + std::to_string(selection.device) +
                    ")");
        return ExitCode::Ok;
    case UsbSerialSelection::Outcome::NoChip:
    case UsbSerialSelection::Outcome::NotFound:
        console.error("usb-serial: " + selection.message);
        return ExitCode::NoProgrammer;
    case UsbSerialSelection::Outcome::Several:
        console.error("usb-serial: " + selection.message + " (--serial)");
        return ExitCode::BadArguments;
    case UsbSerialSelection::Outcome::Shared: break;
    }
    console.error("usb-serial: " + selection.message);
    return ExitCode::BadArguments;
}

ExitCode writeUsbSerial(UsbSerialTool& tool, Console& console, std::string_view serial)
{
    return reportUsbWrite(tool.writeSerial(serial), console);
}

ExitCode reportUsbWrite(const UsbSerialWrite& write, Console& console)
{
    // The last line of a good write says so; the lines before it are steps.
    for (std::size_t i = 0; i < write.logLines.size(); ++i) {
        const std::string& line = write.logLines[i];
        if (!write.succeeded())
            console.problem(line);
        else if (i + 1 == write.logLines.size())
            console.result(line);
        else
            console.log(line);
    }
    return writeExitCode(write.outcome);
}

ExitCode serializeProgrammer(UsbSerialTool& tool, Console& console, std::string_view programmerSerial)
{
    const ExitCode listed = listUsbDevices(tool, console);
    if (listed != ExitCode::Ok)
        return listed;
    const UsbSerialGenerated generated = tool.generate(programmerSerial);
    for (const std::string& line : generated.logLines)
        console.problem(line);
    if (!generated.serialText)
        return ExitCode::NoProgrammer;
    return writeUsbSerial(tool, console, *generated.serialText);
}

} // namespace talvex::cli
