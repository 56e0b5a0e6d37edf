#include "usbserial/UsbSerialTool.h"

#include "usbserial/EepromBackup.h"
#include "usbserial/UsbSerialText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace talvex {
namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string format(const char* pattern, ...)
{
    std::va_list args;
    va_start(args, pattern);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

// The D2XX library names a chip's channels by a letter after the serial
// number and the description ("TLVX0001A", "TalvexUSB A"); 0 when the
// record carries none.
char channelLetter(const FtdiDevice& device)
{
    const std::string& serial = device.serialNumber;
    const std::string& description = device.description;
    if (serial.empty() || description.size() < 2 || description[description.size() - 2] != ' ')
        return 0;
    const char letter = description.back();
    return letter >= 'A' && letter <= 'D' && serial.back() == letter ? letter : 0;
}

std::string trimmedRight(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// What a serial number write and a restore say in their lines.
struct WriteWords {
    std::string_view label; ///< "Write serial number"
    std::string_view again; ///< what to do after a failed write
};

WriteWords wordsFor(std::string_view label)
{
    if (label == "Write serial number")
        return {label, "Write the serial number again"};
    return {label, "Restore the image again"};
}

} // namespace

std::string FtdiDevice::chipSerial() const
{
    std::string serial = serialNumber;
    if (channelLetter(*this))
        serial.pop_back();
    return trimmedRight(serial);
}

UsbSerialTool::UsbSerialTool(FtdiLoadResult library)
    : m_backend(std::move(library.backend))
    , m_unavailableReason(std::move(library.error))
    , m_backupDirectory(library.backupDirectory.empty() ? defaultEepromBackupDirectory()
                                                        : std::move(library.backupDirectory))
{
    if (!m_backend && m_unavailableReason.empty())
        m_unavailableReason = "USB serial tool unavailable: no FTDI library.";
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
    m_selected = kNoDevice;
    result.logLines = firstNotice();
    if (!m_backend) {
        result.outcome = UsbSerialListing::Outcome::Unavailable;
        return result;
    }

    std::uint32_t count = 0;
    result.failure = m_backend->countDevices(count);
    if (!result.failure.ok()) {
        result.outcome = UsbSerialListing::Outcome::ListFailed;
        return result;
    }
    if (count == 0) {
        result.outcome = UsbSerialListing::Outcome::NoDevice;
        return result;
    }

    result.listingText = std::string();
    m_devices.clear();
    result.failure = m_backend->listDevices(m_devices);
    if (!result.failure.ok()) {
        m_devices.clear();
        result.outcome = UsbSerialListing::Outcome::ListFailed;
        return result;
    }

    result.outcome = UsbSerialListing::Outcome::Listed;
    result.devicesListed = true;
    std::string& pane = *result.listingText;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const FtdiDevice& device = m_devices[i];
        pane += format("Device %d:\n ", static_cast<int>(i));
        pane += format("  ID=0x%x\n ", static_cast<unsigned>(device.id));
        pane += format("  LocId=0x%x\n ", static_cast<unsigned>(device.locId));
        pane += format("  SerialNumber=%s\n ", device.serialNumber.c_str());
        // An empty serial number names no device the user could mean; one
        // with a leading blank does (an earlier write may have left it), and
        // must stay selectable so it can be written again.
        const bool named = std::any_of(device.serialNumber.begin(), device.serialNumber.end(),
                                       [](char c) { return static_cast<unsigned char>(c) > 0x20; });
        if (named) {
            result.serialText = padUsbSerial(device.serialNumber);
            m_selected = static_cast<int>(i);
        }
        pane += format("  Description=%s\n\n", device.description.c_str());
    }
    return result;
}

