#include "ui/settings/SettingsLayout.h"

#include "protocol/SettingsCommands.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"
#include "ui/common/Widgets.h"
#include "usbserial/EepromImage.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>
#include <vector>

namespace talvex {
namespace {

QWidget* page(const QString& name)
{
    auto* widget = new QWidget;
    widget->setObjectName(name);
    return widget;
}

/// A group of radio buttons, one under the other.
QGroupBox* radioBox(const QString& name, const QString& title, RadioGroup& group,
                    const std::vector<std::pair<QString, QString>>& buttons)
{
    QGroupBox* box = makeGroup(name, title);
    auto* layout = new QVBoxLayout(box);
    for (const auto& [objectName, text] : buttons) {
        QRadioButton* radio = makeRadio(objectName, text);
        layout->addWidget(radio);
        group.add(radio);
    }
    return box;
}

/// "Reader 1" / "Reader 2": they show what a read found, the user does not choose.
QGroupBox* readerBox(const QString& name, const QString& buttonPrefix, int firstNumber, RadioGroup& group)
{
    QGroupBox* box = radioBox(name, QStringLiteral("Reader"), group,
                              {{buttonPrefix + QString::number(firstNumber), QStringLiteral("Reader 1")},
                               {buttonPrefix + QString::number(firstNumber + 1), QStringLiteral("Reader 2")}});
    for (int i = 0; i < group.size(); ++i)
        group.at(i)->setEnabled(false);
    return box;
}

/// "Save " and "Restore default"; the tab's own names for them.
QGroupBox* dataFlashGroup(const QString& saveName, QPushButton*& save, const QString& restoreName,
                          QPushButton*& restore)
{
    auto* group = makeGroup(QStringLiteral("DataFlash") + saveName, QStringLiteral("Data Flash"));
    auto* layout = new QHBoxLayout(group);
    save = makeButton(saveName, QStringLiteral("Save "));
    restore = makeButton(restoreName, QStringLiteral("Restore default"));
    layout->addWidget(save);
    layout->addWidget(restore);
    return group;
}

/// Read and write buttons (and whatever follows) in a column beside the tab's groups.
QVBoxLayout* buttonColumn(std::initializer_list<QWidget*> widgets)
{
    auto* column = new QVBoxLayout;
    for (QWidget* widget : widgets)
        column->addWidget(widget);
    column->addStretch();
    return column;
}

QWidget* buildComSpeedTab(ComSpeedControls& c)
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
        c.speeds.add(radio);
    }
    c.Button5 = makeButton(QStringLiteral("Button5"), QStringLiteral("Read Setting"));
    c.Button4 = makeButton(QStringLiteral("Button4"), QStringLiteral("Write Setting"));
    c.Button5->setEnabled(false);
    c.Button4->setEnabled(false);
    c.GroupBox3 = dataFlashGroup(QStringLiteral("Button14"), c.Button14, QStringLiteral("Button15"), c.Button15);
    c.GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    c.GroupBox3->setEnabled(false);
    layout->addWidget(speeds, 0, 0, 3, 1);
    layout->addWidget(c.Button5, 0, 1);
    layout->addWidget(c.Button4, 1, 1);
    layout->addWidget(c.GroupBox3, 2, 1);
    layout->setRowStretch(3, 1);
    return tab;
}

