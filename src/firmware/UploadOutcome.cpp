#include "firmware/UploadOutcome.h"

namespace talvex {
namespace {

constexpr const char* kUnplugAndRetry = "Unplug the programmer and retry.";
constexpr const char* kUnplugToRestart = "Please, unplug the reader to restart-it.";
constexpr const char* kFinished = "Programming Finished!";
constexpr const char* kFinishedWithErrors = "Programming Finished with errors !";
constexpr const char* kPermanentError = "PERMANENT COMMUNICATION ERROR !!!";

} // namespace

bool hasVerdict(UploadEnding ending)
{
    switch (ending) {
    case UploadEnding::Success:
    case UploadEnding::FinishedWithErrors:
    case UploadEnding::NoAnswer:
    case UploadEnding::FlashError:
    case UploadEnding::TooManyErrors:
    case UploadEnding::EraseFailed:
    case UploadEnding::Unplugged:
        return true;
    default:
        return false;
    }
}

std::string reasonWithoutVerdict(const UploadOutcome& outcome, const std::string& port)
{
    switch (outcome.ending) {
    case UploadEnding::FileReadError: return "the firmware file could not be read";
    case UploadEnding::BootModeFailed: return "the programmer did not say which firmware runs; nothing was erased";
    case UploadEnding::BackToBootFailed:
        return "the application did not go back to its boot loader; nothing was erased";
    case UploadEnding::BootFlagClear: return "the programmer is not in its boot loader; nothing was erased";
    case UploadEnding::BlocksRanOut:
        return "every block was accepted, but the programmer never said the image was complete";
    case UploadEnding::NotUnplugged:
        return "the programmer on " + port + " was not unplugged in time; it waits in its boot loader, nothing was erased";
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

VerdictTexts verdictTexts(UploadEnding ending)
{
    switch (ending) {
    case UploadEnding::Success:
        return {"", "Uploading firmware successfully finished ! ", kUnplugToRestart, kFinished};
    case UploadEnding::FinishedWithErrors:
        return {"", "Uploading firmware finished with errors ! ", kUnplugToRestart, kFinishedWithErrors};
    case UploadEnding::NoAnswer:
        return {kPermanentError, kUnplugAndRetry, "No answer from Programmer, uploading failed. ",
                kFinishedWithErrors};
    case UploadEnding::FlashError:
        return {"UNRECOVERABLE ERROR !!!", kUnplugAndRetry, "Problem to writing in flash memory, uploading failed.",
                kFinishedWithErrors};
    case UploadEnding::TooManyErrors:
        return {kPermanentError, kUnplugAndRetry, "Too many communication error, uploading failed.",
                kFinishedWithErrors};
    case UploadEnding::EraseFailed:
        return {"ERROR: Failed to Erasing application error.", "Uploading failed.", kUnplugAndRetry,
                kFinishedWithErrors};
    case UploadEnding::Unplugged:
        // The application is erased by now: the boot loader waits for the
        // next upload, so plugging in again and retrying is safe.
        return {"ERROR: the programmer was unplugged during the upload !", "Uploading failed.",
                "The programmer was unplugged: plug it in again and retry.", kFinishedWithErrors};
    default:
        return {"", "", "", ""};
    }
}

} // namespace talvex
