#pragma once

#include "context/ApplicationContext.h"
#include "ui/common/ClosingDialog.h"

#include <QTimer>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace talvex {

class BusyIndicator;
class LogPane;
class TRead;

/// The smartcard tool: a test window for the programmer's two card
/// readers (reader 1 on port slot A, reader 2 on slot B).
class TForm1 : public ClosingDialog {
    Q_OBJECT
public:
    /// With `listPortsItself`, the tool fills its port lists by a scan;
    /// otherwise the caller puts the detected reader ports in them.
    TForm1(ApplicationContext& context, QWidget* mainWindow, bool listPortsItself, QWidget* parent = nullptr);
    ~TForm1() override;

    void setReaderPorts(const QStringList& reader1Ports, const QStringList& reader2Ports);
    void setProgrammerInfo(const QString& serial, const QString& version);

    /// The reader thread, once the first port opened; tests wait on it.
    TRead* readerThread() const { return m_thread.get(); }
    bool operationRunning() const { return m_operationDepth > 0; }

signals:
    /// The tool closed (not merely refused to).
    void closed();

public slots:
    void Button1Click();
    void Button12Click();
    void Button8Click();
    void Button13Click();
    void Button2Click();
    void Button10Click();
    void Button5Click();
    void Button4Click();
    void Button9Click();
    void Button11Click();
    void Button7Click();
    void Button19Click();
    void Button20Click();
    void Button21Click();
    void Button22Click();
    void SpeedButton1Click();
    void Button3Click();
    void Button14Click();
    void Button16Click();
    void Button17Click();
    void Button18Click();
    void Button6Click();
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Reader;

    void buildWindow();
    void listPorts();
    void connectOrDisconnect(Reader& reader);
    void readAtrOn(Reader& reader);
    void startReaderThread();
    void showPresence(int reader, bool present);
    void reportUnplugged(int reader);
    void setReaderGroupVisible(Reader& reader, bool visible);
    void shutDown();

    ApplicationContext& m_context;
    QWidget* m_mainWindow;
    std::unique_ptr<Reader> m_reader1;
    std::unique_ptr<Reader> m_reader2;
    std::unique_ptr<TRead> m_thread;
    bool m_resetLineAsserted = false;
    bool m_testView = false;
    bool m_shutDown = false;
    int m_operationDepth = 0;
    QTimer Timer1;

    QWidget* m_controls = nullptr;
    LogPane* Memo1 = nullptr;
    LogPane* Memo2 = nullptr;
    LogPane* Memo3 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button9 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* Switch1 = nullptr;
    BusyIndicator* AniIndicator1 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label10 = nullptr;
};

} // namespace talvex