QWidget* buildClockTab(ClockControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem2"));
    auto* layout = new QGridLayout(tab);
    QGroupBox* readers = readerBox(QStringLiteral("GroupBoxClockReader"), QStringLiteral("smartcard_reader_"), 1,
                                   c.readers);
    auto* clocks = makeGroup(QStringLiteral("GroupBoxClock"), QStringLiteral("SmartCard Clock"));
    auto* clockLayout = new QGridLayout(clocks);
    const char* const texts[] = {"3.43 Mhz", "4.00 Mhz", "4.80 Mhz", "6.00 Mhz", "8.00 Mhz", "12.00 Mhz"};
    for (int i = 0; i < 6; ++i) {
        const std::string_view name = kClockButtons[static_cast<std::size_t>(i)];
        QRadioButton* radio = makeRadio(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())),
                                        QString::fromLatin1(texts[i]));
        clockLayout->addWidget(radio, i % 3, i / 3);
        c.clocks.add(radio);
    }
    c.Button_read_settings = makeButton(QStringLiteral("Button_read_settings"), QStringLiteral("Read Settings"));
    c.Button3 = makeButton(QStringLiteral("Button3"), QStringLiteral("Write Setting"));
    c.Button3->setEnabled(false);
    QGroupBox* flash = dataFlashGroup(QStringLiteral("Button12"), c.Button12, QStringLiteral("Button13"), c.Button13);
    layout->addWidget(readers, 0, 0);
    layout->addWidget(clocks, 1, 0);
    layout->addLayout(buttonColumn({c.Button_read_settings, c.Button3, flash}), 0, 1, 2, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* buildPortTab(PortControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem3"));
    auto* layout = new QGridLayout(tab);
    QGroupBox* readers = readerBox(QStringLiteral("GroupBoxPortReader"), QStringLiteral("RadioButton"), 5, c.readers);
    QGroupBox* speeds = radioBox(QStringLiteral("GroupBoxPortSpeed"), QStringLiteral("Speed"), c.speeds,
                                 {{QStringLiteral("RadioButton7"), QStringLiteral("9600 Baud")},
                                  {QStringLiteral("RadioButton8"), QStringLiteral("38400 Baud")},
                                  {QStringLiteral("RadioButton9"), QStringLiteral("115200 Baud")}});
    QGroupBox* parities = radioBox(QStringLiteral("GroupBoxPortParity"), QStringLiteral("Parity"), c.parities,
                                   {{QStringLiteral("RadioButton10"), QStringLiteral("None")},
                                    {QStringLiteral("RadioButton11"), QStringLiteral("Odd")},
                                    {QStringLiteral("RadioButton12"), QStringLiteral("Even")}});
    QGroupBox* stops = radioBox(QStringLiteral("GroupBoxPortStop"), QStringLiteral("Stop bit"), c.stops,
                                {{QStringLiteral("RadioButton13"), QStringLiteral("1")}});
    c.SpinBox1 = new QSpinBox;
    c.SpinBox1->setObjectName(QStringLiteral("SpinBox1"));
    c.SpinBox1->setRange(0, 254);
    c.SpinBox1->setVisible(false);
    QLabel* addedStop = makeLabel(QStringLiteral("LabelAddedStopBit"), QStringLiteral("Added Stop Bit"));
    addedStop->setVisible(false);
    stops->layout()->addWidget(addedStop);
    stops->layout()->addWidget(c.SpinBox1);

    c.Button7 = makeButton(QStringLiteral("Button7"), QStringLiteral("Read Settings"));
    c.Button6 = makeButton(QStringLiteral("Button6"), QStringLiteral("Write Setting"));
    c.Button6->setEnabled(false);
    QGroupBox* flash = dataFlashGroup(QStringLiteral("Button10"), c.Button10, QStringLiteral("Button11"), c.Button11);
    layout->addWidget(readers, 0, 0);
    layout->addWidget(speeds, 1, 0);
    layout->addWidget(parities, 1, 1);
    layout->addWidget(stops, 1, 2);
    layout->addLayout(buttonColumn({c.Button7, c.Button6, flash}), 0, 3, 2, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* buildFirmwareTab(FirmwareControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem4"));
    auto* layout = new QGridLayout(tab);
    c.Edit1 = new QLineEdit;
    c.Edit1->setObjectName(QStringLiteral("Edit1"));
    c.Button8 = makeButton(QStringLiteral("Button8"), QStringLiteral("..."));
    c.Button9 = makeButton(QStringLiteral("Button9"), QStringLiteral("Upload !"));
    c.CheckBox2 = makeCheckBox(QStringLiteral("CheckBox2"), QStringLiteral("Serialize"));
    c.ProgressBar1 = new QProgressBar;
    c.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    c.ProgressBar1->setRange(0, 3200);
    c.ProgressBar1->setValue(0);
    c.Label12 = makeLabel(QStringLiteral("Label12"), QString());
    c.Label14 = makeLabel(QStringLiteral("Label14"), QString());
    c.LabelRemaining = makeLabel(QStringLiteral("LabelRemaining"), QString());
    c.LabelRemaining->setMinimumWidth(120);
    layout->addWidget(makeLabel(QStringLiteral("Label11"), QStringLiteral("Firmware file:")), 0, 0);
    layout->addWidget(c.Edit1, 0, 1);
    layout->addWidget(c.Button8, 0, 2);
    layout->addWidget(c.Button9, 1, 2);
    layout->addWidget(c.CheckBox2, 1, 1);
    layout->addWidget(c.ProgressBar1, 2, 0, 1, 2);
    layout->addWidget(c.LabelRemaining, 2, 2);
    layout->addWidget(c.Label12, 3, 0, 1, 3);
    layout->addWidget(c.Label14, 4, 0, 1, 3);
    layout->setRowStretch(5, 1);
    return tab;
}

/// Clock, speed and parity lists of one port of the Advanced tab.
QGridLayout* comForm(QGroupBox* box, QComboBox* clock, QComboBox* speed, QComboBox* parity)
{
    auto* form = new QGridLayout(box);
    form->addWidget(new QLabel(QStringLiteral("Clock")), 0, 0);
    form->addWidget(clock, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("Speed")), 1, 0);
    form->addWidget(speed, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("Parity")), 2, 0);
    form->addWidget(parity, 2, 1);
    return form;
}

QWidget* buildAdvancedTab(AdvancedControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem5"));
    auto* layout = new QGridLayout(tab);
    QGroupBox* modes = radioBox(QStringLiteral("GroupBoxSetMode"), QStringLiteral("Set mode"), c.modes,
                                {{QStringLiteral("RadioButton14"), QStringLiteral("ATR at 9600")},
                                 {QStringLiteral("RadioButton15"), QStringLiteral("ATR at 115200")},
                                 {QStringLiteral("RadioButton16"), QStringLiteral("debug (special)")}});

    c.GroupBox4 = makeGroup(QStringLiteral("GroupBox4"), QStringLiteral("com 1"));
    c.GroupBox5 = makeGroup(QStringLiteral("GroupBox5"), QStringLiteral("com 2"), c.GroupBox4);
    c.ComboBox2 = makeComboBox(QStringLiteral("ComboBox2"), kAdvancedClockItems);
    c.ComboBox3 = makeComboBox(QStringLiteral("ComboBox3"), kAdvancedSpeedItems);
    c.ComboBox4 = makeComboBox(QStringLiteral("ComboBox4"), kAdvancedParityItems);
    c.ComboBox5 = makeComboBox(QStringLiteral("ComboBox5"), kAdvancedClockItems);
    c.ComboBox6 = makeComboBox(QStringLiteral("ComboBox6"), kAdvancedSpeedItems);
    c.ComboBox7 = makeComboBox(QStringLiteral("ComboBox7"), kAdvancedParityItems);
    QGridLayout* com1 = comForm(c.GroupBox4, c.ComboBox2, c.ComboBox3, c.ComboBox4);
    comForm(c.GroupBox5, c.ComboBox5, c.ComboBox6, c.ComboBox7);
    // "com 2" sits inside "com 1", as the device's tool always had it.
    com1->addWidget(c.GroupBox5, 0, 2, 3, 1);

    c.GroupBox6 = makeGroup(QStringLiteral("GroupBox6"), QStringLiteral("debug"));
    auto* debug = new QGridLayout(c.GroupBox6);
    c.ComboBox8 = makeComboBox(QStringLiteral("ComboBox8"), kAdvancedSpeedItems);
    c.ComboBox9 = makeComboBox(QStringLiteral("ComboBox9"), kAdvancedParityItems);
    c.SpinBox2 = new QSpinBox;
    c.SpinBox2->setObjectName(QStringLiteral("SpinBox2"));
    c.SpinBox2->setRange(0, 200);
    c.CheckBox1 = makeCheckBox(QStringLiteral("CheckBox1"), QStringLiteral("default"));
    debug->addWidget(new QLabel(QStringLiteral("Speed")), 0, 0);
    debug->addWidget(c.ComboBox8, 0, 1);
    debug->addWidget(new QLabel(QStringLiteral("Parity")), 1, 0);
    debug->addWidget(c.ComboBox9, 1, 1);
    debug->addWidget(new QLabel(QStringLiteral("Stop bits")), 2, 0);
    debug->addWidget(c.SpinBox2, 2, 1);
    debug->addWidget(c.CheckBox1, 2, 2);

    for (QGroupBox* group : {c.GroupBox4, c.GroupBox5, c.GroupBox6})
        group->setEnabled(false);
    c.Button20 = makeButton(QStringLiteral("Button20"), QStringLiteral("Write Setting"));
    c.Button20->setEnabled(false);
    layout->addWidget(modes, 0, 0);
    layout->addWidget(c.GroupBox4, 0, 1, 2, 1);
    layout->addWidget(c.GroupBox6, 2, 1);
    layout->addWidget(c.Button20, 1, 0);
    layout->addWidget(makeLabel(QStringLiteral("Label15"), QStringLiteral("this reset Talvex to default setting")), 2, 0);
    layout->setRowStretch(3, 1);
    return tab;
}

QWidget* buildPhoenixTab(PhoenixControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem6"));
    auto* layout = new QGridLayout(tab);
    QGroupBox* readers = readerBox(QStringLiteral("GroupBoxPhoenixReader"), QStringLiteral("ph_reader_"), 1,
                                   c.readers);
    auto* clocks = makeGroup(QStringLiteral("GroupBoxPhoenixClock"), QStringLiteral("Clock"));
    auto* clockLayout = new QGridLayout(clocks);
    const char* const texts[] = {"3.572 Mhz", "3.69 Mhz", "4.00 Mhz", "4.80 Mhz", "6.00 Mhz", "8.00 Mhz", "12.00 Mhz"};
    for (int i = 0; i < 7; ++i) {
        QRadioButton* radio = makeRadio(QStringLiteral("ph_clock_%1").arg(i + 1), QString::fromLatin1(texts[i]));
        clockLayout->addWidget(radio, i % 4, i / 4);
        c.clocks.add(radio);
    }
    c.Button21 = makeButton(QStringLiteral("Button21"), QStringLiteral("Read Settings"));
    c.Button22 = makeButton(QStringLiteral("Button22"), QStringLiteral("Write Setting"));
    c.Button22->setEnabled(false);
    layout->addWidget(readers, 0, 0);
    layout->addWidget(clocks, 1, 0);
    layout->addLayout(buttonColumn({c.Button21, c.Button22}), 0, 1, 2, 1);
    layout->setRowStretch(2, 1);
    return tab;
}

/// One reader's three lists on the Uniprog tab.
QGroupBox* uniprogReaderGroup(const QString& name, const QString& title, QComboBox* clock, QComboBox* baud,
                              QComboBox* baudCom)
{
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
}

QWidget* buildUniprogTab(UniprogControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem7"));
    auto* layout = new QGridLayout(tab);
    c.ComboBox13 = makeComboBox(QStringLiteral("ComboBox13"), kUniprogClockItems);
    c.ComboBox14 = makeComboBox(QStringLiteral("ComboBox14"), kUniprogBaudItems);
    c.ComboBox15 = makeComboBox(QStringLiteral("ComboBox15"), kUniprogBaudItems);
    c.ComboBox10 = makeComboBox(QStringLiteral("ComboBox10"), kUniprogClockItems);
    c.ComboBox11 = makeComboBox(QStringLiteral("ComboBox11"), kUniprogBaudItems);
    c.ComboBox12 = makeComboBox(QStringLiteral("ComboBox12"), kUniprogBaudItems);
    c.GroupBox7 = uniprogReaderGroup(QStringLiteral("GroupBox7"), QStringLiteral("Reader 1"), c.ComboBox13,
                                     c.ComboBox14, c.ComboBox15);
    c.GroupBox8 = uniprogReaderGroup(QStringLiteral("GroupBox8"), QStringLiteral("Reader 2"), c.ComboBox10,
                                     c.ComboBox11, c.ComboBox12);
    c.Button23 = makeButton(QStringLiteral("Button23"), QStringLiteral("Read Settings"));
    c.Button24 = makeButton(QStringLiteral("Button24"), QStringLiteral("Write Setting"));
    c.Button24->setEnabled(false);
    c.Button25 = makeButton(QStringLiteral("Button25"), QStringLiteral("Factory reset "));
    layout->addWidget(c.GroupBox7, 0, 0);
    layout->addWidget(c.GroupBox8, 0, 1);
    layout->addLayout(buttonColumn({c.Button23, c.Button24}), 0, 2);
    layout->addWidget(c.Button25, 1, 0);
    QLabel* attention = makeLabel(QStringLiteral("Label16"),
                                  QStringLiteral("A T T E N T I O N ,  this reset Reader 1 and Reader 2 to default setting"));
    attention->setWordWrap(true);
    layout->addWidget(attention, 1, 1, 1, 2);
    layout->setRowStretch(2, 1);
    return tab;
}

QWidget* buildSerialTab(SerialControls& c)
{
    QWidget* tab = page(QStringLiteral("TabItem8"));
    auto* layout = new QGridLayout(tab);
    c.Memo1 = makeLogPane(QStringLiteral("Memo1"));
    c.Button26 = makeButton(QStringLiteral("Button26"), QStringLiteral("Read Serial"));
    c.Edit2 = new QLineEdit;
    c.Edit2->setObjectName(QStringLiteral("Edit2"));
    c.Edit2->setMaxLength(static_cast<int>(kUsbSerialLength));
    c.Button100 = makeButton(QStringLiteral("Button100"), QStringLiteral("generate"));
    c.Button27 = makeButton(QStringLiteral("Button27"), QStringLiteral("Write Serial"));
    c.Button100->setEnabled(false);
    c.Button27->setEnabled(false);
    c.ChipList = new QComboBox;
    c.ChipList->setObjectName(QStringLiteral("ChipList"));
    c.ChipList->setToolTip(QStringLiteral("The FTDI chip \"Write Serial\" and \"Restore EEPROM\" write"));
    layout->addWidget(c.Memo1, 0, 0, 4, 1);
    layout->addWidget(c.ChipList, 5, 0, 1, 3);
    layout->addWidget(c.Button26, 0, 1);
    layout->addWidget(c.Edit2, 0, 2);
    layout->addWidget(c.Button100, 1, 2);
    layout->addWidget(c.Button27, 2, 2);
    QLabel* attention = makeLabel(QStringLiteral("Label17"),
                                  QStringLiteral("A T T E N T I O N , You must restart Talvex to take effect ! "));
    attention->setWordWrap(true);
    layout->addWidget(attention, 3, 1, 1, 2);
    layout->setColumnStretch(0, 1);
    return tab;
}

/// Port, buttons outside the tabs, programmer serial number and version.
void buildHeader(SettingsControls& c, QVBoxLayout* layout)
{
    auto* portRow = new QHBoxLayout;
    c.ComboBox1 = makeComboBox(QStringLiteral("ComboBox1"));
    c.ComboBox1->setMinimumWidth(110);
    c.Button1 = makeButton(QStringLiteral("Button1"), QStringLiteral("Connect"));
    c.Button2 = makeButton(QStringLiteral("Button2"), QStringLiteral("Quit"));
    c.AniIndicator1 = makeBusyIndicator(QStringLiteral("AniIndicator1"));
    portRow->addWidget(makeLabel(QStringLiteral("Label1"), QStringLiteral("Selected COM Port:")));
    portRow->addWidget(c.ComboBox1);
    portRow->addWidget(c.Button1);
    portRow->addWidget(c.AniIndicator1);
    portRow->addStretch();
    c.Button16 = makeButton(QStringLiteral("Button16"), QStringLiteral("Set SM mode"));
    c.Button17 = makeButton(QStringLiteral("Button17"), QStringLiteral("Set Bypass mode"));
    c.Button19 = makeButton(QStringLiteral("Button19"), QStringLiteral("test unplug"));
    for (QPushButton* hidden : {c.Button16, c.Button17, c.Button19}) {
        hidden->setVisible(false);
        portRow->addWidget(hidden);
    }
    c.Button18 = makeButton(QStringLiteral("Button18"), QStringLiteral("check version"));
    portRow->addWidget(c.Button18);
    portRow->addWidget(c.Button2);
    layout->addLayout(portRow);

    auto* infoRow = new QGridLayout;
    c.Label7 = makeLabel(QStringLiteral("Label7"), QStringLiteral("Programmer Serial Number:"));
    c.Label8 = makeLabel(QStringLiteral("Label8"), QStringLiteral("Serial"));
    c.Label9 = makeLabel(QStringLiteral("Label9"), QStringLiteral("Firmware Version:"));
    c.Label10 = makeLabel(QStringLiteral("Label10"), QStringLiteral("00.00"));
    c.Label8->setTextInteractionFlags(Qt::TextSelectableByMouse);
    infoRow->addWidget(c.Label7, 0, 0);
    infoRow->addWidget(c.Label8, 0, 1);
    infoRow->addWidget(c.Label9, 1, 0);
    infoRow->addWidget(c.Label10, 1, 1);
    infoRow->setColumnStretch(1, 1);
    layout->addLayout(infoRow);
}

} // namespace

