// The recording seam the trace tests stand on: it must note every call
// and render the waits between them faithfully.

#include "support/TraceBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::PortEvent;
using Kind = PortEvent::Kind;
using Lines = std::vector<std::string>;

namespace {

PortEvent event(int atUs, Kind kind, std::vector<std::uint8_t> bytes = {}, bool on = false)
{
    PortEvent e{Micros(atUs), kind, "COM7"};
    e.bytes = std::move(bytes);
    e.on = on;
    e.mode = "9600,N,8,1";
    return e;
}

} // namespace

TEST(TraceRecorder, RendersGroupsAndTimes)
{
    struct Case {
        const char* name;
        std::vector<PortEvent> events;
        Lines lines;
    };
    const std::vector<std::uint8_t> eleven{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const Case cases[] = {
        {"one read-all is one line at its start",
         {event(1000, Kind::Read, {0xC1}), event(1000, Kind::Read, {0x00}), event(1000, Kind::Read),
          event(21000, Kind::Dtr, {}, true)},
         {"t=0ms read C1 00", "t=20ms DTR on"}},
        {"each silent read is a line of its own",
         {event(1000, Kind::Read), event(21000, Kind::Read)},
         {"t=0ms read nothing", "t=20ms read nothing"}},
        {"bytes sent at one moment gather, a later one does not",
         {event(1000, Kind::Send, {0x02}), event(1000, Kind::Send, {0x00}), event(1500, Kind::Send, {0x05})},
         {"t=0ms send 02 00", "t=0.500ms send 05"}},
        {"a line change ends a group of sends",
         {event(1000, Kind::Send, {0xAA}), event(1000, Kind::Rts, {}, false), event(1000, Kind::Send, {0xAA})},
         {"t=0ms send AA", "t=0ms RTS off", "t=0ms send AA"}},
        {"long blocks and answers are cut short",
         {event(1000, Kind::Write, eleven), event(3000, Kind::Read, eleven)},
         {"t=0ms write 00 01 … (11 bytes)", "t=2ms read 00 01 … (11 bytes)"}},
        {"opens, modes and closes name their port",
         {event(1000, Kind::OpenFailed), event(2000, Kind::Open), event(2000, Kind::Mode),
          event(3000, Kind::Dtr, {}, false), event(4000, Kind::Close)},
         {"t=0ms open COM7 9600,N,8,1 failed", "t=1ms open COM7 9600,N,8,1", "t=1ms mode 9600,N,8,1",
          "t=2ms DTR off", "t=3ms close COM7"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::traceLines(c.events, Micros(1000)), c.lines);
    }
}

// Every call goes through to the simulated device and is noted with the
// time it was made.
TEST(TraceRecorder, NotesEachCallOnTheWayThrough)
{
    test::TraceBench bench(3);
    auto device = bench.addProgrammer("COM2", "COM3");
    PortSlot& port = bench.port();

    bench.start();
    EXPECT_FALSE(port.open(bench.host, "COM1", kNormalMode));
    ASSERT_TRUE(port.open(bench.host, "COM2", kNormalMode));
    port.setRts(false);
    bench.clock.sleepMs(100);
    port.setDtr(true);
    port.sendByte(0xA5);
    bench.clock.sleepMs(1000);
    EXPECT_EQ(port.readAll(64), (std::vector<std::uint8_t>{0xC1, 0x00}));
    EXPECT_TRUE(port.applyMode(kLowSpeedMode));
    const std::uint8_t block[3] = {0xA6, 0x00, 0x01};
    EXPECT_TRUE(port.writeBlock(block, sizeof block));
    port.close();

    const test::TraceSteps expected{
        {0, "open COM1 115200,N,8,1 failed"},
        {0, "open COM2 115200,N,8,1"},
        {0, "RTS off"},
        {100, "DTR on"},
        {0, "send A5"},
        {1000, "read C1 00"},
        {20, "mode 9600,N,8,1"},
        {0, "write A6 00 01"},
        {0, "close COM2"},
        {0, "done"},
    };
    EXPECT_TRUE(test::sameTrace(bench.trace(), test::expectedTrace(expected)));
    // The device saw what the recorder says went out.
    ASSERT_FALSE(device->receivedCommands().empty());
    EXPECT_EQ(device->receivedCommands().front().bytes, std::vector<std::uint8_t>{0xA5});
}
