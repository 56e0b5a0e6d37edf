#include "ui/settings/TForm4.h"

#include "common/Clock.h"
#include "firmware/BootModeSwitch.h"
#include "firmware/FirmwareUpload.h"
#include "protocol/Exchange.h"
#include "protocol/Identification.h"
#include "protocol/ProgrammerConnect.h"
#include "protocol/SettingsAnswers.h"
#include "protocol/SettingsCommands.h"
#include "protocol/SettingsExchange.h"
#include "serial/PortHost.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"
#include "ui/common/OperationGuard.h"
#include "ui/common/Widgets.h"
#include "ui/settings/EepromFileButtons.h"
#include "update/VersionCheck.h"
#include "usbserial/UsbSerialText.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace talvex {
namespace {

QWidget* page(const QString& name)
{
    auto* widget = new QWidget;
    widget->setObjectName(name);
    return widget;
}

} // namespace

TForm4::TForm4(ApplicationContext& context, QWidget* mainWindow, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_mainWindow(mainWindow)
    , m_usbSerial(context.loadUsbSerialLibrary())
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Talvex Settings"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildWindow();
    FormCreate();
}

TForm4::~TForm4() = default;

void TForm4::buildWindow()
{
    auto* top = new QVBoxLayout(this);

    m_controls = new QWidget(this);
    m_controls->setObjectName(QStringLiteral("Controls"));
    auto* controlsLayout = new QVBoxLayout(m_controls);
    controlsLayout->setContentsMargins(0, 0, 0, 0);

    auto* portRow = new QHBoxLayout;
    ComboBox1 = makeComboBox(QStringLiteral("ComboBox1"));
    ComboBox1->setMinimumWidth(110);
    Button1 = makeButton(QStringLiteral("Button1"), QStringLiteral("Connect"));
    Button2 = makeButton(QStringLiteral("Button2"), QStringLiteral("Quit"));
    AniIndicator1 = new BusyIndicator;
    AniIndicator1->setObjectName(QStringLiteral("AniIndicator1"));
    portRow->addWidget(makeLabel(QStringLiteral("Label1"), QStringLiteral("Selected COM Port:")));
    portRow->addWidget(ComboBox1);
    portRow->addWidget(Button1);
    portRow->addWidget(AniIndicator1);
    portRow->addStretch();
    Button16 = makeButton(QStringLiteral("Button16"), QStringLiteral("Set SM mode"));
    Button17 = makeButton(QStringLiteral("Button17"), QStringLiteral("Set Bypass mode"));
    Button19 = makeButton(QStringLiteral("Button19"), QStringLiteral("test unplug"));
    for (QPushButton* hidden : {Button16, Button17, Button19}) {
        hidden->setVisible(false);
        portRow->addWidget(hidden);
    }
    Button18 = makeButton(QStringLiteral("Button18"), QStringLiteral("check version"));
    portRow->addWidget(Button18);
    portRow->addWidget(Button2);
    controlsLayout->addLayout(portRow);

    auto* infoRow = new QGridLayout;
    Label7 = makeLabel(QStringLiteral("Label7"), QStringLiteral("Programmer Serial Number:"));
    Label8 = makeLabel(QStringLiteral("Label8"), QStringLiteral("Serial"));
    Label9 = makeLabel(QStringLiteral("Label9"), QStringLiteral("Firmware Version:"));
    Label10 = makeLabel(QStringLiteral("Label10"), QStringLiteral("00.00"));
    Label8->setTextInteractionFlags(Qt::TextSelectableByMouse);
    infoRow->addWidget(Label7, 0, 0);
    infoRow->addWidget(Label8, 0, 1);
    infoRow->addWidget(Label9, 1, 0);
    infoRow->addWidget(Label10, 1, 1);
    infoRow->setColumnStretch(1, 1);
    controlsLayout->addLayout(infoRow);

    TabControl1 = new QTabWidget;
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    // Every tab's caption in view: the window grows to fit them.
    TabControl1->setUsesScrollButtons(false);
    TabControl1->addTab(buildComSpeedTab(), QStringLiteral("COM speed"));
    TabControl1->addTab(buildClockTab(), QStringLiteral("SmartCard Clock"));
    TabControl1->addTab(buildPortTab(), QStringLiteral("SmartCard Port"));
    TabControl1->addTab(buildFirmwareTab(), QStringLiteral("Firmware"));
    TabControl1->addTab(buildAdvancedTab(), QStringLiteral("Advanced"));
    TabControl1->addTab(buildPhoenixTab(), QStringLiteral("Phoenix mode"));
    TabControl1->addTab(buildUniprogTab(), QStringLiteral("Uniprog mode"));
    TabControl1->addTab(buildSerialTab(), QStringLiteral("Serial"));
    controlsLayout->addWidget(TabControl1, 1);
    top->addWidget(m_controls, 3);

    auto* logGroup = makeGroup(QStringLiteral("GroupBoxLog"), QStringLiteral("Programmer Control Window"));
    auto* logLayout = new QVBoxLayout(logGroup);
    Memo2 = new LogPane;
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setPump([this] { m_context.pump(); });
    logLayout->addWidget(Memo2);
    top->addWidget(logGroup, 2);

    resize(sizeHint().expandedTo(QSize(684, 478)));

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    connect(Button_read_settings, &QPushButton::clicked, this, &TForm4::Button_read_settingsClick);
    connect(Button7, &QPushButton::clicked, this, &TForm4::Button_read_settingsClick);
    connect(Button3, &QPushButton::clicked, this, &TForm4::Button3Click);
    connect(Button6, &QPushButton::clicked, this, &TForm4::Button6Click);
    for (QPushButton* save : {Button14, Button12, Button10})
        connect(save, &QPushButton::clicked, this, &TForm4::Button10Click);
    for (QPushButton* restore : {Button15, Button13, Button11})
        connect(restore, &QPushButton::clicked, this, &TForm4::Button11Click);
    connect(Button16, &QPushButton::clicked, this, &TForm4::Button16Click);
    connect(Button17, &QPushButton::clicked, this, &TForm4::Button17Click);
    connect(Button20, &QPushButton::clicked, this, &TForm4::Button20Click);
    connect(Button21, &QPushButton::clicked, this, &TForm4::Button21Click);
    connect(Button22, &QPushButton::clicked, this, &TForm4::Button22Click);
    connect(Button23, &QPushButton::clicked, this, &TForm4::Button23Click);
    connect(Button24, &QPushButton::clicked, this, &TForm4::Button24Click);
    connect(Button25, &QPushButton::clicked, this, &TForm4::Button25Click);
    connect(Button5, &QPushButton::clicked, this, &TForm4::Button5Click);
    connect(Button18, &QPushButton::clicked, this, &TForm4::Button18Click);
    connect(Button8, &QPushButton::clicked, this, &TForm4::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm4::Button9Click);
    connect(Button19, &QPushButton::clicked, this, &TForm4::Button19Click);
    connect(m_advancedModes.at(0), &QRadioButton::toggled, this, &TForm4::RadioButton14Change);
    connect(m_advancedModes.at(1), &QRadioButton::toggled, this, &TForm4::RadioButton15Change);
    connect(m_advancedModes.at(2), &QRadioButton::toggled, this, &TForm4::RadioButton16Change);
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm4::CheckBox1Change);
    for (QComboBox* box : {ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6, ComboBox7, ComboBox8, ComboBox9})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { reevaluateAdvancedWrite(); });
}

