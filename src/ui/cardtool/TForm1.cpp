#include "ui/cardtool/TForm1.h"

#include "common/Clock.h"
#include "serial/PortAccess.h"
#include "protocol/CardToolCommands.h"
#include "protocol/Discovery.h"
#include "serial/ReaderPortOperations.h"
#include "ui/cardtool/AtrView.h"
#include "ui/cardtool/TForm1Reader.h"
#include "ui/cardtool/TRead.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"
#include "ui/common/OperationGuard.h"
#include "ui/common/Widgets.h"

#include <QCloseEvent>
#include <QGraphicsOpacityEffect>

namespace talvex {
namespace {

constexpr int kBeforeCloseMs = 250;
constexpr const char* kCardTestMode = "230400";

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

} // namespace

TForm1::TForm1(ApplicationContext& context, QWidget* mainWindow, bool listPortsItself, QWidget* parent)
    : ClosingDialog(parent)
    , m_context(context)
    , m_mainWindow(mainWindow)
    , m_reader1(std::make_unique<Reader>())
    , m_reader2(std::make_unique<Reader>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Talvex tool V 1.1.00"));
    buildWindow();
    Timer1.setInterval(250);
    connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1.start();
    if (m_mainWindow)
        m_mainWindow->hide();
    if (listPortsItself)
        listPorts();
}

TForm1::~TForm1()
{
    shutDown();
}

void TForm1::setReaderGroupVisible(Reader& reader, bool visible)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{reader.atr, reader.clear, reader.send, reader.windowLabel,
                                                           reader.memo})
        widget->setVisible(visible);
    if (!visible)
        reader.atrView->clear();
}

void TForm1::setReaderPorts(const QStringList& reader1Ports, const QStringList& reader2Ports)
{
    m_reader1->ports->clear();
    m_reader1->ports->addItems(reader1Ports);
    m_reader2->ports->clear();
    m_reader2->ports->addItems(reader2Ports);
}

void TForm1::setProgrammerInfo(const QString& serial, const QString& version)
{
    Label8->setText(serial);
    Label10->setText(version);
}

void TForm1::listPorts()
{
    OperationGuard guard(m_controls, m_operationDepth);
    AniIndicator1->start();
    m_reader1->ports->clear();
    m_reader2->ports->clear();
    m_context.pump();
    DiscoveryEnvironment env = m_context.discovery();
    QStringList names;
    for (const ProbedPort& port : enumeratePorts(env, true, SpeedVariant::Normal, m_context.detection().answerDelayMs))
        names << text(port.name);
    m_reader1->ports->addItems(names);
    m_reader2->ports->addItems(names);
    m_reader1->ports->setCurrentIndex(-1);
    m_reader2->ports->setCurrentIndex(-1);
    AniIndicator1->stop();
}

void TForm1::Button1Click()
{
    connectOrDisconnect(*m_reader1);
}

void TForm1::Button12Click()
{
    connectOrDisconnect(*m_reader2);
}

void TForm1::connectOrDisconnect(Reader& reader)
{
    OperationGuard guard(m_controls, m_operationDepth);
    if (reader.ports->currentIndex() < 0) {
        Memo2->appendRaw(QStringLiteral("Please, select a valid COM Port...\r\n"));
        return;
    }
    const QString port = reader.ports->currentText();
    if (!reader.connected) {
        Memo2->appendRaw(QStringLiteral("Attempting to open COM Port...\r\n"));
        const Result<void> result = openReaderPort(*reader.slot, m_context.host(), port.toStdString());
        if (result) {
            Memo2->appendRaw(port + QStringLiteral(" Port opened successfully!\r\n"));
            reader.connect->setText(QStringLiteral("Disconnect"));
            reader.connected = true;
            reader.ports->setEnabled(false);
            setReaderGroupVisible(reader, true);
            Button7->setEnabled(true);
            startReaderThread();
        } else if (result.status() == Status::BadInput) {
            Memo2->appendRaw(QStringLiteral("ERROR: NO COM PORT SELECTED\r\n"));
        } else {
            // The system's reason, and the fix when it is a permission, so the user knows what to do.
            for (const std::string& line : portOpenErrorLines(port.toStdString(), result.failure()))
                Memo2->appendRaw(text(line) + QStringLiteral("\r\n"));
        }
        return;
    }

    Memo2->appendRaw(QStringLiteral("Attempting to close COM Port...\r\n"));
    if (closeReaderPort(*reader.slot, m_context.clock())) {
        Memo2->appendRaw(port + QStringLiteral(" Port closed successfully!\r\n"));
        reader.connect->setText(QStringLiteral("Connect"));
        reader.memo->clearLog();
        reader.connected = false;
        reader.ports->setEnabled(true);
        Button7->setEnabled(false);
        setReaderGroupVisible(reader, false);
        if (reader.index == 1) {
            for (QPushButton* test : {Button10, Button9, Button5, Button4, Button2})
                test->setVisible(false);
        }
    } else {
        Memo2->appendRaw(QStringLiteral("ERROR: ") + port + QStringLiteral(" Port close error!\r\n"));
    }
}

void TForm1::startReaderThread()
{
    if (m_thread)
        return;
    m_thread = std::make_unique<TRead>(m_context.ports());
    m_thread->setInverted(CheckBox1->isChecked());
    connect(m_thread.get(), &TRead::presenceChanged, this, &TForm1::showPresence, Qt::QueuedConnection);
    connect(m_thread.get(), &TRead::programmerUnplugged, this, &TForm1::reportUnplugged, Qt::QueuedConnection);
    m_thread->start();
}

