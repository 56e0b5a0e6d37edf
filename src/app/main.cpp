#include "app/CommandLine.h"
#include "common/RealClock.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "serial/NativePortHost.h"
#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"
#include "ui/common/DesktopStyle.h"
#include "ui/main/TForm3.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    using namespace talvex;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine options = CommandLine::parse(arguments);
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s\n%s", options.error.c_str(), CommandLine::usage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(CommandLine::usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("TalvexUSB-Setting Manager %s\n", toolVersionText(kToolVersion).c_str());
        return 0;
    }

    QApplication application(argc, argv);
    applyDesktopStyle(application);
    const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    RealClock clock(pump);

    // The simulated programmer must outlive the host that reaches it.
    std::unique_ptr<SimulatedProgrammer> programmer;
    std::unique_ptr<PortHost> host;
    if (options.simulate) {
        programmer = std::make_unique<SimulatedProgrammer>();
        // A card waits in reader 1, so the smartcard tool has something to read.
        programmer->setCardPresent(1, true);
        // Asked to go back to its boot loader for an upload, the simulated
        // device unplugs itself a few seconds later and comes back a few
        // seconds after that, as a user at the bench would do.
        programmer->setPlugScript({6, 6, {}});
        auto simulatedHost = std::make_unique<SimulatedPortHost>(clock);
        programmer->attachTo(*simulatedHost, "COM3", "COM4");
        host = std::move(simulatedHost);
    } else {
        host = makeNativePortHost();
    }

    ApplicationContext context(*host, clock, pump);
    if (options.simulate) {
        // The simulated programmer's FTDI chip answers the USB serial tool.
        auto ftdi = std::make_shared<SimulatedFtdi>();
        context.setUsbSerialLibrary([ftdi] { return D2xxLoadResult{ftdi, {}}; });
    }
    TForm3 mainWindow(context);
    mainWindow.show();
    if (options.smartcardTool) {
        context.setDetectionConfirmed(true);
        mainWindow.openSmartcardTool();
    }
    return application.exec();
}
