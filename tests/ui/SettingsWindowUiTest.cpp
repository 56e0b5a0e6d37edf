#include "ui/UiBench.h"
#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedFtdiBus.h"
#include "ui/common/LogPane.h"

#include <QComboBox>
#include <QLineEdit>

#include <QRegularExpression>
#include <QSpinBox>

using namespace talvex;
using namespace talvex::test;
using Bytes = std::vector<std::uint8_t>;

using SettingsBench = SettingsWindowBench;

TEST(SettingsWindow, ConnectChoosesTabsBySpeedVariant)
{
    {
        SettingsBench bench;
        bench.connect();
        EXPECT_EQ(bench.enabledTabs(), (std::vector<int>{TForm4::ComSpeedTab, TForm4::ClockTab, TForm4::PortTab,
                                                         TForm4::FirmwareTab, TForm4::AdvancedTab}));
        EXPECT_EQ(bench.tabs()->currentIndex(), TForm4::ClockTab);
        EXPECT_EQ(text(bench.window.get(), "Button1"), QStringLiteral("Disconnect"));
        EXPECT_EQ(text(bench.window.get(), "Label9"), QStringLiteral("Firmware version :"));
        EXPECT_EQ(text(bench.window.get(), "Label10"), QStringLiteral("1.10"));
        EXPECT_FALSE(child<QComboBox>(bench.window.get(), "ComboBox1")->isEnabled());
        EXPECT_EQ(bench.log(), (QStringList{QStringLiteral("Attempting to open COM Port..."),
                                            QStringLiteral("COM3 Port opened successfully!"),
                                            QStringLiteral("Programmer in PROGRAM mode.")}));
        // Each line stamped with the time, each ended with CR LF.
        const QString log = child<LogPane>(bench.window.get(), "Memo2")->logText();
        EXPECT_TRUE(log.endsWith(QStringLiteral("\r\n")));
        for (const QString& line : log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\S")).match(line).hasMatch())
                << line.toStdString();
    }
    {
        SettingsBench bench(SpeedVariant::LowSpeed1);
        bench.connect();
        EXPECT_EQ(bench.context.ports().a.currentSettings()->baudRate, 9600u);
        EXPECT_EQ(bench.enabledTabs(), (std::vector<int>{TForm4::FirmwareTab, TForm4::PhoenixTab}));
        EXPECT_EQ(bench.tabs()->currentIndex(), TForm4::PhoenixTab);
    }
    {
        SettingsBench bench(SpeedVariant::LowSpeed2);
        bench.connect();
        EXPECT_EQ(bench.enabledTabs(), (std::vector<int>{TForm4::FirmwareTab, TForm4::UniprogTab}));
        EXPECT_EQ(bench.tabs()->currentIndex(), TForm4::UniprogTab);
    }
    {
        SettingsBench bench;
        bench.device->setSilent(true);
        bench.connect();
        EXPECT_FALSE(bench.tabs()->isEnabled());
        EXPECT_EQ(text(bench.window.get(), "Button1"), QStringLiteral("Disconnect"));
        EXPECT_TRUE(bench.log().contains(QStringLiteral("No Programmer found !")));
    }
}

TEST(SettingsWindow, FreshWindowOffersOnlyTheSerialTabAndAPortThatWillNotOpenLeavesItSo)
{
    SettingsBench bench(SpeedVariant::Normal, "COM9");
    TForm4* window = bench.window.get();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Talvex Settings"));
    EXPECT_FALSE(bench.mainWindow.isVisible());
    EXPECT_EQ(bench.enabledTabs(), std::vector<int>{TForm4::SerialTab});
    EXPECT_FALSE(child<QPushButton>(window, "Button10")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(window, "Button12")->isEnabled());
    EXPECT_FALSE(shown(window, "Button16"));
    EXPECT_FALSE(shown(window, "Button19"));
    EXPECT_EQ(text(window, "Button1"), QStringLiteral("Connect"));

    bench.connect();
    ASSERT_EQ(bench.log().value(1), QStringLiteral("ERROR: COM9 Port open error!"));
    EXPECT_TRUE(bench.log().value(2).contains(QStringLiteral("COM9")));
    EXPECT_EQ(text(bench.window.get(), "Button1"), QStringLiteral("Connect"));
    EXPECT_TRUE(child<QPushButton>(bench.window.get(), "Button1")->isEnabled());
    EXPECT_FALSE(bench.window->portConnected());
    // The serial tab stays in reach.
    EXPECT_TRUE(bench.tabs()->isEnabled());
    EXPECT_EQ(bench.enabledTabs(), std::vector<int>{TForm4::SerialTab});
    bench.showTab(TForm4::SerialTab);
    EXPECT_TRUE(shown(bench.window.get(), "Button26"));
    EXPECT_TRUE(child<QComboBox>(bench.window.get(), "ComboBox1")->isEnabled());
}

TEST(SettingsWindow, AnEmptyPortEntryIsNoPortSelected)
{
    // Reader 2's port is held by another program: the detection finds
    // reader 1 only and the main window lists an empty second port.
    UiBench bench;
    bench.addProgrammer("COM3", "COM4");
    bench.host.markBusy("COM4");
    TForm3 mainWindow(bench.context);
    mainWindow.show();
    click(&mainWindow, "Button4");
    click(&mainWindow, "Button2");
    TForm4* window = mainWindow.settingsWindow();
    ASSERT_NE(window, nullptr);
    auto* ports = child<QComboBox>(window, "ComboBox1");
    ASSERT_EQ(ports->count(), 2);
    ASSERT_EQ(ports->itemText(1), QString());
    ports->setCurrentIndex(1);
    const int attemptsBefore = bench.host.openAttempts("");

    click(window, "Button1");
    EXPECT_EQ(logMessages(window), QStringList{QStringLiteral("ERROR: NO COM PORT SELECTED")});
    EXPECT_EQ(bench.host.openAttempts(""), attemptsBefore);
    EXPECT_EQ(text(window, "Button1"), QStringLiteral("Connect"));
    EXPECT_TRUE(child<QPushButton>(window, "Button1")->isEnabled());
    EXPECT_TRUE(child<QTabWidget>(window, "TabControl1")->isTabEnabled(TForm4::SerialTab));
    window->close();
}

TEST(SettingsWindow, ClockWriteSendsItsBytesAndTheDeviceKeepsTheClock)
{
    SettingsBench bench(SpeedVariant::Normal, "COM4");
    TForm4* window = bench.window.get();
    bench.connect();
    EXPECT_FALSE(child<QPushButton>(window, "Button3")->isEnabled());

    click(window, "Button_read_settings");
    EXPECT_TRUE(isChecked(window, "smartcard_reader_2"));
    EXPECT_TRUE(isChecked(window, "clock_400"));
    EXPECT_TRUE(isChecked(window, "RadioButton13"));
    check(window, "clock_800");
    bench.device->clearReceivedCommands();
    click(window, "Button3");
    const auto seen = commandsSeen(*bench.device);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), (Bytes{0x02, 0x01, 0x05}));
    EXPECT_EQ(bench.log().back(), QStringLiteral("Clock set OK !"));
    EXPECT_TRUE(child<QPushButton>(window, "Button12")->isEnabled());

    click(window, "Button_read_settings");
    EXPECT_TRUE(isChecked(window, "clock_800"));
    EXPECT_FALSE(isChecked(window, "clock_400"));
}

