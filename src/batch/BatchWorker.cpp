#include "batch/BatchWorker.h"

#include "batch/ProgrammerSearch.h"
#include "common/Clock.h"
#include "firmware/FirmwareProtocol.h"
#include "firmware/FirmwareUpload.h"
#include "firmware/UploadObserver.h"
#include "protocol/ProgrammerConnect.h"
#include "serial/PortSlot.h"
#include "usbserial/UsbSerialTool.h"

namespace talvex {
namespace {

constexpr const char* kBootLoaderVersion = "boot loader";

std::optional<BatchPhase> phaseOf(UploadState state)
{
    switch (state) {
    case UploadState::CheckingMode: return BatchPhase::CheckingMode;
    case UploadState::BackToBoot: return BatchPhase::BackToBoot;
    case UploadState::WaitingForUnplug: return BatchPhase::Unplug;
    case UploadState::WaitingForReconnect: return BatchPhase::Replug;
    case UploadState::Erasing: return BatchPhase::Erasing;
    case UploadState::SendingBlocks: return BatchPhase::Uploading;
    case UploadState::Idle:
    case UploadState::Finished: break;
    }
    return std::nullopt;
}

// One programmer's upload as its row shows it.
class RowUploadObserver final : public UploadObserver {
public:
    RowUploadObserver(BatchObserver& observer, std::size_t index)
        : m_observer(observer)
        , m_index(index)
    {
    }

    void clearLog() override { }
    void logLine(const std::string& message) override { m_observer.logLine(m_index, message); }
    void setUpperStatus(const std::string&) override { }
    void setLowerStatus(const std::string&) override { }
    void setProgress(int blockIndex) override { m_percent = (blockIndex + 1) * 100 / kBlockCount; }
    // Comes right after setProgress, with the estimate for that block.
    void setRemainingTime(std::optional<std::chrono::seconds> remaining) override
    {
        if (remaining)
            m_observer.progressed(m_index, m_percent, remaining);
    }
    void pump() override { }
    void serialize() override { }
    void stateChanged(UploadState state) override
    {
        if (const auto phase = phaseOf(state))
            m_observer.phaseChanged(m_index, *phase);
    }

private:
    BatchObserver& m_observer;
    std::size_t m_index;
    int m_percent = 0;
};

class Worker {
public:
    Worker(const BatchEnvironment& env, const BatchSettings& settings, BatchObserver& observer, std::size_t index,
           const FoundProgrammer& programmer)
        : m_env(env)
        , m_settings(settings)
        , m_observer(observer)
        , m_index(index)
        , m_programmer(programmer)
        , m_start(env.clock.now())
    {
        m_record.position = index + 1;
        m_record.ports = programmer.portsText();
        m_record.usbLocation = programmer.usb ? programmer.usb->location : std::string();
        m_record.serialNumber = programmer.serialNumber;
        m_record.versionBefore =
            programmer.mode == ProgrammerMode::Application ? programmer.firmwareVersion : kBootLoaderVersion;
        m_state.answerDelayMs = settings.answerDelayMs;
    }

    BatchRecord run(const FirmwareImage& image, SharedUsbSerial& usbSerial)
    {
        Result<void> done = connect();
        if (done)
            done = upload(image);
        if (done) {
            confirm();
            if (usbSerial.tool)
                done = serialize(usbSerial);
        }
        if (!done)
            return failed(done.failure());
        m_record.confirmed = true;
        return finish(BatchPhase::Done);
    }

private:
    ConnectLog connectLog()
    {
        return [this](const std::string& line, bool) { m_observer.logLine(m_index, line); };
    }

    Result<void> connect()
    {
        m_observer.phaseChanged(m_index, BatchPhase::Connecting);
        const std::string& port = m_programmer.reader1Port;
        const Result<IdentifyResult> connected = openAndIdentify(m_slot, m_env.host, m_env.clock, port,
                                                                 m_programmer.variant, m_settings.answerDelayMs,
                                                                 connectLog());
        if (!connected)
            return fail(connected.status(), port + " did not open: " + connected.failure().detail);
        if (connected->mode == ProgrammerMode::None)
            return fail(Status::TimedOut, "the programmer did not answer on " + port + "; nothing was erased");
        if (connected->fields.serialNumber != m_programmer.serialNumber)
            return fail(Status::Refused, "another programmer (" + connected->fields.serialNumber + ") answers on " +
                                             port + " now; nothing was erased");
        m_state.variant = m_programmer.variant;
        m_state.bootLoader = connected->mode == ProgrammerMode::BootLoader;
        return {};
    }

