#include "protocol/Exchange.h"
#include "protocol/Identification.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;

namespace {

// Sends the identity request and reads the answer byte by byte, giving
// the time from the send to the last byte's arrival.
Micros identityRoundTrip(test::SimBench& bench, PortSlot& port, std::size_t& bytes)
{
    const TimePoint sent = bench.clock.now();
    port.sendByte(kApplicationIdentityCode);
    TimePoint last = sent;
    bytes = 0;
    std::uint8_t byte = 0;
    while (port.read(&byte, 1).count == 1) {
        ++bytes;
        last = bench.clock.now();
    }
    return last - sent;
}

} // namespace

TEST(SimulatedProgrammer, TheFtdiChipHoldsShortAnswersForItsLatencyTimerUnlessAskedNotTo)
{
    const Micros oneCharacter = characterTime(115200);
    const Micros greetingOnWire = oneCharacter + Millis(5) + oneCharacter * 2; // A5 out, thinking, C1 00 back
    struct Case {
        const char* name;
        Micros timer;
        bool asksLowLatency;
        Micros held;
    };
    const Case cases[] = {
        {"ideal link", Micros::zero(), true, Micros::zero()},
        {"driver's 16 ms timer", Millis(16), false, Millis(16)},
        {"low latency asked", Millis(16), true, Millis(1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::SimBench bench;
        auto device = bench.addProgrammer("COM3", "COM4");
        device->setFtdiLatencyTimer(c.timer);
        bench.host.setAsksLowLatency(c.asksLowLatency);
        PortSlot& port = bench.context.ports().a;
        ASSERT_TRUE(port.open(bench.host, "COM3", kNormalMode));
        port.setDtr(true);
        bench.clock.sleepMs(1500);
        const TimePoint sent = bench.clock.now();
        port.sendByte(kIdentifyCode);
        std::uint8_t answer[2] = {};
        for (int reads = 0; reads < 5 && port.read(answer, 1).count == 0; ++reads) {
        }
        // Held back, both bytes come together when the chip lets them go;
        // on an ideal link each as its last bit arrives.
        const Micros first = c.held > Micros::zero() ? greetingOnWire + c.held : greetingOnWire - oneCharacter;
        EXPECT_EQ(bench.clock.now() - sent, first);
        ASSERT_EQ(port.read(answer + 1, 1).count, 1u);
        EXPECT_EQ(bench.clock.now() - sent, greetingOnWire + c.held);
        EXPECT_EQ(answer[0], kApplicationAnswer1);
    }
}

TEST(SimulatedProgrammer, AnswersTakeTheirTimeOnTheWire)
{
    test::SimBench bench;
    bench.addProgrammer("COM1", "COM2", SpeedVariant::LowSpeed2);
    bench.addProgrammer("COM3", "COM4");
    PortSlot& port = bench.context.ports().a;
    std::size_t bytes = 0;

    // 9600 baud: 1 character out, 5 ms thinking, 32 characters back.
    ASSERT_TRUE(port.open(bench.host, "COM1", kLowSpeedMode));
    port.setRts(true);
    port.setDtr(false);
    const Micros slow = identityRoundTrip(bench, port, bytes);
    EXPECT_EQ(bytes, 32u);
    EXPECT_EQ(slow, characterTime(9600) * 33 + Millis(5));

    ASSERT_TRUE(port.open(bench.host, "COM3", kNormalMode));
    const Micros fast = identityRoundTrip(bench, port, bytes);
    EXPECT_EQ(bytes, 32u);
    EXPECT_EQ(fast, characterTime(115200) * 33 + Millis(5));
}

TEST(SimulatedProgrammer, IncompleteCommandIsDroppedAfterSilence)
{
    // The device frames commands by length; a fragment must not swallow
    // the next command.
    test::SimBench bench;
    auto device = bench.addProgrammer("COM1", "COM2");
    device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    PortSlot& port = bench.context.ports().a;
    ASSERT_TRUE(port.open(bench.host, "COM1", kNormalMode));
    port.sendByte(0x77); // unknown to the boot loader
    bench.clock.sleepMs(200);
    EXPECT_EQ(identify(port, bench.clock, SpeedVariant::Normal, 1000).mode, ProgrammerMode::BootLoader);
}
