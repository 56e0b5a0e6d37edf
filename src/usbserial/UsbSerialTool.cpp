#include "usbserial/UsbSerialTool.h"

#include "usbserial/EepromBackup.h"
#include "usbserial/EepromRead.h"
#include "usbserial/TextFormat.h"
#include "usbserial/UsbSerialText.h"

#include <algorithm>

namespace talvex {

UsbSerialTool::UsbSerialTool(FtdiLoadResult library)
    : m_backend(std::move(library.backend))
    , m_unavailableReason("USB serial tool unavailable: " +
                          (library.error.empty() ? std::string("no FTDI library.") : std::move(library.error)))
    , m_backupDirectory(library.backupDirectory.empty() ? defaultEepromBackupDirectory()
                                                        : std::move(library.backupDirectory))
{
}

std::string UsbSerialTool::libraryLine() const
{
    if (!m_backend)
        return m_unavailableReason;
    return "USB serial number through " + m_backend->name() + ".";
}

std::vector<std::string> UsbSerialTool::firstNotice()
{
    if (m_noticeSaid)
        return {};
    m_noticeSaid = true;
    return {libraryLine()};
}

UsbSerialListing UsbSerialTool::readSerial()
{
    UsbSerialListing result;
    // A listing that fails leaves no chips of an older one to be chosen.
    m_devices.clear();
    m_chips.clear();
    m_chosen.reset();
    m_choiceProblem = "no FTDI chip was chosen: list the chips first";
    result.logLines = firstNotice();
    if (!m_backend) {
        result.failure = fail(Status::Unsupported, m_unavailableReason);
        return result;
    }

    Result<std::vector<FtdiDevice>> listed = m_backend->listDevices();
    result.failure = listed.failure();
    if (!listed || listed->empty())
        return result;
    result.listingText = std::string();
    m_devices = std::move(*listed);
    m_chips = groupFtdiChips(m_devices);

    result.devicesListed = true;
    std::string& pane = *result.listingText;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const FtdiDevice& device = m_devices[i];
        pane += formatText("Device %d:\n ", static_cast<int>(i));
        pane += formatText("  ID=0x%x\n ", static_cast<unsigned>(device.id));
        pane += formatText("  LocId=0x%x\n ", static_cast<unsigned>(device.locId));
        pane += formatText("  SerialNumber=%s\n ", device.serialNumber.c_str());
        // One with a leading blank names a device too (an earlier write may
        // have left it), so it can be written again.
        const bool named = std::any_of(device.serialNumber.begin(), device.serialNumber.end(),
                                       [](char c) { return static_cast<unsigned char>(c) > 0x20; });
        if (named)
            result.serialText = padUsbSerial(device.serialNumber);
        pane += formatText("  Description=%s\n\n", device.description.c_str());
    }
    return result;
}

FtdiChipChoice UsbSerialTool::choose(const FtdiChipRequest& request)
{
    FtdiChipChoice choice = chooseFtdiChip(m_chips, request);
    m_chosen = choice.chip;
    m_choiceProblem = choice.problem;
    return choice;
}

void UsbSerialTool::forgetChoice(std::string why)
{
    m_chosen.reset();
    m_choiceProblem = std::move(why);
}

UsbSerialGenerated UsbSerialTool::generate(std::string_view programmerSerial) const
{
    UsbSerialGenerated result;
    result.serialText = usbSerialFromProgrammerSerial(programmerSerial);
    if (!result.serialText) {
        result.logLines.push_back("generate: no programmer serial number of 32 hexadecimal digits to derive the USB "
                                  "serial number from. Connect to the programmer first; nothing was changed.");
        return result;
    }
    result.canWrite = true;
    return result;
}

UsbSerialWrite UsbSerialTool::writeSerial(std::string_view serialText)
{
    if (m_backend && !isWritableUsbSerial(serialText)) {
        UsbSerialWrite result;
        result.outcome = EepromOutcome::InvalidText;
        result.logLines.push_back("Write serial number ERROR: \"" + std::string(serialText) +
                                  "\" is not a USB serial number. " + std::string(kUsbSerialRule) +
                                  "; nothing was written.");
        return result;
    }
    // The listing pads a short serial number the same way.
    const std::string serial = padUsbSerial(serialText);
    const FtdiChipKind kind = m_chosen ? m_chosen->kind : FtdiChipKind::Other;
    UsbSerialWrite result = writeImage("Write serial number", [&](std::size_t part, const EepromContents& current) {
        // A chip whose EEPROM is valid keeps all of it but the serial number.
        if (eepromState(current, eepromCheckedWords(part)) == EepromState::Valid)
            return eepromWithSerial(current, part, kind, serial);
        return EepromPlan {eepromFixedImage(kind, part, serial, current), {}};
    });
    result.serial = serial;
    if (result.succeeded()) {
        result.logLines.push_back(
            formatText("Write serial number: %s OK. Please, unplug and restart Talvex !\n", serial.c_str()));
    }
    return result;
}

