// Serves a simulated programmer on two pseudo-terminals and prints their
// paths, one line per reader: "reader1 /dev/pts/N".

#include "common/RealClock.h"
#include "protocol/SpeedVariant.h"
#include "sim/PtyServer.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int)
{
    g_stop = true;
}

void printUsage()
{
    std::puts("usage: talvex-simulator [--variant normal|low1|low2] [--boot] [--serial HEX32] [--version MAJOR.MINORHEX]\n"
              "                        [--replug-after MS]\n"
              "Serves a simulated programmer on two pseudo-terminals until interrupted.\n"
              "--replug-after MS: sent back to its boot loader, it is unplugged after six polls\n"
              "and plugged in again MS later (at most 3000), so an upload can start from the\n"
              "application.");
}

} // namespace

int main(int argc, char** argv)
{
    using namespace talvex;
    SpeedVariant variant = SpeedVariant::Normal;
    std::string serial = "0123456789ABCDEF0123456789ABCDEF";
    bool boot = false;
    unsigned major = 1;
    unsigned minor = 0x0A;
    int replugAfterMs = -1;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--variant" && hasValue) {
            const std::string value = argv[++i];
            const auto named = speedVariantFromOption(value);
            if (!named) {
                std::fprintf(stderr, "unknown variant: %s\n", value.c_str());
                return 2;
            }
            variant = *named;
        } else if (arg == "--boot") {
            boot = true;
        } else if (arg == "--serial" && hasValue) {
            serial = argv[++i];
            if (serial.size() != 32) {
                std::fprintf(stderr, "the serial number takes 32 hexadecimal digits\n");
                return 2;
            }
        } else if (arg == "--version" && hasValue) {
            if (std::sscanf(argv[++i], "%u.%x", &major, &minor) != 2) {
                std::fprintf(stderr, "the version looks like 1.0A\n");
                return 2;
            }
        } else if (arg == "--replug-after" && hasValue) {
            // Longer, and the tool's identification after reopening would
            // find nobody there.
            if (std::sscanf(argv[++i], "%d", &replugAfterMs) != 1 || replugAfterMs < 0 || replugAfterMs > 3000) {
                std::fprintf(stderr, "--replug-after takes milliseconds from 0 to 3000\n");
                return 2;
            }
        } else if (arg == "--help" || arg == "-h") {
            printUsage();
            return 0;
        } else {
            printUsage();
            return 2;
        }
    }

    SimulatedProgrammer device(variant, serial);
    device.setFirmwareVersion(static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor));
    if (boot)
        device.setFirmware(SimulatedProgrammer::Firmware::BootLoader);

    RealClock clock;
    PtyServer server(device, clock);
    // The polls a user's hands take to pull the plug, as --simulate's.
    constexpr int kUnplugAfterPolls = 6;
    if (replugAfterMs >= 0)
        server.replugAfterBackToBoot(kUnplugAfterPolls, Millis(replugAfterMs));
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("reader1 %s\nreader2 %s\n", server.slavePath(1).c_str(), server.slavePath(2).c_str());
    std::fflush(stdout);
    server.run(g_stop);
    return 0;
}
