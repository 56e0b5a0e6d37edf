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


constexpr std::size_t kWordsToRead = 256;

std::string labelText(std::string_view label)
{
    return std::string(label);
}

} // namespace

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
    m_chosen.reset();
    m_choiceProblem = "no FTDI chip was chosen: list the chips first";
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
        m_devices.clear();
        m_chips.clear();
        result.outcome = UsbSerialListing::Outcome::NoDevice;
        return result;
    }

    result.listingText = std::string();
    m_devices.clear();
    m_chips.clear();
    result.failure = m_backend->listDevices(m_devices);
    if (!result.failure.ok()) {
        m_devices.clear();
        result.outcome = UsbSerialListing::Outcome::ListFailed;
        return result;
    }
    m_chips = groupFtdiChips(m_devices);

    result.outcome = UsbSerialListing::Outcome::Listed;
    result.devicesListed = true;
    std::string& pane = *result.listingText;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const FtdiDevice& device = m_devices[i];
        pane += format("Device %d:\n ", static_cast<int>(i));
        pane += format("  ID=0x%x\n ", static_cast<unsigned>(device.id));
        pane += format("  LocId=0x%x\n ", static_cast<unsigned>(device.locId));
        pane += format("  SerialNumber=%s\n ", device.serialNumber.c_str());
        // One with a leading blank names a device too (an earlier write may
        // have left it), so it can be written again.
        const bool named = std::any_of(device.serialNumber.begin(), device.serialNumber.end(),
                                       [](char c) { return static_cast<unsigned char>(c) > 0x20; });
        if (named)
            result.serialText = padUsbSerial(device.serialNumber);
        pane += format("  Description=%s\n\n", device.description.c_str());
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
        result.outcome = UsbSerialWrite::Outcome::InvalidText;
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
            format("Write serial number: %s OK. Please, unplug and restart Talvex !\n", serial.c_str()));
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
        // A larger image fits only when it is a smaller part's read, repeating itself.
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

std::string UsbSerialTool::openFailureLine(std::string_view label, const FtdiResult& failure,
                                           std::string_view nothing) const
{
    const std::string prefix = std::string(label) + " ERROR: FTDI chip " + (m_chosen ? m_chosen->label() : "");
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
        result.outcome = UsbSerialBackup::Outcome::NoChipChosen;
        result.logLines.push_back("Backup EEPROM ERROR: " + m_choiceProblem + "; nothing was read.");
        return result;
    }
    result.chip = m_chosen;
    if (!m_backend->canReadEeprom()) {
        result.outcome = UsbSerialBackup::Outcome::ReadFailed;
        result.logLines.push_back("Backup EEPROM ERROR: " + m_backend->name() + " cannot read the EEPROM.");
        return result;
    }
    const std::unique_ptr<FtdiSession> session =
        m_backend->open(m_devices[static_cast<std::size_t>(m_chosen->firstRecord)], result.failure);
    if (!session) {
        result.outcome = UsbSerialBackup::Outcome::OpenFailed;
        result.logLines.push_back(openFailureLine("Backup EEPROM", result.failure, "read"));
        return result;
    }
    EepromContents words(kWordsToRead);
    for (std::size_t word = 0; word < kWordsToRead; ++word) {
        result.failure = session->readWord(word, words[word]);
        if (!result.failure.ok()) {
            result.outcome = UsbSerialBackup::Outcome::ReadFailed;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("Backup EEPROM ERROR: EEPROM word %d could not be read (%s).",
                                             result.word, result.failure.text.c_str()));
            return result;
        }
    }
    session->close();
    words.resize(eepromPartWordsFromWrap(words).value_or(kWordsToRead));
    result.words = std::move(words);
    result.outcome = UsbSerialBackup::Outcome::Read;
    return result;
}

bool UsbSerialTool::readWords(FtdiSession& session, std::size_t count, EepromContents& words,
                              UsbSerialWrite& result, std::string_view label)
{
    words.assign(count, 0);
    for (std::size_t word = 0; word < count; ++word) {
        result.failure = session.readWord(word, words[word]);
        if (!result.failure.ok()) {
            result.outcome = UsbSerialWrite::Outcome::ReadFailed;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("%s ERROR: EEPROM word %d could not be read (%s); nothing was written.",
                                             labelText(label).c_str(), result.word, result.failure.text.c_str()));
            return false;
        }
    }
    return true;
}

