#include "firmware/BlockFrame.h"
#include "firmware/FirmwareProtocol.h"
#include "sim/BootLoader.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;
using Firmware = SimulatedProgrammer::Firmware;

namespace {

Bytes frameOf(std::uint8_t fill, bool repeated)
{
    std::array<std::uint8_t, kBlockSize> block;
    block.fill(fill);
    const BlockFrame frame = buildBlockFrame(block.data(), repeated);
    return {frame.begin(), frame.end()};
}

Bytes blockAt(const BootLoader& loader, int block)
{
    const auto start = loader.image().begin() + block * static_cast<std::ptrdiff_t>(kBlockSize);
    return {start, start + kBlockSize};
}

// Sends bytes back to back and reads what comes within `waitMs`.
Bytes exchange(test::SimBench& bench, PortSlot& port, const Bytes& bytes, int waitMs)
{
    for (const auto byte : bytes)
        port.sendByte(byte);
    bench.clock.sleepMs(waitMs);
    return port.readAll(64);
}

} // namespace

TEST(BootLoader, RefusesFramesItCannotWrite)
{
    BootLoader loader;
    EXPECT_EQ(loader.programBlock(frameOf(0x11, false)), (Bytes{0xC6, 0x00})) << "not erased yet";
    EXPECT_EQ(loader.erase(), (Bytes{0xA8, 0x00}));

    Bytes corrupted = frameOf(0x33, false);
    corrupted[10] ^= 0x01;
    EXPECT_EQ(loader.programBlock(corrupted), (Bytes{0xB6, 0x00}));
    // After a refusal the repeat goes to the block that was refused.
    EXPECT_EQ(loader.programBlock(frameOf(0x33, true))[0], 0xA6);
    EXPECT_EQ(loader.acceptedBlocks(), 1);
    EXPECT_EQ(blockAt(loader, 0), Bytes(kBlockSize, 0x33));

    while (loader.acceptedBlocks() < kBlockCount)
        ASSERT_EQ(loader.programBlock(frameOf(0x44, false)).size(), 2u);
    EXPECT_EQ(loader.programBlock(frameOf(0x66, false)), (Bytes{0xC6, 0x00})) << "past the end";
    EXPECT_EQ(loader.programBlock(frameOf(0x44, true))[0], 0xA7) << "the last block again";
}

TEST(SimulatedBootLoader, HalfWrittenImageStartsTheBootLoaderAndAWholeOneTheApplication)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM1", "COM2");
    device->setFirmware(Firmware::BootLoader);
    PortSlot& port = bench.context.ports().a;
    auto replug = [&] {
        port.close();
        device->setPlugged(false);
        device->setPlugged(true);
        ASSERT_TRUE(port.open(bench.host, "COM1", kNormalMode));
        port.setDtr(true);
    };
    replug();
    EXPECT_EQ(device->firmware(), Firmware::BootLoader) << "parked in the boot loader";

    EXPECT_EQ(exchange(bench, port, {kEraseCode}, 800), (Bytes{0xA8, 0x00}));
    const Bytes frame = frameOf(0x42, false);
    for (int block = 0; block < 100; ++block)
        ASSERT_EQ(exchange(bench, port, frame, 10).at(0), 0xA6);
    replug();
    EXPECT_EQ(device->firmware(), Firmware::BootLoader);
    EXPECT_EQ(device->acceptedBlocks(), 0) << "the write position is lost with the power";
    EXPECT_EQ(exchange(bench, port, frame, 10), (Bytes{0xC6, 0x00})) << "erase first";

    EXPECT_EQ(exchange(bench, port, {kEraseCode}, 800), (Bytes{0xA8, 0x00}));
    for (int block = 0; block < kLastBlock; ++block)
        ASSERT_EQ(exchange(bench, port, frame, 10).at(0), 0xA6);
    EXPECT_EQ(exchange(bench, port, frame, 10).at(0), 0xA7);
    replug();
    EXPECT_EQ(device->firmware(), Firmware::Application);
}