TEST(SettingsWindow, CardPortWriteAndItsErrorLine)
{
    SettingsBench bench;
    TForm4* window = bench.window.get();
    bench.connect();
    bench.showTab(TForm4::PortTab);
    click(window, "Button7");
    EXPECT_TRUE(isChecked(window, "RadioButton5"));
    EXPECT_TRUE(isChecked(window, "RadioButton9"));
    check(window, "RadioButton11");
    bench.device->clearReceivedCommands();
    click(window, "Button6");
    EXPECT_EQ(commandsSeen(*bench.device).back(), (Bytes{0x03, 0x00, 0x02, 0x01, 0x00}));
    EXPECT_EQ(bench.log().back(), QStringLiteral("SmartCard Speed set OK !"));
    EXPECT_TRUE(child<QPushButton>(window, "Button10")->isEnabled());

    click(window, "Button7");
    EXPECT_TRUE(isChecked(window, "RadioButton11"));

    // A refusing device: error line, Save stays as it was.
    bench.device->setAnswerFilter([](const auto&, Bytes answer) {
        if (!answer.empty() && answer[0] == 0x02)
            answer[1] = 0x01;
        return answer;
    });
    bench.showTab(TForm4::ClockTab);
    click(window, "Button_read_settings");
    click(window, "Button3");
    EXPECT_EQ(bench.log().back(), QStringLiteral("Clock set ERROR !"));
    EXPECT_FALSE(child<QPushButton>(window, "Button12")->isEnabled());

    bench.showTab(TForm4::PortTab);
    click(window, "Button10");
    EXPECT_EQ(bench.log().back(), QStringLiteral("OK, setting stored in flash memory."));
    bench.showTab(TForm4::ClockTab);
    click(window, "Button13");
    EXPECT_EQ(bench.log().back(), QStringLiteral("OK, setting set to factory default."));

    // Unplugged as the next write goes out: the error line, then why.
    bench.device->setAnswerFilter([device = bench.device.get()](const auto&, Bytes) {
        device->setPlugged(false);
        return Bytes{};
    });
    click(window, "Button3");
    const QStringList log = bench.log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[log.size() - 2], QStringLiteral("Clock set ERROR !"));
    EXPECT_EQ(log.back(), QStringLiteral("The programmer on COM3 is gone (unplugged?): plug it in again and connect."));
}