QGroupBox* TForm4::buildDataFlashGroup(QPushButton*& save, const QString& saveName, const QString& restoreName)
{
    auto* group = makeGroup(QStringLiteral("DataFlash") + saveName, QStringLiteral("Data Flash"));
    auto* layout = new QHBoxLayout(group);
    save = makeButton(saveName, QStringLiteral("Save "));
    QPushButton* restore = makeButton(restoreName, QStringLiteral("Restore default"));
    layout->addWidget(save);
    layout->addWidget(restore);
    if (restoreName == QStringLiteral("Button15"))
        Button15 = restore;
    else if (restoreName == QStringLiteral("Button13"))
        Button13 = restore;
    else
        Button11 = restore;
    return group;
}

QWidget* TForm4::buildComSpeedTab()
{
    QWidget* tab = page(QStringLiteral("TabItem1"));
    auto* layout = new QGridLayout(tab);
    auto* speeds = makeGroup(QStringLiteral("GroupBoxComSpeed"), QStringLiteral("COM speed"));
    auto* speedLayout = new QVBoxLayout(speeds);
    const char* const texts[] = {"9600", "115200", "230400", "460800"};
    for (int i = 0; i < 4; ++i) {
        QRadioButton* radio = makeRadio(QStringLiteral("RadioButton%1").arg(i + 1), QString::fromLatin1(texts[i]));
        radio->setEnabled(false);
        speedLayout->addWidget(radio);
        m_comSpeed.add(radio);
    }
    Button5 = makeButton(QStringLiteral("Button5"), QStringLiteral("Read Setting"));
    Button4 = makeButton(QStringLiteral("Button4"), QStringLiteral("Write Setting"));
    Button5->setEnabled(false);
    Button4->setEnabled(false);
    GroupBox3 = buildDataFlashGroup(Button14, QStringLiteral("Button14"), QStringLiteral("Button15"));
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setEnabled(false);
    layout->addWidget(speeds, 0, 0, 3, 1);
    layout->addWidget(Button5, 0, 1);
    layout->addWidget(Button4, 1, 1);
    layout->addWidget(GroupBox3, 2, 1);
    layout->setRowStretch(3, 1);
    return tab;
}

