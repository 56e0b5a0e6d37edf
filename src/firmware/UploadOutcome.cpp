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
