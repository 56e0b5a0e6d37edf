#pragma once

#include "cli/Console.h"
#include "firmware/UploadObserver.h"

#include <functional>

namespace talvex::cli {

/// Shows an upload on a terminal: log lines, the status lines as prompts
/// (unplug, plug in again), and a progress line with the time left. The
/// verdict's status lines are left to the caller, who prints the message
/// once the upload has ended.
class TerminalUploadObserver final : public UploadObserver {
public:
    /// `onSerialize` runs when a successful upload asks for "Serialize".
    TerminalUploadObserver(Console& console, std::function<void()> onSerialize = {});

    void clearLog() override { }
    void logLine(const std::string& message) override;
    void setUpperStatus(const std::string& text) override;
    void setLowerStatus(const std::string& text) override;
    void setProgress(int blockIndex) override;
    void setRemainingTime(std::optional<std::chrono::seconds> remaining) override;
    void pump() override { }
    void serialize() override;

    /// "Uploading: block 1230 of 3200 (38%), 0:15 left".
    static std::string progressText(int blockIndex, std::chrono::seconds remaining);

private:
    void status(const std::string& text);

    Console& m_console;
    std::function<void()> m_onSerialize;
    int m_block = -1;
    int m_nextPercentShown = 0;
};

} // namespace talvex::cli
