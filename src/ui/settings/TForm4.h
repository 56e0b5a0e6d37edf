#pragma once

#include "context/ApplicationContext.h"
#include "ui/common/ClosingDialog.h"
#include "ui/settings/AdvancedController.h"
#include "ui/settings/PhoenixController.h"
#include "ui/settings/ReaderSettingsController.h"
#include "ui/settings/SettingsControls.h"
#include "ui/settings/SettingsSession.h"
#include "ui/settings/UniprogController.h"
#include "ui/settings/UploadController.h"
#include "ui/settings/UsbSerialController.h"

namespace talvex {

/// The settings window: connects to the programmer on the port the main
/// window found, reads and writes its settings, and logs every step. It
/// keeps the connection and wires the controls to their tabs' controllers.
class TForm4 : public ClosingDialog {
    Q_OBJECT
public:
    /// Tab order of TabControl1.
    enum Tab { ComSpeedTab, ClockTab, PortTab, FirmwareTab, AdvancedTab, PhoenixTab, UniprogTab, SerialTab };

    TForm4(ApplicationContext& context, QWidget* mainWindow, QWidget* parent = nullptr);
    ~TForm4() override;

    /// The main window puts the port it found here.
    void setPorts(const QStringList& ports, bool selectable);
    void setSerialText(const QString& serial);
    void setVersionCaption(const QString& caption);
    void setVersionText(const QString& version);
    void setSerialCaptionVisible(bool visible);

    bool portConnected() const { return m_portConnected; }
    /// True while a device operation runs in this window.
    bool operationRunning() const { return m_session.operationRunning(); }
    /// A firmware upload runs: the window refuses to close.
    bool uploadRunning() const { return m_session.uploadRunning(); }

    void appendLogLine(const QString& message);

public slots:
    void Button1Click();
    void Button2Click();
    void Button16Click();
    void Button17Click();
    void Button5Click();
    void Button18Click();
    void Button19Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void wireControls();
    void FormCreate();
    bool FormCloseQuery() const;
    void FormClose();

    /// `clearLog`: a user's connect starts a fresh log; the one after an
    /// upload keeps the upload's lines in view.
    void connectPort(bool clearLog = true);
    void disconnectPort();
    /// Only "Serial" usable, "Connect" on the button.
    void showNotConnected();
    void enableTabsFor(ProgrammerMode mode);
    void setSettingsTabsEnabled(bool enabled);

    void lockWindowForUpload();
    void restoreWindowAfterUpload(bool verdictShown);
    /// Connects again on the same port after an upload, whatever state the
    /// upload left the port in.
    void reconnectAfterUpload();

    ApplicationContext& m_context;
    QWidget* m_mainWindow;
    bool m_portConnected = false;
    bool m_closed = false;

    SettingsControls m_ui;
    SettingsSession m_session;
    ReaderSettingsController m_readerSettings;
    AdvancedController m_advanced;
    PhoenixController m_phoenix;
    UniprogController m_uniprog;
    UsbSerialController m_usbSerial;
    UploadController m_upload;
};

} // namespace talvex
