#include "ui/UiBench.h"
#include "ui/main/PortListDelegate.h"

#include <QListWidget>

using namespace talvex;
using namespace talvex::test;

namespace {

const char* const kSerial = "0123456789ABCDEF0123456789ABCDEF";

} // namespace

TEST(MainWindow, AutomaticDetectShowsTheProgrammerInApplicationMode)
{
    UiBench bench;
    bench.addSilent("COM1");
    bench.addProgrammer("COM3", "COM4");
    TForm3 window(bench.context);
    window.show();

    click(&window, "Button4");
    EXPECT_EQ(text(&window, "Label2"), QString::fromLatin1(kSerial));
    EXPECT_EQ(text(&window, "Label4"), QStringLiteral("1.10"));
    EXPECT_EQ(text(&window, "Label7"), QStringLiteral("COM3"));
    EXPECT_EQ(text(&window, "Label8"), QStringLiteral("COM4"));
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7", "Label8"})
        EXPECT_TRUE(shown(&window, name)) << name;
    EXPECT_TRUE(shown(&window, "Button2"));
    EXPECT_TRUE(shown(&window, "Button1"));
    EXPECT_FALSE(child<QPushButton>(&window, "Button1")->isEnabled());
    EXPECT_TRUE(window.programmerFound());
    EXPECT_EQ(bench.context.detection().versionNumber, 110);

    // Programmer Settings opens the settings window on both reader ports.
    click(&window, "Button2");
    TForm4* settings = window.settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_FALSE(window.isVisible());
    auto* ports = child<QComboBox>(settings, "ComboBox1");
    ASSERT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(text(settings, "Label8"), QString::fromLatin1(kSerial));
    EXPECT_EQ(text(settings, "Label10"), QStringLiteral("1.10"));
    settings->close();
    EXPECT_TRUE(window.isVisible());
}

TEST(MainWindow, AutomaticDetectOfABootLoaderOpensTheSettingsWindowAtOnce)
{
    UiBench bench;
    auto device = bench.addProgrammer("COM5", "COM6");
    device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    TForm3 window(bench.context);
    window.show();

    click(&window, "Button4");
    TForm4* settings = window.settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(text(settings, "Label9"), QStringLiteral("Boot version :"));
    EXPECT_EQ(text(settings, "Label8"), QString::fromLatin1(kSerial));
    auto* ports = child<QComboBox>(settings, "ComboBox1");
    EXPECT_EQ(ports->currentText(), QStringLiteral("COM5"));
    EXPECT_FALSE(ports->isEnabled());

    click(settings, "Button1");
    auto* tabs = child<QTabWidget>(settings, "TabControl1");
    EXPECT_EQ(tabs->currentIndex(), TForm4::FirmwareTab);
    for (int tab = 0; tab < tabs->count(); ++tab)
        EXPECT_EQ(tabs->isTabEnabled(tab), tab == TForm4::FirmwareTab) << tab;
    EXPECT_TRUE(logMessages(settings).contains(QStringLiteral("Programmer in BOOT mode.")));
    EXPECT_TRUE(logMessages(settings).contains(QStringLiteral("Only firmware upload allowed !")));
    EXPECT_EQ(text(settings, "Label12"), QStringLiteral("Select a valid firmware file and press 'Upload' key."));
    settings->close();
}

TEST(MainWindow, AutomaticDetectReportsNoProgrammer)
{
    UiBench quiet;
    quiet.addSilent("COM1");
    TForm3 window(quiet.context);
    window.show();
    click(&window, "Button4");
    EXPECT_EQ(text(&window, "Label11"), QStringLiteral("No Programmer found !"));
    EXPECT_FALSE(shown(&window, "Label2"));
    EXPECT_FALSE(shown(&window, "Button2"));
    EXPECT_FALSE(window.programmerFound());
}