UsbSerialSelection UsbSerialTool::selectChip(const std::optional<std::string>& serial)
{
    struct Chip {
        std::string serial;
        int lastRecord;
    };
    // A chip's channels follow each other, lettered upwards.
    std::vector<Chip> chips;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const FtdiDevice& device = m_devices[i];
        const std::string chipSerial = device.chipSerial();
        if (chipSerial.empty())
            continue;
        const bool sameChip = !chips.empty() && i > 0 && chips.back().lastRecord == static_cast<int>(i) - 1
            && chips.back().serial == chipSerial && channelLetter(device) > channelLetter(m_devices[i - 1])
            && channelLetter(m_devices[i - 1]) != 0;
        if (sameChip)
            chips.back().lastRecord = static_cast<int>(i);
        else
            chips.push_back({chipSerial, static_cast<int>(i)});
    }
    std::string names;
    for (const Chip& chip : chips)
        names += (names.empty() ? "" : ", ") + chip.serial;

    UsbSerialSelection selection;
    std::vector<Chip> matching = chips;
    if (serial) {
        const std::string wanted = trimmedRight(*serial);
        matching.erase(std::remove_if(matching.begin(), matching.end(),
                                      [&](const Chip& chip) { return chip.serial != wanted; }),
                       matching.end());
        if (matching.empty()) {
            selection.outcome = UsbSerialSelection::Outcome::NotFound;
            selection.message = "no attached FTDI chip has the serial number \"" + wanted + "\"" +
                (names.empty() ? std::string(" (none has one)") : " (attached: " + names + ")");
        } else if (matching.size() > 1) {
            selection.outcome = UsbSerialSelection::Outcome::Shared;
            selection.message = std::to_string(matching.size()) + " attached FTDI chips have the serial number \"" +
                wanted + "\"; unplug all but the one to use";
        }
    } else if (chips.empty()) {
        selection.outcome = UsbSerialSelection::Outcome::NoChip;
        selection.message = "no attached FTDI chip has a serial number";
    } else if (chips.size() > 1) {
        selection.outcome = UsbSerialSelection::Outcome::Several;
        selection.message = std::to_string(chips.size()) + " FTDI chips are attached (" + names +
            "); name the one to use by its serial number";
    }
    if (!selection.message.empty()) {
        m_selected = kNoDevice;
        return selection;
    }
    selection.outcome = UsbSerialSelection::Outcome::Selected;
    selection.device = matching.front().lastRecord;
    selection.chipSerial = matching.front().serial;
    m_selected = selection.device;
    return selection;
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
    UsbSerialWrite result;
    // A leading blank hides the chip from listings that skip such serial
    // numbers, and from scripts that split on blanks.
    const bool leadingBlank = !serialText.empty() && serialText.front() == ' ';
    if (m_backend && (serialText.empty() || !isUsbSerialText(serialText) || leadingBlank)) {
        result.outcome = UsbSerialWrite::Outcome::InvalidText;
        result.logLines.push_back("Write serial number ERROR: \"" + std::string(serialText)
                                  + "\" is not a USB serial number. Use 1 to 8 digits, letters or spaces, "
                                    "starting with a digit or letter; nothing was written.");
        return result;
    }
    // The listing pads a short serial number the same way.
    const std::string serial = padUsbSerial(serialText);
    result = writeImage(buildEepromImage(serial), "Write serial number");
    result.serial = serial;
    if (result.succeeded()) {
        result.logLines.push_back(
            format("Write serial number: %s OK. Please, unplug and restart Talvex !\n", serial.c_str()));
    }
    return result;
}

UsbSerialWrite UsbSerialTool::restore(const EepromWords& image)
{
    UsbSerialWrite result = writeImage(image, "Restore EEPROM");
    if (result.succeeded())
        result.logLines.push_back("Restore EEPROM: OK. Please, unplug and restart Talvex !\n");
    return result;
}

