// Drives the real windows against the simulated programmer (in virtual
// time, so it takes a second) and saves PNG pictures of them:
//   talvex-screenshots OUTPUT_DIR
// Run it under Xvfb for a desktop rendering (scripts/screenshots.sh).

#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"
#include "ui/common/DesktopStyle.h"
#include "ui/main/TForm3.h"
#include "ui/settings/TForm4.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

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
        Bench bench(SpeedVariant::LowSpeed2);
        TForm3 main(bench.context);
        main.show();
        press(&main, "Button4");
        press(&main, "Button2");
        TForm4* settings = main.settingsWindow();
        press(settings, "Button1");
        press(settings, "Button23");
        ok &= save(settings, directory, "settings-window-uniprog.png");
        settings->close();
    }
    return ok ? 0 : 1;
}