TEST(MainWindow, ManualScanListsProbedPortsAndADoubleClickSearchesThePort)
{
    UiBench bench;
    bench.addSilent("COM1");
    auto device = bench.addProgrammer("COM3", "COM4");
    device->setCardPresent(1, true);
    TForm3 window(bench.context);
    window.show();

    click(&window, "Button3");
    auto* list = child<QListWidget>(&window, "ListBox1");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("COM3"));
    EXPECT_EQ(child<QGroupBox>(&window, "GroupBox2")->title(), QStringLiteral("Serial port to scan (3 found)"));
    ASSERT_EQ(window.probedPorts().size(), 3u);
    EXPECT_EQ(window.probedPorts()[0].probe, ProbeResult::NoProgrammer);
    EXPECT_EQ(window.probedPorts()[1].probe, ProbeResult::ApplicationWithCard);
    EXPECT_EQ(window.probedPorts()[2].probe, ProbeResult::Application);
    EXPECT_FALSE(PortListDelegate::iconFor(ProbeResult::ApplicationWithCard).pixmap(170, 26).isNull());
    EXPECT_TRUE(PortListDelegate::iconFor(ProbeResult::NoProgrammer).isNull());
    EXPECT_EQ(list->visualItemRect(list->item(0)).height(), PortListDelegate::kEntryHeight);

    // The second reader's port, by double click.
    const QRect entry = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    EXPECT_EQ(child<QComboBox>(&window, "ComboBox1")->currentText(), QStringLiteral("COM4"));
    EXPECT_EQ(text(&window, "Label2"), QString::fromLatin1(kSerial));
    EXPECT_EQ(text(&window, "Label10"), QStringLiteral("2"));
    EXPECT_TRUE(shown(&window, "Label9"));
    EXPECT_TRUE(shown(&window, "Button6"));
    EXPECT_FALSE(shown(&window, "Label11"));

    click(&window, "Button6");
    EXPECT_TRUE(window.detectionConfirmed());
    EXPECT_TRUE(shown(&window, "Button2"));
    EXPECT_FALSE(shown(&window, "Label10"));

    click(&window, "Button2");
    auto* ports = child<QComboBox>(window.settingsWindow(), "ComboBox1");
    ASSERT_EQ(ports->count(), 1);
    EXPECT_EQ(ports->currentText(), QStringLiteral("COM4"));
    window.settingsWindow()->close();
}

