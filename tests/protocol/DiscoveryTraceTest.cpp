// The line sequences and waits of discovery and identification, as the
// device sees them: each build answers only to its own sequence and speed,
// and an answer read too early is lost.

#include "protocol/Discovery.h"
#include "protocol/Identification.h"
#include "protocol/ProgrammerConnect.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

#include <functional>

using namespace talvex;
using test::TraceBench;
using test::TraceSteps;
using V = SpeedVariant;

namespace {

const char* variantName(SpeedVariant variant)
{
    switch (variant) {
    case V::Normal: return "normal";
    case V::LowSpeed1: return "low-speed 1 (Phoenix)";
    case V::LowSpeed2: return "low-speed 2";
    }
    return "?";
}

std::string mode(SpeedVariant variant)
{
    return variant == V::Normal ? "115200,N,8,1" : "9600,N,8,1";
}

// The identity a reader gives: the Phoenix build counts its readers from 0.
std::string identity(SpeedVariant variant, int reader)
{
    return "00 0" + std::to_string(variant == V::LowSpeed1 ? reader - 1 : reader) + " … (32 bytes)";
}

// The line pulse a low-speed build needs before each question.
TraceSteps pulse(SpeedVariant variant, int afterMs = 20)
{
    if (variant == V::LowSpeed1)
        return {{afterMs, "DTR off"}, {500, "DTR on"}};
    if (variant == V::LowSpeed2)
        return {{afterMs, "RTS on"}, {50, "DTR off"}};
    return {};
}

// Bytes sent `afterMs` after the line before, the answer read `waitMs` later.
TraceSteps ask(const std::string& send, const std::string& read, int afterMs, int waitMs)
{
    return {{afterMs, "send " + send}, {waitMs, "read " + read}};
}

// A question the build's way: its pulse, then the bytes and the answer.
TraceSteps question(SpeedVariant variant, const std::string& send, const std::string& read, int waitMs)
{
    return pulse(variant) + ask(send, read, variant == V::Normal ? 20 : 50, waitMs);
}

// Identify on an open port: pending input dropped, the greeting and, when
// the device answered it, the identity, each read after the build's wait.
TraceSteps identification(SpeedVariant variant, const std::string& greeting, const std::string& identityRead = {})
{
    const int wait = variant == V::Normal ? 1000 : 250;
    TraceSteps steps = TraceSteps{{0, "read nothing"}} + question(variant, "A5", greeting, wait);
    return identityRead.empty() ? steps : steps + question(variant, "00", identityRead, wait);
}

// Identify returns after one more answer delay, 20 ms of silence included.
int settleMs(SpeedVariant variant)
{
    return variant == V::Normal ? 1020 : 270;
}

// One port of the automatic scan: opened `afterMs` after the line before,
// the build's lines prepared, the greeting and, from the device, its
// identity asked twice (the third question waits the answer delay).
TraceSteps scanPort(SpeedVariant variant, const std::string& port, int afterMs, const std::string& greeting,
                    const std::string& identityRead = {})
{
    // The normal build's lines settle for the answer delay, then pending input goes.
    TraceSteps prepare{{0, "RTS off"}, {1500, "DTR on"}, {1000, "read nothing"}};
    if (variant == V::LowSpeed1)
        prepare = {{0, "RTS off"}, {50, "DTR off"}, {500, "DTR on"}, {50, "read nothing"}};
    else if (variant == V::LowSpeed2)
        prepare = {{0, "RTS on"}, {50, "DTR off"}, {50, "read nothing"}};
    const int wait = variant == V::Normal ? 1000 : 250;
    TraceSteps steps = TraceSteps{{afterMs, "open " + port + " " + mode(variant)}} + prepare
        + ask("A5", greeting, 20, wait);
    if (!identityRead.empty())
        steps = steps + question(variant, "00", identityRead, wait) + ask("00", identityRead, 20, 1000);
    return steps + TraceSteps{{20, "DTR off"}, {0, "close " + port}};
}

const TraceSteps kDone{{0, "done"}};

} // namespace

