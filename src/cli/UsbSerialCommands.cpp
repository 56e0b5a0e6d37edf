#include "cli/CommandRun.h"
#include "cli/Json.h"
#include "cli/UsbSerialSteps.h"
#include "context/ApplicationContext.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialText.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace talvex::cli {
namespace {

std::string hexWord(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

} // namespace

ExitCode runUsbSerialList(CommandRun& run)
{
    UsbSerialTool tool(run.context.loadUsbSerialLibrary());
    std::string pane;
    const ExitCode listed = listUsbDevices(tool, run.console, &pane);
    if (listed != ExitCode::Ok)
        return listed;
    if (!run.call.has("--json")) {
        // The Serial tab's text, as its pane shows it.
        run.console.resultText(pane);
        return ExitCode::Ok;
    }
    std::vector<JsonObject> items;
    for (std::size_t i = 0; i < tool.devices().size(); ++i) {
        const FtdiDevice& device = tool.devices()[i];
        items.push_back(JsonObject()
                            .add("index", static_cast<int>(i))
                            .add("serialNumber", device.serialNumber)
                            .add("description", device.description)
                            .add("id", hex(device.id))
                            .add("locId", hex(device.locId))
                            .add("selected", static_cast<int>(i) == tool.selectedIndex()));
    }
    run.console.result(jsonArray(items));
    return ExitCode::Ok;
}

ExitCode runUsbSerialWrite(CommandRun& run)
{
    UsbSerialTool tool(run.context.loadUsbSerialLibrary());
    const ExitCode listed = listUsbDevices(tool, run.console);
    if (listed != ExitCode::Ok)
        return listed;
    return writeUsbSerial(tool, run.console, run.positional(0));
}

ExitCode runUsbSerialGenerate(CommandRun& run)
{
    ExitCode failure = ExitCode::Ok;
    const auto connection = connectForCommand(run, failure);
    if (!connection)
        return failure;
    // Deriving the number needs no FTDI library.
    const UsbSerialTool tool {D2xxLoadResult {}};
    const UsbSerialGenerated generated = tool.generate(connection->identity.fields.serialNumber);
    for (const std::string& line : generated.logLines)
        run.console.problem(line);
    if (!generated.serialText)
        return ExitCode::NoProgrammer;
    run.console.result(*generated.serialText);
    return ExitCode::Ok;
}

ExitCode runUsbSerialImage(CommandRun& run)
{
    const std::string& serial = run.positional(0);
    const bool blank = std::all_of(serial.begin(), serial.end(), [](char c) { return c == ' '; });
    if (!isUsbSerialText(serial) || blank)
        return run.fail(ExitCode::BadArguments,
                        "\"" + serial +
                            "\" is not a USB serial number: use 1 to 8 digits, "
                            "letters or spaces, not only spaces");
    const EepromWords words = buildEepromImage(padUsbSerial(serial));
    std::string bytes;
    for (const std::uint16_t word : words) {
        bytes += static_cast<char>(word & 0xFF);
        bytes += static_cast<char>(word >> 8);
    }
    const std::string path = *run.call.value("--out");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        return run.fail(ExitCode::Failure, "cannot write " + path);
    run.console.result("USB serial number \"" + padUsbSerial(serial) + "\": " + std::to_string(bytes.size()) +
                       " bytes, checksum " + hexWord(words[kEepromChecksumWord]) + ", written to " + path);
    return ExitCode::Ok;
}

} // namespace talvex::cli