QWidget* TForm4::buildClockTab()
{
    QWidget* tab = page(QStringLiteral("TabItem2"));
    auto* layout = new QGridLayout(tab);
    auto* readers = makeGroup(QStringLiteral("GroupBoxClockReader"), QStringLiteral("Reader"));
    auto* readerLayout = new QVBoxLayout(readers);
    for (int i = 1; i <= 2; ++i) {
        QRadioButton* radio = makeRadio(QStringLiteral("smartcard_reader_%1").arg(i), QStringLiteral("Reader %1").arg(i));
        radio->setEnabled(false);
        readerLayout->addWidget(radio);
        m_clockReaders.add(radio);
    }
    auto* clocks = makeGroup(QStringLiteral("GroupBoxClock"), QStringLiteral("SmartCard Clock"));
    auto* clockLayout = new QGridLayout(clocks);
    const char* const names[] = {"clock_343", "clock_400", "clock_480", "clock_600", "clock_800", "clock_1200"};
    const char* const texts[] = {"3.43 Mhz", "4.00 Mhz", "4.80 Mhz", "6.00 Mhz", "8.00 Mhz", "12.00 Mhz"};
    for (int i = 0; i < 6; ++i) {
        QRadioButton* radio = makeRadio(QString::fromLatin1(names[i]), QString::fromLatin1(texts[i]));
        clockLayout->addWidget(radio, i % 3, i / 3);
        m_clocks.add(radio);
    }
    Button_read_settings = makeButton(QStringLiteral("Button_read_settings"), QStringLiteral("Read Settings"));
    Button3 = makeButton(QStringLiteral("Button3"), QStringLiteral("Write Setting"));
    Button3->setEnabled(false);
    QGroupBox* flash = buildDataFlashGroup(Button12, QStringLiteral("Button12"), QStringLiteral("Button13"));
    layout->addWidget(readers, 0, 0);
    layout->addWidget(clocks, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button_read_settings);
    buttons->addWidget(Button3);
    buttons->addWidget(flash);
    buttons->addStretch();
    layout->addLayout(buttons, 0, 1, 2, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* TForm4::buildPortTab()
{
    QWidget* tab = page(QStringLiteral("TabItem3"));
    auto* layout = new QGridLayout(tab);
    auto addGroup = [](const QString& name, const QString& title, RadioGroup& group,
                       const std::vector<std::pair<QString, QString>>& buttons) {
        QGroupBox* box = makeGroup(name, title);
        auto* boxLayout = new QVBoxLayout(box);
        for (const auto& [objectName, text] : buttons) {
            QRadioButton* radio = makeRadio(objectName, text);
            boxLayout->addWidget(radio);
            group.add(radio);
        }
        return box;
    };
    QGroupBox* readers = addGroup(QStringLiteral("GroupBoxPortReader"), QStringLiteral("Reader"), m_portReaders,
                                  {{QStringLiteral("RadioButton5"), QStringLiteral("Reader 1")},
                                   {QStringLiteral("RadioButton6"), QStringLiteral("Reader 2")}});
    for (int i = 0; i < 2; ++i)
        m_portReaders.at(i)->setEnabled(false);
    QGroupBox* speeds = addGroup(QStringLiteral("GroupBoxPortSpeed"), QStringLiteral("Speed"), m_portSpeeds,
                                 {{QStringLiteral("RadioButton7"), QStringLiteral("9600 Baud")},
                                  {QStringLiteral("RadioButton8"), QStringLiteral("38400 Baud")},
                                  {QStringLiteral("RadioButton9"), QStringLiteral("115200 Baud")}});
    QGroupBox* parities = addGroup(QStringLiteral("GroupBoxPortParity"), QStringLiteral("Parity"), m_portParities,
                                   {{QStringLiteral("RadioButton10"), QStringLiteral("None")},
                                    {QStringLiteral("RadioButton11"), QStringLiteral("Odd")},
                                    {QStringLiteral("RadioButton12"), QStringLiteral("Even")}});
    QGroupBox* stops = addGroup(QStringLiteral("GroupBoxPortStop"), QStringLiteral("Stop bit"), m_portStops,
                                {{QStringLiteral("RadioButton13"), QStringLiteral("1")}});
    SpinBox1 = new QSpinBox;
    SpinBox1->setObjectName(QStringLiteral("SpinBox1"));
    SpinBox1->setRange(0, 254);
    SpinBox1->setVisible(false);
    QLabel* addedStop = makeLabel(QStringLiteral("LabelAddedStopBit"), QStringLiteral("Added Stop Bit"));
    addedStop->setVisible(false);
    stops->layout()->addWidget(addedStop);
    stops->layout()->addWidget(SpinBox1);

    Button7 = makeButton(QStringLiteral("Button7"), QStringLiteral("Read Settings"));
    Button6 = makeButton(QStringLiteral("Button6"), QStringLiteral("Write Setting"));
    Button6->setEnabled(false);
    QGroupBox* flash = buildDataFlashGroup(Button10, QStringLiteral("Button10"), QStringLiteral("Button11"));
    layout->addWidget(readers, 0, 0);
    layout->addWidget(speeds, 1, 0);
    layout->addWidget(parities, 1, 1);
    layout->addWidget(stops, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button7);
    buttons->addWidget(Button6);
    buttons->addWidget(flash);
    buttons->addStretch();
    layout->addLayout(buttons, 0, 3, 2, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* TForm4::buildFirmwareTab()
{
    QWidget* tab = page(QStringLiteral("TabItem4"));
    auto* layout = new QGridLayout(tab);
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Button8 = makeButton(QStringLiteral("Button8"), QStringLiteral("..."));
    Button9 = makeButton(QStringLiteral("Button9"), QStringLiteral("Upload !"));
    CheckBox2 = makeCheckBox(QStringLiteral("CheckBox2"), QStringLiteral("Serialize"));
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 3200);
    ProgressBar1->setValue(0);
    Label12 = makeLabel(QStringLiteral("Label12"), QString());
    Label14 = makeLabel(QStringLiteral("Label14"), QString());
    layout->addWidget(makeLabel(QStringLiteral("Label11"), QStringLiteral("Firmware file:")), 0, 0);
    layout->addWidget(Edit1, 0, 1);
    layout->addWidget(Button8, 0, 2);
    layout->addWidget(Button9, 1, 2);
    layout->addWidget(CheckBox2, 1, 1);
    m_remainingLabel = makeLabel(QStringLiteral("LabelRemaining"), QString());
    m_remainingLabel->setMinimumWidth(120);
    layout->addWidget(ProgressBar1, 2, 0, 1, 2);
    layout->addWidget(m_remainingLabel, 2, 2);
    layout->addWidget(Label12, 3, 0, 1, 3);
    layout->addWidget(Label14, 4, 0, 1, 3);
    layout->setRowStretch(5, 1);
    return tab;
}

QWidget* TForm4::buildAdvancedTab()
{
    QWidget* tab = page(QStringLiteral("TabItem5"));
    auto* layout = new QGridLayout(tab);
    auto* modes = makeGroup(QStringLiteral("GroupBoxSetMode"), QStringLiteral("Set mode"));
    auto* modeLayout = new QVBoxLayout(modes);
    const std::pair<const char*, const char*> modeButtons[] = {
        {"RadioButton14", "ATR at 9600"}, {"RadioButton15", "ATR at 115200"}, {"RadioButton16", "debug (special)"}};
    for (const auto& [name, text] : modeButtons) {
        QRadioButton* radio = makeRadio(QString::fromLatin1(name), QString::fromLatin1(text));
        modeLayout->addWidget(radio);
        m_advancedModes.add(radio);
    }

    auto comForm = [](QGroupBox* box, QComboBox* clock, QComboBox* speed, QComboBox* parity) {
        auto* form = new QGridLayout(box);
        form->addWidget(new QLabel(QStringLiteral("Clock")), 0, 0);
        form->addWidget(clock, 0, 1);
        form->addWidget(new QLabel(QStringLiteral("Speed")), 1, 0);
        form->addWidget(speed, 1, 1);
        form->addWidget(new QLabel(QStringLiteral("Parity")), 2, 0);
        form->addWidget(parity, 2, 1);
        return form;
    };
    GroupBox4 = makeGroup(QStringLiteral("GroupBox4"), QStringLiteral("com 1"));
    GroupBox5 = makeGroup(QStringLiteral("GroupBox5"), QStringLiteral("com 2"), GroupBox4);
    ComboBox2 = makeComboBox(QStringLiteral("ComboBox2"), kAdvancedClockItems);
    ComboBox3 = makeComboBox(QStringLiteral("ComboBox3"), kAdvancedSpeedItems);
    ComboBox4 = makeComboBox(QStringLiteral("ComboBox4"), kAdvancedParityItems);
    ComboBox5 = makeComboBox(QStringLiteral("ComboBox5"), kAdvancedClockItems);
    ComboBox6 = makeComboBox(QStringLiteral("ComboBox6"), kAdvancedSpeedItems);
    ComboBox7 = makeComboBox(QStringLiteral("ComboBox7"), kAdvancedParityItems);
    QGridLayout* com1 = comForm(GroupBox4, ComboBox2, ComboBox3, ComboBox4);
    comForm(GroupBox5, ComboBox5, ComboBox6, ComboBox7);
    // "com 2" sits inside "com 1", as the device's tool always had it.
    com1->addWidget(GroupBox5, 0, 2, 3, 1);

    GroupBox6 = makeGroup(QStringLiteral("GroupBox6"), QStringLiteral("debug"));
    auto* debug = new QGridLayout(GroupBox6);
    ComboBox8 = makeComboBox(QStringLiteral("ComboBox8"), kAdvancedSpeedItems);
    ComboBox9 = makeComboBox(QStringLiteral("ComboBox9"), kAdvancedParityItems);
    SpinBox2 = new QSpinBox;
    SpinBox2->setObjectName(QStringLiteral("SpinBox2"));
    SpinBox2->setRange(0, 200);
    CheckBox1 = makeCheckBox(QStringLiteral("CheckBox1"), QStringLiteral("default"));
    debug->addWidget(new QLabel(QStringLiteral("Speed")), 0, 0);
    debug->addWidget(ComboBox8, 0, 1);
    debug->addWidget(new QLabel(QStringLiteral("Parity")), 1, 0);
    debug->addWidget(ComboBox9, 1, 1);
    debug->addWidget(new QLabel(QStringLiteral("Stop bits")), 2, 0);
    debug->addWidget(SpinBox2, 2, 1);
    debug->addWidget(CheckBox1, 2, 2);

    for (QGroupBox* group : {GroupBox4, GroupBox6})
        group->setEnabled(false);
    GroupBox5->setEnabled(false);
    Button20 = makeButton(QStringLiteral("Button20"), QStringLiteral("Write Setting"));
    Button20->setEnabled(false);
    layout->addWidget(modes, 0, 0);
    layout->addWidget(GroupBox4, 0, 1, 2, 1);
    layout->addWidget(GroupBox6, 2, 1);
    layout->addWidget(Button20, 1, 0);
    layout->addWidget(makeLabel(QStringLiteral("Label15"), QStringLiteral("this reset Talvex to default setting")), 2, 0);
    layout->setRowStretch(3, 1);
    return tab;
}

QWidget* TForm4::buildPhoenixTab()
{
    QWidget* tab = page(QStringLiteral("TabItem6"));
    auto* layout = new QGridLayout(tab);
    auto* readers = makeGroup(QStringLiteral("GroupBoxPhoenixReader"), QStringLiteral("Reader"));
    auto* readerLayout = new QVBoxLayout(readers);
    for (int i = 1; i <= 2; ++i) {
        QRadioButton* radio = makeRadio(QStringLiteral("ph_reader_%1").arg(i), QStringLiteral("Reader %1").arg(i));
        radio->setEnabled(false);
        readerLayout->addWidget(radio);
        m_phoenixReaders.add(radio);
    }
    auto* clocks = makeGroup(QStringLiteral("GroupBoxPhoenixClock"), QStringLiteral("Clock"));
    auto* clockLayout = new QGridLayout(clocks);
    const char* const texts[] = {"3.572 Mhz", "3.69 Mhz", "4.00 Mhz", "4.80 Mhz", "6.00 Mhz", "8.00 Mhz", "12.00 Mhz"};
    for (int i = 0; i < 7; ++i) {
        QRadioButton* radio = makeRadio(QStringLiteral("ph_clock_%1").arg(i + 1), QString::fromLatin1(texts[i]));
        clockLayout->addWidget(radio, i % 4, i / 4);
        m_phoenixClocks.add(radio);
    }
    Button21 = makeButton(QStringLiteral("Button21"), QStringLiteral("Read Settings"));
    Button22 = makeButton(QStringLiteral("Button22"), QStringLiteral("Write Setting"));
    Button22->setEnabled(false);
    layout->addWidget(readers, 0, 0);
    layout->addWidget(clocks, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button21);
    buttons->addWidget(Button22);
    buttons->addStretch();
    layout->addLayout(buttons, 0, 1, 2, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* TForm4::buildUniprogTab()
{
    QWidget* tab = page(QStringLiteral("TabItem7"));
    auto* layout = new QGridLayout(tab);
    auto readerGroup = [](const QString& name, const QString& title, QComboBox* clock, QComboBox* baud,
                          QComboBox* baudCom) {
        QGroupBox* box = makeGroup(name, title);
        auto* form = new QGridLayout(box);
        form->addWidget(new QLabel(QStringLiteral("Clock:")), 0, 0);
        form->addWidget(clock, 0, 1);
        form->addWidget(new QLabel(QStringLiteral("Baudrate:")), 1, 0);
        form->addWidget(baud, 1, 1);
        form->addWidget(new QLabel(QStringLiteral("Baudrate COM")), 2, 0);
        form->addWidget(baudCom, 2, 1);
        box->setEnabled(false);
        return box;
    };
    ComboBox13 = makeComboBox(QStringLiteral("ComboBox13"), kUniprogClockItems);
    ComboBox14 = makeComboBox(QStringLiteral("ComboBox14"), kUniprogBaudItems);
    ComboBox15 = makeComboBox(QStringLiteral("ComboBox15"), kUniprogBaudItems);
    ComboBox10 = makeComboBox(QStringLiteral("ComboBox10"), kUniprogClockItems);
    ComboBox11 = makeComboBox(QStringLiteral("ComboBox11"), kUniprogBaudItems);
    ComboBox12 = makeComboBox(QStringLiteral("ComboBox12"), kUniprogBaudItems);
    GroupBox7 = readerGroup(QStringLiteral("GroupBox7"), QStringLiteral("Reader 1"), ComboBox13, ComboBox14, ComboBox15);
    GroupBox8 = readerGroup(QStringLiteral("GroupBox8"), QStringLiteral("Reader 2"), ComboBox10, ComboBox11, ComboBox12);
    Button23 = makeButton(QStringLiteral("Button23"), QStringLiteral("Read Settings"));
    Button24 = makeButton(QStringLiteral("Button24"), QStringLiteral("Write Setting"));
    Button24->setEnabled(false);
    Button25 = makeButton(QStringLiteral("Button25"), QStringLiteral("Factory reset "));
    layout->addWidget(GroupBox7, 0, 0);
    layout->addWidget(GroupBox8, 0, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button23);
    buttons->addWidget(Button24);
    buttons->addStretch();
    layout->addLayout(buttons, 0, 2);
    layout->addWidget(Button25, 1, 0);
    QLabel* attention = makeLabel(QStringLiteral("Label16"),
                                  QStringLiteral("A T T E N T I O N ,  this reset Reader 1 and Reader 2 to default setting"));
    attention->setWordWrap(true);
    layout->addWidget(attention, 1, 1, 1, 2);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* TForm4::buildSerialTab()
{
    QWidget* tab = page(QStringLiteral("TabItem8"));
    auto* layout = new QGridLayout(tab);
    Memo1 = new LogPane;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Button26 = makeButton(QStringLiteral("Button26"), QStringLiteral("Read Serial"));
    Edit2 = new QLineEdit;
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setMaxLength(static_cast<int>(kUsbSerialLength));
    Button100 = makeButton(QStringLiteral("Button100"), QStringLiteral("generate"));
    Button27 = makeButton(QStringLiteral("Button27"), QStringLiteral("Write Serial"));
    Button100->setEnabled(false);
    Button27->setEnabled(false);
    layout->addWidget(Memo1, 0, 0, 4, 1);
    layout->addWidget(Button26, 0, 1);
    layout->addWidget(Edit2, 0, 2);
    layout->addWidget(Button100, 1, 2);
    layout->addWidget(Button27, 2, 2);
    QLabel* attention = makeLabel(QStringLiteral("Label17"),
                                  QStringLiteral("A T T E N T I O N , You must restart Talvex to take effect ! "));
    attention->setWordWrap(true);
    layout->addWidget(attention, 3, 1, 1, 2);
    layout->addWidget(new EepromFileButtons(m_usbSerial, [this](const auto& lines) { logLines(lines); }), 4, 1, 1, 2);
    layout->setColumnStretch(0, 1);
    connect(Button26, &QPushButton::clicked, this, &TForm4::Button26Click);
    connect(Button100, &QPushButton::clicked, this, &TForm4::Button100Click);
    connect(Button27, &QPushButton::clicked, this, &TForm4::Button27Click);
    return tab;
}

void TForm4::logLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        appendLogLine(QString::fromStdString(line));
}

void TForm4::Button26Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const UsbSerialListing listing = m_usbSerial.readSerial();
    if (listing.listingText) {
        Memo1->clearLog();
        Memo1->appendRaw(QString::fromStdString(*listing.listingText));
    }
    if (listing.serialText)
        Edit2->setText(QString::fromStdString(*listing.serialText));
    if (listing.devicesListed) {
        Button100->setEnabled(true);
        Button27->setEnabled(true);
        const QString allowed = QRegularExpression::escape(QString::fromUtf8(
            kUsbSerialCharacters.data(), static_cast<qsizetype>(kUsbSerialCharacters.size())));
        Edit2->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[%1]{0,8}").arg(allowed)), Edit2));
    }
    logLines(listing.logLines);
}

void TForm4::Button100Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const UsbSerialGenerated generated = m_usbSerial.generate(Label8->text().toStdString());
    if (generated.serialText)
        Edit2->setText(QString::fromStdString(*generated.serialText));
    if (generated.canWrite)
        Button27->setEnabled(true);
    logLines(generated.logLines);
}

void TForm4::Button27Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    logLines(m_usbSerial.writeSerial(Edit2->text().toStdString()).logLines);
}

void TForm4::FormCreate()
{
    TabControl1->setEnabled(true);
    setSettingsTabsEnabled(false);
    TabControl1->setTabEnabled(SerialTab, true);
    TabControl1->setCurrentIndex(SerialTab);
    if (m_mainWindow)
        m_mainWindow->hide();
    ComboBox1->clear();
    Button10->setEnabled(false);
    Button12->setEnabled(false);
}

void TForm4::setSettingsTabsEnabled(bool enabled)
{
    for (int tab = ComSpeedTab; tab <= UniprogTab; ++tab)
        TabControl1->setTabEnabled(tab, enabled);
}

void TForm4::setPorts(const QStringList& ports, bool selectable)
{
    ComboBox1->clear();
    ComboBox1->addItems(ports);
    ComboBox1->setCurrentIndex(ports.isEmpty() ? -1 : 0);
    ComboBox1->setEnabled(selectable);
}

void TForm4::setSerialText(const QString& serial)
{
    Label8->setText(serial);
}

void TForm4::setVersionCaption(const QString& caption)
{
    Label9->setText(caption);
    Label9->setVisible(true);
}

void TForm4::setVersionText(const QString& version)
{
    Label10->setText(version);
    Label10->setVisible(true);
}

void TForm4::setSerialCaptionVisible(bool visible)
{
    Label7->setText(QStringLiteral("Programmer Serial Number:"));
    Label7->setVisible(visible);
    Label8->setVisible(visible);
}

void TForm4::appendLogLine(const QString& message)
{
    Memo2->appendLogLine(message);
}

void TForm4::Button1Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    Button1->setEnabled(false);
    if (ComboBox1->currentIndex() < 0) {
        appendLogLine(QStringLiteral("ERROR: NO COM PORT SELECTED"));
        Button1->setEnabled(true);
        return;
    }
    if (!m_portConnected)
        connectPort();
    else
        disconnectPort();
}

void TForm4::connectPort(bool clearLog)
{
    const QString portName = ComboBox1->currentText();
    if (clearLog)
        Memo2->clearLog();
    TabControl1->setTabEnabled(SerialTab, false);
    const ConnectLog log = [this](const std::string& line, bool) { appendLogLine(QString::fromStdString(line)); };
    const ConnectResult result = openAndIdentify(m_context.ports().a, m_context.host(), m_context.clock(),
                                                 portName.toStdString(), m_context.detection().variant,
                                                 m_context.detection().answerDelayMs, log);
    if (!result.opened) {
        Button1->setEnabled(true);
        return;
    }
    const IdentifyResult& identity = result.identity;
    Label8->setText(QString::fromStdString(identity.fields.serialNumber));
    Label10->setText(QString::fromStdString(identity.versionText));
    TabControl1->setEnabled(false);
    logIdentification(identity.mode, log);

    switch (identity.mode) {
    case ProgrammerMode::None:
        break;
    case ProgrammerMode::BootLoader:
        // What the device just said is what the upload goes by.
        m_context.detection().bootLoader = true;
        Label12->setText(QStringLiteral("Select a valid firmware file and press 'Upload' key."));
        Label9->setText(QStringLiteral("Boot version :"));
        enableTabsFor(1);
        break;
    case ProgrammerMode::Application:
        Label9->setText(QStringLiteral("Firmware version :"));
        enableTabsFor(2);
        break;
    }

    Button1->setText(QStringLiteral("Disconnect"));
    m_portConnected = true;
    ComboBox1->setEnabled(false);
    Button8->setEnabled(true);
    Button1->setEnabled(true);
}

void TForm4::enableTabsFor(int identifyResult)
{
    setSettingsTabsEnabled(false);
    TabControl1->setTabEnabled(SerialTab, false);
    TabControl1->setTabEnabled(FirmwareTab, true);
    Tab active = FirmwareTab;
    if (identifyResult == 2) {
        switch (m_context.detection().variant) {
        case SpeedVariant::LowSpeed1:
            TabControl1->setTabEnabled(PhoenixTab, true);
            active = PhoenixTab;
            break;
        case SpeedVariant::LowSpeed2:
            TabControl1->setTabEnabled(UniprogTab, true);
            active = UniprogTab;
            break;
        case SpeedVariant::Normal:
            for (Tab tab : {ComSpeedTab, ClockTab, PortTab, AdvancedTab})
                TabControl1->setTabEnabled(tab, true);
            active = ClockTab;
            break;
        }
    }
    TabControl1->setCurrentIndex(active);
    TabControl1->setEnabled(true);
}

void TForm4::disconnectPort()
{
    const QString portName = ComboBox1->currentText();
    appendLogLine(QStringLiteral("Attempting to close COM Port..."));
    PortSlot& port = m_context.ports().a;
    const bool wasOpen = port.isOpen();
    port.close();
    reset_video_setting();
    Button1->setEnabled(true);
    if (!wasOpen) {
        appendLogLine(QStringLiteral("ERROR: ") + portName + QStringLiteral(" Port close error!"));
        return;
    }
    setSettingsTabsEnabled(false);
    TabControl1->setTabEnabled(SerialTab, true);
    TabControl1->setEnabled(true);
    appendLogLine(portName + QStringLiteral(" Port closed successfully!"));
    Button1->setText(QStringLiteral("Connect"));
    m_portConnected = false;
    ComboBox1->setEnabled(true);
}

void TForm4::reset_video_setting()
{
    for (RadioGroup* group : {&m_clockReaders, &m_clocks, &m_portReaders, &m_portSpeeds, &m_portParities,
                              &m_portStops, &m_advancedModes, &m_phoenixReaders, &m_phoenixClocks})
        group->clear();
}

bool TForm4::runCommand(SettingsCommand command, std::string_view text)
{
    const SettingsOutcome outcome = runSettingsCommand(m_context.ports().a, m_context.clock(), command,
                                                       m_context.detection().variant, text);
    appendLogLine(QString::fromUtf8(outcome.logLine.data(), static_cast<qsizetype>(outcome.logLine.size())));
    return outcome.exchange.success;
}

bool TForm4::runCommand(SettingsCommand command)
{
    return runCommand(command, fixedCommandText(command));
}

std::optional<IdentifyResult> TForm4::identifyForRead()
{
    AniIndicator1->start();
    reset_video_setting();
    appendLogLine(QStringLiteral("Reading setting..."));
    m_context.pump();
    IdentifyResult identity = identify(m_context.ports().a, m_context.clock(), m_context.detection().variant,
                                       m_context.detection().answerDelayMs);
    if (identity.fields.serialNumber.size() != 32) {
        appendLogLine(QStringLiteral("No Programmer found!"));
        AniIndicator1->stop();
        return std::nullopt;
    }
    return identity;
}

void TForm4::Button_read_settingsClick()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const auto identity = identifyForRead();
    if (!identity)
        return;
    const ReaderPortSettings settings = parseReaderPortSettings(identity->fields.answerText);
    m_clocks.check(settings.clockButton);
    m_portSpeeds.check(settings.speedButton);
    m_portParities.check(settings.parityButton);
    m_portStops.check(0);
    SpinBox1->setValue(settings.addedStopBits.value_or(0));
    if (settings.readerDigit == '1' || settings.readerDigit == '2') {
        const int reader = *settings.readerDigit - '1';
        m_clockReaders.check(reader);
        m_portReaders.check(reader);
    }
    Button3->setEnabled(true);
    Button6->setEnabled(true);
    AniIndicator1->stop();
}