bool UsbSerialTool::saveBackup(const EepromContents& words, std::string_view label, UsbSerialWrite& result)
{
    const std::string serial = m_chosen->serial;
    const std::filesystem::path first = m_backupDirectory / eepromBackupFileName(serial, m_now());
    std::filesystem::path path = first;
    std::error_code ignored;
    for (int copy = 2; std::filesystem::exists(path, ignored); ++copy)
        path = first.parent_path() / (first.stem().string() + "-" + std::to_string(copy) + first.extension().string());
    std::string error;
    if (!writeEepromFile(path, words, error)) {
        result.outcome = UsbSerialWrite::Outcome::BackupFailed;
        result.logLines.push_back(std::string(label) + " ERROR: the EEPROM backup " + path.string() +
                                  " could not be saved (" + error + "); nothing was written.");
        return false;
    }
    result.backupFile = path;
    result.logLines.push_back("EEPROM backup saved to " + path.string());
    return true;
}

std::optional<std::size_t> UsbSerialTool::probePartWords(FtdiSession& session, std::uint16_t wordZero,
                                                         UsbSerialWrite& result)
{
    // Word 0 differs from the rest once written; where it shows again is
    // where the part wraps.
    for (const std::size_t part : {std::size_t {64}, std::size_t {128}}) {
        std::uint16_t value = 0;
        result.failure = session.readWord(part, value);
        if (!result.failure.ok()) {
            result.word = static_cast<int>(part);
            return std::nullopt;
        }
        if (value == wordZero)
            return part;
    }
    return std::size_t {256};
}

std::string UsbSerialTool::recoveryAdvice(const UsbSerialWrite& result) const
{
    const std::string location = result.chip && !result.chip->location.empty() ? result.chip->location : "";
    const std::string backup = result.backupFile ? result.backupFile->string() : std::string("the backup");
    const std::string selector = location.empty() ? (result.chip && !result.chip->serial.empty()
                                                         ? " --serial " + result.chip->serial
                                                         : std::string())
                                                   : " --location " + location;
    return "The EEPROM as it was is saved in " + backup + ". Put it back with \"talvexctl usb-serial restore " +
        backup + selector + "\" (in the window: the Serial tab's \"Restore EEPROM\" with this chip chosen), " +
        "then write again.";
}