SettingsControls buildSettingsLayout(QDialog* window)
{
    SettingsControls c;
    auto* top = new QVBoxLayout(window);

    c.controls = makeControlsContainer(window);
    auto* controlsLayout = new QVBoxLayout(c.controls);
    controlsLayout->setContentsMargins(0, 0, 0, 0);
    buildHeader(c, controlsLayout);

    c.TabControl1 = new QTabWidget;
    c.TabControl1->setObjectName(QStringLiteral("TabControl1"));
    // Every tab's caption in view: the window grows to fit them.
    c.TabControl1->setUsesScrollButtons(false);
    c.TabControl1->addTab(buildComSpeedTab(c.comSpeed), QStringLiteral("COM speed"));
    c.TabControl1->addTab(buildClockTab(c.clock), QStringLiteral("SmartCard Clock"));
    c.TabControl1->addTab(buildPortTab(c.port), QStringLiteral("SmartCard Port"));
    c.TabControl1->addTab(buildFirmwareTab(c.firmware), QStringLiteral("Firmware"));
    c.TabControl1->addTab(buildAdvancedTab(c.advanced), QStringLiteral("Advanced"));
    c.TabControl1->addTab(buildPhoenixTab(c.phoenix), QStringLiteral("Phoenix mode"));
    c.TabControl1->addTab(buildUniprogTab(c.uniprog), QStringLiteral("Uniprog mode"));
    c.TabControl1->addTab(buildSerialTab(c.serial), QStringLiteral("Serial"));
    controlsLayout->addWidget(c.TabControl1, 1);
    top->addWidget(c.controls, 3);

    auto* logGroup = makeGroup(QStringLiteral("GroupBoxLog"), QStringLiteral("Programmer Control Window"));
    auto* logLayout = new QVBoxLayout(logGroup);
    c.Memo2 = makeLogPane(QStringLiteral("Memo2"));
    logLayout->addWidget(c.Memo2);
    top->addWidget(logGroup, 2);

    window->resize(window->sizeHint().expandedTo(QSize(684, 478)));
    return c;
}

} // namespace talvex