TEST(SettingsWindow, AdvancedWriteFollowsItsEnablingRulesAndADisconnectClearsTheChoices)
{
    SettingsBench bench;
    TForm4* window = bench.window.get();
    bench.connect();
    bench.showTab(TForm4::AdvancedTab);
    auto* write = child<QPushButton>(window, "Button20");
    EXPECT_FALSE(write->isEnabled());

    check(window, "RadioButton14");
    EXPECT_TRUE(child<QGroupBox>(window, "GroupBox4")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>(window, "GroupBox6")->isEnabled());
    child<QComboBox>(window, "ComboBox2")->setCurrentIndex(1);
    child<QComboBox>(window, "ComboBox3")->setCurrentIndex(1);
    child<QComboBox>(window, "ComboBox4")->setCurrentIndex(2);
    child<QComboBox>(window, "ComboBox5")->setCurrentIndex(6);
    child<QComboBox>(window, "ComboBox6")->setCurrentIndex(3);
    EXPECT_FALSE(write->isEnabled()); // com 2 parity still empty
    child<QComboBox>(window, "ComboBox7")->setCurrentIndex(3);
    EXPECT_TRUE(write->isEnabled());
    click(window, "Button20");
    EXPECT_EQ(commandsSeen(*bench.device).back(),
              (Bytes{0xFD, 0x01, 0x00, 0x02, 0x02, 0x01, 0x01, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(bench.log().back(), QStringLiteral("Talvex set mode OK !"));

    check(window, "RadioButton16");
    EXPECT_FALSE(child<QGroupBox>(window, "GroupBox4")->isEnabled());
    EXPECT_FALSE(write->isEnabled());
    child<QComboBox>(window, "ComboBox8")->setCurrentIndex(2);
    child<QComboBox>(window, "ComboBox9")->setCurrentIndex(0);
    child<QCheckBox>(window, "CheckBox1")->setChecked(true);
    EXPECT_FALSE(child<QSpinBox>(window, "SpinBox2")->isEnabled());
    EXPECT_TRUE(write->isEnabled());
    click(window, "Button20");
    EXPECT_EQ(commandsSeen(*bench.device).back(), (Bytes{0xFD, 0x02, 0x00, 0x02, 0xFF}));

    // A disconnect clears every radio button.
    click(window, "Button1");
    EXPECT_EQ(bench.log().back(), QStringLiteral("COM3 Port closed successfully!"));
    EXPECT_FALSE(bench.context.ports().a.isOpen());
    EXPECT_EQ(bench.enabledTabs(), std::vector<int>{TForm4::SerialTab});
    for (QRadioButton* radio : window->findChildren<QRadioButton*>())
        EXPECT_FALSE(radio->isChecked()) << radio->objectName().toStdString();
}

TEST(SettingsWindow, PhoenixReadAndWriteOnTheFirstLowSpeedBuild)
{
    SettingsBench bench(SpeedVariant::LowSpeed1);
    TForm4* window = bench.window.get();
    bench.connect();
    click(window, "Button21");
    EXPECT_TRUE(isChecked(window, "ph_clock_3"));
    EXPECT_TRUE(isChecked(window, "ph_reader_1"));
    check(window, "ph_clock_7");
    bench.device->clearReceivedCommands();
    click(window, "Button22");
    EXPECT_EQ(commandsSeen(*bench.device).back(), (Bytes{0x77, 0x00, 0x07}));
    EXPECT_EQ(bench.log().back(), QStringLiteral("Clock set OK !"));
    click(window, "Button21");
    EXPECT_TRUE(isChecked(window, "ph_clock_7"));
}

TEST(SettingsWindow, UniprogReadSelectsTheListsAndAWriteSendsThem)
{
    SettingsBench bench(SpeedVariant::LowSpeed2);
    DeviceSettings preset = bench.device->settings();
    preset.uniprog = {0x03, 0xFF, 0x01, 0x02, 0xFF, 0x00};
    bench.device->setSettings(preset);
    TForm4* window = bench.window.get();
    bench.connect();

    click(window, "Button23");
    EXPECT_EQ(bench.log().back(), QStringLiteral("Talvex get parameters OK !"));
    EXPECT_EQ(child<QComboBox>(window, "ComboBox13")->currentText(), QStringLiteral("4.00   Mhz"));
    EXPECT_EQ(child<QComboBox>(window, "ComboBox10")->currentText(), QStringLiteral("Default"));
    EXPECT_EQ(child<QComboBox>(window, "ComboBox14")->currentText(), QStringLiteral("38400"));
    EXPECT_EQ(child<QComboBox>(window, "ComboBox11")->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(child<QComboBox>(window, "ComboBox15")->currentText(), QStringLiteral("Default"));
    EXPECT_EQ(child<QComboBox>(window, "ComboBox12")->currentText(), QStringLiteral("9600"));
    EXPECT_TRUE(child<QGroupBox>(window, "GroupBox7")->isEnabled());

    child<QComboBox>(window, "ComboBox10")->setCurrentIndex(6);
    bench.device->clearReceivedCommands();
    click(window, "Button24");
    EXPECT_EQ(commandsSeen(*bench.device).back(),
              (Bytes{0x44, 0x00, 0x03, 0x07, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(bench.log().back(), QStringLiteral("Talvex set parameters OK !"));

    click(window, "Button25");
    EXPECT_EQ(bench.log().back(), QStringLiteral("Talvex reset to default !"));
}

TEST(SettingsWindow, AWriteRefusedForAnEmptyListPutsTheFocusOnThatList)
{
    SettingsBench bench(SpeedVariant::LowSpeed2);
    TForm4* window = bench.window.get();
    bench.connect();
    click(window, "Button23");
    auto* baud1 = child<QComboBox>(window, "ComboBox14");
    baud1->setCurrentIndex(-1);
    bench.device->clearReceivedCommands();

    click(window, "Button24");
    EXPECT_TRUE(commandsSeen(*bench.device).empty());
    EXPECT_EQ(bench.log().back(),
              QStringLiteral("Set parameters ERROR ! No choice made for Reader 1 baud: nothing sent."));
    EXPECT_EQ(window->focusWidget(), baud1);
    EXPECT_FALSE(window->operationRunning());
}

TEST(SettingsWindow, ASecondClickDuringAnExchangeStartsNothing)
{
    SettingsBench bench;
    TForm4* window = bench.window.get();
    bench.connect();
    click(window, "Button_read_settings");
    check(window, "clock_600");
    bench.device->clearReceivedCommands();

    int attempts = 0;
    bench.context.setPump([&] {
        QCoreApplication::processEvents();
        auto* write = window->findChild<QPushButton*>(QStringLiteral("Button3"));
        auto* read = window->findChild<QPushButton*>(QStringLiteral("Button_read_settings"));
        if (window->operationRunning() && attempts++ == 0) {
            QTest::mouseClick(write, Qt::LeftButton);
            QTest::mouseClick(read, Qt::LeftButton);
            EXPECT_FALSE(window->close());
        }
    });
    click(window, "Button3");
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(commandsSeen(*bench.device), (std::vector<Bytes>{{0x02, 0x00, 0x04}}));
    EXPECT_EQ(bench.log().back(), QStringLiteral("Clock set OK !"));
    EXPECT_TRUE(window->isVisible());
}

TEST(SettingsWindow, CheckVersionLogsWhatTheServerNames)
{
    SettingsBench bench;
    auto server = serveVersions("fwversion=105\nswversion=10502\n");
    bench.useVersionServer(server->port());
    click(bench.window.get(), "Button18");
    const QStringList log = bench.log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[log.size() - 2], QStringLiteral("Latest version available for Talvex firmware rev. 1.5"));
    EXPECT_EQ(log.back(), QStringLiteral("Latest version available for TalvexUSB-Setting Manager software 1.05.02"));
}

TEST(SettingsWindow, SerialTabListsGeneratesAndWritesTheUsbSerial)
{
    UiBench bench;
    auto ftdi = std::make_shared<SimulatedFtdi>();
    bench.context.setUsbSerialLibrary([ftdi] { return D2xxLoadResult{ftdi, {}}; });
    bench.addProgrammer("COM3", "COM4");
    QWidget mainWindow;
    TForm4 window(bench.context, &mainWindow);
    window.setPorts({QStringLiteral("COM3")}, true);
    window.setSerialText(QStringLiteral("0123456789ABCDEF0123456789ABCDEF"));
    window.show();
    ASSERT_EQ(child<QTabWidget>(&window, "TabControl1")->currentIndex(), TForm4::SerialTab);
    EXPECT_FALSE(child<QPushButton>(&window, "Button100")->isEnabled());

    click(&window, "Button26");
    const QString listing = child<LogPane>(&window, "Memo1")->logText();
    EXPECT_TRUE(listing.contains(QStringLiteral("Device 1:"))) << listing.toStdString();
    EXPECT_TRUE(listing.contains(QStringLiteral("SerialNumber=TLVX0001B")));
    EXPECT_TRUE(child<QPushButton>(&window, "Button100")->isEnabled());

    click(&window, "Button100");
    auto* edit = child<QLineEdit>(&window, "Edit2");
    EXPECT_EQ(edit->text(), QStringLiteral("EF012345"));
    click(&window, "Button27");
    const QString log = child<LogPane>(&window, "Memo2")->logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Write serial number: EF012345 OK."))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("EEPROM verified")));

    // Connected, the tab is out of reach.
    click(&window, "Button1");
    EXPECT_FALSE(child<QTabWidget>(&window, "TabControl1")->isTabEnabled(TForm4::SerialTab));
}

TEST(SettingsWindow, SerialTabWritesOnlyTheChipChosenInItsList)
{
    UiBench bench;
    auto first = std::make_shared<SimulatedFtdi>("TLVX0001", 1);
    auto second = std::make_shared<SimulatedFtdi>("TLVX0002", 2);
    auto chips = std::make_shared<SimulatedFtdiBus>(std::vector<std::shared_ptr<SimulatedFtdi>> {first, second});
    bench.context.setUsbSerialLibrary([chips] { return D2xxLoadResult {chips, {}}; });
    bench.addProgrammer("COM3", "COM4");
    QWidget mainWindow;
    TForm4 window(bench.context, &mainWindow);
    window.setPorts({QStringLiteral("COM3")}, true);
    window.show();
    const auto firstBefore = first->eepromPart();
    const auto secondBefore = second->eepromPart();

    click(&window, "Button26");
    auto* list = child<QComboBox>(&window, "ChipList");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentIndex(), 0) << "two programmer chips and a port that tells nothing: the user chooses";
    child<QLineEdit>(&window, "Edit2")->setText(QStringLiteral("NEW00002"));
    click(&window, "Button27");
    EXPECT_TRUE(child<LogPane>(&window, "Memo2")->logText().contains(QStringLiteral("nothing was written")));
    EXPECT_EQ(first->eepromPart(), firstBefore);
    EXPECT_EQ(second->eepromPart(), secondBefore);

    list->setCurrentIndex(2);
    emit list->activated(2);
    EXPECT_TRUE(list->currentText().startsWith(QStringLiteral("TLVX0002"))) << list->currentText().toStdString();
    click(&window, "Button27");
    EXPECT_TRUE(child<LogPane>(&window, "Memo2")->logText().contains(QStringLiteral("Write serial number: NEW00002 OK.")));
    EXPECT_EQ(first->eepromPart(), firstBefore);
    second->replug();
    EXPECT_EQ(second->chip().enumeration().serial, "NEW00002");
}
