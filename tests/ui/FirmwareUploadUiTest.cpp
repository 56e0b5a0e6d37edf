#include "sim/SimulatedFtdi.h"
#include "ui/UiBench.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include <fstream>
#include <optional>

using namespace talvex;
using namespace talvex::test;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t kImageSize = 102400;

/// A settings window connected to a programmer in its application, with a
/// firmware file ready on the Firmware tab.
struct UploadBench : SettingsWindowBench {
    std::shared_ptr<SimulatedFtdi> ftdi = std::make_shared<SimulatedFtdi>();
    QTemporaryDir directory;
    Bytes image;

    UploadBench()
    {
        context.setUsbSerialLibrary([this] { return D2xxLoadResult{ftdi, {}}; });
        open("COM3"); // with the library
        // Pulled a few polls after going back to boot, back after a few opens.
        device->setPlugScript({2, 3, {}});
        image.resize(kImageSize);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        connect();
        tabs()->setCurrentIndex(TForm4::FirmwareTab);
    }

    QString writeFile(const char* name, const Bytes& bytes)
    {
        const QString path = directory.filePath(QString::fromLatin1(name));
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        child<QLineEdit>(window.get(), "Edit1")->setText(path);
        return path;
    }
};

} // namespace

TEST(FirmwareUploadWindow, UploadFromTheApplicationGoesBackToBootAndSucceeds)
{
    UploadBench bench;
    TForm4* window = bench.window.get();
    bench.writeFile("firmware.BIN", bench.image);
    child<QCheckBox>(window, "CheckBox2")->setChecked(true);

    bool sawLock = false;
    bench.context.setPump([&] {
        QCoreApplication::processEvents();
        if (!sawLock && window->uploadRunning()) {
            sawLock = true;
            EXPECT_FALSE(window->close());
            QTest::keyClick(window, Qt::Key_Escape);
            EXPECT_TRUE(window->isVisible());
            EXPECT_FALSE(child<QPushButton>(window, "Button1")->isEnabled());
            EXPECT_FALSE(child<QPushButton>(window, "Button2")->isEnabled());
            EXPECT_FALSE(child<QPushButton>(window, "Button18")->isEnabled());
            EXPECT_FALSE(shown(window, "Button9"));
            auto* tabs = child<QTabWidget>(window, "TabControl1");
            for (int tab = 0; tab < tabs->count(); ++tab)
                EXPECT_EQ(tabs->isTabEnabled(tab), tab == TForm4::FirmwareTab) << tab;
        }
    });
    MessageBoxAnswerer answers;
    click(window, "Button9");

    EXPECT_TRUE(sawLock);
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_EQ(answers.texts[0], QStringLiteral("Uploading firmware successfully finished ! "
                                               "Please, unplug the reader to restart-it."));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
    const QStringList log = bench.log();
    for (const char* line : {"Application Mode.", "Back to boot succesfull", "serching for Talvex ...",
                             "Ok, found Talvex ...", "Erase Application successful.", "Programming Finished!"})
        EXPECT_TRUE(log.contains(QString::fromLatin1(line))) << line;
    // Serialize ran between the verdict and the last line.
    const auto written = std::find_if(log.begin(), log.end(), [](const QString& line) {
        return line.startsWith(QStringLiteral("Write serial number: EF012345 OK."));
    });
    ASSERT_NE(written, log.end());
    EXPECT_LT(written - log.begin(), log.indexOf(QStringLiteral("Programming Finished!")));

    // Unlocked, reset and connected again.
    EXPECT_FALSE(window->uploadRunning());
    EXPECT_TRUE(shown(window, "Button9"));
    EXPECT_TRUE(child<QPushButton>(window, "Button1")->isEnabled());
    EXPECT_EQ(text(window, "Button1"), QStringLiteral("Disconnect"));
    EXPECT_EQ(child<QProgressBar>(window, "ProgressBar1")->value(), 0);
    EXPECT_EQ(text(window, "Label14"), QString());
    EXPECT_TRUE(bench.context.ports().a.isOpen());

    // Once unlocked, Escape closes it, leaves the port and shows the main window.
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(bench.context.ports().a.isOpen());
    EXPECT_TRUE(bench.mainWindow.isVisible());
}

