// The EEPROM write every change goes through: read, save, change only
// what differs (checksum last), read back; and what each failure advises.
#include "usbserial/UsbSerialTool.h"

#include "usbserial/EepromBackup.h"
#include "usbserial/EepromRead.h"
#include "usbserial/TextFormat.h"

namespace talvex {
namespace {

// Backups of one chip within one second: far more than any bench makes.
constexpr int kMaxBackupCopies = 1000;

} // namespace

bool UsbSerialTool::readWords(FtdiSession& session, std::size_t count, EepromContents& words,
                              UsbSerialWrite& result, std::string_view label)
{
    EepromRead read = readEepromWords(session, count);
    result.failure = read.failure;
    if (!read.ok()) {
        result.outcome = EepromOutcome::ReadFailed;
        result.word = read.stoppedAt;
        result.logLines.push_back(formatText("%s ERROR: EEPROM word %d could not be read (%s); nothing was written.",
                                             std::string(label).c_str(), result.word, result.failure.detail.c_str()));
        return false;
    }
    words = std::move(read.words);
    return true;
}

bool UsbSerialTool::saveBackup(const EepromContents& words, std::string_view label, UsbSerialWrite& result)
{
    const std::string serial = m_chosen->serial;
    const std::filesystem::path first = m_backupDirectory / eepromBackupFileName(serial, m_now());
    std::filesystem::path path = first;
    // A backup of the same chip in the same second (another window, another
    // process) is never replaced: the next free name is taken instead.
    Result<void> saved = writeEepromFile(path, words, Existing::Keep);
    for (int copy = 2; saved.status() == Status::Busy && copy <= kMaxBackupCopies; ++copy) {
        path = first.parent_path() / (first.stem().string() + "-" + std::to_string(copy) + first.extension().string());
        saved = writeEepromFile(path, words, Existing::Keep);
    }
    if (!saved) {
        result.outcome = EepromOutcome::BackupFailed;
        result.logLines.push_back(std::string(label) + " ERROR: the EEPROM backup " + path.string() +
                                  " could not be saved (" + saved.failure().detail + "); nothing was written.");
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
    // where the EEPROM wraps.
    for (const std::size_t part : {std::size_t {64}, std::size_t {128}}) {
        const Result<std::uint16_t> value = session.readWord(part);
        result.failure = value.failure();
        if (!value) {
            result.word = static_cast<int>(part);
            return std::nullopt;
        }
        if (*value == wordZero)
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
        result.outcome = EepromOutcome::Unavailable;
        return result;
    }
    if (!m_chosen) {
        result.outcome = EepromOutcome::NoChipChosen;
        result.logLines.push_back(std::string(label) + " ERROR: " + m_choiceProblem + "; nothing was written.");
        return result;
    }
    const FtdiChip chip = *m_chosen;
    result.chip = chip;
    if (chip.kind == FtdiChipKind::Other) {
        result.outcome = EepromOutcome::UnsupportedChip;
        result.logLines.push_back(std::string(label) + " ERROR: FTDI chip " + chip.label() +
                                  " is no FT2232C/D or FT2232H, whose EEPROM this tool knows; nothing was written.");
        return result;
    }
    if (!m_backend->canReadEeprom()) {
        result.outcome = EepromOutcome::ReadFailed;
        result.logLines.push_back(std::string(label) + " ERROR: " + m_backend->name() +
                                  " cannot read the EEPROM, so the chip's other settings could not be kept; "
                                  "nothing was written. Use a newer FTDI library.");
        return result;
    }

    Result<std::unique_ptr<FtdiSession>> opened = m_backend->open(m_devices[static_cast<std::size_t>(chip.firstRecord)]);
    result.failure = opened.failure();
    if (!opened) {
        result.outcome = EepromOutcome::OpenFailed;
        result.logLines.push_back(openFailureLine(label, result.failure, "written"));
        return result;
    }
    const std::unique_ptr<FtdiSession> session = std::move(*opened);
    EepromContents current;
    if (!readWords(*session, kWordsToRead, current, result, label))
        return result;
    const std::optional<std::size_t> seenPart = eepromPartWordsFromWrap(current);
    // An EEPROM whose size shows is saved whole; one that reads the same word
    // everywhere is saved as read, which any EEPROM takes back.
    EepromContents saved = current;
    saved.resize(seenPart.value_or(kWordsToRead));
    result.before = saved;
    if (!saveBackup(saved, label, result))
        return result;

    std::size_t part = seenPart.value_or(0);
    if (!seenPart) {
        const EepromPlan first = imageFor(128, current);
        if (!first.ok()) {
            result.outcome = EepromOutcome::NotApplicable;
            result.logLines.push_back(std::string(label) + " ERROR: " + first.problem + "; nothing was written.");
            return result;
        }
        const std::uint16_t wordZero = first.image[0];
        if (wordZero != current[0]) {
            result.failure = session->writeWord(0, wordZero).failure();
            if (result.failure.status != Status::Ok) {
                result.word = 0;
                result.outcome = result.failure.status == Status::Gone
                    ? EepromOutcome::Disconnected
                    : EepromOutcome::WordWriteFailed;
                result.logLines.push_back(std::string(label) + " ERROR: EEPROM word 0 was not written (" +
                                          result.failure.detail + "). " + recoveryAdvice(result));
                return result;
            }
            ++result.wordsWritten;
            const auto probed = probePartWords(*session, wordZero, result);
            if (!probed) {
                result.outcome = EepromOutcome::ReadBackFailed;
                result.logLines.push_back(formatText("%s ERROR: EEPROM word %d could not be read (%s). ",
                                                 std::string(label).c_str(), result.word, result.failure.detail.c_str())
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
        result.outcome = EepromOutcome::NotApplicable;
        result.logLines.push_back(std::string(label) + " ERROR: " + plan.problem + "; nothing was written.");
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
        result.failure = session->writeWord(word, result.image[word]).failure();
        if (result.failure.status == Status::Ok) {
            ++result.wordsWritten;
            continue;
        }
        result.word = static_cast<int>(word);
        if (result.failure.status == Status::Gone) {
            result.outcome = EepromOutcome::Disconnected;
            result.logLines.push_back(formatText("%s ERROR: the FTDI chip went away at EEPROM word %d (%s); it may hold "
                                             "a partial image. Plug the programmer in again at the same USB port. ",
                                             std::string(label).c_str(), result.word, result.failure.detail.c_str())
                                      + recoveryAdvice(result));
        } else {
            result.outcome = EepromOutcome::WordWriteFailed;
            result.logLines.push_back(formatText("%s ERROR: EEPROM word %d was not written (%s); the chip may hold a "
                                             "partial image. ",
                                             std::string(label).c_str(), result.word, result.failure.detail.c_str())
                                      + recoveryAdvice(result));
        }
        return result;
    }

    verify(*session, label, result);
    const Result<void> closed = session->close();
    if (!result.succeeded())
        return result;
    if (!closed.ok()) {
        result.outcome = EepromOutcome::CloseFailed;
        result.failure = closed.failure();
        result.logLines.push_back(label == "Write serial number"
                                      ? std::string("Write serial number ERROR !\n")
                                      : std::string(label) + " ERROR: the device could not be closed (" +
                                            closed.failure().detail + ").");
    }
    return result;
}

void UsbSerialTool::verify(FtdiSession& session, std::string_view label, UsbSerialWrite& result)
{
    const EepromRead read = readEepromWords(session, result.image.size());
    if (!read.ok()) {
        result.outcome = read.failure.status == Status::Gone ? EepromOutcome::Disconnected
                                                             : EepromOutcome::ReadBackFailed;
        result.failure = read.failure;
        result.word = read.stoppedAt;
        result.logLines.push_back(formatText("%s ERROR: EEPROM word %d could not be read back (%s), so the write "
                                             "is not verified. ",
                                             std::string(label).c_str(), result.word, read.failure.detail.c_str())
                                  + recoveryAdvice(result));
        return;
    }
    int differing = 0;
    std::uint16_t firstRead = 0;
    for (std::size_t word = 0; word < read.words.size(); ++word) {
        if (read.words[word] != result.image[word] && differing++ == 0) {
            result.word = static_cast<int>(word);
            firstRead = read.words[word];
        }
    }
    if (differing > 0) {
        result.outcome = EepromOutcome::Mismatch;
        result.logLines.push_back(
            formatText("%s ERROR: the EEPROM does not hold what was written (%d of %d words differ; word %d reads "
                   "0x%04X, 0x%04X was written). ",
                   std::string(label).c_str(), differing, static_cast<int>(result.image.size()), result.word,
                   static_cast<unsigned>(firstRead),
                   static_cast<unsigned>(result.image[static_cast<std::size_t>(result.word)]))
            + recoveryAdvice(result));
        return;
    }
    result.outcome = EepromOutcome::Verified;
    result.logLines.push_back(formatText("EEPROM verified: all %d words read back as written.",
                                     static_cast<int>(result.image.size())));
}

} // namespace talvex
