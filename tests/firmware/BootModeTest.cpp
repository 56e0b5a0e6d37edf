#include "firmware/UploadBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::UploadBench;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
using Firmware = SimulatedProgrammer::Firmware;

namespace {

const Lines kUntilReconnect{"Ok, read 102400 bytes", "Checking mode.", "Checking boot mode.", "Application Mode.",
                            "Returning to boot mode.", "Back to boot succesfull", "Attempting to close COM port...",
                            "COM port closed ...", "waiting to connect programmer..."};

Lines plus(Lines lines, const Lines& more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// The 0xA5 the device took in after the back-to-boot command.
int bootPolls(const SimulatedProgrammer& device)
{
    int polls = 0;
    bool backToBoot = false;
    for (const auto& command : device.receivedCommands()) {
        if (command.bytes == Bytes{kBackToBootNormal})
            backToBoot = true;
        else if (backToBoot && command.bytes == Bytes{kBootCheckCode})
            ++polls;
    }
    return polls;
}

} // namespace

TEST(BootMode, ApplicationGoesBackToBootIsReconnectedByItsSerialAndProgrammed)
{
    UploadBench bench(Firmware::Application);
    bench.device->setPlugScript(test::plugScript(3, 4));
    const UploadOutcome outcome = bench.upload();

    EXPECT_EQ(outcome.ending, UploadEnding::Success);
    EXPECT_EQ(outcome.reconnect, ReconnectResult::Found);
    EXPECT_EQ(bench.observer.log,
              plus(kUntilReconnect, {"serching for Talvex ...", "Ok, found Talvex ...", "Erasing Application.",
                                     "Erase Application successful.", "Uploading...", "Programming Finished!"}));
    const Lines statuses{"upper:Please, unplug the reader ...", "lower:", "log:Attempting to close COM port...",
                         "log:COM port closed ...", "upper:Ok, reconnect the reader to start upload ...", "lower:",
                         "log:waiting to connect programmer..."};
    const Lines seen = bench.observer.eventsFrom(statuses.front());
    EXPECT_EQ(Lines(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(statuses.size())), statuses);
    EXPECT_EQ(bench.observer.states,
              (std::vector<UploadState>{UploadState::CheckingMode, UploadState::BackToBoot,
                                        UploadState::WaitingForUnplug, UploadState::WaitingForReconnect,
                                        UploadState::Erasing, UploadState::SendingBlocks, UploadState::Finished}));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
    EXPECT_TRUE(bench.sim.context.detection().bootLoader);
    // Three polls answered, the fourth met the pulled plug, the fifth is
    // the identification after four failed opens and one good one.
    EXPECT_EQ(bootPolls(*bench.device), 5);
    EXPECT_EQ(bench.sim.host.openAttempts("COM3"), 1 + 5);
    EXPECT_TRUE(bench.port().isOpen());

    // Programmed completely: the application starts at the next plug-in.
    bench.device->setPlugged(false);
    bench.device->setPlugged(true);
    EXPECT_EQ(bench.device->firmware(), Firmware::Application);
}

TEST(BootMode, EachReconnectionResultEndsOrContinuesTheUpload)
{
    {
        SCOPED_TRACE("1: the port never comes back");
        UploadBench bench(Firmware::Application);
        bench.device->setPlugScript(test::plugScript(0));
        const TimePoint start = bench.sim.clock.now();
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::NotReconnected);
        EXPECT_FALSE(outcome.hasVerdict());
        EXPECT_EQ(outcome.reconnect, ReconnectResult::PortNotBack);
        EXPECT_EQ(bench.observer.log, kUntilReconnect);
        EXPECT_EQ(bench.observer.upper, "Ok, reconnect the reader to start upload ...");
        EXPECT_EQ(bench.sim.host.openAttempts("COM3"), 1 + 200);
        EXPECT_GE(bench.sim.clock.now() - start, Millis(200 * 500));
        EXPECT_FALSE(bench.port().isOpen());
    }
    {
        SCOPED_TRACE("2: another programmer is plugged in");
        UploadBench bench(Firmware::Application);
        bench.device->setPlugScript(test::plugScript(1, 2, "FEDCBA9876543210FEDCBA9876543210"));
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::NotReconnected);
        EXPECT_EQ(outcome.reconnect, ReconnectResult::OtherDevice);
        EXPECT_EQ(bench.observer.log, plus(kUntilReconnect, {"serching for Talvex ...", "not the right Talvex ..."}));
        EXPECT_FALSE(bench.received({kEraseCode}));
    }
    {
        SCOPED_TRACE("3: what comes back gives no serial number");
        UploadBench bench(Firmware::Application);
        bench.device->setPlugScript(test::plugScript(1));
        bench.sim.clock.at(TimePoint(Millis(30000)), [&] {
            bench.device->setSilent(true);
            bench.device->setPlugged(true);
        });
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::NotReconnected);
        EXPECT_EQ(outcome.reconnect, ReconnectResult::NoSerial);
        EXPECT_EQ(bench.observer.log, plus(kUntilReconnect, {"serching for Talvex ..."}));
    }
    for (const std::string expected : {"", "89ABCDEF0123"}) {
        SCOPED_TRACE("0: the expected serial \"" + expected + "\" occurs in the one found");
        UploadBench bench(Firmware::Application);
        bench.expectedSerial = expected;
        bench.device->setPlugScript(test::plugScript(1, 0));
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.reconnect, ReconnectResult::Found);
        EXPECT_EQ(outcome.ending, UploadEnding::Success);
    }
}

