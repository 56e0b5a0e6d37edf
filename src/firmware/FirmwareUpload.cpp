#include "firmware/FirmwareUpload.h"

#include "common/Clock.h"
#include "firmware/BlockFrame.h"
#include "firmware/FirmwareProtocol.h"
#include "firmware/UploadObserver.h"
#include "protocol/Identification.h"
#include "serial/PortSlot.h"

#include <optional>

namespace talvex {
namespace {

constexpr const char* kInProgress = "Uploading firmware in progress ! Please, wait some minutes ... !";

std::optional<std::uint8_t> firstByte(const std::vector<std::uint8_t>& answer)
{
    if (answer.empty())
        return std::nullopt;
    return answer[0];
}

} // namespace

FirmwareUpload::FirmwareUpload(UploadRequest request, UploadObserver& observer, UploadOptions options)
    : m_request(std::move(request))
    , m_observer(observer)
    , m_options(options)
    , m_boot(m_request, observer)
{
}

FileCheck FirmwareUpload::checkFile(const std::string& path)
{
    m_observer.clearLog();
    std::string reason;
    const FileCheck check = checkFirmwareFile(path, &reason);
    switch (check) {
    case FileCheck::NotFound: setUpper("File not found !"); break;
    case FileCheck::NotBinFile: setUpper("File not in .bin format !"); break;
    case FileCheck::Unreadable:
        log(path + ": " + reason);
        setUpper("Error reading file !");
        break;
    case FileCheck::Ok: setUpper(kInProgress); break;
    }
    return check;
}

UploadOutcome FirmwareUpload::run(const std::string& path, const std::string& portName,
                                  const std::string& expectedSerial)
{
    const std::optional<FirmwareImage> image = readFirmwareImage(path);
    if (!image) {
        m_reconnect = ReconnectResult::Found;
        m_communicationErrors = 0;
        m_blocksAccepted = 0;
        setUpper("Error reading file !");
        const UploadOutcome outcome = makeOutcome(UploadEnding::FileReadError);
        setState(UploadState::Finished);
        return outcome;
    }
    return run(*image, portName, expectedSerial);
}

UploadOutcome FirmwareUpload::run(const FirmwareImage& image, const std::string& portName,
                                  const std::string& expectedSerial)
{
    m_reconnect = ReconnectResult::Found;
    m_communicationErrors = 0;
    m_blocksAccepted = 0;
    UploadOutcome outcome = runSteps(image, portName, expectedSerial);
    setState(UploadState::Finished);
    return outcome;
}

UploadOutcome FirmwareUpload::runSteps(const FirmwareImage& image, const std::string& portName,
                                       const std::string& expectedSerial)
{
    log("Ok, read " + std::to_string(image.fileSize) + " bytes");
    if (image.fileSize > kImageSize)
        log("Only the first " + std::to_string(kImageSize) + " bytes of the file are sent.");
    if (image.bytesFilled > 0) {
        log("File shorter than " + std::to_string(kImageSize) + " bytes: " + std::to_string(image.bytesFilled)
            + " bytes filled with 0xFF.");
    }
    log("Checking mode.");

    setState(UploadState::CheckingMode);
    const auto mode = firstByte(m_boot.checkBootMode());
    const bool application = mode == kApplicationAnswer1 || mode == kApplicationAnswer2;
    if (!application && mode != kBootLoaderRunning) {
        log("ERROR: Failed entering boot mode!");
        return makeOutcome(UploadEnding::BootModeFailed);
    }

    if (application) {
        log("Application Mode.");
        setState(UploadState::BackToBoot);
        if (!isBackToBootAnswer(m_boot.returnToBootMode())) {
            log("ERROR: Back to boot failed");
            // Whatever the boot flag says, the application still runs: an
            // erase would only be refused.
            return makeOutcome(UploadEnding::BackToBootFailed);
        }
        log("Back to boot succesfull");
        m_request.programmer.bootLoader = true;
        setUpper("Please, unplug the reader ...");
        setLower("");

        setState(UploadState::WaitingForUnplug);
        const int limit = m_options.unplugPollLimit;
        const int passes = m_boot.waitForUnplug(limit);
        if (limit > 0 && passes > limit) {
            log("ERROR: the programmer was not unplugged.");
            return makeOutcome(UploadEnding::NotUnplugged);
        }
        log("Attempting to close COM port...");
        m_request.port.close();
        log("COM port closed ...");
        setUpper("Ok, reconnect the reader to start upload ...");
        setLower("");
        // The boot loader is reached at 115200 baud with the plain preamble.
        m_request.programmer.variant = SpeedVariant::Normal;

        setState(UploadState::WaitingForReconnect);
        m_reconnect = m_boot.waitForReconnect(portName, expectedSerial);
        if (m_reconnect != ReconnectResult::Found)
            return makeOutcome(UploadEnding::NotReconnected);
    }
    if (!m_request.programmer.bootLoader)
        return makeOutcome(UploadEnding::BootFlagClear);

    setState(UploadState::Erasing);
    const std::vector<std::uint8_t> erased = m_boot.eraseApplication();
    if (erased.size() < 2 || erased[0] != kEraseCode || erased[1] != kEraseDone)
        return endWithVerdict(UploadEnding::EraseFailed);
    log("Erase Application successful.");
    log("Uploading...");
    setUpper(kInProgress);

    m_request.port.setDtr(true);
    m_request.clock.sleepMs(kBeforeFirstBlockMs);
    setState(UploadState::SendingBlocks);
    UploadOutcome outcome = sendBlocks(image);
    m_observer.setRemainingTime(std::nullopt);
    return outcome;
}

UploadOutcome FirmwareUpload::sendBlocks(const FirmwareImage& image)
{
    m_remaining.start(m_request.clock.now());
    bool previousAccepted = true;
    int sinceProgress = 0;
    int refusalsOfBlock = 0;
    int block = 0;
    while (block < kBlockCount) {
        const std::uint8_t* data = image.bytes.data() + static_cast<std::size_t>(block) * kBlockSize;
        const BlockFrame frame = buildBlockFrame(data, !previousAccepted);
        if (!m_request.port.writeBlock(frame.data(), frame.size())) {
            ++m_communicationErrors;
            log("Communtication error sending to Programmer ....");
            m_request.clock.sleepMs(kWriteFailedWaitMs);
        }
        m_observer.pump();
        const PortSlot::Answer answer = awaitBlockAnswer(m_request.port, m_request.clock, m_options.answerWait);
        if (answer.bytes.empty() && answer.end == Status::Gone)
            return endWithVerdict(UploadEnding::Unplugged);

        switch (judgeBlockAnswer(answer.bytes, frame.back(), block)) {
        case BlockVerdict::NoAnswer:
            if (++m_communicationErrors >= kCommunicationErrorLimit)
                return endWithVerdict(UploadEnding::NoAnswer);
            log("Nothing receiving from Programmer ...  ");
            communicationErrorWait(kNoAnswerWaitMs);
            previousAccepted = false;
            break;
        case BlockVerdict::Complete:
            ++m_blocksAccepted;
            return endWithVerdict(UploadEnding::Success);
        case BlockVerdict::CompleteWithErrors:
            ++m_blocksAccepted;
            return endWithVerdict(UploadEnding::FinishedWithErrors);
        case BlockVerdict::Accepted:
            previousAccepted = true;
            ++m_blocksAccepted;
            if (++sinceProgress == kProgressEveryBlocks) {
                m_observer.setProgress(block);
                m_observer.setRemainingTime(m_remaining.estimate(m_request.clock.now(), block + 1, kBlockCount));
                m_observer.pump();
                sinceProgress = 0;
            }
            ++block;
            refusalsOfBlock = 0;
            break;
        case BlockVerdict::Retry:
            previousAccepted = false;
            if (++refusalsOfBlock >= kBlockRetryLimit) {
                log("Programming ERROR block: " + std::to_string(block) + " refused "
                    + std::to_string(kBlockRetryLimit) + " times.");
                return endWithVerdict(UploadEnding::FlashError);
            }
            log("Programming ERROR block: " + std::to_string(block) + ". Resending ...");
            break;
        case BlockVerdict::FlashError:
            return endWithVerdict(UploadEnding::FlashError);
        case BlockVerdict::CommunicationError:
            if (++m_communicationErrors >= kCommunicationErrorLimit)
                return endWithVerdict(UploadEnding::TooManyErrors);
            log("Communication error ! Try to correct ...");
            communicationErrorWait(kCommunicationErrorWaitMs);
            previousAccepted = false;
            break;
        }
    }
    return makeOutcome(UploadEnding::BlocksRanOut);
}

void FirmwareUpload::communicationErrorWait(int waitMs)
{
    m_request.clock.sleepMs(waitMs);
    // A late answer to the failed frame must not pass for the answer to
    // the frame that repeats it.
    m_request.port.readAll(kUploadAnswerCapacity);
}

UploadOutcome FirmwareUpload::endWithVerdict(UploadEnding ending)
{
    const VerdictTexts texts = verdictTexts(ending);
    switch (ending) {
    case UploadEnding::Success:
    case UploadEnding::FinishedWithErrors:
        m_observer.pump();
        setUpper(texts.upper);
        setLower(texts.lower);
        if (ending == UploadEnding::Success)
            m_observer.serialize();
        break;
    case UploadEnding::EraseFailed:
        log(texts.firstLog);
        setUpper(texts.upper);
        setLower(texts.lower);
        break;
    default:
        log(texts.firstLog);
        setLower(texts.lower);
        setUpper(texts.upper);
        break;
    }
    log(texts.lastLog);
    return makeOutcome(ending);
}

UploadOutcome FirmwareUpload::makeOutcome(UploadEnding ending)
{
    UploadOutcome outcome;
    outcome.ending = ending;
    outcome.reconnect = m_reconnect;
    outcome.upperStatus = m_upperStatus;
    outcome.lowerStatus = m_lowerStatus;
    outcome.communicationErrors = m_communicationErrors;
    outcome.blocksAccepted = m_blocksAccepted;
    outcome.programmer = m_request.programmer;
    return outcome;
}

void FirmwareUpload::setState(UploadState state)
{
    m_state = state;
    m_observer.stateChanged(state);
}

void FirmwareUpload::setUpper(const std::string& text)
{
    m_upperStatus = text;
    m_observer.setUpperStatus(text);
}

void FirmwareUpload::setLower(const std::string& text)
{
    m_lowerStatus = text;
    m_observer.setLowerStatus(text);
}

void FirmwareUpload::log(const std::string& line)
{
    m_observer.logLine(line);
}

} // namespace talvex
