// Times the automatic detection and the manual scan over COM1…COM254 with
// the programmer on COM7/COM8 and every other port present but silent, in
// virtual time; prints real time spent and the device time simulated.
// Then a host as a bench PC has one: a built-in UART on COM1, an unrelated
// CP210x bridge on COM3 and the programmer's FT2232 on COM5/COM6, with the
// ports the detection opened.

#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimEndpoints.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <chrono>
#include <cstdio>
#include <functional>

using namespace talvex;

namespace {

struct Bench {
    VirtualClock clock;
    SimulatedPortHost host{clock};
    SimulatedProgrammer device;
    ApplicationContext context{host, clock};

    explicit Bench(int programmerAt)
    {
        for (int n = 1; n <= 254; ++n) {
            if (n != programmerAt && n != programmerAt + 1)
                host.attach("COM" + std::to_string(n), std::make_shared<SilentEndpoint>());
        }
        device.attachTo(host, "COM" + std::to_string(programmerAt), "COM" + std::to_string(programmerAt + 1));
    }
};

void measure(const char* what, int programmerAt, const std::function<void(Bench&)>& run)
{
    Bench bench(programmerAt);
    const auto start = std::chrono::steady_clock::now();
    run(bench);
    const auto real = std::chrono::steady_clock::now() - start;
    std::printf("%-52s real %8.1f ms   device time %9.1f s\n", what,
                std::chrono::duration<double, std::milli>(real).count(),
                std::chrono::duration<double>(bench.clock.now()).count());
}

// Only the four ports present; the others fail to open at once.
void measureMixedHost()
{
    VirtualClock clock;
    SimulatedProgrammer device;
    SimulatedPortHost host(clock);
    host.attach("COM1", std::make_shared<SilentEndpoint>());
    host.attach("COM3", std::make_shared<SilentEndpoint>());
    host.setUsbIdentity("COM3", simusb::cp210x("0001", "1-1"));
    device.attachTo(host, "COM5", "COM6");
    host.setUsbIdentity("COM5", simusb::ft2232("TLVX0001", 0, "1-2", "TalvexUSB"));
    host.setUsbIdentity("COM6", simusb::ft2232("TLVX0001", 1, "1-2", "TalvexUSB"));
    ApplicationContext context{host, clock};

    const auto start = std::chrono::steady_clock::now();
    auto env = context.discovery();
    detectProgrammer(env, context.detection());
    const auto real = std::chrono::steady_clock::now() - start;
    std::printf("%-52s real %8.1f ms   device time %9.1f s\n", "automatic detection, FT2232 + built-in UART + CP210x",
                std::chrono::duration<double, std::milli>(real).count(),
                std::chrono::duration<double>(clock.now()).count());
    if (context.detection().reader2Port != "COM6")
        std::printf("  not found!\n");
    std::printf("  opened:");
    for (const char* name : {"COM1", "COM3", "COM5", "COM6"}) {
        if (host.openCount(name) > 0)
            std::printf(" %s", name);
    }
    std::printf("\n");
}

} // namespace

int main()
{
    measure("automatic detection, programmer on COM7/COM8", 7, [](Bench& bench) {
        auto env = bench.context.discovery();
        detectProgrammer(env, bench.context.detection());
        if (bench.context.detection().reader2Port != "COM8")
            std::printf("  not found!\n");
    });
    measure("automatic detection, programmer on COM253/COM254", 253, [](Bench& bench) {
        auto env = bench.context.discovery();
        detectProgrammer(env, bench.context.detection());
        if (bench.context.detection().reader2Port != "COM254")
            std::printf("  not found!\n");
    });
    measure("manual scan with probing, 254 ports", 7, [](Bench& bench) {
        auto env = bench.context.discovery();
        const auto ports = manualScan(env, bench.context.detection());
        if (ports.size() != 254)
            std::printf("  listed %zu ports!\n", ports.size());
    });
    measureMixedHost();
    return 0;
}
