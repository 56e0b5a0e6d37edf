#include "cli/CommandRun.h"
#include "cli/TerminalUploadObserver.h"
#include "cli/UsbSerialSteps.h"
#include "context/ApplicationContext.h"
#include "firmware/FirmwareImage.h"
#include "firmware/FirmwareUpload.h"

#include <memory>

namespace talvex::cli {

ExitCode runUpload(CommandRun& run)
{
    const std::string& path = run.positional(0);
    const std::string port = *run.call.value("--port");
    ApplicationContext& context = run.context;
    const auto request = [&context] {
        return UploadRequest {context.ports().a, context.host(), context.clock(), context.detection().programmer()};
    };

    // A bad file is reported before the device is touched.
    if (const Result<void> usable = vetFirmwareFile(path); !usable)
        return run.fail(ExitCode::BadArguments, usable.failure().detail);

    // Without the library the serial number could not be written at the
    // end: say so before anything is erased.
    std::unique_ptr<UsbSerialTool> usbSerial;
    if (run.call.has("--serialize")) {
        usbSerial = std::make_unique<UsbSerialTool>(context.loadUsbSerialLibrary());
        if (!usbSerial->available())
            return run.fail(ExitCode::Failure, usbSerial->unavailableReason());
    }

    const Step<Connection> connection = connectForCommand(run);
    if (!connection)
        return connection.error();

    const std::string programmerSerial = connection->identity.fields.serialNumber;
    ExitCode serialized = ExitCode::Ok;
    TerminalUploadObserver observer(run.console, [&] {
        if (usbSerial)
            serialized = serializeProgrammer(*usbSerial, run.console,
                                             FtdiChipRequest::forProgrammerPort(context.host().usbIdentityOf(port)),
                                             programmerSerial);
    });
    // Made after the connect, which found the programmer's build and mode.
    FirmwareUpload upload(request(), observer);
    const UploadOutcome outcome = upload.run(path, port, programmerSerial);
    context.detection().setProgrammer(outcome.programmer);

    if (outcome.ending == UploadEnding::Success) {
        run.console.result(outcome.messageText());
        if (serialized != ExitCode::Ok)
            return run.fail(serialized, "the firmware is uploaded, but the USB serial number was not written");
        return ExitCode::Ok;
    }
    if (outcome.hasVerdict())
        run.console.problem(outcome.messageText());
    else
        run.fail(ExitCode::UploadFailed, reasonWithoutVerdict(outcome, port));
    return ExitCode::UploadFailed;
}

} // namespace talvex::cli