void TForm4::Button21Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const auto identity = identifyForRead();
    if (!identity)
        return;
    const ReaderPortSettings settings = parseReaderPortSettings(identity->fields.answerText);
    m_phoenixClocks.check(settings.phoenixClockButton);
    // This build numbers its readers from 0.
    if (settings.readerDigit == '0' || settings.readerDigit == '1')
        m_phoenixReaders.check(*settings.readerDigit - '0');
    Button22->setEnabled(true);
    AniIndicator1->stop();
}

void TForm4::Button3Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const std::string text = buildClockWrite(m_clockReaders.at(0)->isChecked(), m_clocks.checkedIndex());
    if (runCommand(SettingsCommand::ClockWrite, text))
        Button12->setEnabled(true);
}

void TForm4::Button6Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const std::string text = buildCardPortWrite(m_portReaders.at(0)->isChecked(), m_portSpeeds.checkedIndex(),
                                                m_portParities.checkedIndex(), SpinBox1->value());
    if (runCommand(SettingsCommand::CardPortWrite, text))
        Button10->setEnabled(true);
}

void TForm4::Button10Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    runCommand(SettingsCommand::Save);
}

void TForm4::Button11Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    runCommand(SettingsCommand::RestoreDefault);
}

void TForm4::Button16Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    runCommand(SettingsCommand::SmartMouseMode);
}

