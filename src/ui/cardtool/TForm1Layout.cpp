// The smartcard tool's controls and layout, apart from its handlers.
#include "ui/cardtool/TForm1.h"

#include "ui/cardtool/AtrView.h"
#include "ui/cardtool/TForm1Reader.h"
#include "ui/cardtool/TRead.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"
#include "ui/common/Resources.h"
#include "ui/common/Widgets.h"

#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QVBoxLayout>

namespace talvex {
namespace {

QLabel* readerPicture(const QString& name)
{
    loadUiResources();
    QLabel* picture = makeLabel(name, QString());
    picture->setPixmap(QIcon(iconPath("reader")).pixmap(120, 90));
    auto* opacity = new QGraphicsOpacityEffect(picture);
    opacity->setOpacity(kDimmed);
    picture->setGraphicsEffect(opacity);
    return picture;
}

} // namespace

void TForm1::buildWindow()
{
    auto* top = new QVBoxLayout(this);
    m_controls = makeControlsContainer(this);
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
        reader.memo = makeLogPane(QString::fromLatin1(n.memo));
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
    AniIndicator1 = makeBusyIndicator(QStringLiteral("AniIndicator1"));
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
    Memo2 = makeLogPane(QStringLiteral("Memo2"));
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

} // namespace talvex
