// The line sequences and waits of the upload before its first block: the
// mode check, the way back to the boot loader, the wait for the unplug,
// the reconnection and the erase.

#include "firmware/BootModeSwitch.h"
#include "firmware/UploadBench.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

#include <functional>

using namespace talvex;
using test::TraceBench;
using test::TraceSteps;
using Firmware = SimulatedProgrammer::Firmware;

namespace {

constexpr const char* kDeviceSerial = "0123456789ABCDEF0123456789ABCDEF";

// A programmer on COM1/COM2, connected on COM1 at its build's speed the
// way the settings window left it, as the last detection found it.
struct TracedDevice {
    TraceBench bench{2};
    std::shared_ptr<SimulatedProgrammer> device;
    DetectionResults& detection = bench.context.detection();
    test::RecordingObserver observer;

    TracedDevice(Firmware firmware, SpeedVariant variant)
        : device(bench.addProgrammer("COM1", "COM2", variant, kDeviceSerial))
    {
        device->setFirmware(firmware);
        detection.variant = variant;
        detection.bootLoader = firmware == Firmware::BootLoader;
        detection.serialNumber = kDeviceSerial;
        EXPECT_TRUE(bench.port().open(bench.host, "COM1", modeFor(variant)));
    }

    UploadRequest environment() { return {bench.port(), bench.host, bench.clock, detection.programmer()}; }
};

// The build's lines before each command: DTR raised, or its pulse.
TraceSteps lines(SpeedVariant variant, int afterMs)
{
    if (variant == SpeedVariant::LowSpeed1)
        return {{afterMs, "DTR off"}, {500, "DTR on"}};
    if (variant == SpeedVariant::LowSpeed2)
        return {{afterMs, "RTS on"}, {50, "DTR off"}};
    return {{afterMs, "DTR on"}};
}

// A command after the build's lines and a read that drops what is pending.
TraceSteps command(SpeedVariant variant, int afterMs, const std::string& send, int waitMs, const std::string& read)
{
    return lines(variant, afterMs)
        + TraceSteps{{variant == SpeedVariant::LowSpeed1 ? 20 : 50, "read nothing"}, {20, "send " + send},
                     {waitMs, "read " + read}};
}

// One poll of the unplug wait; the normal build's drops nothing first.
TraceSteps poll(SpeedVariant variant, int afterMs, const std::string& read)
{
    if (variant == SpeedVariant::Normal)
        return lines(variant, afterMs) + TraceSteps{{50, "send A5"}, {400, "read " + read}};
    return command(variant, afterMs, "A5", 400, read);
}

// The port opened again at 115200 with the plain lines, and the boot loader identified.
TraceSteps reidentified(int afterMs)
{
    return {{afterMs, "open COM1 115200,N,8,1"}, {3000, "DTR on"}, {0, "read nothing"}, {20, "send A5"},
            {1000, "read A5 01 … (23 bytes)"}};
}

// The erase, then the first block frame.
TraceSteps erase(int afterMs)
{
    return {{afterMs, "DTR on"}, {0, "send A8"}, {800, "read A8 00"}, {20, "DTR on"},
            {100, "write A6 00 … (35 bytes)"}};
}

const std::string kBootAnswer = "A5 01 … (23 bytes)";

} // namespace