void TForm1::reportUnplugged(int reader)
{
    Memo2->appendRaw(QStringLiteral("ERROR: the programmer was unplugged (reader %1). Plug it in again and "
                                    "connect the reader again.\r\n")
                         .arg(reader));
}

void TForm1::showPresence(int reader, bool present)
{
    Reader& target = reader == 1 ? *m_reader1 : *m_reader2;
    if (auto* opacity = qobject_cast<QGraphicsOpacityEffect*>(target.picture->graphicsEffect()))
        opacity->setOpacity(present ? 1.0 : kDimmed);
    target.present->setVisible(present);
}

void TForm1::Button8Click()
{
    readAtrOn(*m_reader1);
}

void TForm1::Button13Click()
{
    readAtrOn(*m_reader2);
}

void TForm1::readAtrOn(Reader& reader)
{
    OperationGuard guard(m_controls, m_operationDepth);
    const bool present = m_thread && m_thread->cardPresent(reader.index);
    const AtrResult result = readAtr(*reader.slot, m_context.clock(), present, [this] {
        if (!AniIndicator1->isRunning())
            AniIndicator1->start();
        m_context.pump();
    });
    AniIndicator1->stop();
    reader.memo->appendRaw(text(atrLogLine(result)));
    reader.atrView->showAtr(result, *reader.slot, m_context.clock(), Label8->text(), Label10->text());
}

void TForm1::Button2Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    Memo1->appendRaw(text(clockChangeCommand(m_context.ports().a, m_context.clock())));
}

void TForm1::Button10Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    Memo1->appendRaw(text(command04(m_context.ports().a, m_context.clock())));
}

void TForm1::Button5Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    Memo1->appendRaw(text(serialNumberCommand(m_context.ports().a, m_context.clock())));
}

void TForm1::Button4Click()
{
    m_resetLineAsserted = !m_resetLineAsserted;
    Memo1->appendRaw(text(setResetLine(m_context.ports().a, m_resetLineAsserted)));
}

void TForm1::Button9Click()
{
    const PortParametersResult result = setPortParameters(m_context.ports().a, kCardTestMode, "N", "8", "1");
    Memo1->appendRaw(text(result.printout));
    if (!result.applied)
        Memo1->appendRaw(QStringLiteral("\r\nERROR"));
}

void TForm1::Button11Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    Memo1->appendRaw(text(sendTestFrames(m_context.ports().a, m_context.clock())));
}

void TForm1::Button7Click()
{
    Reader& reader = *m_reader1;
    if (!m_testView) {
        for (QWidget* widget : std::initializer_list<QWidget*>{reader.atr, reader.clear, reader.send, reader.windowLabel})
            widget->setVisible(false);
        Memo1->clearLog();
        Memo1->setVisible(true);
        reader.atrView->clear();
        for (QPushButton* test : {Button10, Button9, Button5, Button4, Button2})
            test->setVisible(true);
        Button7->setText(QStringLiteral("Smartcard"));
        m_testView = true;
        return;
    }
    reader.clear->setVisible(true);
    reader.send->setVisible(true);
    Memo1->setVisible(true);
    for (QPushButton* test : {Button10, Button9, Button5, Button4, Button2})
        test->setVisible(false);
    Memo1->clearLog();
    Button7->setText(QStringLiteral("Settings"));
    m_testView = false;
}

// The device pins see the opposite level: "DTR ON" drops the control.
void TForm1::Button19Click()
{
    m_context.ports().a.setDtr(false);
}

void TForm1::Button20Click()
{
    m_context.ports().a.setDtr(true);
}

void TForm1::Button21Click()
{
    m_context.ports().b.setDtr(false);
}

void TForm1::Button22Click()
{
    m_context.ports().b.setDtr(true);
}

void TForm1::SpeedButton1Click()
{
    // The scan empties both lists: a connected reader would lose its port.
    if (m_reader1->connected || m_reader2->connected) {
        Memo2->appendRaw(QStringLiteral("WARNING: Please disconnect all active ports before scanning!\r\n"));
        return;
    }
    listPorts();
}

void TForm1::Button3Click()
{
    Memo1->clearLog();
}

void TForm1::Button14Click()
{
    Memo3->clearLog();
}

void TForm1::Button16Click()
{
    Memo2->clearLog();
}

void TForm1::Button17Click()
{
    if (m_thread)
        m_thread->clearThreadAlive();
}

void TForm1::Button18Click()
{
    const bool alive = m_thread && m_thread->threadAlive();
    Memo2->appendRaw(alive ? QStringLiteral("Thread: Active\r\n") : QStringLiteral("Thread: NOT ACTIVE\r\n"));
}

void TForm1::Timer1Timer()
{
    Switch1->setChecked(!Switch1->isChecked());
}

void TForm1::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    Timer1.stop();
    // The thread polls the ports: it must be gone before they are.
    if (m_thread) {
        m_thread->disconnect(this);
        m_thread->stopAndWait();
        Memo2->appendRaw(QStringLiteral("Thread TERMINATED!!\r\n"));
        m_context.clock().sleepMs(kBeforeCloseMs);
    }
    m_context.ports().a.close();
    m_context.ports().b.close();
}

void TForm1::Button6Click()
{
    if (operationRunning())
        return;
    shutDown();
    close();
    if (m_mainWindow)
        m_mainWindow->close();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (operationRunning()) {
        event->ignore();
        return;
    }
    shutDown();
    emit closed();
    if (m_mainWindow)
        m_mainWindow->show();
    event->accept();
}

} // namespace talvex