TEST(FirmwareUploadWindow, FlashErrorEndsWithItsMessageAndUnlocks)
{
    UploadBench bench;
    bench.device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    TForm4* window = bench.window.get();
    click(window, "Button1"); // disconnect
    click(window, "Button1"); // connect to the boot loader
    EXPECT_EQ(text(window, "Label9"), QStringLiteral("Boot version :"));
    bench.writeFile("firmware.bin", Bytes(5000, 0x42));
    bench.device->injectBlockFault(12, BlockFault::FlashError);

    MessageBoxAnswerer answers;
    click(window, "Button9");
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_EQ(answers.texts[0],
              QStringLiteral("Unplug the programmer and retry.Problem to writing in flash memory, uploading failed."));
    const QStringList log = bench.log();
    EXPECT_TRUE(log.contains(QStringLiteral("UNRECOVERABLE ERROR !!!")));
    EXPECT_FALSE(window->uploadRunning());
    EXPECT_TRUE(shown(window, "Button9"));
    EXPECT_TRUE(child<QPushButton>(window, "Button2")->isEnabled());
}

// How soon the upload ends is tests/firmware's; here what the window shows.
TEST(FirmwareUploadWindow, ProgrammerUnpluggedMidUploadShowsItsVerdictAndUnlocks)
{
    UploadBench bench;
    TForm4* window = bench.window.get();
    SimulatedProgrammer::PlugScript hands{2, 3, {}, 1000};
    bench.device->setPlugScript(hands);
    bench.writeFile("firmware.bin", bench.image);

    MessageBoxAnswerer answers;
    click(window, "Button9");

    EXPECT_EQ(answers.texts, QStringList{QStringLiteral(
                                 "Uploading failed.The programmer was unplugged: plug it in again and retry.")});
    EXPECT_EQ(bench.device->acceptedBlocks(), 1000);
    const QStringList log = bench.log();
    EXPECT_TRUE(log.contains(QStringLiteral("ERROR: the programmer was unplugged during the upload !")));
    // Unlocked. Still unplugged, so connecting again failed: not connected.
    EXPECT_FALSE(window->uploadRunning());
    EXPECT_FALSE(window->operationRunning());
    EXPECT_TRUE(child<QWidget>(window, "Controls")->isEnabled());
    EXPECT_TRUE(shown(window, "Button9"));
    for (const char* name : {"Button1", "Button2", "Button18"})
        EXPECT_TRUE(child<QPushButton>(window, name)->isEnabled()) << name;
    EXPECT_TRUE(log.contains(QStringLiteral("ERROR: COM3 Port open error!")));
    EXPECT_EQ(text(window, "Button1"), QStringLiteral("Connect"));
    EXPECT_FALSE(window->portConnected());
    EXPECT_TRUE(child<QComboBox>(window, "ComboBox1")->isEnabled());
    EXPECT_TRUE(child<QTabWidget>(window, "TabControl1")->isTabEnabled(TForm4::SerialTab));

    EXPECT_TRUE(window->close());
    EXPECT_TRUE(bench.mainWindow.isVisible());
}

TEST(FirmwareUploadWindow, FileChecksComeBeforeAnyLock)
{
    UploadBench bench;
    TForm4* window = bench.window.get();
    child<QLineEdit>(window, "Edit1")->setText(bench.directory.filePath(QStringLiteral("missing.bin")));
    click(window, "Button9");
    EXPECT_EQ(text(window, "Label12"), QStringLiteral("File not found !"));
    bench.writeFile("firmware.hex", bench.image);
    click(window, "Button9");
    EXPECT_EQ(text(window, "Label12"), QStringLiteral("File not in .bin format !"));
    EXPECT_FALSE(window->uploadRunning());
    EXPECT_TRUE(bench.device->programmedImage().empty() || bench.device->acceptedBlocks() == 0);
    EXPECT_TRUE(child<QPushButton>(window, "Button1")->isEnabled());
}