std::string UsbSerialTool::openFailureLine(std::string_view label, const FtdiResult& failure,
                                           std::string_view nothing) const
{
    const std::string prefix = std::string(label) + " ERROR: FTDI device " + std::to_string(m_selected);
    const std::string why = " (" + failure.text + ")";
    const std::string end = "; nothing was " + std::string(nothing) + ".";
    switch (failure.error) {
    case FtdiError::Busy:
        return prefix + " is held by another program" + why +
            ". Close the program that uses it (a terminal on its port, another tool) and try again" + end;
    case FtdiError::Denied:
        return prefix + " may not be opened by this user" + why +
            ". Give the user access to the USB device (on Linux a udev rule) and try again" + end;
    case FtdiError::NotFound:
    case FtdiError::Disconnected:
        return prefix + " is no longer attached" + why + ". Plug it in, list the devices again and retry" + end;
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
    if (m_selected == kNoDevice) {
        result.outcome = UsbSerialBackup::Outcome::NoDeviceSelected;
        result.logLines.push_back("Backup EEPROM ERROR: no FTDI device with a serial number is selected; "
                                  "nothing was read.");
        return result;
    }
    result.device = m_selected;
    if (!m_backend->canReadEeprom()) {
        result.outcome = UsbSerialBackup::Outcome::ReadFailed;
        result.logLines.push_back("Backup EEPROM ERROR: " + m_backend->name() + " cannot read the EEPROM.");
        return result;
    }
    const std::unique_ptr<FtdiSession> session = m_backend->open(m_selected, result.failure);
    if (!session) {
        result.outcome = UsbSerialBackup::Outcome::OpenFailed;
        result.logLines.push_back(openFailureLine("Backup EEPROM", result.failure, "read"));
        return result;
    }
    for (std::size_t word = 0; word < kEepromWords; ++word) {
        result.failure = session->readWord(word, result.words[word]);
        if (!result.failure.ok()) {
            result.outcome = UsbSerialBackup::Outcome::ReadFailed;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("Backup EEPROM ERROR: EEPROM word %d could not be read (%s).",
                                             result.word, result.failure.text.c_str()));
            return result;
        }
    }
    session->close();
    result.outcome = UsbSerialBackup::Outcome::Read;
    return result;
}

bool UsbSerialTool::saveBackup(FtdiSession& session, std::string_view label, UsbSerialWrite& result)
{
    if (!m_backend->canReadEeprom()) {
        result.logLines.push_back("No backup of the EEPROM: " + m_backend->name() + " cannot read it.");
        return true;
    }
    EepromWords before {};
    for (std::size_t word = 0; word < kEepromWords; ++word) {
        result.failure = session.readWord(word, before[word]);
        if (!result.failure.ok()) {
            result.outcome = UsbSerialWrite::Outcome::BackupFailed;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("%.*s ERROR: EEPROM word %d could not be read for the backup (%s); "
                                             "nothing was written.",
                                             static_cast<int>(label.size()), label.data(), result.word,
                                             result.failure.text.c_str()));
            return false;
        }
    }
    const std::string serial = m_devices[static_cast<std::size_t>(m_selected)].chipSerial();
    const std::filesystem::path first = m_backupDirectory / eepromBackupFileName(serial, m_now());
    std::filesystem::path path = first;
    std::error_code ignored;
    for (int copy = 2; std::filesystem::exists(path, ignored); ++copy)
        path = first.parent_path() / (first.stem().string() + "-" + std::to_string(copy) + first.extension().string());
    std::string error;
    if (!writeEepromFile(path, before, error)) {
        result.outcome = UsbSerialWrite::Outcome::BackupFailed;
        result.logLines.push_back(std::string(label) + " ERROR: the EEPROM backup " + path.string() +
                                  " could not be saved (" + error + "); nothing was written.");
        return false;
    }
    result.backupFile = path;
    result.logLines.push_back("EEPROM backup saved to " + path.string());
    return true;
}