UsbSerialWrite UsbSerialTool::writeImage(std::string_view label, const ImageFor& imageFor)
{
    UsbSerialWrite result;
    result.logLines = firstNotice();
    if (!m_backend) {
        result.outcome = UsbSerialWrite::Outcome::Unavailable;
        return result;
    }
    if (!m_chosen) {
        result.outcome = UsbSerialWrite::Outcome::NoChipChosen;
        result.logLines.push_back(labelText(label) + " ERROR: " + m_choiceProblem + "; nothing was written.");
        return result;
    }
    const FtdiChip chip = *m_chosen;
    result.chip = chip;
    if (chip.kind == FtdiChipKind::Other) {
        result.outcome = UsbSerialWrite::Outcome::UnsupportedChip;
        result.logLines.push_back(labelText(label) + " ERROR: FTDI chip " + chip.label() +
                                  " is no FT2232C/D or FT2232H, whose EEPROM this tool knows; nothing was written.");
        return result;
    }
    if (!m_backend->canReadEeprom()) {
        result.outcome = UsbSerialWrite::Outcome::ReadFailed;
        result.logLines.push_back(labelText(label) + " ERROR: " + m_backend->name() +
                                  " cannot read the EEPROM, so the chip's other settings could not be kept; "
                                  "nothing was written. Use a newer FTDI library.");
        return result;
    }

    const std::unique_ptr<FtdiSession> session =
        m_backend->open(m_devices[static_cast<std::size_t>(chip.firstRecord)], result.failure);
    if (!session) {
        result.outcome = UsbSerialWrite::Outcome::OpenFailed;
        result.logLines.push_back(openFailureLine(label, result.failure, "written"));
        return result;
    }
    EepromContents current;
    if (!readWords(*session, kWordsToRead, current, result, label))
        return result;
    const std::optional<std::size_t> seenPart = eepromPartWordsFromWrap(current);
    // A part whose size shows is saved whole; one that reads the same word
    // everywhere is saved as read, which any part takes back.
    EepromContents saved = current;
    saved.resize(seenPart.value_or(kWordsToRead));
    result.before = saved;
    if (!saveBackup(saved, label, result))
        return result;

    std::size_t part = seenPart.value_or(0);
    if (!seenPart) {
        const EepromPlan first = imageFor(128, current);
        if (!first.ok()) {
            result.outcome = UsbSerialWrite::Outcome::NotApplicable;
            result.logLines.push_back(labelText(label) + " ERROR: " + first.problem + "; nothing was written.");
            return result;
        }
        const std::uint16_t wordZero = first.image[0];
        if (wordZero != current[0]) {
            result.failure = session->writeWord(0, wordZero);
            if (!result.failure.ok()) {
                result.word = 0;
                result.outcome = result.failure.error == FtdiError::Disconnected
                    ? UsbSerialWrite::Outcome::Disconnected
                    : UsbSerialWrite::Outcome::WordWriteFailed;
                result.logLines.push_back(labelText(label) + " ERROR: EEPROM word 0 was not written (" +
                                          result.failure.text + "). " + recoveryAdvice(result));
                return result;
            }
            ++result.wordsWritten;
            const auto probed = probePartWords(*session, wordZero, result);
            if (!probed) {
                result.outcome = UsbSerialWrite::Outcome::ReadBackFailed;
                result.logLines.push_back(format("%s ERROR: EEPROM word %d could not be read (%s). ",
                                                 labelText(label).c_str(), result.word, result.failure.text.c_str())
                                          + recoveryAdvice(result));
                return result;
            }
            part = *probed;
            for (std::size_t i = 0; i < current.size(); ++i) {
                if (i % part == 0)
                    current[i] = wordZero;
            }
        } else {
            part = 64;
        }
    }
    result.partWords = part;
    current.resize(part);
    const std::size_t checked = eepromCheckedWords(part);
    const EepromPlan plan = imageFor(part, current);
    if (!plan.ok()) {
        result.outcome = UsbSerialWrite::Outcome::NotApplicable;
        result.logLines.push_back(labelText(label) + " ERROR: " + plan.problem + "; nothing was written.");
        return result;
    }
    result.image = plan.image;

    // Only the words that change, the checksum last: a write cut short
    // leaves a checksum that does not hold rather than one that does.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < result.image.size(); ++i) {
        if (i != checked - 1 && result.image[i] != current[i])
            order.push_back(i);
    }
    if (result.image[checked - 1] != current[checked - 1])
        order.push_back(checked - 1);
    result.logLines.push_back("FTDI chip " + chip.label() + " (" + std::string(ftdiChipKindName(chip.kind)) + ", " +
                              eepromPartName(part) + ", EEPROM " +
                              std::string(eepromStateName(eepromState(current, checked))) + "): " +
                              std::to_string(order.size()) + " of " + std::to_string(part) + " words change.");
    for (const std::size_t word : order) {
        result.failure = session->writeWord(word, result.image[word]);
        if (result.failure.ok()) {
            ++result.wordsWritten;
            continue;
        }
        result.word = static_cast<int>(word);
        if (result.failure.error == FtdiError::Disconnected) {
            result.outcome = UsbSerialWrite::Outcome::Disconnected;
            result.logLines.push_back(format("%s ERROR: the FTDI chip went away at EEPROM word %d (%s); it may hold "
                                             "a partial image. Plug the programmer in again at the same USB port. ",
                                             labelText(label).c_str(), result.word, result.failure.text.c_str())
                                      + recoveryAdvice(result));
        } else {
            result.outcome = UsbSerialWrite::Outcome::WordWriteFailed;
            result.logLines.push_back(format("%s ERROR: EEPROM word %d was not written (%s); the chip may hold a "
                                             "partial image. ",
                                             labelText(label).c_str(), result.word, result.failure.text.c_str())
                                      + recoveryAdvice(result));
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
    int differing = 0;
    std::uint16_t firstRead = 0;
    for (std::size_t word = 0; word < result.image.size(); ++word) {
        std::uint16_t value = 0;
        const FtdiResult read = session.readWord(word, value);
        if (!read.ok()) {
            result.outcome = read.error == FtdiError::Disconnected ? UsbSerialWrite::Outcome::Disconnected
                                                                   : UsbSerialWrite::Outcome::ReadBackFailed;
            result.failure = read;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("%s ERROR: EEPROM word %d could not be read back (%s), so the write "
                                             "is not verified. ",
                                             labelText(label).c_str(), result.word, read.text.c_str())
                                      + recoveryAdvice(result));
            return;
        }
        if (value != result.image[word] && differing++ == 0) {
            result.word = static_cast<int>(word);
            firstRead = value;
        }
    }
    if (differing > 0) {
        result.outcome = UsbSerialWrite::Outcome::Mismatch;
        result.logLines.push_back(
            format("%s ERROR: the EEPROM does not hold what was written (%d of %d words differ; word %d reads "
                   "0x%04X, 0x%04X was written). ",
                   labelText(label).c_str(), differing, static_cast<int>(result.image.size()), result.word,
                   static_cast<unsigned>(firstRead),
                   static_cast<unsigned>(result.image[static_cast<std::size_t>(result.word)]))
            + recoveryAdvice(result));
        return;
    }
    result.outcome = UsbSerialWrite::Outcome::Verified;
    result.logLines.push_back(format("EEPROM verified: all %d words read back as written.",
                                     static_cast<int>(result.image.size())));
}

} // namespace talvex