void TForm4::Button17Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    runCommand(SettingsCommand::BypassMode);
}

AdvancedChoice TForm4::advancedChoice() const
{
    AdvancedChoice choice;
    choice.mode = m_advancedModes.checkedIndex();
    choice.com1 = {selectedIndex(ComboBox2), selectedIndex(ComboBox4), selectedIndex(ComboBox3)};
    choice.com2 = {selectedIndex(ComboBox5), selectedIndex(ComboBox7), selectedIndex(ComboBox6)};
    choice.debugParity = selectedIndex(ComboBox9);
    choice.debugSpeed = selectedIndex(ComboBox8);
    choice.debugDefaultChecked = CheckBox1->isChecked();
    choice.debugStopBits = SpinBox2->value();
    return choice;
}

void TForm4::reportMissingChoice(const BuiltCommand& built, SettingsCommand command)
{
    const std::string_view error = settingsCommandPlan(command, m_context.detection().variant).errorLine;
    appendLogLine(QString::fromUtf8(error.data(), static_cast<qsizetype>(error.size())) +
                  QStringLiteral(" No choice made for ") +
                  QString::fromUtf8(built.missing->label.data(), static_cast<qsizetype>(built.missing->label.size())) +
                  QStringLiteral(": nothing sent."));
}

void TForm4::Button20Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const BuiltCommand built = buildAdvancedWrite(advancedChoice());
    if (!built.ok()) {
        reportMissingChoice(built, SettingsCommand::AdvancedWrite);
        return;
    }
    runCommand(SettingsCommand::AdvancedWrite, built.text);
}

