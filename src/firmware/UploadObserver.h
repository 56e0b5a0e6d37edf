#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace talvex {

enum class UploadState;

/// What the upload shows while it runs. The settings window implements it
/// on its controls; tests record the calls. Every call comes on the thread
/// that runs the upload.
class UploadObserver {
public:
    virtual ~UploadObserver() = default;

    /// The firmware log pane is cleared as the upload starts.
    virtual void clearLog() = 0;
    /// One log line, without time or line end (the window adds both).
    virtual void logLine(const std::string& message) = 0;
    /// Upper status line of the upload.
    virtual void setUpperStatus(const std::string& text) = 0;
    /// Lower status line of the upload.
    virtual void setLowerStatus(const std::string& text) = 0;
    /// Progress bar, range 0..3200: the 0-based index of every tenth
    /// accepted block.
    virtual void setProgress(int blockIndex) = 0;
    /// Estimated time left while blocks go out; nothing once they stop.
    virtual void setRemainingTime(std::optional<std::chrono::seconds> remaining) = 0;
    /// Lets the user interface process pending messages.
    virtual void pump() = 0;
    /// The success ending asks the window to write a new USB serial number
    /// into the FTDI chip when "Serialize" is checked.
    virtual void serialize() = 0;
    /// The procedure moved on to another stage.
    virtual void stateChanged(UploadState) {}
};

} // namespace talvex
