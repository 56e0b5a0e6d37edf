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

namespace {

const char* variantName(SpeedVariant variant)
{
    switch (variant) {
    case SpeedVariant::Normal: return "normal";
    case SpeedVariant::LowSpeed1: return "low-speed 1 (Phoenix)";
    case SpeedVariant::LowSpeed2: return "low-speed 2";
    }
    return "?";
}

} // namespace

// A silent COM1, then the device's two readers on COM2 and COM3: the
// silent port is closed with the pause after it, the first reader too,
// the second ends the scan without one.
TEST(TraceDiscovery, AutomaticScanInEachSpeedVariant)
{
    struct Case {
        SpeedVariant variant;
        TraceSteps steps;
    };
    const Case cases[] = {
        {SpeedVariant::Normal,
         {
             {0, "open COM1 115200,N,8,1"},
             {0, "RTS off"},
             {1500, "DTR on"},
             {1000, "read nothing"}, // the answer delay, then pending input goes
             {20, "send A5"},
             {1000, "read nothing"},
             {20, "DTR off"},
             {0, "close COM1"},
             {500, "open COM2 115200,N,8,1"},
             {0, "RTS off"},
             {1500, "DTR on"},
             {1000, "read nothing"},
             {20, "send A5"},
             {1000, "read C1 00"},
             {20, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {20, "send 00"}, // asked once more; the fields come from this answer
             {1000, "read 00 01 … (32 bytes)"},
             {20, "DTR off"},
             {0, "close COM2"},
             {500, "open COM3 115200,N,8,1"},
             {0, "RTS off"},
             {1500, "DTR on"},
             {1000, "read nothing"},
             {20, "send A5"},
             {1000, "read C2 00"},
             {20, "send 00"},
             {1000, "read 00 02 … (32 bytes)"},
             {20, "send 00"},
             {1000, "read 00 02 … (32 bytes)"},
             {20, "DTR off"},
             {0, "close COM3"},
             {0, "done"},
         }},
        {SpeedVariant::LowSpeed1,
         {
             {0, "open COM1 9600,N,8,1"},
             {0, "RTS off"},
             {50, "DTR off"},
             {500, "DTR on"},
             {50, "read nothing"},
             {20, "send A5"},
             {250, "read nothing"},
             {20, "DTR off"},
             {0, "close COM1"},
             {500, "open COM2 9600,N,8,1"},
             {0, "RTS off"},
             {50, "DTR off"},
             {500, "DTR on"},
             {50, "read nothing"},
             {20, "send A5"},
             {250, "read C1 00"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send 00"},
             {250, "read 00 00 … (32 bytes)"},
             {20, "send 00"}, // the third question waits the answer delay
             {1000, "read 00 00 … (32 bytes)"},
             {20, "DTR off"},
             {0, "close COM2"},
             {500, "open COM3 9600,N,8,1"},
             {0, "RTS off"},
             {50, "DTR off"},
             {500, "DTR on"},
             {50, "read nothing"},
             {20, "send A5"},
             {250, "read C2 00"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send 00"},
             {250, "read 00 01 … (32 bytes)"},
             {20, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {20, "DTR off"},
             {0, "close COM3"},
             {0, "done"},
         }},
        {SpeedVariant::LowSpeed2,
         {
             {0, "open COM1 9600,N,8,1"},
             {0, "RTS on"},
             {50, "DTR off"},
             {50, "read nothing"},
             {20, "send A5"},
             {250, "read nothing"},
             {20, "DTR off"},
             {0, "close COM1"},
             {500, "open COM2 9600,N,8,1"},
             {0, "RTS on"},
             {50, "DTR off"},
             {50, "read nothing"},
             {20, "send A5"},
             {250, "read C1 00"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send 00"},
             {250, "read 00 01 … (32 bytes)"},
             {20, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {20, "DTR off"},
             {0, "close COM2"},
             {500, "open COM3 9600,N,8,1"},
             {0, "RTS on"},
             {50, "DTR off"},
             {50, "read nothing"},
             {20, "send A5"},
             {250, "read C2 00"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send 00"},
             {250, "read 00 02 … (32 bytes)"},
             {20, "send 00"},
             {1000, "read 00 02 … (32 bytes)"},
             {20, "DTR off"},
             {0, "close COM3"},
             {0, "done"},
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(variantName(c.variant));
        TraceBench bench(4);
        bench.addSilent("COM1");
        bench.addProgrammer("COM2", "COM3", c.variant);
        DiscoveryEnvironment env = bench.discovery();
        DetectionResults results;

        bench.start();
        scanForProgrammer(env, results, c.variant);

        EXPECT_TRUE(test::sameTrace(bench.trace(), test::expectedTrace(c.steps)));
        EXPECT_EQ(results.serialNumber, "0123456789ABCDEF0123456789ABCDEF");
    }
}

// The device behind an FT2232 on COM3/COM4 of a host with a built-in UART
// on COM1 and a CP210x bridge on COM2: its ports come first, with the same
// line sequences and waits, and the scan ends there.
TEST(TraceDiscovery, AutomaticScanTriesTheFtdiPortsFirst)
{
    TraceBench bench(4);
    bench.addSilent("COM1", std::nullopt);
    bench.addSilent("COM2", simusb::cp210x("0001", "1-1"));
    bench.addFtdiProgrammer("COM3", "COM4");
    DiscoveryEnvironment env = bench.discovery();
    DetectionResults results;

    bench.start();
    scanForProgrammer(env, results, SpeedVariant::Normal);

    const TraceSteps steps = {
        {0, "open COM3 115200,N,8,1"},
        {0, "RTS off"},
        {1500, "DTR on"},
        {1000, "read nothing"},
        {20, "send A5"},
        {1000, "read C1 00"},
        {20, "send 00"},
        {1000, "read 00 01 … (32 bytes)"},
        {20, "send 00"},
        {1000, "read 00 01 … (32 bytes)"},
        {20, "DTR off"},
        {0, "close COM3"},
        {500, "open COM4 115200,N,8,1"},
        {0, "RTS off"},
        {1500, "DTR on"},
        {1000, "read nothing"},
        {20, "send A5"},
        {1000, "read C2 00"},
        {20, "send 00"},
        {1000, "read 00 02 … (32 bytes)"},
        {20, "send 00"},
        {1000, "read 00 02 … (32 bytes)"},
        {20, "DTR off"},
        {0, "close COM4"},
        {0, "done"},
    };
    EXPECT_TRUE(test::sameTrace(bench.trace(), test::expectedTrace(steps)));
    EXPECT_EQ(results.reader1Port, "COM3");
    EXPECT_EQ(results.reader2Port, "COM4");
}

// "Scan Now!" on the device's second reader, with the variant the last
// scan left.
TEST(TraceDiscovery, SearchOnTheSelectedPort)
{
    struct Case {
        SpeedVariant variant;
        TraceSteps steps;
    };
    const Case cases[] = {
        {SpeedVariant::Normal,
         {
             {0, "open COM2 115200,N,8,1"},
             {0, "RTS off"},
             {0, "DTR on"},
             {200, "send A5"},
             {1000, "read C2 00"},
             {20, "send 00"},
             {1000, "read 00 02 … (32 bytes)"},
             {20, "close COM2"}, // no line change before it, no pause after it
             {0, "done"},
         }},
        {SpeedVariant::LowSpeed1,
         {
             {0, "open COM2 9600,N,8,1"},
             {0, "RTS off"},
             {0, "DTR off"},
             {500, "DTR on"},
             {50, "send A5"},
             {200, "read C2 00"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send 00"},
             {200, "read 00 01 … (32 bytes)"},
             {20, "close COM2"},
             {0, "done"},
         }},
        {SpeedVariant::LowSpeed2,
         {
             {0, "open COM2 9600,N,8,1"},
             {0, "RTS off"},
             {0, "RTS on"},
             {50, "DTR off"},
             {50, "send A5"},
             {200, "read C2 00"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send 00"},
             {200, "read 00 02 … (32 bytes)"},
             {20, "close COM2"},
             {0, "done"},
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(variantName(c.variant));
        TraceBench bench(4);
        bench.addProgrammer("COM1", "COM2", c.variant);
        DiscoveryEnvironment env = bench.discovery();
        DetectionResults results;
        results.variant = c.variant;

        bench.start();
        const auto reader = searchSelectedPort(env, results, {"COM1", "COM2"}, 1);

        EXPECT_TRUE(test::sameTrace(bench.trace(), test::expectedTrace(c.steps)));
        ASSERT_TRUE(reader.has_value());
        EXPECT_EQ(*reader, "2"); // its second reader, whichever digit the build gives it
    }
}

// The manual scan's listing with probing: COM1 is not there, COM2 is
// silent, the device's first reader sits on COM3. Every port that opened
// is closed with the pause after it.
TEST(TraceDiscovery, EnumerationProbesEachPortWithItsOwnPause)
{
    struct Case {
        SpeedVariant variant;
        TraceSteps steps;
    };
    const Case cases[] = {
        {SpeedVariant::Normal,
         {
             {0, "open COM1 115200,N,8,1 failed"},
             {0, "open COM2 115200,N,8,1"},
             {0, "DTR on"},
             {0, "RTS off"},
             {0, "read nothing"},
             {20, "send A5"},
             {1000, "read nothing"},
             {1020, "DTR off"}, // identify waits the answer delay before it returns
             {0, "close COM2"},
             {200, "open COM3 115200,N,8,1"},
             {0, "DTR on"},
             {0, "RTS off"},
             {0, "read nothing"},
             {20, "send A5"},
             {1000, "read C1 00"},
             {20, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {1020, "DTR off"},
             {0, "close COM3"},
             {200, "done"},
         }},
        {SpeedVariant::LowSpeed1,
         {
             {0, "open COM1 9600,N,8,1 failed"},
             {0, "open COM2 9600,N,8,1"},
             {0, "DTR on"},
             {0, "RTS off"},
             {0, "read nothing"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send A5"},
             {250, "read nothing"},
             {270, "DTR off"},
             {0, "close COM2"},
             {200, "open COM3 9600,N,8,1"},
             {0, "DTR on"},
             {0, "RTS off"},
             {0, "read nothing"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send A5"},
             {250, "read C1 00"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send 00"},
             {250, "read 00 00 … (32 bytes)"},
             {270, "DTR off"},
             {0, "close COM3"},
             {200, "done"},
         }},
        {SpeedVariant::LowSpeed2,
         {
             {0, "open COM1 9600,N,8,1 failed"},
             {0, "open COM2 9600,N,8,1"},
             {0, "DTR on"},
             {0, "RTS off"},
             {0, "read nothing"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send A5"},
             {250, "read nothing"},
             {270, "DTR off"},
             {0, "close COM2"},
             {200, "open COM3 9600,N,8,1"},
             {0, "DTR on"},
             {0, "RTS off"},
             {0, "read nothing"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send A5"},
             {250, "read C1 00"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send 00"},
             {250, "read 00 01 … (32 bytes)"},
             {270, "DTR off"},
             {0, "close COM3"},
             {200, "done"},
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(variantName(c.variant));
        TraceBench bench(3);
        bench.addSilent("COM2");
        bench.addProgrammer("COM3", "COM9", c.variant);
        DiscoveryEnvironment env = bench.discovery();

        bench.start();
        const std::vector<ProbedPort> ports = enumeratePorts(env, true, c.variant, kDefaultAnswerDelayMs);

        EXPECT_TRUE(test::sameTrace(bench.trace(), test::expectedTrace(c.steps)));
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
        const ConnectResult result = openAndIdentify(bench.port(), bench.host, bench.clock, "COM1", variant,
                                                     kDefaultAnswerDelayMs, [](const std::string&, bool) {});
        EXPECT_NE(result.identity.mode, ProgrammerMode::None);
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
    const Case cases[] = {
        {"identify, application",
         SpeedVariant::Normal,
         Firmware::Application,
         identifyOnly,
         {
             {0, "read nothing"},
             {20, "send A5"},
             {1000, "read C1 00"},
             {20, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {1020, "done"},
         }},
        {"identify, boot loader",
         SpeedVariant::Normal,
         Firmware::BootLoader,
         identifyOnly,
         {
             {0, "read nothing"},
             {20, "send A5"},
             {1000, "read A5 01 … (23 bytes)"},
             {1020, "done"},
         }},
        {"identify, low-speed 1",
         SpeedVariant::LowSpeed1,
         Firmware::Application,
         identifyOnly,
         {
             {0, "read nothing"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send A5"},
             {250, "read C1 00"},
             {20, "DTR off"},
             {500, "DTR on"},
             {50, "send 00"},
             {250, "read 00 00 … (32 bytes)"},
             {270, "done"},
         }},
        {"identify, low-speed 2",
         SpeedVariant::LowSpeed2,
         Firmware::Application,
         identifyOnly,
         {
             {0, "read nothing"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send A5"},
             {250, "read C1 00"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send 00"},
             {250, "read 00 01 … (32 bytes)"},
             {270, "done"},
         }},
        {"connect",
         SpeedVariant::Normal,
         Firmware::Application,
         connect,
         {
             {0, "open COM1 115200,N,8,1"},
             {0, "RTS off"},
             {1500, "DTR on"},
             {0, "read nothing"},
             {20, "send A5"},
             {1000, "read C1 00"},
             {20, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {1020, "done"},
         }},
        {"connect, low-speed 2",
         SpeedVariant::LowSpeed2,
         Firmware::Application,
         connect,
         {
             {0, "open COM1 9600,N,8,1"},
             {0, "RTS off"},
             {1500, "DTR on"},
             {0, "read nothing"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send A5"},
             {250, "read C1 00"},
             {20, "RTS on"},
             {50, "DTR off"},
             {50, "send 00"},
             {250, "read 00 01 … (32 bytes)"},
             {270, "done"},
         }},
        {"search on the open port",
         SpeedVariant::Normal,
         Firmware::Application,
         searchOpen,
         {
             {0, "DTR on"},
             {200, "send 00"},
             {1000, "read 00 01 … (32 bytes)"},
             {20, "done"},
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceBench bench(2);
        bench.addProgrammer("COM1", "COM2", c.variant)->setFirmware(c.firmware);
        ASSERT_TRUE(bench.port().open(bench.host, "COM1", modeFor(c.variant)));

        bench.start();
        c.run(bench, c.variant);

        EXPECT_TRUE(test::sameTrace(bench.trace(), test::expectedTrace(c.steps)));
    }
}
