#pragma once

#include "context/ApplicationContext.h"
#include "protocol/Identification.h"
#include "protocol/SettingsCommands.h"
#include "protocol/SettingsExchange.h"
#include "ui/common/OperationGuard.h"
#include "ui/settings/SettingsControls.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QComboBox;

namespace talvex {

class BusyIndicator;

/// The settings window as its tabs' controllers see it: the shared state,
/// the log, the busy indicator, the operation lock and the device commands
/// on port A, each with its log line.
class SettingsSession {
public:
    SettingsSession(ApplicationContext& context, SettingsControls& controls);

    ApplicationContext& context() { return m_context; }
    BusyIndicator& busy();

    /// Holds the window's controls inert until it goes out of scope.
    [[nodiscard]] OperationGuard guard() { return OperationGuard(m_ui.controls, m_depth); }
    bool operationRunning() const { return m_depth > 0; }
    /// An upload counts as an operation but leaves the controls as they
    /// are: the upload locks what it must itself and shows its progress.
    void setUploadRunning(bool running);
    /// A firmware upload runs: the window refuses to close.
    bool uploadRunning() const { return m_uploadRunning; }

    /// A time-stamped line in the window's log.
    void log(const QString& message);
    void log(std::string_view message);
    void logLines(const std::vector<std::string>& lines);
    void clearLog();

    /// The port the window connects on, and the programmer's serial number
    /// as the window shows it.
    QString portName() const;
    std::string programmerSerial() const;

    /// Runs one settings command on port A and logs its verdict; true when
    /// the device confirmed.
    bool runCommand(SettingsCommand command, std::string_view text);
    bool runCommand(SettingsCommand command);
    /// After a failed command: a line saying so when the programmer is gone.
    void logIfGone(const ExchangeResult& exchange);

    /// Clears the settings tabs' radio buttons, then identifies the device
    /// again for a read; nothing (and "No Programmer found!") without an answer.
    std::optional<IdentifyResult> identifyForRead();

    /// Logs the command's error line naming the list left empty (nothing is
    /// sent) and puts the focus on that list, where the user's fix goes.
    /// Call it outside an operation: a disabled list takes no focus.
    void reportMissingChoice(const MissingChoice& missing, SettingsCommand command, QComboBox* list);

    /// Unchecks every radio button of the settings tabs; lists keep their values.
    void reset_video_setting();

private:
    ApplicationContext& m_context;
    SettingsControls& m_ui;
    int m_depth = 0;
    bool m_uploadRunning = false;
};

} // namespace talvex