void TForm4::Button22Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const std::string text = buildPhoenixWrite(m_phoenixReaders.at(0)->isChecked(), m_phoenixClocks.checkedIndex());
    runCommand(SettingsCommand::PhoenixWrite, text);
}

UniprogChoice TForm4::uniprogChoice() const
{
    return {selectedIndex(ComboBox13), selectedIndex(ComboBox10), selectedIndex(ComboBox14),
            selectedIndex(ComboBox11), selectedIndex(ComboBox15), selectedIndex(ComboBox12)};
}

void TForm4::Button23Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const SettingsOutcome outcome = runSettingsCommand(m_context.ports().a, m_context.clock(),
                                                       SettingsCommand::UniprogRead, m_context.detection().variant);
    const auto read = outcome.exchange.success ? parseUniprogAnswer(outcome.exchange.answer) : std::nullopt;
    const std::string_view line =
        read ? outcome.logLine : settingsCommandPlan(SettingsCommand::UniprogRead, m_context.detection().variant).errorLine;
    appendLogLine(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    if (!read)
        return;
    const std::pair<QComboBox*, std::optional<int>> lists[] = {
        {ComboBox13, read->clock1}, {ComboBox10, read->clock2},     {ComboBox14, read->baud1},
        {ComboBox11, read->baud2},  {ComboBox15, read->baudCom1}, {ComboBox12, read->baudCom2}};
    for (const auto& [box, index] : lists)
        box->setCurrentIndex(index.value_or(-1));
    Button24->setEnabled(true);
    GroupBox7->setEnabled(true);
    GroupBox8->setEnabled(true);
}

