#include "serial/CardPresence.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace talvex;

TEST(CardPresence, ReportsChangesPerReaderWithTheInvertedSecondReader)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM3", "COM4");
    PortSlots& ports = bench.context.ports();
    CardPresence presence;
    EXPECT_TRUE(presence.poll(ports).empty());

    ASSERT_TRUE(ports.a.open(bench.host, "COM3", kNormalMode));
    ASSERT_TRUE(ports.b.open(bench.host, "COM4", kNormalMode));
    device->setCardPresent(1, true);
    auto changes = presence.poll(ports);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].reader, 1);
    EXPECT_TRUE(changes[0].present);
    EXPECT_TRUE(presence.poll(ports).empty()); // nothing new, nothing reported

    presence.setInverted(true);
    changes = presence.poll(ports);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].reader, 2);
    EXPECT_TRUE(presence.present(2));

    // Closed ports have no card, inverted or not.
    ports.a.close();
    ports.b.close();
    changes = presence.poll(ports);
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_FALSE(presence.present(1));
    EXPECT_FALSE(presence.present(2));
}

TEST(CardPresence, AnUnpluggedProgrammerIsReportedOnceAndAgainAfterItCameBack)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM3", "COM4");
    PortSlots& ports = bench.context.ports();
    CardPresence presence;
    ASSERT_TRUE(ports.a.open(bench.host, "COM3", kNormalMode));
    ASSERT_TRUE(ports.b.open(bench.host, "COM4", kNormalMode));
    device->setCardPresent(1, true);
    presence.poll(ports);
    EXPECT_TRUE(presence.newlyGone(ports).empty());

    device->setPlugged(false);
    EXPECT_EQ(presence.newlyGone(ports), (std::vector<int>{1, 2}));
    EXPECT_TRUE(presence.newlyGone(ports).empty()) << "said once";
    EXPECT_FALSE(presence.poll(ports).empty());
    EXPECT_FALSE(presence.present(1));

    device->setPlugged(true);
    EXPECT_TRUE(presence.newlyGone(ports).empty());
    device->setPlugged(false);
    EXPECT_EQ(presence.newlyGone(ports), (std::vector<int>{1, 2}));
    // A closed slot is not a vanished device.
    ports.a.close();
    ports.b.close();
    device->setPlugged(true);
    EXPECT_TRUE(presence.newlyGone(ports).empty());
}

TEST(CardPresence, PollingThreadAndOpeningAndClosingDoNotRace)
{
    // The reader thread polls while the UI thread opens, closes and the
    // device's cards come and go; run under ThreadSanitizer in CI.
    test::SimBench bench;
    auto device = bench.addProgrammer("COM3", "COM4");
    PortSlots& ports = bench.context.ports();
    CardPresence presence;
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    std::thread poller([&] {
        while (!stop) {
            presence.poll(ports);
            ++passes;
        }
    });
    for (int round = 0; round < 200; ++round) {
        (void)ports.a.open(bench.host, "COM3", kNormalMode);
        (void)ports.b.open(bench.host, "COM4", kNormalMode);
        device->setCardPresent(1 + round % 2, round % 3 == 0);
        presence.setInverted(round % 5 == 0);
        ports.a.readAll(16);
        ports.b.close();
        ports.a.close();
    }
    while (passes < 10)
        std::this_thread::yield();
    stop = true;
    poller.join();
    EXPECT_FALSE(ports.a.isOpen());
    presence.poll(ports);
    EXPECT_FALSE(presence.present(1));
    EXPECT_FALSE(presence.present(2));
}
