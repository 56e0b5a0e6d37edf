#include "ui/settings/TForm4.h"

#include "firmware/BootModeSwitch.h"
#include "protocol/ProgrammerConnect.h"
#include "ui/common/Widgets.h"
#include "ui/settings/SettingsLayout.h"
#include "update/VersionCheck.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace talvex {

TForm4::TForm4(ApplicationContext& context, QWidget* mainWindow, QWidget* parent)
    : ClosingDialog(parent)
    , m_context(context)
    , m_mainWindow(mainWindow)
    , m_ui(buildSettingsLayout(this))
    , m_session(context, m_ui)
    , m_readerSettings(m_session, m_ui.clock, m_ui.port)
    , m_advanced(m_session, m_ui.advanced)
    , m_phoenix(m_session, m_ui.phoenix)
    , m_uniprog(m_session, m_ui.uniprog)
    , m_usbSerial(m_session, m_ui.serial, context.loadUsbSerialLibrary())
    , m_upload(m_session, m_ui.firmware, m_usbSerial)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Talvex Settings"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    wireControls();
    FormCreate();
}

TForm4::~TForm4() = default;

void TForm4::wireControls()
{
    const SettingsControls& c = m_ui;
    connect(c.Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(c.Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    connect(c.Button16, &QPushButton::clicked, this, &TForm4::Button16Click);
    connect(c.Button17, &QPushButton::clicked, this, &TForm4::Button17Click);
    connect(c.Button18, &QPushButton::clicked, this, &TForm4::Button18Click);
    connect(c.Button19, &QPushButton::clicked, this, &TForm4::Button19Click);
    connect(c.comSpeed.Button5, &QPushButton::clicked, this, &TForm4::Button5Click);

    ReaderSettingsController* reader = &m_readerSettings;
    connect(c.clock.Button_read_settings, &QPushButton::clicked, reader,
            &ReaderSettingsController::Button_read_settingsClick);
    connect(c.port.Button7, &QPushButton::clicked, reader, &ReaderSettingsController::Button_read_settingsClick);
    connect(c.clock.Button3, &QPushButton::clicked, reader, &ReaderSettingsController::Button3Click);
    connect(c.port.Button6, &QPushButton::clicked, reader, &ReaderSettingsController::Button6Click);
    for (QPushButton* save : {c.comSpeed.Button14, c.clock.Button12, c.port.Button10})
        connect(save, &QPushButton::clicked, reader, &ReaderSettingsController::Button10Click);
    for (QPushButton* restore : {c.comSpeed.Button15, c.clock.Button13, c.port.Button11})
        connect(restore, &QPushButton::clicked, reader, &ReaderSettingsController::Button11Click);

    AdvancedController* advanced = &m_advanced;
    connect(c.advanced.modes.at(0), &QRadioButton::toggled, advanced, &AdvancedController::RadioButton14Change);
    connect(c.advanced.modes.at(1), &QRadioButton::toggled, advanced, &AdvancedController::RadioButton15Change);
    connect(c.advanced.modes.at(2), &QRadioButton::toggled, advanced, &AdvancedController::RadioButton16Change);
    connect(c.advanced.CheckBox1, &QCheckBox::toggled, advanced, &AdvancedController::CheckBox1Change);
    for (QComboBox* box : {c.advanced.ComboBox2, c.advanced.ComboBox3, c.advanced.ComboBox4, c.advanced.ComboBox5,
                           c.advanced.ComboBox6, c.advanced.ComboBox7, c.advanced.ComboBox8, c.advanced.ComboBox9})
        connect(box, &QComboBox::currentIndexChanged, advanced, &AdvancedController::reevaluateWrite);
    connect(c.advanced.Button20, &QPushButton::clicked, advanced, &AdvancedController::Button20Click);

    connect(c.phoenix.Button21, &QPushButton::clicked, &m_phoenix, &PhoenixController::Button21Click);
    connect(c.phoenix.Button22, &QPushButton::clicked, &m_phoenix, &PhoenixController::Button22Click);
    connect(c.uniprog.Button23, &QPushButton::clicked, &m_uniprog, &UniprogController::Button23Click);
    connect(c.uniprog.Button24, &QPushButton::clicked, &m_uniprog, &UniprogController::Button24Click);
    connect(c.uniprog.Button25, &QPushButton::clicked, &m_uniprog, &UniprogController::Button25Click);

    connect(c.serial.Button26, &QPushButton::clicked, &m_usbSerial, &UsbSerialController::Button26Click);
    connect(c.serial.Button100, &QPushButton::clicked, &m_usbSerial, &UsbSerialController::Button100Click);
    connect(c.serial.Button27, &QPushButton::clicked, &m_usbSerial, &UsbSerialController::Button27Click);

    connect(c.firmware.Button8, &QPushButton::clicked, &m_upload, &UploadController::Button8Click);
    connect(c.firmware.Button9, &QPushButton::clicked, &m_upload, &UploadController::Button9Click);
    connect(&m_upload, &UploadController::uploadStarting, this, &TForm4::lockWindowForUpload);
    connect(&m_upload, &UploadController::uploadEnded, this, &TForm4::restoreWindowAfterUpload);
}

void TForm4::FormCreate()
{
    m_ui.TabControl1->setEnabled(true);
    setSettingsTabsEnabled(false);
    m_ui.TabControl1->setTabEnabled(SerialTab, true);
    m_ui.TabControl1->setCurrentIndex(SerialTab);
    if (m_mainWindow)
        m_mainWindow->hide();
    m_ui.ComboBox1->clear();
    m_ui.port.Button10->setEnabled(false);
    m_ui.clock.Button12->setEnabled(false);
}

void TForm4::setSettingsTabsEnabled(bool enabled)
{
    for (int tab = ComSpeedTab; tab <= UniprogTab; ++tab)
        m_ui.TabControl1->setTabEnabled(tab, enabled);
}

void TForm4::setPorts(const QStringList& ports, bool selectable)
{
    m_ui.ComboBox1->clear();
    m_ui.ComboBox1->addItems(ports);
    m_ui.ComboBox1->setCurrentIndex(ports.isEmpty() ? -1 : 0);
    m_ui.ComboBox1->setEnabled(selectable);
}

void TForm4::setSerialText(const QString& serial)
{
    m_ui.Label8->setText(serial);
}

void TForm4::setVersionCaption(const QString& caption)
{
    m_ui.Label9->setText(caption);
    m_ui.Label9->setVisible(true);
}

void TForm4::setVersionText(const QString& version)
{
    m_ui.Label10->setText(version);
    m_ui.Label10->setVisible(true);
}

void TForm4::setSerialCaptionVisible(bool visible)
{
    m_ui.Label7->setText(QStringLiteral("Programmer Serial Number:"));
    m_ui.Label7->setVisible(visible);
    m_ui.Label8->setVisible(visible);
}

void TForm4::appendLogLine(const QString& message)
{
    m_session.log(message);
}

void TForm4::Button1Click()
{
    const OperationGuard guard = m_session.guard();
    m_ui.Button1->setEnabled(false);
    // An empty entry (a reader port the detection did not find) names no port.
    if (!selectedPortName(m_ui.ComboBox1)) {
        appendLogLine(QStringLiteral("ERROR: NO COM PORT SELECTED"));
        m_ui.Button1->setEnabled(true);
        return;
    }
    if (!m_portConnected)
        connectPort();
    else
        disconnectPort();
}

void TForm4::connectPort(bool clearLog)
{
    const QString portName = m_ui.ComboBox1->currentText();
    if (clearLog)
        m_session.clearLog();
    m_ui.TabControl1->setTabEnabled(SerialTab, false);
    const ConnectLog log = [this](const std::string& line, bool) { m_session.log(line); };
    const Result<IdentifyResult> result = openAndIdentify(m_context.ports().a, m_context.host(), m_context.clock(),
                                                 portName.toStdString(), m_context.detection().variant,
                                                 m_context.detection().answerDelayMs, log);
    if (!result) {
        // The Serial tab was closed for the connection that did not come.
        showNotConnected();
        m_ui.Button1->setEnabled(true);
        return;
    }
    const IdentifyResult& identity = *result;
    m_ui.Label8->setText(QString::fromStdString(identity.fields.serialNumber));
    m_ui.Label10->setText(QString::fromStdString(identity.versionText));
    m_ui.TabControl1->setEnabled(false);
    logIdentification(identity.mode, log);

    switch (identity.mode) {
    case ProgrammerMode::None:
        break;
    case ProgrammerMode::BootLoader:
        // What the device just said is what the upload goes by.
        m_context.detection().bootLoader = true;
        m_ui.firmware.Label12->setText(QStringLiteral("Select a valid firmware file and press 'Upload' key."));
        m_ui.Label9->setText(QStringLiteral("Boot version :"));
        enableTabsFor(identity.mode);
        break;
    case ProgrammerMode::Application:
        m_ui.Label9->setText(QStringLiteral("Firmware version :"));
        enableTabsFor(identity.mode);
        break;
    }

    m_ui.Button1->setText(QStringLiteral("Disconnect"));
    m_portConnected = true;
    m_ui.ComboBox1->setEnabled(false);
    m_ui.firmware.Button8->setEnabled(true);
    m_ui.Button1->setEnabled(true);
}

void TForm4::enableTabsFor(ProgrammerMode mode)
{
    QTabWidget* tabs = m_ui.TabControl1;
    setSettingsTabsEnabled(false);
    tabs->setTabEnabled(SerialTab, false);
    tabs->setTabEnabled(FirmwareTab, true);
    Tab active = FirmwareTab;
    if (mode == ProgrammerMode::Application) {
        switch (m_context.detection().variant) {
        case SpeedVariant::LowSpeed1:
            tabs->setTabEnabled(PhoenixTab, true);
            active = PhoenixTab;
            break;
        case SpeedVariant::LowSpeed2:
            tabs->setTabEnabled(UniprogTab, true);
            active = UniprogTab;
            break;
        case SpeedVariant::Normal:
            for (Tab tab : {ComSpeedTab, ClockTab, PortTab, AdvancedTab})
                tabs->setTabEnabled(tab, true);
            active = ClockTab;
            break;
        }
    }
    tabs->setCurrentIndex(active);
    tabs->setEnabled(true);
}

void TForm4::disconnectPort()
{
    const QString portName = m_ui.ComboBox1->currentText();
    appendLogLine(QStringLiteral("Attempting to close COM Port..."));
    PortSlot& port = m_context.ports().a;
    const bool wasOpen = port.isOpen();
    port.close();
    m_session.reset_video_setting();
    m_ui.Button1->setEnabled(true);
    if (!wasOpen) {
        appendLogLine(QStringLiteral("ERROR: ") + portName + QStringLiteral(" Port close error!"));
        return;
    }
    showNotConnected();
    appendLogLine(portName + QStringLiteral(" Port closed successfully!"));
    m_ui.ComboBox1->setEnabled(true);
}

void TForm4::showNotConnected()
{
    setSettingsTabsEnabled(false);
    m_ui.TabControl1->setTabEnabled(SerialTab, true);
    m_ui.TabControl1->setEnabled(true);
    m_ui.Button1->setText(QStringLiteral("Connect"));
    m_portConnected = false;
}

void TForm4::Button16Click()
{
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::SmartMouseMode);
}

void TForm4::Button17Click()
{
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::BypassMode);
}

