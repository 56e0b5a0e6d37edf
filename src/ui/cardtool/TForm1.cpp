#include "ui/cardtool/TForm1.h"

#include "common/Clock.h"
#include "protocol/CardToolCommands.h"
#include "protocol/Discovery.h"
#include "serial/ReaderPortOperations.h"
#include "ui/cardtool/AtrView.h"
#include "ui/cardtool/TRead.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"
#include "ui/common/OperationGuard.h"
#include "ui/common/Resources.h"
#include "ui/common/Widgets.h"

#include <QCloseEvent>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QVBoxLayout>

namespace talvex {
namespace {

constexpr double kDimmed = 0.2;
constexpr int kBeforeCloseMs = 250;
constexpr const char* kCardTestMode = "230400";

QLabel* readerPicture(const QString& name)
{
    loadUiResources();
    QLabel* picture = makeLabel(name, QString());
    picture->setPixmap(QIcon(QStringLiteral(":/icons/reader.svg")).pixmap(120, 90));
    auto* opacity = new QGraphicsOpacityEffect(picture);
    opacity->setOpacity(kDimmed);
    picture->setGraphicsEffect(opacity);
    return picture;
}

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

} // namespace

/// The controls and state of one reader.
struct TForm1::Reader {
    int index = 1;
    PortSlot* slot = nullptr;
    bool connected = false;
    QComboBox* ports = nullptr;
    QPushButton* connect = nullptr;
    QPushButton* atr = nullptr;
    QPushButton* clear = nullptr;
    QPushButton* send = nullptr;
    QLabel* windowLabel = nullptr;
    LogPane* memo = nullptr;
    QLabel* picture = nullptr;
    QLabel* present = nullptr;
    AtrView* atrView = nullptr;
};

TForm1::TForm1(ApplicationContext& context, QWidget* mainWindow, bool listPortsItself, QWidget* parent)
    : QDialog(parent)
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

void TForm1::buildWindow()
{
    auto* top = new QVBoxLayout(this);
    m_controls = new QWidget(this);
    m_controls->setObjectName(QStringLiteral("Controls"));
    auto* controls = new QVBoxLayout(m_controls);
    controls->setContentsMargins(0, 0, 0, 0);
    top->addWidget(m_controls, 1);

    auto* readers = new QHBoxLayout;
    controls->addLayout(readers, 1);

    struct Names {
        const char *title, *titleLabel, *picture, *present, *combo, *connect, *atr, *send, *clear, *windowLabel,
            *windowText, *memo, *dtrOn, *dtrOff;
    };
    const Names names[] = {
        {"Smartcard Reader 1", "Label1", "Image1", "Label5", "ComboBox1", "Button1", "Button8", "Button11", "Button3",
         "Label4", "Smartcard 1 Control Window:", "Memo1", "Button19", "Button20"},
        {"Smartcard Reader 2", "Label2", "Image2", "Label6", "ComboBox2", "Button12", "Button13", "Button15",
         "Button14", "label_smartcard2_window", "Smartcard 2 Control Window:", "Memo3", "Button21", "Button22"},
    };
    Reader* const both[] = {m_reader1.get(), m_reader2.get()};
    for (int i = 0; i < 2; ++i) {
        const Names& n = names[i];
        Reader& reader = *both[i];
        reader.index = i + 1;
        reader.slot = i == 0 ? &m_context.ports().a : &m_context.ports().b;

        auto* column = new QGridLayout;
        column->addWidget(makeLabel(QString::fromLatin1(n.titleLabel), QString::fromLatin1(n.title)), 0, 0, 1, 3);
        reader.picture = readerPicture(QString::fromLatin1(n.picture));
        column->addWidget(reader.picture, 1, 0, 2, 1);
        reader.present = makeLabel(QString::fromLatin1(n.present), QStringLiteral("Smartcard Present"));
        reader.present->setStyleSheet(QStringLiteral("color: #1d7f3a; font-weight: bold;"));
        reader.present->setVisible(false);
        column->addWidget(reader.present, 3, 0);
        reader.ports = makeComboBox(QString::fromLatin1(n.combo));
        reader.connect = makeButton(QString::fromLatin1(n.connect), QStringLiteral("Connect"));
        column->addWidget(reader.ports, 1, 1);
        column->addWidget(reader.connect, 1, 2);
        QPushButton* dtrOn = makeButton(QString::fromLatin1(n.dtrOn), QStringLiteral("DTR ON"));
        QPushButton* dtrOff = makeButton(QString::fromLatin1(n.dtrOff), QStringLiteral("DTR OFF"));
        column->addWidget(dtrOn, 2, 1);
        column->addWidget(dtrOff, 2, 2);
        reader.atr = makeButton(QString::fromLatin1(n.atr), QStringLiteral("ATR"));
        reader.send = makeButton(QString::fromLatin1(n.send), QStringLiteral("Send"));
        reader.clear = makeButton(QString::fromLatin1(n.clear), QStringLiteral("Clear Screen"));
        auto* actions = new QHBoxLayout;
        actions->addWidget(reader.atr);
        actions->addWidget(reader.send);
        actions->addWidget(reader.clear);
        column->addLayout(actions, 4, 0, 1, 3);
        reader.windowLabel = makeLabel(QString::fromLatin1(n.windowLabel), QString::fromLatin1(n.windowText));
        reader.memo = new LogPane;
        reader.memo->setObjectName(QString::fromLatin1(n.memo));
        column->addWidget(reader.windowLabel, 6, 0, 1, 3);
        column->addWidget(reader.memo, 7, 0, 1, 3);
        column->setRowStretch(7, 1);
        reader.atrView = new AtrView(i + 1);
        column->addWidget(reader.atrView, 8, 0, 1, 3);
        setReaderGroupVisible(reader, false);

        if (i == 0) {
            Button7 = makeButton(QStringLiteral("Button7"), QStringLiteral("Settings"));
            Button7->setEnabled(false);
            column->addWidget(Button7, 3, 2);
            Button10 = makeButton(QStringLiteral("Button10"), QStringLiteral("Cmd 04"));
            Button4 = makeButton(QStringLiteral("Button4"), QStringLiteral("Reset Device"));
            Button2 = makeButton(QStringLiteral("Button2"), QStringLiteral("SC Clock Change"));
            Button5 = makeButton(QStringLiteral("Button5"), QStringLiteral("Serial #"));
            Button9 = makeButton(QStringLiteral("Button9"), QStringLiteral("COM SETTINGS"));
            auto* tests = new QGridLayout;
            int slot = 0;
            for (QPushButton* test : {Button10, Button4, Button2, Button5, Button9}) {
                test->setVisible(false);
                tests->addWidget(test, slot / 3, slot % 3);
                ++slot;
            }
            column->addLayout(tests, 5, 0, 1, 3);
            Memo1 = reader.memo;
            connect(dtrOn, &QPushButton::clicked, this, &TForm1::Button19Click);
            connect(dtrOff, &QPushButton::clicked, this, &TForm1::Button20Click);
        } else {
            Memo3 = reader.memo;
            connect(dtrOn, &QPushButton::clicked, this, &TForm1::Button21Click);
            connect(dtrOff, &QPushButton::clicked, this, &TForm1::Button22Click);
        }
        readers->addLayout(column, 1);
    }

    auto* common = new QGridLayout;
    QPushButton* scan = makeButton(QStringLiteral("SpeedButton1"), QStringLiteral("Scan COM Ports"));
    CheckBox1 = makeCheckBox(QStringLiteral("CheckBox1"), QStringLiteral("Inverted Reader"));
    AniIndicator1 = new BusyIndicator;
    AniIndicator1->setObjectName(QStringLiteral("AniIndicator1"));
    Switch1 = makeCheckBox(QStringLiteral("Switch1"), QString());
    Switch1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Switch1->setFocusPolicy(Qt::NoFocus);
    Switch1->setToolTip(QStringLiteral("Heartbeat"));
    QPushButton* hiddenSerial = makeButton(QStringLiteral("Button23"), QStringLiteral("Serial #"));
    hiddenSerial->setVisible(false);
    common->addWidget(scan, 0, 0);
    common->addWidget(CheckBox1, 0, 1);
    common->addWidget(AniIndicator1, 0, 2);
    common->addWidget(Switch1, 0, 3);
    common->addWidget(hiddenSerial, 0, 4);
    common->addWidget(makeLabel(QStringLiteral("Label7"), QStringLiteral("Programmer Serial Number:")), 1, 0);
    Label8 = makeLabel(QStringLiteral("Label8"), QString());
    common->addWidget(Label8, 1, 1, 1, 3);
    common->addWidget(makeLabel(QStringLiteral("Label9"), QStringLiteral("Firmware Version:")), 2, 0);
    Label10 = makeLabel(QStringLiteral("Label10"), QStringLiteral("00.00"));
    common->addWidget(Label10, 2, 1);
    common->setColumnStretch(5, 1);
    controls->addLayout(common);

    auto* logHeader = new QHBoxLayout;
    logHeader->addWidget(makeLabel(QStringLiteral("Label3"), QStringLiteral("Programmer Control Window")));
    logHeader->addStretch();
    QPushButton* clear = makeButton(QStringLiteral("Button16"), QStringLiteral("Clear Screen"));
    QPushButton* stop = makeButton(QStringLiteral("Button17"), QStringLiteral("STOP THREAD"));
    QPushButton* probe = makeButton(QStringLiteral("Button18"), QStringLiteral("READ THREAD"));
    QPushButton* quit = makeButton(QStringLiteral("Button6"), QStringLiteral("Quit"));
    for (QPushButton* button : {clear, stop, probe, quit})
        logHeader->addWidget(button);
    controls->addLayout(logHeader);
    Memo2 = new LogPane;
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setMaximumHeight(120);
    top->addWidget(Memo2);
    resize(760, 620);

    connect(m_reader1->connect, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(m_reader2->connect, &QPushButton::clicked, this, &TForm1::Button12Click);
    connect(m_reader1->atr, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(m_reader2->atr, &QPushButton::clicked, this, &TForm1::Button13Click);
    connect(m_reader1->send, &QPushButton::clicked, this, &TForm1::Button11Click);
    connect(m_reader1->clear, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(m_reader2->clear, &QPushButton::clicked, this, &TForm1::Button14Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(scan, &QPushButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(clear, &QPushButton::clicked, this, &TForm1::Button16Click);
    connect(stop, &QPushButton::clicked, this, &TForm1::Button17Click);
    connect(probe, &QPushButton::clicked, this, &TForm1::Button18Click);
    connect(quit, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool inverted) {
        if (m_thread)
            m_thread->setInverted(inverted);
    });
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
        const ReaderPortResult result = openReaderPort(*reader.slot, m_context.host(), port.toStdString());
        if (result == ReaderPortResult::Ok) {
            Memo2->appendRaw(port + QStringLiteral(" Port opened successfully!\r\n"));
            reader.connect->setText(QStringLiteral("Disconnect"));
            reader.connected = true;
            reader.ports->setEnabled(false);
            setReaderGroupVisible(reader, true);
            Button7->setEnabled(true);
            startReaderThread();
        } else if (result == ReaderPortResult::Refused) {
            Memo2->appendRaw(QStringLiteral("ERROR: ") + port + QStringLiteral(" Port open error!\r\n"));
            // The system's reason, so the user knows what to do about it.
            Memo2->appendRaw(text(reader.slot->lastOpenError().message) + QStringLiteral("\r\n"));
        } else {
            Memo2->appendRaw(QStringLiteral("ERROR: NO COM PORT SELECTED\r\n"));
        }
        return;
    }

    Memo2->appendRaw(QStringLiteral("Attempting to close COM Port...\r\n"));
    const ReaderPortResult result = closeReaderPort(*reader.slot, m_context.clock());
    if (result == ReaderPortResult::Ok) {
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
    } else if (result == ReaderPortResult::Refused) {
        Memo2->appendRaw(QStringLiteral("ERROR: ") + port + QStringLiteral(" Port close error!\r\n"));
    } else {
        Memo2->appendRaw(QStringLiteral("ERROR: Port is not opened!\r\n"));
    }
}

void TForm1::startReaderThread()
{
    if (m_thread)
        return;
    m_thread = std::make_unique<TRead>(m_context.ports());
    m_thread->setInverted(CheckBox1->isChecked());
    connect(m_thread.get(), &TRead::presenceChanged, this, &TForm1::showPresence, Qt::QueuedConnection);
    m_thread->start();
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
    if (m_reader1->connected) {
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
    m_context.setDetectionConfirmed(false);
    if (m_mainWindow)
        m_mainWindow->show();
    event->accept();
}

} // namespace talvex
