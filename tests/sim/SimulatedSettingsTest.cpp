#include "protocol/Exchange.h"
#include "protocol/Identification.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

void sendSpaced(PortSlot& port, Clock& clock, const Bytes& bytes, int pauseMs)
{
    for (std::uint8_t byte : bytes) {
        port.sendByte(byte);
        clock.sleepMs(pauseMs);
    }
}

std::vector<Bytes> commandBytes(const SimulatedProgrammer& device)
{
    std::vector<Bytes> all;
    for (const auto& command : device.receivedCommands())
        all.push_back(command.bytes);
    return all;
}

} // namespace

TEST(SimulatedSettings, ModeSwitchEndsAtSilenceWhileAModeWriteRunsOn)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM1", "COM2");
    PortSlot& port = bench.context.ports().a;
    ASSERT_TRUE(port.open(bench.host, "COM1", kNormalMode));
    device->clearReceivedCommands();

    // "FD 01", a pause, then an identification: two commands.
    sendSpaced(port, bench.clock, {0xFD, 0x01}, 0);
    bench.clock.sleepMs(30);
    port.sendByte(kIdentifyCode);
    EXPECT_EQ(port.readAll(kAnswerCapacity), (Bytes{0xFD, 0x00, 0xC1, 0x00}));
    EXPECT_EQ(commandBytes(*device), (std::vector<Bytes>{{0xFD, 0x01}, {kIdentifyCode}}));
    EXPECT_EQ(device->settings().operatingMode, OperatingMode::Bypass);

    // "FD 00 …" with short pauses between bytes stays one mode write.
    device->clearReceivedCommands();
    const Bytes atr{0xFD, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x01, 0x06, 0x00, 0x02};
    sendSpaced(port, bench.clock, atr, 3);
    bench.clock.sleepMs(500);
    EXPECT_EQ(port.readAll(kAnswerCapacity), (Bytes{0xFD, 0x00}));
    EXPECT_EQ(commandBytes(*device), std::vector<Bytes>{atr});
    EXPECT_EQ(device->settings().advancedFields, Bytes(atr.begin() + 1, atr.end()));
    EXPECT_EQ(device->settings().operatingMode, OperatingMode::Bypass);

    // A mode byte the device does not know is refused at once.
    port.sendByte(0xFD);
    port.sendByte(0x07);
    bench.clock.sleepMs(500);
    EXPECT_EQ(port.readAll(kAnswerCapacity), (Bytes{0xFD, 0x01}));
}

TEST(SimulatedSettings, ClockWriteAnswersAfterTuningWithinTheHostsWait)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM1", "COM2");
    PortSlot& port = bench.context.ports().a;
    ASSERT_TRUE(port.open(bench.host, "COM1", kNormalMode));

    const TimePoint sent = bench.clock.now();
    port.sendByte(0x02);
    port.sendByte(0x00);
    port.sendByte(0x06);
    std::uint8_t first = 0;
    while (port.read(&first, 1).count == 0 && bench.clock.now() - sent < Millis(10000)) {
    }
    const Micros answeredAfter = bench.clock.now() - sent;
    EXPECT_EQ(first, 0x02);
    // Slow enough that a short wait misses it, fast enough for the host's.
    EXPECT_GT(answeredAfter, Millis(2000));
    EXPECT_LT(answeredAfter, Millis(5000));
    port.readAll(kAnswerCapacity);

    EXPECT_FALSE(runExchange(port, bench.clock, "020001", standardPreparation(), 1000).ok());
    bench.clock.sleepMs(5000); // let the late answer go by
    port.readAll(kAnswerCapacity);
    EXPECT_TRUE(runExchange(port, bench.clock, "020001", standardPreparation(), 5000).ok());
    EXPECT_EQ(device->readerSettings(1).clockHz, 3430000u);
}

TEST(SimulatedSettings, InvalidArgumentsAreRefusedAndChangeNothing)
{
    SimulatedProgrammer device;
    const DeviceSettings before = device.settings();
    const std::vector<Bytes> invalid = {
        {0x02, 0x05, 0x01},                                           // no reader 6
        {0x02, 0x00, 0x09},                                           // no clock 9
        {0x02, 0x00, 0x00},                                           // clocks count from 1
        {0x77, 0x01, 0x08},                                           // Phoenix has 7 clocks
        {0x03, 0x00, 0x03, 0x00, 0x00},                               // no speed 3
        {0x03, 0x01, 0x00, 0x05, 0x00},                               // no parity 5
        {0xFD, 0x00, 0x00, 0x07, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00}, // no clock 7
        {0xFD, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00}, // second port must be 01
        {0xFD, 0x02, 0x03, 0x00, 0x00},                               // no parity 3
        {0x44, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // clock 0
        {0x44, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // clock 8
        {0x44, 0x00, 0x01, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}, // baud 3
        {0x44, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // must start 44 00
    };
    for (const Bytes& command : invalid) {
        EXPECT_EQ(device.answerFor(1, command), (Bytes{command[0], 0x01})) << testing::PrintToString(command);
        EXPECT_EQ(device.settings(), before) << testing::PrintToString(command);
    }

    // The valid neighbours of some of them do change the settings.
    EXPECT_EQ(device.answerFor(1, {0x77, 0x01, 0x07}), (Bytes{0x77, 0x00}));
    EXPECT_EQ(device.readerSettings(2).clockHz, 12000000u);
    EXPECT_EQ(device.answerFor(1, {0x03, 0x00, 0x01, 0x02, 0x04}), (Bytes{0x03, 0x00}));
    EXPECT_EQ(device.readerSettings(1), (SimulatedProgrammer::ReaderSettings{4000000, 0x01, 0x02, 0x04}));
    EXPECT_EQ(device.answerFor(2, {0x42}), (Bytes{0x42, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_NE(device.savedSettings(), device.settings());
    EXPECT_EQ(device.answerFor(1, {0x05}), (Bytes{0x05, 0x00}));
    EXPECT_EQ(device.savedSettings(), device.settings());
}
