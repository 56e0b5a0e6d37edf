// Drives the real windows against the simulated programmer (in virtual
// time, so it takes a second) and saves PNG pictures of them:
//   talvex-screenshots OUTPUT_DIR
// Run it under Xvfb for a desktop rendering (scripts/screenshots.sh).

#include "common/LockstepClock.h"
#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimulatedBench.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"
#include "ui/batch/BatchForm.h"
#include "ui/common/DesktopStyle.h"
#include "ui/cardtool/TForm1.h"
#include "ui/cardtool/TRead.h"
#include "ui/main/TForm3.h"
#include "ui/settings/TForm4.h"

#include <QAbstractButton>
#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedFtdiBus.h"

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <fstream>

using namespace talvex;

namespace {

struct Bench {
    VirtualClock clock;
    SimulatedPortHost host{clock};
    SimulatedProgrammer device;
    ApplicationContext context{host, clock, [] { QCoreApplication::processEvents(); }};

    explicit Bench(SpeedVariant variant = SpeedVariant::Normal)
        : device(variant, "3A7F0C12D45E6B8890A1B2C3D4E5F607")
    {
        device.attachTo(host, "COM3", "COM4");
        device.setCardPresent(1, true);
    }
};

void press(QWidget* root, const char* name)
{
    if (auto* button = root->findChild<QAbstractButton*>(QString::fromLatin1(name)))
        QTest::mouseClick(button, Qt::LeftButton);
}

// The main window finds the programmer, then opens the settings window on it.
TForm4* detectAndOpenSettings(TForm3& main)
{
    press(&main, "Button4");
    press(&main, "Button2");
    return main.settingsWindow();
}

bool save(QWidget* window, const QString& directory, const char* file)
{
    QCoreApplication::processEvents();
    const QString path = QDir(directory).filePath(QString::fromLatin1(file));
    const bool saved = window->grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    applyDesktopStyle(application);
    if (argc < 2) {
        std::fprintf(stderr, "usage: talvex-screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(directory);
    bool ok = true;

    {
        Bench bench;
        TForm3 main(bench.context);
        main.show();
        press(&main, "Button4");
        ok &= save(&main, directory, "main-window-detected.png");
        press(&main, "Button3");
        auto* list = main.findChild<QListWidget*>(QStringLiteral("ListBox1"));
        if (list && list->count() > 0)
            list->setCurrentRow(0);
        ok &= save(&main, directory, "main-window-manual-scan.png");

        press(&main, "Button2");
        TForm4* settings = main.settingsWindow();
        press(settings, "Button1");
        press(settings, "Button_read_settings");
        ok &= save(settings, directory, "settings-window-clock.png");
        settings->findChild<QTabWidget*>(QStringLiteral("TabControl1"))->setCurrentIndex(TForm4::AdvancedTab);
        settings->findChild<QAbstractButton*>(QStringLiteral("RadioButton14"))->setChecked(true);
        for (const char* name : {"ComboBox2", "ComboBox3", "ComboBox4", "ComboBox5", "ComboBox6", "ComboBox7"})
            settings->findChild<QComboBox*>(QString::fromLatin1(name))->setCurrentIndex(1);
        ok &= save(settings, directory, "settings-window-advanced.png");
        settings->close();
    }
    {
        // The Serial tab with two programmer chips listed, the second chosen.
        Bench bench;
        auto chips = std::make_shared<SimulatedFtdiBus>(std::vector<std::shared_ptr<SimulatedFtdi>> {
            std::make_shared<SimulatedFtdi>("TLVX0001", 1), std::make_shared<SimulatedFtdi>("TLVX0002", 2)});
        bench.context.setUsbSerialLibrary([chips] { return D2xxLoadResult {chips, {}}; });
        TForm3 main(bench.context);
        main.show();
        TForm4* settings = detectAndOpenSettings(main);
        press(settings, "Button26");
        if (auto* list = settings->findChild<QComboBox*>(QStringLiteral("ChipList"))) {
            list->setCurrentIndex(2);
            emit list->activated(2);
        }
        ok &= save(settings, directory, "settings-window-serial.png");
        settings->close();
    }
    {
        Bench bench(SpeedVariant::LowSpeed2);
        TForm3 main(bench.context);
        main.show();
        TForm4* settings = detectAndOpenSettings(main);
        press(settings, "Button1");
        press(settings, "Button23");
        ok &= save(settings, directory, "settings-window-uniprog.png");
        settings->close();
    }
    {
        // The Firmware tab half way through an upload from the application.
        Bench bench;
        bench.device.setPlugScript({2, 3, {}});
        TForm3 main(bench.context);
        main.show();
        TForm4* settings = detectAndOpenSettings(main);
        press(settings, "Button1");
        settings->findChild<QTabWidget*>(QStringLiteral("TabControl1"))->setCurrentIndex(TForm4::FirmwareTab);
        QTemporaryDir files;
        const QString file = files.filePath(QStringLiteral("talvex-1.11.bin"));
        std::vector<char> image(102400, '\x5A');
        std::ofstream(file.toStdString(), std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
        settings->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(file);
        bool taken = false;
        QTimer answerer;
        answerer.setInterval(20);
        QObject::connect(&answerer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->accept();
        });
        answerer.start();
        bench.context.setPump([&] {
            QCoreApplication::processEvents();
            auto* progress = settings->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
            if (!taken && progress->value() >= 1600) {
                taken = true;
                ok &= save(settings, directory, "settings-window-firmware-upload.png");
            }
        });
        press(settings, "Button9");
        ok &= taken;
        settings->close();
    }
    {
        // The smartcard tool after an ATR and the test frames.
        Bench bench;
        TForm3 main(bench.context);
        main.show();
        press(&main, "Button4");
        TForm1* tool = main.openSmartcardTool();
        press(tool, "Button1");
        for (int wait = 0; wait < 200 && !(tool->readerThread() && tool->readerThread()->cardPresent(1)); ++wait)
            QTest::qWait(10);
        QTest::qWait(50);
        press(tool, "Button8");
        press(tool, "Button11");
        ok &= save(tool, directory, "smartcard-tool.png");
        tool->close();
    }
    {
        // The batch window with four programmers on their way, two of
        // them started from their boot loader.
        LockstepClock clock;
        SimulatedBench bench(clock, 4);
        bench.programmer(2).setFirmware(SimulatedProgrammer::Firmware::BootLoader);
        bench.programmer(3).setFirmware(SimulatedProgrammer::Firmware::BootLoader);
        ApplicationContext context(bench.host(), clock, [] { QCoreApplication::processEvents(); });
        context.setUsbSerialLibrary([library = bench.usbLibrary()] { return D2xxLoadResult{library, {}}; });
        QTemporaryDir files;
        const QString file = files.filePath(QStringLiteral("talvex-1.11.bin"));
        std::vector<char> image(102400, '\x5A');
        std::ofstream(file.toStdString(), std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
        BatchForm window(context, nullptr);
        window.show();
        window.findChild<QLineEdit*>(QStringLiteral("FirmwareEdit"))->setText(file);
        window.findChild<QCheckBox*>(QStringLiteral("SerializeBox"))->setChecked(true);
        // Once the rows are up, two moments of a boot loader's row: a
        // quarter through, the others are being re-plugged; three quarters
        // through, all four upload. Taken as the window stands, without
        // catching up on the batch's news.
        const std::pair<int, const char*> shots[] = {{25, "batch-window-replug.png"}, {75, "batch-window.png"}};
        std::size_t taken = 0;
        bool watching = false;
        QObject::connect(&window, &BatchForm::statusChanged, [&] {
            auto* bar = window.findChild<QProgressBar*>(QStringLiteral("RowProgress3"));
            if (!bar || watching)
                return;
            watching = true;
            QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
                if (taken == std::size(shots) || value < shots[taken].first)
                    return;
                const QString path = QDir(directory).filePath(QString::fromLatin1(shots[taken++].second));
                const bool saved = window.grab().save(path);
                std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
                ok &= saved;
            });
        });
        press(&window, "StartButton");
        const bool ended = QTest::qWaitFor([&] { return !window.batchRunning(); }, 120000);
        ok &= taken == std::size(shots) && ended;
    }
    return ok ? 0 : 1;
}