    Result<void> upload(const FirmwareImage& image)
    {
        UploadRequest request {m_slot, m_env.host, m_env.clock, m_state};
        if (m_programmer.usb) {
            const UsbIdentity usb = *m_programmer.usb;
            request.portAfterReplug = [this, usb](const std::string& name) {
                return portOfUsbIdentity(m_env.host, usb, name);
            };
        }
        UploadOptions options;
        options.unplugPollLimit = m_settings.unplugPollLimit;
        RowUploadObserver rowObserver(m_observer, m_index);
        const UploadOutcome outcome = FirmwareUpload(request, rowObserver, options)
                                          .run(image, m_programmer.reader1Port, m_programmer.serialNumber);
        m_slot.close();
        if (outcome.ending == UploadEnding::Success)
            return {};
        return fail(Status::Other, outcome.hasVerdict() ? outcome.messageText()
                                                        : reasonWithoutVerdict(outcome, m_programmer.reader1Port));
    }

    // What runs now, as far as the programmer tells without a re-plug.
    void confirm()
    {
        m_observer.phaseChanged(m_index, BatchPhase::Confirming);
        std::string port = m_programmer.reader1Port;
        if (m_programmer.usb)
            port = portOfUsbIdentity(m_env.host, *m_programmer.usb, port);
        const Result<IdentifyResult> connected = openAndIdentify(m_slot, m_env.host, m_env.clock, port,
                                                                 SpeedVariant::Normal, m_settings.answerDelayMs,
                                                                 connectLog());
        m_slot.close();
        const ProgrammerMode mode = connected ? connected->mode : ProgrammerMode::None;
        if (mode == ProgrammerMode::Application)
            m_record.versionAfter = connected->versionText;
        else if (mode == ProgrammerMode::BootLoader)
            m_record.versionAfter = "new, starts after a re-plug";
    }

    Result<void> serialize(SharedUsbSerial& usbSerial)
    {
        m_observer.phaseChanged(m_index, BatchPhase::Serializing);
        std::lock_guard lock(usbSerial.mutex);
        UsbSerialTool& tool = *usbSerial.tool;
        const UsbSerialListing listing = tool.readSerial();
        if (!listing.devicesListed)
            return fail(Status::Other, serialFailure("the FTDI chips could not be listed", listing.logLines));
        // Only the chip behind this programmer's own port is ever written.
        const FtdiChipChoice choice = tool.choose(FtdiChipRequest::forProgrammerPort(m_programmer.usb));
        if (!choice.chip)
            return fail(Status::BadInput, "uploaded, but its USB serial number was not written: " + choice.problem);
        const UsbSerialGenerated generated = tool.generate(m_programmer.serialNumber);
        if (!generated.serialText)
            return fail(Status::BadInput,
                        serialFailure("uploaded, but no USB serial number could be made", generated.logLines));
        const UsbSerialWrite write = tool.writeSerial(*generated.serialText);
        for (const std::string& line : write.logLines)
            m_observer.logLine(m_index, line);
        if (!write.succeeded())
            return fail(Status::Other,
                        serialFailure("uploaded, but the USB serial number was not written", write.logLines));
        m_record.usbSerial = write.serial;
        return {};
    }

    static std::string serialFailure(const std::string& what, const std::vector<std::string>& lines)
    {
        return lines.empty() ? what : what + ": " + lines.back();
    }

    // The row's verdict: the reason in the user's words.
    const BatchRecord& failed(const Failure& failure)
    {
        m_record.reason = failure.detail;
        m_slot.close();
        return finish(BatchPhase::Failed);
    }

    const BatchRecord& finish(BatchPhase phase)
    {
        m_record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(m_env.clock.now() - m_start);
        m_observer.phaseChanged(m_index, phase);
        m_observer.finished(m_index, m_record);
        return m_record;
    }

    const BatchEnvironment& m_env;
    const BatchSettings& m_settings;
    BatchObserver& m_observer;
    std::size_t m_index;
    const FoundProgrammer& m_programmer;
    TimePoint m_start;
    PortSlot m_slot;
    ProgrammerState m_state; ///< as this worker last found its programmer
    BatchRecord m_record;
};

} // namespace

BatchRecord runBatchWorker(const BatchEnvironment& env, const BatchSettings& settings, BatchObserver& observer,
                           std::size_t index, const FoundProgrammer& programmer, const FirmwareImage& image,
                           SharedUsbSerial& usbSerial)
{
    return Worker(env, settings, observer, index, programmer).run(image, usbSerial);
}

} // namespace talvex