// A silent COM1, then the device's two readers on COM2 and COM3: the
// silent port is closed with the pause after it, the first reader too,
// the second ends the scan without one.
TEST(TraceDiscovery, AutomaticScanInEachSpeedVariant)
{
    for (const SpeedVariant variant : {V::Normal, V::LowSpeed1, V::LowSpeed2}) {
        SCOPED_TRACE(variantName(variant));
        TraceBench bench(4);
        bench.addSilent("COM1");
        bench.addProgrammer("COM2", "COM3", variant);
        DiscoveryEnvironment env = bench.discovery();
        DetectionResults results;

        bench.start();
        scanForProgrammer(env, results, variant);

        // The fields come from the second identity answer.
        const TraceSteps steps = scanPort(variant, "COM1", 0, "nothing")
            + scanPort(variant, "COM2", 500, "C1 00", identity(variant, 1))
            + scanPort(variant, "COM3", 500, "C2 00", identity(variant, 2)) + kDone;
        EXPECT_EQ(bench.trace(), test::expectedTrace(steps));
        EXPECT_EQ(results.serialNumber, "0123456789ABCDEF0123456789ABCDEF");
        // The Phoenix build counts its readers from 0: its first is still reader 1.
        EXPECT_EQ(results.reader1Port, "COM2");
        EXPECT_EQ(results.reader2Port, "COM3");
    }
}

// "Scan Now!" on the device's second reader, with the variant the last
// scan left.
TEST(TraceDiscovery, SearchOnTheSelectedPort)
{
    for (const SpeedVariant variant : {V::Normal, V::LowSpeed1, V::LowSpeed2}) {
        SCOPED_TRACE(variantName(variant));
        TraceBench bench(4);
        bench.addProgrammer("COM1", "COM2", variant);
        DiscoveryEnvironment env = bench.discovery();
        DetectionResults results;
        results.variant = variant;

        bench.start();
        const auto reader = searchSelectedPort(env, results, {"COM1", "COM2"}, 1);

        const bool normal = variant == V::Normal;
        const int wait = normal ? 1000 : 200;
        // No line change before the close, no pause after it.
        const TraceSteps steps = TraceSteps{{0, "open COM2 " + mode(variant)}, {0, "RTS off"}}
            + (normal ? TraceSteps{{0, "DTR on"}} : pulse(variant, 0)) + ask("A5", "C2 00", normal ? 200 : 50, wait)
            + question(variant, "00", identity(variant, 2), wait) + TraceSteps{{20, "close COM2"}} + kDone;
        EXPECT_EQ(bench.trace(), test::expectedTrace(steps));
        ASSERT_TRUE(reader.has_value());
        EXPECT_EQ(*reader, "2"); // its second reader, whichever digit the build gives it
    }
}

// The manual scan's listing with probing: COM1 is not there, COM2 is
// silent, the device's first reader sits on COM3. Every port that opened
// is closed with the pause after it.
TEST(TraceDiscovery, EnumerationProbesEachPortWithItsOwnPause)
{
    for (const SpeedVariant variant : {V::Normal, V::LowSpeed1, V::LowSpeed2}) {
        SCOPED_TRACE(variantName(variant));
        TraceBench bench(3);
        bench.addSilent("COM2");
        bench.addProgrammer("COM3", "COM9", variant);
        DiscoveryEnvironment env = bench.discovery();

        bench.start();
        const std::vector<ProbedPort> ports = enumeratePorts(env, true, variant, kDefaultAnswerDelayMs);

        const auto opened = [&](const std::string& port, int afterMs) {
            return TraceSteps{{afterMs, "open " + port + " " + mode(variant)}, {0, "DTR on"}, {0, "RTS off"}};
        };
        const auto closed = [&](const std::string& port) {
            return TraceSteps{{settleMs(variant), "DTR off"}, {0, "close " + port}};
        };
        const TraceSteps steps = TraceSteps{{0, "open COM1 " + mode(variant) + " failed"}} + opened("COM2", 0)
            + identification(variant, "nothing") + closed("COM2") + opened("COM3", 200)
            + identification(variant, "C1 00", identity(variant, 1)) + closed("COM3") + TraceSteps{{200, "done"}};
        EXPECT_EQ(bench.trace(), test::expectedTrace(steps));
        ASSERT_EQ(ports.size(), 2u);
        EXPECT_EQ(ports[0].probe, ProbeResult::NoProgrammer);
        EXPECT_EQ(ports[1].probe, ProbeResult::Application);
    }
}

