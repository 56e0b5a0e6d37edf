#pragma once

#include "context/ApplicationContext.h"
#include "protocol/Identification.h"
#include "protocol/SettingsCommands.h"
#include "protocol/SettingsExchange.h"
#include "firmware/UploadObserver.h"
#include "usbserial/UsbSerialTool.h"
#include "ui/common/RadioGroup.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace talvex {

class BusyIndicator;
class LogPane;
struct ExchangeResult;

/// The settings window: connects to the programmer on the port the main
/// window found, reads and writes its settings, and logs every step.
class TForm4 : public QDialog, private UploadObserver {
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
    bool operationRunning() const { return m_operationDepth > 0; }

    void appendLogLine(const QString& message);

public slots:
    void Button1Click();
    void Button2Click();
    void Button_read_settingsClick();
    void Button3Click();
    void Button6Click();
    void Button10Click();
    void Button11Click();
    void Button16Click();
    void Button17Click();
    void Button20Click();
    void Button21Click();
    void Button22Click();
    void Button23Click();
    void Button24Click();
    void Button25Click();
    void Button5Click();
    void Button18Click();
    void Button8Click();
    void Button9Click();
    void Button19Click();
    void Button26Click();
    void Button100Click();
    void Button27Click();
    void RadioButton14Change();
    void RadioButton15Change();
    void RadioButton16Change();
    void CheckBox1Change();
    void reset_video_setting();

protected:
    void closeEvent(QCloseEvent* event) override;
    /// Escape closes through the close query, like the window's close box.
    void reject() override;

private:
    void buildWindow();
    QWidget* buildComSpeedTab();
    QWidget* buildClockTab();
    QWidget* buildPortTab();
    QWidget* buildFirmwareTab();
    QWidget* buildAdvancedTab();
    QWidget* buildPhoenixTab();
    QWidget* buildUniprogTab();
    QWidget* buildSerialTab();
    QGroupBox* buildDataFlashGroup(QPushButton*& save, const QString& saveName, const QString& restoreName);

    void FormCreate();
    bool FormCloseQuery() const;
    void FormClose();

    /// `clearLog`: a user's connect starts a fresh log; the one after an
    /// upload keeps the upload's lines in view.
    void connectPort(bool clearLog = true);
    void lockForUpload();
    void restoreAfterUpload();
    void FinishUpload(const QString& message);
    /// Connects again on the same port after an upload, whatever state the
    /// upload left the port in.
    void reconnectAfterUpload();

    // What the upload shows, on this window's controls.
    void clearLog() override;
    void logLine(const std::string& message) override;
    void setUpperStatus(const std::string& text) override;
    void setLowerStatus(const std::string& text) override;
    void setProgress(int blockIndex) override;
    void setRemainingTime(std::optional<std::chrono::seconds> remaining) override;
    void pump() override;
    void serialize() override;
    void disconnectPort();
    void enableTabsFor(int identifyResult);
    void setSettingsTabsEnabled(bool enabled);
    void reevaluateAdvancedWrite();
    void advancedModeChanged();
    /// Runs one settings command on port A and logs its verdict.
    bool runCommand(SettingsCommand command, std::string_view text);
    bool runCommand(SettingsCommand command);
    /// Identifies the device again for a read; nothing when no programmer answered.
    std::optional<IdentifyResult> identifyForRead();
    AdvancedChoice advancedChoice() const;
    void reportMissingChoice(const BuiltCommand& built, SettingsCommand command);
    void logLines(const std::vector<std::string>& lines);
    UniprogChoice uniprogChoice() const;

    ApplicationContext& m_context;
    QWidget* m_mainWindow;
    bool m_portConnected = false;
    int m_operationDepth = 0;
    bool m_closed = false;

    QWidget* m_controls = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    LogPane* Memo2 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    BusyIndicator* AniIndicator1 = nullptr;
    QPushButton* Button16 = nullptr;
    QPushButton* Button17 = nullptr;
    QPushButton* Button18 = nullptr;
    QPushButton* Button19 = nullptr;
    QTabWidget* TabControl1 = nullptr;

    // COM speed
    RadioGroup m_comSpeed;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button15 = nullptr;

    // SmartCard Clock
    QPushButton* Button_read_settings = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    RadioGroup m_clockReaders;
    RadioGroup m_clocks;

    // SmartCard Port
    QPushButton* Button7 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button11 = nullptr;
    RadioGroup m_portReaders;
    RadioGroup m_portSpeeds;
    RadioGroup m_portParities;
    RadioGroup m_portStops;
    QSpinBox* SpinBox1 = nullptr;

    // Firmware
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* m_remainingLabel = nullptr;

    // Advanced
    RadioGroup m_advancedModes;
    QGroupBox* GroupBox4 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QComboBox* ComboBox5 = nullptr;
    QComboBox* ComboBox6 = nullptr;
    QComboBox* ComboBox7 = nullptr;
    QComboBox* ComboBox8 = nullptr;
    QComboBox* ComboBox9 = nullptr;
    QSpinBox* SpinBox2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button20 = nullptr;

    // Phoenix mode
    QPushButton* Button21 = nullptr;
    QPushButton* Button22 = nullptr;
    RadioGroup m_phoenixReaders;
    RadioGroup m_phoenixClocks;

    // Serial
    LogPane* Memo1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button26 = nullptr;
    QPushButton* Button100 = nullptr;
    QPushButton* Button27 = nullptr;
    UsbSerialTool m_usbSerial;

    // Uniprog mode
    QPushButton* Button23 = nullptr;
    QPushButton* Button24 = nullptr;
    QPushButton* Button25 = nullptr;
    QGroupBox* GroupBox7 = nullptr;
    QGroupBox* GroupBox8 = nullptr;
    QComboBox* ComboBox10 = nullptr;
    QComboBox* ComboBox11 = nullptr;
    QComboBox* ComboBox12 = nullptr;
    QComboBox* ComboBox13 = nullptr;
    QComboBox* ComboBox14 = nullptr;
    QComboBox* ComboBox15 = nullptr;
};

} // namespace talvex
