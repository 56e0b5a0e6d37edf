#include "app/CommandLine.h"
#include "common/RealClock.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "serial/NativePortHost.h"
#include "sim/SimulatedBench.h"
#include "update/ServerAddress.h"
#include "ui/common/DesktopStyle.h"
#include "ui/common/UiReport.h"
#include "ui/main/TForm3.h"

#include <QApplication>

#if defined(_WIN32)
#include "app/ParentConsole.h"
#endif

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    using namespace talvex;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine options = CommandLine::parse(arguments);
#if defined(_WIN32)
    if (!options.error.empty() || options.help || options.version)
        useParentConsole();
#endif
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

    std::unique_ptr<SimulatedBench> bench;
    std::unique_ptr<PortHost> nativeHost;
    if (options.simulate)
        bench = std::make_unique<SimulatedBench>(clock, options.simulatedProgrammers);
    else
        nativeHost = makeNativePortHost();
    if (nativeHost)
        nativeHost->setLogSink([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });

    ApplicationContext context(bench ? bench->host() : *nativeHost, clock, pump);
    // The version server the user set (TALVEX_VERSION_SERVER or the setting file).
    context.setVersionServer(
        configuredVersionServer({}, [](const std::string& problem) { std::fprintf(stderr, "%s\n", problem.c_str()); }));
    if (bench) {
        // The simulated programmer's FTDI chip answers the USB serial tool.
        context.setUsbSerialLibrary([library = bench->usbLibrary()] { return D2xxLoadResult{library, {}}; });
    }
    TForm3 mainWindow(context);
    mainWindow.show();
    startUiReportOnRequest();
    if (options.smartcardTool) {
        mainWindow.setDetectionConfirmed(true);
        mainWindow.openSmartcardTool();
    }
    return application.exec();
}
