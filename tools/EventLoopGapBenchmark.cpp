// Runs the 5-second clock write of the settings window in real time
// against the simulated programmer and reports the longest gap between two
// event-loop ticks while it runs: how long the window went unpainted.

#include "common/RealClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"
#include "ui/settings/TForm4.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace talvex;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    RealClock clock(pump);
    SimulatedPortHost host(clock);
    SimulatedProgrammer device;
    device.attachTo(host, "COM3", "COM4");
    ApplicationContext context(host, clock, pump);

    QWidget mainWindow;
    TForm4 window(context, &mainWindow);
    window.setPorts({QStringLiteral("COM3")}, true);
    window.show();
    window.Button1Click();
    window.findChild<QPushButton*>(QStringLiteral("Button_read_settings"))->click();
    window.findChild<QAbstractButton*>(QStringLiteral("clock_800"))->setChecked(true);

    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
        ++ticks;
    });
    ticker.start();
    sinceTick.start();

    QElapsedTimer total;
    total.start();
    window.findChild<QPushButton*>(QStringLiteral("Button3"))->click();
    const qint64 elapsedMs = total.elapsed();
    ticker.stop();

    const bool written = device.readerSettings(1).clockHz == 8000000;
    std::printf("clock write: %lld ms in real time, %d event-loop ticks, longest gap %lld ms, device %s\n",
                static_cast<long long>(elapsedMs), ticks, static_cast<long long>(longestGapMs),
                written ? "holds 8.00 MHz" : "did NOT take the clock");
    return written ? 0 : 1;
}
