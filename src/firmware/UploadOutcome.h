#pragma once

#include "protocol/DetectionResults.h"

#include <string>

namespace talvex {

/// Result of the re-identification after the device was plugged in again.
enum class ReconnectResult {
    Found = 0,       ///< the port opened and the device has the expected serial
    PortNotBack = 1, ///< the port did not open within 200 attempts
    OtherDevice = 2, ///< a device with another serial number answered
    NoSerial = 3,    ///< the identification gave no 32-character serial
};

/// How an upload ended.
enum class UploadEnding {
    // A verdict: the window shows messageText() and runs FinishUpload.
    Success,
    FinishedWithErrors,
    NoAnswer,
    FlashError,
    TooManyErrors,
    EraseFailed,
    Unplugged, ///< the port reported the device gone while blocks were sent
    // No verdict: the window restores itself and connects again.
    FileReadError,    ///< "Error reading file !" is in the upper status line
    BootModeFailed,   ///< no answer, or an unknown one, to 0xA5
    BackToBootFailed, ///< the application refused to go back to its boot loader
    BootFlagClear,    ///< the detection results do not say "boot loader"
    NotReconnected,   ///< see `reconnect`
    BlocksRanOut,     ///< every block accepted, but no 0xA7/0xB7 at the end
    NotUnplugged,     ///< the boot loader still answered when the unplug wait ran out
};

/// True for the six endings that close with a message box.
bool hasVerdict(UploadEnding ending);

struct UploadOutcome {
    UploadEnding ending = UploadEnding::FileReadError;
    ReconnectResult reconnect = ReconnectResult::Found;
    std::string upperStatus; ///< the upper status line at the end
    std::string lowerStatus; ///< the lower status line at the end
    int communicationErrors = 0;
    int blocksAccepted = 0;
    /// The programmer as the upload left it (in the boot loader, at 115200
    /// baud, once it went back to boot).
    ProgrammerState programmer;

    bool hasVerdict() const { return talvex::hasVerdict(ending); }

    /// The message box text of a verdict: the upper status line followed
    /// directly by the lower one, as the window showed them.
    std::string messageText() const { return upperStatus + lowerStatus; }
};

/// Why an upload without a verdict stopped, in words for the user who
/// asked for it on `port` (the verdicts speak for themselves).
std::string reasonWithoutVerdict(const UploadOutcome& outcome, const std::string& port);

/// The texts an ending with a verdict writes, in the order of the columns
/// of its row: first log line (may be empty), upper status, lower status, last log line.
struct VerdictTexts {
    const char* firstLog;
    const char* upper;
    const char* lower;
    const char* lastLog;
};

/// The texts of an ending with a verdict (an ending without one answers
/// empty texts).
VerdictTexts verdictTexts(UploadEnding ending);

} // namespace talvex
