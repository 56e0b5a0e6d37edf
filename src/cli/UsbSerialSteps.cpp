#include "cli/UsbSerialSteps.h"

namespace talvex::cli {
ExitCode exitCodeFor(EepromOutcome outcome)
{
    switch (outcome) {
    case EepromOutcome::Verified:
    case EepromOutcome::Read: return ExitCode::Ok;
    case EepromOutcome::Unavailable:
    case EepromOutcome::BackupFailed: return ExitCode::Failure;
    case EepromOutcome::InvalidText:
    case EepromOutcome::UnsupportedChip:
    case EepromOutcome::NotApplicable: return ExitCode::BadArguments;
    case EepromOutcome::NoChipChosen: return ExitCode::NoProgrammer;
    case EepromOutcome::OpenFailed: return ExitCode::PortOpenFailed;
    case EepromOutcome::ReadFailed:
    case EepromOutcome::CloseFailed:
    case EepromOutcome::WordWriteFailed:
    case EepromOutcome::Disconnected:
    case EepromOutcome::ReadBackFailed:
    case EepromOutcome::Mismatch: break;
    }
    return ExitCode::DeviceRefused;
}

ExitCode listUsbDevices(UsbSerialTool& tool, Console& console, std::string* listingText)
{
    const UsbSerialListing listing = tool.readSerial();
    if (listingText)
        *listingText = listing.listingText.value_or("");
    for (const std::string& line : listing.logLines) {
        if (listing.devicesListed)
            console.log(line);
        else
            console.problem(line);
    }
    for (const FtdiChip& chip : tool.chips())
        console.log("usb-serial: FTDI chip " + chip.label() + " (" + std::string(ftdiChipKindName(chip.kind)) + ")");
    if (listing.devicesListed)
        return ExitCode::Ok;
    if (!tool.available())
        return ExitCode::Failure; // the log lines said why
    if (listing.failure.status != Status::Ok) {
        console.error("usb-serial: the FTDI library could not list the devices (" + listing.failure.detail + ")");
        return ExitCode::Failure;
    }
    console.error("usb-serial: no FTDI device is attached");
    return ExitCode::NoProgrammer;
}

ExitCode selectUsbChip(UsbSerialTool& tool, Console& console, const FtdiChipRequest& request)
{
    const FtdiChipChoice choice = tool.choose(request);
    if (choice.chip) {
        console.log("usb-serial: writing to FTDI chip " + choice.chip->label());
        return ExitCode::Ok;
    }
    console.error("usb-serial: " + choice.problem +
                  (choice.ambiguous ? "; name one by --serial or --location" : std::string()));
    return choice.ambiguous ? ExitCode::BadArguments : ExitCode::NoProgrammer;
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
    return exitCodeFor(write.outcome);
}

ExitCode serializeProgrammer(UsbSerialTool& tool, Console& console, const FtdiChipRequest& programmerChip,
                             std::string_view programmerSerial)
{
    const ExitCode listed = listUsbDevices(tool, console);
    if (listed != ExitCode::Ok)
        return listed;
    const ExitCode chosen = selectUsbChip(tool, console, programmerChip);
    if (chosen != ExitCode::Ok)
        return chosen;
    const UsbSerialGenerated generated = tool.generate(programmerSerial);
    for (const std::string& line : generated.logLines)
        console.problem(line);
    if (!generated.serialText)
        return ExitCode::NoProgrammer;
    return writeUsbSerial(tool, console, *generated.serialText);
}

} // namespace talvex::cli
