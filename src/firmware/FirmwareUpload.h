#pragma once

#include "firmware/BlockAnswer.h"
#include "firmware/BootModeSwitch.h"
#include "firmware/FirmwareImage.h"
#include "firmware/RemainingTime.h"
#include "firmware/UploadRequest.h"
#include "firmware/UploadOutcome.h"

#include <string>

namespace talvex {

class UploadObserver;

/// The stages of an upload, in the order they can come.
enum class UploadState {
    Idle,
    CheckingMode,
    BackToBoot,
    WaitingForUnplug,
    WaitingForReconnect,
    Erasing,
    SendingBlocks,
    Finished,
};

struct UploadOptions {
    AnswerWait answerWait = AnswerWait::UntilAnswered;
    /// Polls for the unplug before the upload gives up on it; 0 waits for
    /// as long as the user takes, as the settings window does. A batch
    /// sets one, so one programmer left plugged in cannot hold up the rest.
    int unplugPollLimit = 0;
};

/// The firmware upload of the settings window's "Upload !" button, without
/// the window: file checks, the mode check, the way back to the boot loader
/// when the application runs, the erase and 3,200 block frames with their
/// answers, retries and endings. It reports through an UploadObserver and
/// answers an UploadOutcome; locking and unlocking the window, the message
/// box and connecting again are the caller's.
///
/// The window drives it as:
///   clearLog + checks:  if (upload.checkFile(path) != FileCheck::Ok) return;
///   lock the window
///   outcome = upload.run(path, port, expectedSerial)
///   outcome.hasVerdict() ? FinishUpload(outcome.messageText()) : restore
class FirmwareUpload {
public:
    FirmwareUpload(UploadRequest request, UploadObserver& observer, UploadOptions options = {});

    /// Clears the log, checks that the file exists and ends in ".bin", and
    /// sets the upper status line to what the user should read next.
    FileCheck checkFile(const std::string& path);

    /// Runs the upload from reading the file on. `portName` is the port the
    /// window is connected on (opened again after a re-plug); the device
    /// found after a re-plug must carry `expectedSerial` in its serial.
    UploadOutcome run(const std::string& path, const std::string& portName, const std::string& expectedSerial);
    /// The same with the image already read, so that several uploads of a
    /// batch send the same bytes.
    UploadOutcome run(const FirmwareImage& image, const std::string& portName, const std::string& expectedSerial);

    UploadState state() const { return m_state; }

private:
    UploadOutcome runSteps(const FirmwareImage& image, const std::string& portName, const std::string& expectedSerial);
    UploadOutcome sendBlocks(const FirmwareImage& image);
    UploadOutcome endWithVerdict(UploadEnding ending);
    UploadOutcome makeOutcome(UploadEnding ending);
    void setState(UploadState state);
    void setUpper(const std::string& text);
    void setLower(const std::string& text);
    void log(const std::string& line);
    void communicationErrorWait(int waitMs);

    UploadRequest m_request;
    UploadObserver& m_observer;
    UploadOptions m_options;
    BootModeSwitch m_boot;
    UploadState m_state = UploadState::Idle;
    ReconnectResult m_reconnect = ReconnectResult::Found;
    int m_communicationErrors = 0;
    int m_blocksAccepted = 0;
    std::string m_upperStatus; ///< as last shown, for the outcome
    std::string m_lowerStatus;
    RemainingTime m_remaining;
};

} // namespace talvex