UsbSerialWrite UsbSerialTool::writeImage(const EepromWords& image, std::string_view label)
{
    const WriteWords words = wordsFor(label);
    UsbSerialWrite result;
    result.image = image;
    result.logLines = firstNotice();
    if (!m_backend) {
        result.outcome = UsbSerialWrite::Outcome::Unavailable;
        return result;
    }
    if (m_selected == kNoDevice) {
        result.outcome = UsbSerialWrite::Outcome::NoDeviceSelected;
        result.logLines.push_back(std::string(label) + " ERROR: no FTDI device with a serial number is selected. "
                                  "Press \"Read Serial\" with the programmer plugged in; nothing was written.");
        return result;
    }
    result.device = m_selected;

    const std::unique_ptr<FtdiSession> session = m_backend->open(m_selected, result.failure);
    if (!session) {
        result.outcome = UsbSerialWrite::Outcome::OpenFailed;
        result.logLines.push_back(openFailureLine(label, result.failure, "written"));
        return result;
    }
    if (!saveBackup(*session, label, result))
        return result;
    const std::string backupNamed = result.backupFile ? "the backup " + result.backupFile->string()
                                                      : std::string("no backup could be taken");

    // Not judged: a chip whose EEPROM needs no erase may refuse it, and
    // every word is written and read back below anyway.
    session->erase();

    for (std::size_t word = 0; word < kEepromWords; ++word) {
        result.failure = session->writeWord(word, image[word]);
        if (result.failure.ok())
            continue;
        result.word = static_cast<int>(word);
        if (result.failure.error == FtdiError::Disconnected) {
            result.outcome = UsbSerialWrite::Outcome::Disconnected;
            result.logLines.push_back(format("%.*s ERROR: the FTDI device went away at EEPROM word %d of 64 (%s); "
                                             "the chip may hold a partial image. Plug the programmer in again and "
                                             "restore %s.",
                                             static_cast<int>(label.size()), label.data(), result.word,
                                             result.failure.text.c_str(), backupNamed.c_str()));
        } else {
            result.outcome = UsbSerialWrite::Outcome::WordWriteFailed;
            result.logLines.push_back(format("%.*s ERROR: EEPROM word %d of 64 was not written (%s); the chip may "
                                             "hold a partial image. %.*s, or restore %s, before unplugging the "
                                             "programmer.",
                                             static_cast<int>(label.size()), label.data(), result.word,
                                             result.failure.text.c_str(), static_cast<int>(words.again.size()),
                                             words.again.data(), backupNamed.c_str()));
        }
        return result;
    }

    verify(*session, label, result);
    const FtdiResult closed = session->close();
    if (!result.succeeded())
        return result;
    if (!closed.ok()) {
        result.outcome = UsbSerialWrite::Outcome::CloseFailed;
        result.failure = closed;
        result.logLines.push_back(label == "Write serial number"
                                      ? std::string("Write serial number ERROR !\n")
                                      : std::string(label) + " ERROR: the device could not be closed (" +
                                            closed.text + ").");
    }
    return result;
}

void UsbSerialTool::verify(FtdiSession& session, std::string_view label, UsbSerialWrite& result)
{
    const WriteWords words = wordsFor(label);
    if (!m_backend->canReadEeprom()) {
        result.outcome = UsbSerialWrite::Outcome::WrittenUnverified;
        result.logLines.push_back("EEPROM not verified: this FTDI D2XX library has no FT_ReadEE.");
        return;
    }
    int differing = 0;
    std::uint16_t firstRead = 0;
    for (std::size_t word = 0; word < kEepromWords; ++word) {
        std::uint16_t value = 0;
        const FtdiResult read = session.readWord(word, value);
        if (!read.ok()) {
            result.outcome = UsbSerialWrite::Outcome::ReadBackFailed;
            result.failure = read;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("%.*s ERROR: EEPROM word %d could not be read back (%s), so the write "
                                             "is not verified. %.*s.",
                                             static_cast<int>(label.size()), label.data(), result.word,
                                             read.text.c_str(), static_cast<int>(words.again.size()),
                                             words.again.data()));
            return;
        }
        if (value != result.image[word] && differing++ == 0) {
            result.word = static_cast<int>(word);
            firstRead = value;
        }
    }
    if (differing > 0) {
        result.outcome = UsbSerialWrite::Outcome::Mismatch;
        result.logLines.push_back(format("%.*s ERROR: the EEPROM does not hold what was written "
                                         "(%d of 64 words differ; word %d reads 0x%04X, 0x%04X was written). %.*s.",
                                         static_cast<int>(label.size()), label.data(), differing, result.word,
                                         static_cast<unsigned>(firstRead),
                                         static_cast<unsigned>(result.image[static_cast<std::size_t>(result.word)]),
                                         static_cast<int>(words.again.size()), words.again.data()));
        return;
    }
    result.outcome = UsbSerialWrite::Outcome::Verified;
    result.logLines.push_back("EEPROM verified: all 64 words read back as written.");
}

} // namespace talvex
