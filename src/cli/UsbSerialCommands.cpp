#include "cli/CommandRun.h"
#include "cli/Json.h"
#include "cli/UsbSerialSteps.h"
#include "context/ApplicationContext.h"
#include "usbserial/EepromBackup.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialText.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

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

// The tool on the library --ftdi-library names (automatically chosen
// without it); fails for a word it does not know.
Step<std::unique_ptr<UsbSerialTool>> makeTool(CommandRun& run)
{
    if (const auto name = run.call.value("--ftdi-library")) {
        const auto preference = ftdiLibraryPreferenceNamed(*name);
        if (!preference)
            return run.fail(ExitCode::BadArguments, "--ftdi-library takes d2xx or libftdi, not \"" + *name + "\"");
        if (run.call.simulate)
            return run.fail(ExitCode::BadArguments,
                            "--ftdi-library chooses a real FTDI library; --simulate has its own chip");
        run.context.setFtdiLibraryPreference(*preference);
    }
    return std::make_unique<UsbSerialTool>(run.context.loadUsbSerialLibrary());
}

// The chip behind --port, or the one --serial or --location names (or the
// only programmer chip attached).
FtdiChipRequest chipRequest(CommandRun& run)
{
    if (const auto port = run.call.value("--port"))
        return FtdiChipRequest::forProgrammerPort(run.context.host().usbIdentityOf(*port));
    return {run.call.value("--serial"), run.call.value("--location"), false};
}

ExitCode listAndSelect(CommandRun& run, UsbSerialTool& tool)
{
    const int named = run.call.has("--port") + run.call.has("--serial") + run.call.has("--location");
    if (named > 1)
        return run.fail(ExitCode::BadArguments, "name the chip one way: --port, --serial or --location");
    const ExitCode listed = listUsbDevices(tool, run.console);
    if (listed != ExitCode::Ok)
        return listed;
    return selectUsbChip(tool, run.console, chipRequest(run));
}

// A tool whose listing has selected the chip the command acts on.
Step<std::unique_ptr<UsbSerialTool>> selectedTool(CommandRun& run)
{
    Step<std::unique_ptr<UsbSerialTool>> tool = makeTool(run);
    if (!tool)
        return tool;
    if (const ExitCode selected = listAndSelect(run, **tool); selected != ExitCode::Ok)
        return selected;
    return tool;
}

// Why a file is no image to write back as it is; empty when it is one.
std::string imageFileProblem(const std::string& path, const EepromFileCheck& check)
{
    if (!check.words)
        return path + " has " + std::to_string(check.size) + " bytes; an EEPROM image has 128, 256 or 512";
    if (!check.checksumHolds) {
        const EepromContents& words = *check.words;
        const std::size_t checked = eepromCheckedWords(words.size());
        return path + "'s checksum does not match its words (word " + std::to_string(checked - 1) + " holds " +
            hexWord(words[checked - 1]) + ", words 0 to " + std::to_string(checked - 2) + " give " +
            hexWord(ftdiChecksum(words, checked)) + ")";
    }
    return {};
}

} // namespace

ExitCode runUsbSerialList(CommandRun& run)
{
    const Step<std::unique_ptr<UsbSerialTool>> made = makeTool(run);
    if (!made)
        return made.error();
    UsbSerialTool& tool = **made;
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
                            .add("location", device.location)
                            .add("chip", std::string(ftdiChipKindName(device.kind))));
    }
    run.console.result(jsonArray(items));
    return ExitCode::Ok;
}

ExitCode runUsbSerialWrite(CommandRun& run)
{
    const Step<std::unique_ptr<UsbSerialTool>> selected = selectedTool(run);
    if (!selected)
        return selected.error();
    UsbSerialTool* const tool = selected->get();
    return writeUsbSerial(*tool, run.console, run.positional(0));
}

ExitCode runUsbSerialBackup(CommandRun& run)
{
    const Step<std::unique_ptr<UsbSerialTool>> selected = selectedTool(run);
    if (!selected)
        return selected.error();
    UsbSerialTool* const tool = selected->get();
    const UsbSerialBackup backup = tool->backup();
    for (const std::string& line : backup.logLines) {
        if (backup.outcome == EepromOutcome::Read)
            run.console.log(line);
        else
            run.console.problem(line);
    }
    if (backup.outcome != EepromOutcome::Read)
        return exitCodeFor(backup.outcome);
    const std::string path = *run.call.value("--out");
    if (const Result<void> written = writeEepromFile(path, backup.words); !written)
        return run.fail(ExitCode::Failure, "cannot write " + path + " (" + written.failure().detail + ")");
    const std::size_t checked = eepromCheckedWords(backup.words.size());
    run.console.result("EEPROM of FTDI chip " + backup.chip->label() + ": " + std::to_string(2 * backup.words.size()) +
                       " bytes, " + std::string(eepromStateName(eepromState(backup.words, checked))) +
                       ", checksum word " + hexWord(backup.words[checked - 1]) + ", saved to " + path);
    return ExitCode::Ok;
}

ExitCode runUsbSerialRestore(CommandRun& run)
{
    // The file first: a bad one touches no chip.
    const std::string& path = run.positional(0);
    const EepromFileCheck check = readEepromFile(path);
    if (!check.error.empty())
        return run.fail(ExitCode::BadArguments, "cannot read " + path + " (" + check.error + ")");
    const std::string problem = imageFileProblem(path, check);
    if (!problem.empty() && !run.call.has("--force"))
        return run.fail(ExitCode::BadArguments, problem + "; nothing was written (--force writes it anyway)");
    if (!problem.empty()) {
        run.console.problem("usb-serial restore: " + problem + "; writing it anyway as --force asks" +
                            (check.words ? std::string(".")
                                         : ": its first 128 bytes, filled up with 0xFF where it is shorter.") +
                            " A chip whose checksum does not hold shows no serial number until a good image is "
                            "written.");
    }
    const EepromContents image = check.words ? *check.words : eepromFromAnyBytes(check.bytes);

    const Step<std::unique_ptr<UsbSerialTool>> selected = selectedTool(run);
    if (!selected)
        return selected.error();
    UsbSerialTool* const tool = selected->get();
    return reportUsbWrite(tool->restore(image), run.console);
}

ExitCode runUsbSerialGenerate(CommandRun& run)
{
    const Step<Connection> connection = connectForCommand(run);
    if (!connection)
        return connection.error();
    // Deriving the number needs no FTDI library.
    const UsbSerialTool tool {FtdiLoadResult {}};
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
    if (!isWritableUsbSerial(serial))
        return run.fail(ExitCode::BadArguments,
                        "\"" + serial + "\" is not a USB serial number. " + std::string(kUsbSerialRule));
    const EepromWords words = buildEepromImage(padUsbSerial(serial));
    const std::string bytes = eepromFileBytes(EepromContents(words.begin(), words.end()));
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
