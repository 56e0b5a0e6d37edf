#include "cli/UsbSerialSteps.h"

#include "usbserial/D2xxTypes.h"

namespace talvex::cli {
namespace {

ExitCode writeExitCode(UsbSerialWrite::Outcome outcome)
{
    using Outcome = UsbSerialWrite::Outcome;
    switch (outcome) {
    case Outcome::Verified:
    case Outcome::WrittenUnverified: return ExitCode::Ok;
    case Outcome::Unavailable: return ExitCode::Failure;
    case Outcome::InvalidText: return ExitCode::BadArguments;
    case Outcome::NoDeviceSelected: return ExitCode::NoProgrammer;
    case Outcome::OpenFailed: return ExitCode::PortOpenFailed;
    case Outcome::CloseFailed:
    case Outcome::WordWriteFailed:
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
    for (const std::string& line : listing.logLines)
        console.problem(line);
    switch (listing.outcome) {
    case UsbSerialListing::Outcome::Listed: return ExitCode::Ok;
    case UsbSerialListing::Outcome::NoDevice:
        console.error("usb-serial: no FTDI device is attached");
        return ExitCode::NoProgrammer;
    case UsbSerialListing::Outcome::ListFailed:
        console.error("usb-serial: the FTDI library could not list the devices (" + d2xxStatusName(listing.status) +
                      ")");
        return ExitCode::Failure;
    case UsbSerialListing::Outcome::Unavailable: break;
    }
    return ExitCode::Failure;
}

ExitCode writeUsbSerial(UsbSerialTool& tool, Console& console, std::string_view serial)
{
    const UsbSerialWrite write = tool.writeSerial(serial);
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