// Each entry shows its port's USB description after the probe icon; a
// built-in UART shows none. The pointer resting on an entry gets the whole
// identity.
TEST(MainWindow, ManualScanShowsEachPortsUsbDescription)
{
    UiBench bench;
    bench.addSilent("COM1", std::nullopt);
    bench.addSilent("COM2", simusb::cp210x("0001", "1-1"));
    bench.addFtdiProgrammer("COM3", "COM4");
    TForm3 window(bench.context);
    window.show();

    click(&window, "Button3");
    auto* list = child<QListWidget>(&window, "ListBox1");
    ASSERT_EQ(list->count(), 4);
    const auto description = [&](int row) {
        return list->item(row)->data(PortListDelegate::kUsbDescriptionRole).toString();
    };
    EXPECT_EQ(description(0), QString());
    EXPECT_EQ(description(1), QStringLiteral("CP210x 10c4:ea60 0001"));
    EXPECT_EQ(description(2), QStringLiteral("FT2232 0403:6010 TLVX0001A"));
    EXPECT_EQ(description(3), QStringLiteral("FT2232 0403:6010 TLVX0001B"));
    EXPECT_EQ(list->item(3)->text(), QStringLiteral("COM4")) << "the entry's text stays the port's name";
    EXPECT_EQ(list->item(2)->toolTip(), QStringLiteral("FT2232 0403:6010 TLVX0001A\nFTDI TalvexUSB\nUSB 1-4"));
    EXPECT_EQ(list->item(0)->toolTip(), QString());
    EXPECT_EQ(list->item(2)->data(Qt::AccessibleTextRole).toString(),
              QStringLiteral("COM3  FT2232 0403:6010 TLVX0001A"));

    // Painted where the description goes: something on the bridge's entry,
    // nothing on the UART's.
    list->clearSelection();
    list->setCurrentRow(-1);
    QCoreApplication::processEvents(); // the list lays its entries out later
    const QImage shot = list->viewport()->grab().toImage();
    const auto inked = [&](int row) {
        const QRect entry = list->visualItemRect(list->item(row));
        const QRect area(entry.left() + PortListDelegate::kDescriptionLeft, entry.top() + 4,
                         PortListDelegate::kDescriptionWidth - 10, entry.height() - 8);
        const QRgb background = shot.pixel(area.topLeft());
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (shot.pixel(x, y) != background)
                    return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(inked(0));
    EXPECT_TRUE(inked(1));
    EXPECT_TRUE(inked(3));
}

TEST(MainWindow, DetectAndManualScanOnAHostWithoutPorts)
{
    UiBench bench;
    TForm3 window(bench.context);
    window.show();
    click(&window, "Button4");
    EXPECT_EQ(text(&window, "Label11"), QStringLiteral("No Serial Port found!"));
    EXPECT_FALSE(shown(&window, "Button2"));
    click(&window, "Button3");
    EXPECT_EQ(child<QGroupBox>(&window, "GroupBox2")->title(), QStringLiteral("Serial port to scan (0 found)"));
    EXPECT_EQ(text(&window, "Label11"), QStringLiteral("No Serial Port found!"));
    EXPECT_TRUE(shown(&window, "Label11"));

    // Scan Now with an empty list, then with a list but no selection.
    window.Button5Click();
    EXPECT_EQ(text(&window, "Label11"), QStringLiteral("No Serial Port found!"));
    bench.addSilent("COM2");
    click(&window, "Button3");
    // A list selects its first entry by itself; no entry was clicked.
    auto* list = child<QListWidget>(&window, "ListBox1");
    auto* ports = child<QComboBox>(&window, "ComboBox1");
    ASSERT_EQ(ports->count(), 1);
    list->setCurrentRow(-1);
    ports->setCurrentIndex(-1);
    const int opensAfterScan = bench.host.openAttempts("COM2");
    window.Button5Click();
    EXPECT_EQ(text(&window, "Label11"), QStringLiteral("No Programmer found!"));
    EXPECT_TRUE(shown(&window, "Label11"));
    // Nothing to search: no port was touched.
    EXPECT_EQ(bench.host.openAttempts("COM2"), opensAfterScan);
    EXPECT_FALSE(window.programmerFound());
    EXPECT_FALSE(shown(&window, "Label2"));
    EXPECT_FALSE(shown(&window, "Button6"));
    window.Button6Click();
    EXPECT_FALSE(shown(&window, "Button2"));
    EXPECT_FALSE(shown(&window, "Button1"));
}

TEST(MainWindow, ControlsAreInertWhileADetectionRuns)
{
    UiBench bench;
    bench.addProgrammer("COM3", "COM4");
    TForm3 window(bench.context);
    window.show();
    int clicksTried = 0;
    bench.context.setPump([&] {
        QCoreApplication::processEvents();
        if (clicksTried++ == 0) {
            auto* manual = window.findChild<QPushButton*>(QStringLiteral("Button3"));
            EXPECT_FALSE(manual->isEnabled());
            QTest::mouseClick(manual, Qt::LeftButton);
            // Nor may a batch start searching the ports under the detection.
            auto* batch = window.findChild<QPushButton*>(QStringLiteral("BatchButton"));
            EXPECT_FALSE(batch->isEnabled());
            QTest::mouseClick(batch, Qt::LeftButton);
            EXPECT_TRUE(window.operationRunning());
        }
    });
    click(&window, "Button4");
    EXPECT_GT(clicksTried, 0);
    // The manual scan did not run: the list is still empty.
    EXPECT_EQ(child<QListWidget>(&window, "ListBox1")->count(), 0);
    EXPECT_EQ(window.batchWindow(), nullptr);
    EXPECT_FALSE(window.operationRunning());
    EXPECT_TRUE(child<QPushButton>(&window, "Button3")->isEnabled());
}

TEST(MainWindow, NewerVersionsNamedByTheServerAreShownAfterADetection)
{
    UiBench bench;
    bench.addProgrammer("COM3", "COM4"); // firmware 1.10
    TForm3 window(bench.context);
    window.show();
    auto server = serveVersions("fwversion=111\r\nswversion=10502\r\n");
    bench.useVersionServer(server->port());

    // The notice is modal: answer it as a user would, and note what it said.
    QString shownText;
    QTimer answerer;
    answerer.setInterval(10);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->objectName() == QStringLiteral("wnd_message")) {
                answerer.stop();
                shownText = top->findChild<QLabel*>(QStringLiteral("Label1"))->text();
                QTest::mouseClick(top->findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
            }
        }
    });
    answerer.start();
    click(&window, "Button4");
    answerer.stop();
    EXPECT_TRUE(server->request().starts_with("GET /version.html"));
    EXPECT_EQ(bench.context.latestVersions().latestFwVersion, 111);
    EXPECT_EQ(bench.context.latestVersions().latestSwVersion, 10502);
    EXPECT_TRUE(shownText.contains(QStringLiteral("rev. 1.11"))) << shownText.toStdString();
    EXPECT_TRUE(shownText.contains(QStringLiteral("1.05.02"))) << shownText.toStdString();
    EXPECT_EQ(text(&window, "Label2"), QString::fromLatin1(kSerial));
}