// Whole uploads up to their first block frame. The first block meets a
// flash error, so each upload ends there.
TEST(TraceUpload, ModeCheckBackToBootAndErase)
{
    struct Case {
        const char* name;
        Firmware firmware;
        SpeedVariant variant;
        TraceSteps steps;
    };
    const auto backToBoot = [](SpeedVariant variant, const std::string& bytes, const std::string& answer) {
        return command(variant, 0, "A5", 500, "C1 00") + command(variant, 20, bytes, 1000, answer)
            + TraceSteps{{20, "DTR on"}}; // the unplug wait
    };
    const Case cases[] = {
        {"boot loader", Firmware::BootLoader, SpeedVariant::Normal,
         command(SpeedVariant::Normal, 0, "A5", 500, kBootAnswer) + erase(20)},
        {"application at 115200", Firmware::Application, SpeedVariant::Normal,
         backToBoot(SpeedVariant::Normal, "FF", "FF 00") + poll(SpeedVariant::Normal, 0, kBootAnswer)
             + poll(SpeedVariant::Normal, 20, "nothing") // unplugged
             + TraceSteps{{20, "close COM1"}, {500, "open COM1 115200,N,8,1 failed"}} + reidentified(500)
             + erase(1020)},
        // The boot loader does not hear 9600 baud; from the reconnection on
        // the upload runs at 115200 with the plain lines.
        {"application, low-speed 1", Firmware::Application, SpeedVariant::LowSpeed1,
         backToBoot(SpeedVariant::LowSpeed1, "AA AA AA", "AA 00") + poll(SpeedVariant::LowSpeed1, 0, "nothing")
             + TraceSteps{{20, "close COM1"}} + reidentified(500) + erase(1020)},
        {"application, low-speed 2", Firmware::Application, SpeedVariant::LowSpeed2,
         backToBoot(SpeedVariant::LowSpeed2, "BB", "BB 00") + poll(SpeedVariant::LowSpeed2, 0, "nothing")
             + TraceSteps{{20, "close COM1"}} + reidentified(500) + erase(1020)},
    };
    const test::TempFolder folder;
    const std::string file = folder.write("firmware.bin", test::patternImage());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TracedDevice d(c.firmware, c.variant);
        // Answers one poll after the back-to-boot, then comes out; back
        // after one failed open.
        d.device->setPlugScript(test::plugScript(1, 1));
        d.device->injectBlockFault(0, BlockFault::FlashError);
        FirmwareUpload upload(d.environment(), d.observer);

        d.bench.start();
        const UploadOutcome outcome = upload.run(file, "COM1", kDeviceSerial);

        EXPECT_EQ(d.bench.traceUntil("write"), test::expectedTrace(c.steps));
        EXPECT_EQ(outcome.ending, UploadEnding::FlashError);
    }
}

TEST(TraceUpload, UnplugWaitAndReconnection)
{
    using Run = std::function<void(TracedDevice&, BootModeSwitch&)>;
    // The device is pulled out `at` ms after the start, while the tool
    // waits for the answer to its second poll.
    const auto unplugWait = [](int at) -> Run {
        return [at](TracedDevice& d, BootModeSwitch& boot) {
            d.bench.clock.at(d.bench.origin + Millis(at), [device = d.device] { device->setPlugged(false); });
            EXPECT_EQ(boot.waitForUnplug(), 2);
        };
    };
    // The port comes back after two failed opens.
    const Run reconnect = [](TracedDevice&, BootModeSwitch& boot) {
        EXPECT_EQ(boot.waitForReconnect("COM1", kDeviceSerial), ReconnectResult::Found);
    };
    const auto unplugged = [](TracedDevice& d) {
        d.bench.port().close();
        d.device->setPlugged(false);
        d.device->setPlugScript(test::plugScript(-1, 2));
    };
    const auto asFound = [](TracedDevice&) {};

    struct Case {
        const char* name;
        Firmware firmware;
        SpeedVariant variant;
        std::function<void(TracedDevice&)> prepare;
        Run run;
        TraceSteps steps;
    };
    const auto unplugWaitSteps = [](SpeedVariant variant) {
        return TraceSteps{{0, "DTR on"}} + poll(variant, 0, "C1 00") + poll(variant, 20, "nothing")
            + TraceSteps{{20, "done"}};
    };
    const Case cases[] = {
        {"unplug wait", Firmware::Application, SpeedVariant::Normal, asFound, unplugWait(700),
         unplugWaitSteps(SpeedVariant::Normal)},
        {"unplug wait, low-speed 1", Firmware::Application, SpeedVariant::LowSpeed1, asFound, unplugWait(1700),
         unplugWaitSteps(SpeedVariant::LowSpeed1)},
        {"unplug wait, low-speed 2", Firmware::Application, SpeedVariant::LowSpeed2, asFound, unplugWait(800),
         unplugWaitSteps(SpeedVariant::LowSpeed2)},
        {"reconnection", Firmware::BootLoader, SpeedVariant::Normal, unplugged, reconnect,
         TraceSteps{{500, "open COM1 115200,N,8,1 failed"}, {500, "open COM1 115200,N,8,1 failed"}}
             + reidentified(500) + TraceSteps{{1020, "done"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TracedDevice d(c.firmware, c.variant);
        c.prepare(d);
        BootModeSwitch boot(d.environment(), d.observer);

        d.bench.start();
        c.run(d, boot);

        EXPECT_EQ(d.bench.trace(), test::expectedTrace(c.steps));
    }
}