void TForm4::Button24Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    const BuiltCommand built = buildUniprogWrite(uniprogChoice());
    if (!built.ok()) {
        reportMissingChoice(built, SettingsCommand::UniprogWrite);
        return;
    }
    runCommand(SettingsCommand::UniprogWrite, built.text);
}

void TForm4::Button25Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    runCommand(SettingsCommand::UniprogFactoryReset);
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

void TForm4::Button8Click()
{
    Label12->clear();
    Label14->clear();
    const QString file = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QStringLiteral("Hex BIN files (*.bin);;Any file (*.*)"));
    if (!file.isEmpty())
        Edit1->setText(file);
}

void TForm4::Button9Click()
{
    UploadEnvironment env{m_context.ports().a, m_context.host(), m_context.clock(), m_context.detection()};
    FirmwareUpload upload(env, *this);
    const std::string path = Edit1->text().toStdString();
    if (upload.checkFile(path) != FileCheck::Ok)
        return;
    lockForUpload();
    const UploadOutcome outcome =
        upload.run(path, ComboBox1->currentText().toStdString(), Label8->text().toStdString());
    setRemainingTime(std::nullopt);
    if (outcome.hasVerdict())
        FinishUpload(QString::fromStdString(outcome.messageText()));
    else
        restoreAfterUpload();
}