UsbSerialWrite UsbSerialTool::restore(const EepromContents& image)
{
    UsbSerialWrite result = writeImage("Restore EEPROM", [&](std::size_t part, const EepromContents&) {
        EepromPlan plan;
        const std::size_t checked = eepromCheckedWords(part);
        if (image.size() < checked) {
            plan.problem = "the image has " + std::to_string(image.size()) + " words; this chip's " +
                eepromPartName(part) + " needs at least " + std::to_string(checked);
            return plan;
        }
        // A larger image fits only when it is a smaller EEPROM's read, repeating itself.
        for (std::size_t i = part; i < image.size(); ++i) {
            if (image[i] != image[i % part]) {
                plan.problem = "the image has " + std::to_string(image.size()) + " words, more than this chip's " +
                    eepromPartName(part) + " holds";
                return plan;
            }
        }
        plan.image.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(std::min(part, image.size())));
        return plan;
    });
    if (result.succeeded())
        result.logLines.push_back("Restore EEPROM: OK. Please, unplug and restart Talvex !\n");
    return result;
}

std::string UsbSerialTool::openFailureLine(std::string_view label, const Failure& failure,
                                           std::string_view nothing) const
{
    const std::string prefix = std::string(label) + " ERROR: FTDI chip " + (m_chosen ? m_chosen->label() : "");
    const std::string why = " (" + failure.detail + ")";
    const std::string end = "; nothing was " + std::string(nothing) + ".";
    switch (failure.status) {
    case Status::Busy:
        return prefix + " is held by another program" + why +
            ". Close the program that uses it (a terminal on its port, another tool) and try again" + end;
    case Status::Denied:
        return prefix + " may not be opened by this user" + why +
            ". Give the user access to the USB device (on Linux a udev rule) and try again" + end;
    case Status::Gone:
        return prefix + " is no longer attached as listed" + why + ". Plug it in, list the chips again and retry" +
            end;
    default:
        return prefix + " could not be opened" + why +
            ". Close programs that use it, press \"Read Serial\" and try again" + end;
    }
}

UsbSerialBackup UsbSerialTool::backup()
{
    UsbSerialBackup result;
    result.logLines = firstNotice();
    if (!m_backend)
        return result;
    if (!m_chosen) {
        result.outcome = EepromOutcome::NoChipChosen;
        result.logLines.push_back("Backup EEPROM ERROR: " + m_choiceProblem + "; nothing was read.");
        return result;
    }
    result.chip = m_chosen;
    if (!m_backend->canReadEeprom()) {
        result.outcome = EepromOutcome::ReadFailed;
        result.logLines.push_back("Backup EEPROM ERROR: " + m_backend->name() + " cannot read the EEPROM.");
        return result;
    }
    Result<std::unique_ptr<FtdiSession>> opened =
        m_backend->open(m_devices[static_cast<std::size_t>(m_chosen->firstRecord)]);
    result.failure = opened.failure();
    if (!opened) {
        result.outcome = EepromOutcome::OpenFailed;
        result.logLines.push_back(openFailureLine("Backup EEPROM", result.failure, "read"));
        return result;
    }
    const std::unique_ptr<FtdiSession> session = std::move(*opened);
    EepromRead read = readEepromWords(*session, kWordsToRead);
    result.failure = read.failure;
    if (!read.ok()) {
        result.outcome = EepromOutcome::ReadFailed;
        result.word = read.stoppedAt;
        result.logLines.push_back(formatText("Backup EEPROM ERROR: EEPROM word %d could not be read (%s).",
                                             result.word, result.failure.detail.c_str()));
        return result;
    }
    (void)session->close(); // read only: nothing to lose if closing fails
    read.words.resize(eepromPartWordsFromWrap(read.words).value_or(kWordsToRead));
    result.words = std::move(read.words);
    result.outcome = EepromOutcome::Read;
    return result;
}

} // namespace talvex
