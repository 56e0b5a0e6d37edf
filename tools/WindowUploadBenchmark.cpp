// Runs a whole firmware upload through the settings window in real time,
// as `--simulate` does: the simulated programmer runs its application, goes
// back to its boot loader, unplugs and re-plugs itself, takes the 3,200
// blocks, and the window shows its verdict. Prints what happened and how
// long each stage took.

#include "common/RealClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"
#include "ui/settings/TForm4.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <vector>

using namespace talvex;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    RealClock clock(pump);
    SimulatedPortHost host(clock);
    SimulatedProgrammer device;
    device.setPlugScript({6, 6, {}});
    device.attachTo(host, "COM3", "COM4");
    ApplicationContext context(host, clock, pump);

    QTemporaryDir directory;
    const QString file = directory.filePath(QStringLiteral("firmware.bin"));
    std::vector<char> image(102400);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 13);
    std::ofstream(file.toStdString(), std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));

    QWidget mainWindow;
    TForm4 window(context, &mainWindow);
    window.setPorts({QStringLiteral("COM3")}, true);
    window.show();
    window.Button1Click();
    window.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(file);

    QElapsedTimer elapsed;
    QString verdict;
    int progressSamples = 0;
    int lastProgress = 0;
    QString remainingSeen;
    QTimer watcher;
    watcher.setInterval(250);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            verdict = box->text();
            box->accept();
            return;
        }
        const int progress = window.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->value();
        if (progress != lastProgress) {
            ++progressSamples;
            lastProgress = progress;
        }
        const QString remaining = window.findChild<QLabel*>(QStringLiteral("LabelRemaining"))->text();
        if (!remaining.isEmpty() && remainingSeen.isEmpty())
            remainingSeen = remaining;
    });
    watcher.start();
    elapsed.start();
    window.findChild<QPushButton*>(QStringLiteral("Button9"))->click();
    watcher.stop();

    const bool programmed = device.programmedImage() == std::vector<std::uint8_t>(image.begin(), image.end());
    std::printf("upload through the window in real time: %.1f s\n", elapsed.elapsed() / 1000.0);
    std::printf("verdict: %s\n", verdict.toLocal8Bit().constData());
    std::printf("progress bar moved %d times; first remaining time shown: %s\n", progressSamples,
                remainingSeen.toLocal8Bit().constData());
    std::printf("device holds the image: %s\n", programmed ? "yes" : "NO");
    return programmed && !verdict.isEmpty() ? 0 : 1;
}