// Each build's back-to-boot bytes and lines are pinned in UploadTraceTest;
// here each upload goes on to the end, at 115200 after the replug.
TEST(BootMode, EachBuildIsReachedAt115200AfterItsBackToBootAndProgrammed)
{
    for (const SpeedVariant variant : {SpeedVariant::Normal, SpeedVariant::LowSpeed1, SpeedVariant::LowSpeed2}) {
        SCOPED_TRACE(static_cast<int>(variant));
        UploadBench bench(Firmware::Application, variant);
        // A low-speed build's boot loader does not hear the 9600-baud polls,
        // so the wait for the unplug ends at once, unplugged or not.
        bench.device->setPlugScript(test::plugScript(2, 1));
        EXPECT_EQ(bench.upload().ending, UploadEnding::Success);
        EXPECT_EQ(bench.sim.context.detection().variant, SpeedVariant::Normal);
        EXPECT_EQ(bench.device->programmedImage(), bench.image);
    }
}

TEST(BootMode, BackToBootAnswerIsAnyOfTheThreeAcknowledgements)
{
    {
        SCOPED_TRACE("AA 00 after FF");
        UploadBench bench(Firmware::Application);
        bench.device->setPlugScript(test::plugScript(1, 0));
        bench.device->setAnswerFilter([](const auto& command, Bytes answer) {
            return command.bytes == Bytes{kBackToBootNormal} ? Bytes{0xAA, 0x00} : answer;
        });
        EXPECT_EQ(bench.upload().ending, UploadEnding::Success);
    }
    for (const bool staleBootFlag : {false, true}) {
        SCOPED_TRACE(staleBootFlag ? "refused, boot flag left set" : "refused");
        UploadBench bench(Firmware::Application);
        bench.sim.context.detection().bootLoader = staleBootFlag;
        bench.device->setAnswerFilter([](const auto& command, Bytes answer) {
            return command.bytes == Bytes{kBackToBootNormal} ? Bytes{0xFF, 0x01} : answer;
        });
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::BackToBootFailed);
        EXPECT_FALSE(outcome.hasVerdict());
        EXPECT_EQ(bench.observer.log.back(), "ERROR: Back to boot failed");
        EXPECT_EQ(bench.sim.context.detection().bootLoader, staleBootFlag);
        EXPECT_NE(bench.observer.upper, "Please, unplug the reader ...");
        EXPECT_FALSE(bench.received({kEraseCode}));
    }
}

TEST(BootMode, WaitForUnplugPollsUntilAPassReadsNothing)
{
    UploadBench bench;
    int pumps = 0;
    auto pump = [&] { ++pumps; };
    const TimePoint start = bench.sim.clock.now();
    bench.sim.clock.at(start + Millis(2000), [&] { bench.device->setPlugged(false); });
    const int passes = waitForUnplug(bench.port(), bench.sim.clock, SpeedVariant::Normal, pump);
    EXPECT_GE(bench.sim.clock.now() - start, Millis(2000));
    // About half a second a pass: four answered, the fifth finds it gone.
    EXPECT_EQ(passes, 5);
    EXPECT_EQ(pumps, passes);

    PortSlot closed;
    EXPECT_EQ(waitForUnplug(closed, bench.sim.clock, SpeedVariant::Normal, pump), 1);
}