void TForm4::Button2Click()
{
    close();
    if (m_mainWindow)
        m_mainWindow->close();
}

void TForm4::Button5Click()
{
    // The COM speed tab has no device command behind it.
}

void TForm4::lockWindowForUpload()
{
    for (int tab = 0; tab < m_ui.TabControl1->count(); ++tab) {
        if (tab != FirmwareTab)
            m_ui.TabControl1->setTabEnabled(tab, false);
    }
    // Everything that could start another exchange or close the window.
    for (QPushButton* button : {m_ui.Button1, m_ui.Button2, m_ui.Button18})
        button->setEnabled(false);
}

void TForm4::restoreWindowAfterUpload(bool verdictShown)
{
    if (verdictShown) {
        m_ui.Label8->clear();
        m_ui.Label10->clear();
    }
    for (QPushButton* button : {m_ui.Button1, m_ui.Button2, m_ui.Button18})
        button->setEnabled(true);
    reconnectAfterUpload();
}

void TForm4::reconnectAfterUpload()
{
    const OperationGuard guard = m_session.guard();
    // The upload may have closed and reopened the port; connect afresh.
    m_context.ports().a.close();
    m_portConnected = false;
    m_ui.Button1->setText(QStringLiteral("Connect"));
    connectPort(false);
    // Not connected again: the port list comes back as a disconnect brings it.
    if (!m_portConnected)
        m_ui.ComboBox1->setEnabled(true);
}

void TForm4::Button19Click()
{
    m_ui.Button19->setEnabled(false);
    waitForUnplug(m_context.ports().a, m_context.clock(), m_context.detection().variant, [this] { m_context.pump(); });
    m_ui.Button19->setEnabled(true);
}

void TForm4::Button18Click()
{
    const OperationGuard guard = m_session.guard();
    CheckVersion(m_context.latestVersions(), [this](const std::string& message) { m_session.log(message); },
                 m_context.versionServer());
}

bool TForm4::FormCloseQuery() const
{
    return !m_session.uploadRunning() && !operationRunning();
}

void TForm4::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm4::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    m_context.ports().a.close();
    m_portConnected = false;
    if (m_mainWindow)
        m_mainWindow->show();
}

} // namespace talvex