// Identify on the open port (settings window), with the connect that runs
// it and the search on the open port.
TEST(TraceDiscovery, IdentifyConnectAndSearchOnTheOpenPort)
{
    using Run = std::function<void(TraceBench&, SpeedVariant)>;
    const Run identifyOnly = [](TraceBench& bench, SpeedVariant variant) {
        EXPECT_NE(identify(bench.port(), bench.clock, variant, kDefaultAnswerDelayMs).mode, ProgrammerMode::None);
    };
    const Run connect = [](TraceBench& bench, SpeedVariant variant) {
        bench.port().close();
        bench.start();
        const Result<IdentifyResult> result = openAndIdentify(bench.port(), bench.host, bench.clock, "COM1",
                                                              variant, kDefaultAnswerDelayMs,
                                                              [](const std::string&, bool) {});
        ASSERT_TRUE(result);
        EXPECT_NE(result->mode, ProgrammerMode::None);
    };
    const Run searchOpen = [](TraceBench& bench, SpeedVariant) {
        IdentityFields fields;
        EXPECT_EQ(searchOpenPort(bench.port(), bench.clock, kDefaultAnswerDelayMs, fields), "1");
    };

    using Firmware = SimulatedProgrammer::Firmware;
    struct Case {
        const char* name;
        SpeedVariant variant;
        Firmware firmware;
        Run run;
        TraceSteps steps;
    };
    const auto connected = [](SpeedVariant variant) {
        return TraceSteps{{0, "open COM1 " + mode(variant)}, {0, "RTS off"}, {1500, "DTR on"}};
    };
    const TraceSteps application = identification(V::Normal, "C1 00", identity(V::Normal, 1));
    const TraceSteps lowSpeed2 = identification(V::LowSpeed2, "C1 00", identity(V::LowSpeed2, 1));
    const Case cases[] = {
        {"identify, application", V::Normal, Firmware::Application, identifyOnly,
         application + TraceSteps{{1020, "done"}}},
        {"identify, boot loader", V::Normal, Firmware::BootLoader, identifyOnly,
         identification(V::Normal, "A5 01 … (23 bytes)") + TraceSteps{{1020, "done"}}},
        {"identify, low-speed 1", V::LowSpeed1, Firmware::Application, identifyOnly,
         identification(V::LowSpeed1, "C1 00", identity(V::LowSpeed1, 1)) + TraceSteps{{270, "done"}}},
        {"identify, low-speed 2", V::LowSpeed2, Firmware::Application, identifyOnly,
         lowSpeed2 + TraceSteps{{270, "done"}}},
        {"connect", V::Normal, Firmware::Application, connect,
         connected(V::Normal) + application + TraceSteps{{1020, "done"}}},
        {"connect, low-speed 2", V::LowSpeed2, Firmware::Application, connect,
         connected(V::LowSpeed2) + lowSpeed2 + TraceSteps{{270, "done"}}},
        {"search on the open port", V::Normal, Firmware::Application, searchOpen,
         {{0, "DTR on"}, {200, "send 00"}, {1000, "read 00 01 … (32 bytes)"}, {20, "done"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceBench bench(2);
        bench.addProgrammer("COM1", "COM2", c.variant)->setFirmware(c.firmware);
        ASSERT_TRUE(bench.port().open(bench.host, "COM1", modeFor(c.variant)));

        bench.start();
        c.run(bench, c.variant);

        EXPECT_EQ(bench.trace(), test::expectedTrace(c.steps));
    }
}