void TForm4::lockForUpload()
{
    m_context.setUploadInProgress(true);
    ++m_operationDepth;
    for (int tab = 0; tab < TabControl1->count(); ++tab) {
        if (tab != FirmwareTab)
            TabControl1->setTabEnabled(tab, false);
    }
    // Everything that could start another exchange or close the window.
    for (QPushButton* button : {Button1, Button2, Button8, Button18})
        button->setEnabled(false);
    Button9->setVisible(false);
    AniIndicator1->start();
}

void TForm4::FinishUpload(const QString& message)
{
    AniIndicator1->stop();
    QMessageBox::information(this, windowTitle(), message);
    Label8->clear();
    Label10->clear();
    Label12->clear();
    Label14->clear();
    ProgressBar1->setValue(0);
    restoreAfterUpload();
}

void TForm4::restoreAfterUpload()
{
    AniIndicator1->stop();
    for (QPushButton* button : {Button1, Button2, Button18})
        button->setEnabled(true);
    Button9->setVisible(true);
    m_context.setUploadInProgress(false);
    --m_operationDepth;
    reconnectAfterUpload();
}

void TForm4::reconnectAfterUpload()
{
    OperationGuard guard(m_controls, m_operationDepth);
    // The upload may have closed and reopened the port; connect afresh.
    m_context.ports().a.close();
    m_portConnected = false;
    Button1->setText(QStringLiteral("Connect"));
    connectPort(false);
}

void TForm4::Button19Click()
{
    Button19->setEnabled(false);
    waitForUnplug(m_context.ports().a, m_context.clock(), m_context.detection().variant, [this] { m_context.pump(); });
    Button19->setEnabled(true);
}

void TForm4::clearLog()
{
    Memo2->clearLog();
}

void TForm4::logLine(const std::string& message)
{
    appendLogLine(QString::fromStdString(message));
}

void TForm4::setUpperStatus(const std::string& text)
{
    Label12->setText(QString::fromStdString(text));
}

void TForm4::setLowerStatus(const std::string& text)
{
    Label14->setText(QString::fromStdString(text));
}

void TForm4::setProgress(int blockIndex)
{
    ProgressBar1->setValue(blockIndex);
}

void TForm4::setRemainingTime(std::optional<std::chrono::seconds> remaining)
{
    if (!remaining) {
        m_remainingLabel->clear();
        return;
    }
    const auto seconds = remaining->count();
    m_remainingLabel->setText(QStringLiteral("%1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void TForm4::pump()
{
    m_context.pump();
}

void TForm4::serialize()
{
    if (!CheckBox2->isChecked())
        return;
    Button26Click();
    // Without a freshly generated serial, whatever Edit2 held would be written.
    const UsbSerialGenerated generated = m_usbSerial.generate(Label8->text().toStdString());
    logLines(generated.logLines);
    if (!generated.serialText)
        return;
    Edit2->setText(QString::fromStdString(*generated.serialText));
    Button27Click();
}

void TForm4::Button18Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    CheckVersion(
        m_context.latestVersions(), [this](const std::string& message) { appendLogLine(QString::fromStdString(message)); },
        m_context.versionServer());
}

void TForm4::RadioButton14Change()
{
    advancedModeChanged();
}

void TForm4::RadioButton15Change()
{
    advancedModeChanged();
}

void TForm4::RadioButton16Change()
{
    advancedModeChanged();
}

void TForm4::advancedModeChanged()
{
    const bool debugMode = m_advancedModes.at(2)->isChecked();
    const bool atrMode = m_advancedModes.at(0)->isChecked() || m_advancedModes.at(1)->isChecked();
    GroupBox4->setEnabled(atrMode);
    GroupBox5->setEnabled(atrMode);
    GroupBox6->setEnabled(debugMode);
    reevaluateAdvancedWrite();
}

void TForm4::CheckBox1Change()
{
    SpinBox2->setEnabled(!CheckBox1->isChecked());
}

void TForm4::reevaluateAdvancedWrite()
{
    const bool atrMode = m_advancedModes.at(0)->isChecked() || m_advancedModes.at(1)->isChecked();
    const bool debugMode = m_advancedModes.at(2)->isChecked();
    bool comListsSet = true;
    for (QComboBox* box : {ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6, ComboBox7})
        comListsSet = comListsSet && box->currentIndex() >= 0;
    const bool debugListsSet = ComboBox8->currentIndex() >= 0 && ComboBox9->currentIndex() >= 0;
    Button20->setEnabled((atrMode && comListsSet) || (debugMode && debugListsSet));
}

bool TForm4::FormCloseQuery() const
{
    return !m_context.uploadInProgress() && !operationRunning();
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

void TForm4::reject()
{
    // QDialog would only hide: the port would stay open, the main window hidden.
    close();
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
