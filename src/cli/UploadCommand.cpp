#include "cli/CommandRun.h"
#include "cli/TerminalUploadObserver.h"
#include "cli/UsbSerialSteps.h"
#include "context/ApplicationContext.h"
#include "firmware/FirmwareUpload.h"

#include <memory>

namespace talvex::cli {
namespace {

// Keeps what the file check would show, so a bad file is reported before
// the device is touched.
struct FileCheckStatus final : UploadObserver {
    std::string upper;
    std::string reason; ///< the system's words, when it gave any

    void clearLog() override { }
    void logLine(const std::string& line) override { reason = line; }
    void setUpperStatus(const std::string& text) override { upper = text; }
    void setLowerStatus(const std::string&) override { }
    void setProgress(int) override { }
    void setRemainingTime(std::optional<std::chrono::seconds>) override { }
    void pump() override { }
    void serialize() override { }
};

// Why an upload without a verdict stopped, where the core's log has not said it.
std::string withoutVerdict(const UploadOutcome& outcome, const std::string& port)
{
    switch (outcome.ending) {
    case UploadEnding::FileReadError: return "the firmware file could not be read";
    case UploadEnding::BootModeFailed: return "the programmer did not say which firmware runs; nothing was erased";
    case UploadEnding::BackToBootFailed:
        return "the application did not go back to its boot loader; nothing was erased";
    case UploadEnding::BootFlagClear: return "the programmer is not in its boot loader; nothing was erased";
    case UploadEnding::BlocksRanOut:
        return "every block was accepted, but the programmer never said the image was complete";
    case UploadEnding::NotReconnected: break;
    default: return "the upload stopped";
    }
    switch (outcome.reconnect) {
    case ReconnectResult::PortNotBack: return "the programmer did not come back on " + port + "; nothing was erased";
    case ReconnectResult::OtherDevice: return "another programmer came back on " + port + "; nothing was erased";
    case ReconnectResult::NoSerial:
        return "the programmer on " + port + " did not identify itself after the re-plug; nothing was erased";
    case ReconnectResult::Found: break;
    }
    return "the programmer was not found again; nothing was erased";
}

} // namespace

ExitCode runUpload(CommandRun& run)
{
    const std::string& path = run.positional(0);
    const std::string port = *run.call.value("--port");
    ApplicationContext& context = run.context;
    UploadEnvironment env {context.ports().a, context.host(), context.clock(), context.detection()};

    FileCheckStatus fileStatus;
    if (FirmwareUpload(env, fileStatus).checkFile(path) != FileCheck::Ok)
        return run.fail(ExitCode::BadArguments,
                        fileStatus.reason.empty() ? path + ": " + fileStatus.upper : fileStatus.reason);

    // Without the library the serial number could not be written at the
    // end: say so before anything is erased.
    std::unique_ptr<UsbSerialTool> usbSerial;
    if (run.call.has("--serialize")) {
        usbSerial = std::make_unique<UsbSerialTool>(context.loadUsbSerialLibrary());
        if (!usbSerial->available())
            return run.fail(ExitCode::Failure, usbSerial->unavailableReason());
    }

    ExitCode failure = ExitCode::Ok;
    const auto connection = connectForCommand(run, failure);
    if (!connection)
        return failure;

    const std::string programmerSerial = connection->identity.fields.serialNumber;
    ExitCode serialized = ExitCode::Ok;
    TerminalUploadObserver observer(run.console, [&] {
        if (usbSerial)
            serialized = serializeProgrammer(*usbSerial, run.console, programmerSerial);
    });
    FirmwareUpload upload(env, observer);
    context.setUploadInProgress(true);
    const UploadOutcome outcome = upload.run(path, port, programmerSerial);
    context.setUploadInProgress(false);

    if (outcome.ending == UploadEnding::Success) {
        run.console.result(outcome.messageText());
        if (serialized != ExitCode::Ok)
            return run.fail(serialized, "the firmware is uploaded, but the USB serial number was not written");
        return ExitCode::Ok;
    }
    if (outcome.hasVerdict())
        run.console.problem(outcome.messageText());
    else
        run.fail(ExitCode::UploadFailed, withoutVerdict(outcome, port));
    return ExitCode::UploadFailed;
}

} // namespace talvex::cli
