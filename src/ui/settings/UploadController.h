#pragma once

#include "firmware/UploadObserver.h"
#include "ui/settings/SettingsControls.h"

#include <QObject>

namespace talvex {

class SettingsSession;
class UsbSerialController;

/// The "Firmware" tab: chooses the image file and runs the upload, showing
/// its log, status lines, progress and remaining time on the window, and
/// its verdict in a message box.
class UploadController : public QObject, private UploadObserver {
    Q_OBJECT
public:
    UploadController(SettingsSession& session, FirmwareControls& controls, UsbSerialController& usbSerial);

public slots:
    void Button8Click();
    void Button9Click();

signals:
    /// The rest of the window must not start an exchange or close now.
    void uploadStarting();
    /// The window may unlock and connect again; `verdictShown`: the upload
    /// ended with a message box, and what the window showed of the device
    /// no longer holds.
    void uploadEnded(bool verdictShown);

private:
    void lockForUpload();
    void FinishUpload(const QString& message);
    void restoreAfterUpload(bool verdictShown);

    void clearLog() override;
    void logLine(const std::string& message) override;
    void setUpperStatus(const std::string& text) override;
    void setLowerStatus(const std::string& text) override;
    void setProgress(int blockIndex) override;
    void setRemainingTime(std::optional<std::chrono::seconds> remaining) override;
    void pump() override;
    void serialize() override;

    SettingsSession& m_session;
    FirmwareControls& m_ui;
    UsbSerialController& m_usbSerial;
};

} // namespace talvex
