#include "batch/BatchFixture.h"

#include "firmware/FirmwareProtocol.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace talvex::test {
namespace {

bool went(const std::vector<BatchPhase>& phases, BatchPhase phase)
{
    return std::find(phases.begin(), phases.end(), phase) != phases.end();
}

// How long one programmer running its application takes alone, in the
// device's time: the yardstick for a batch.
Micros aloneTime()
{
    BatchBench alone(1);
    const auto start = alone.clock.now();
    const BatchResult result = alone.run(alone.find(), false);
    EXPECT_TRUE(result.allConfirmed());
    return alone.clock.now() - start;
}

TEST(BatchUpload, FourProgrammersUploadAndTakeTheirSerialNumbersInTheTimeOfOne)
{
    BatchBench b(4);
    // Two wait in their boot loader already: they start at once.
    b.bench.programmer(2).setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    b.bench.programmer(3).setFirmware(SimulatedProgrammer::Firmware::BootLoader);

    const auto start = b.clock.now();
    const std::vector<FoundProgrammer> found = b.find();
    ASSERT_EQ(found.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const FoundProgrammer& programmer = found[static_cast<std::size_t>(i)];
        EXPECT_EQ(programmer.portsText(), SimulatedBench::reader1Port(i) + "/" + SimulatedBench::reader2Port(i));
        EXPECT_EQ(programmer.serialNumber, SimulatedBench::serialNumberOf(i));
        ASSERT_TRUE(programmer.usb);
        EXPECT_EQ(programmer.usb->location, "2-" + std::to_string(i + 1));
        EXPECT_EQ(programmer.mode, i < 2 ? ProgrammerMode::Application : ProgrammerMode::BootLoader);
    }
    // Only interface A of each chip was opened to find them.
    EXPECT_EQ(b.bench.simulatedHost().openAttempts("COM4"), 0);

    const BatchResult result = b.run(found, true);
    const Micros batchTime = b.clock.now() - start;
    ASSERT_FALSE(result.error) << *result.error;
    ASSERT_EQ(result.records.size(), 4u);
    EXPECT_TRUE(result.allConfirmed());
    EXPECT_EQ(result.firmwareSha256.size(), 64u);
    for (std::size_t i = 0; i < 4; ++i) {
        const BatchRecord& record = result.records[i];
        SCOPED_TRACE(record.ports);
        EXPECT_TRUE(record.confirmed) << record.reason;
        EXPECT_EQ(record.position, i + 1);
        EXPECT_EQ(record.versionBefore, i < 2 ? "1.10" : "boot loader");
        EXPECT_FALSE(record.versionAfter.empty());
        const std::string usbSerial = *usbSerialFromProgrammerSerial(record.serialNumber);
        EXPECT_EQ(record.usbSerial, usbSerial);
        EXPECT_EQ(eepromString(b.bench.ftdi(static_cast<int>(i))->eeprom(), kSerialPointerWord), usbSerial);
        EXPECT_EQ(b.bench.programmer(static_cast<int>(i)).programmedImage(), b.image);

        const std::vector<BatchPhase> phases = b.observer.row(i).phases;
        EXPECT_EQ(went(phases, BatchPhase::Unplug), i < 2) << "only a running application is re-plugged";
        EXPECT_EQ(phases.back(), BatchPhase::Done);
        EXPECT_EQ(b.observer.row(i).finished, 1);
        const std::vector<int> percents = b.observer.row(i).percents;
        ASSERT_FALSE(percents.empty());
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_GE(percents.back(), 99);
    }
    // The four share the wire's time: together no longer than the slowest
    // alone, searching included.
    const Micros alone = aloneTime();
    EXPECT_LT(batchTime.count(), alone.count() + alone.count() / 20)
        << "batch " << batchTime.count() / 1000 << " ms, alone " << alone.count() / 1000 << " ms";
}

TEST(BatchUpload, AFailureStaysInItsRowAndTheOthersGoOn)
{
    BatchBench b(4);
    b.bench.programmer(1).injectBlockFault(500, BlockFault::FlashError);
    SimulatedProgrammer::PlugScript knockedOut = plugScript(6, 6);
    knockedOut.unplugAtBlock = 1000;
    b.bench.programmer(2).setPlugScript(knockedOut);
    b.bench.programmer(3).setPlugScript(plugScript(6, -1)); // never comes back

    const BatchResult result = b.run(b.find(), true);
    ASSERT_FALSE(result.error) << *result.error;
    ASSERT_EQ(result.records.size(), 4u);
    EXPECT_FALSE(result.allConfirmed());

    EXPECT_TRUE(result.records[0].confirmed) << result.records[0].reason;
    EXPECT_EQ(result.records[0].usbSerial, *usbSerialFromProgrammerSerial(SimulatedBench::serialNumberOf(0)));
    EXPECT_EQ(b.bench.programmer(0).programmedImage(), b.image);

    const BatchRecord& flash = result.records[1];
    EXPECT_FALSE(flash.confirmed);
    const VerdictTexts flashTexts = verdictTexts(UploadEnding::FlashError);
    EXPECT_EQ(flash.reason, std::string(flashTexts.upper) + flashTexts.lower);
    EXPECT_TRUE(flash.usbSerial.empty()) << "no serial number after a failed upload";

    const BatchRecord& unplugged = result.records[2];
    EXPECT_FALSE(unplugged.confirmed);
    const VerdictTexts unpluggedTexts = verdictTexts(UploadEnding::Unplugged);
    EXPECT_EQ(unplugged.reason, std::string(unpluggedTexts.upper) + unpluggedTexts.lower);
    EXPECT_EQ(b.bench.programmer(2).acceptedBlocks(), 1000);

    const BatchRecord& gone = result.records[3];
    EXPECT_FALSE(gone.confirmed);
    EXPECT_EQ(gone.reason, "the programmer did not come back on COM9; nothing was erased");
    EXPECT_EQ(b.observer.row(3).phases.back(), BatchPhase::Failed);
    // Its application is untouched: only its boot flag was set.
    EXPECT_EQ(b.bench.programmer(3).acceptedBlocks(), 0);
}

TEST(BatchUpload, NothingIsTouchedWhenTheBatchCannotStart)
{
    BatchBench b(2);
    const std::vector<FoundProgrammer> found = b.find();
    ASSERT_EQ(found.size(), 2u);
    b.bench.programmer(0).clearReceivedCommands();

    BatchSettings settings;
    settings.firmwarePath = b.folder.path("missing.bin");
    BatchEnvironment env {b.bench.host(), b.clock, {}};
    BatchResult result = BatchUpload(env, settings, b.observer).run(found);
    ASSERT_TRUE(result.error);
    EXPECT_NE(result.error->find("file not found"), std::string::npos);

    // Serial numbers asked for without an FTDI library: refused up front.
    settings.firmwarePath = b.firmware;
    settings.serialize = true;
    env.usbSerialLibrary = [] { return d2xxBackend(D2xxLoadResult {nullptr, "ftd2xx.dll was not found"}); };
    result = BatchUpload(env, settings, b.observer).run(found);
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.records.empty());
    EXPECT_TRUE(b.bench.programmer(0).receivedCommands().empty());
}

TEST(BatchUpload, AProgrammerLeftPluggedInIsGivenUpAlone)
{
    BatchBench b(2);
    b.bench.programmer(1).setPlugScript(plugScript(-1, -1)); // nobody pulls its plug
    const BatchResult result = b.run(b.find(), false);
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_TRUE(result.records[0].confirmed) << result.records[0].reason;
    EXPECT_FALSE(result.records[1].confirmed);
    EXPECT_EQ(result.records[1].reason,
              "the programmer on COM5 was not unplugged in time; it waits in its boot loader, nothing was erased");
    EXPECT_EQ(b.bench.programmer(1).acceptedBlocks(), 0);
    // Given up after the batch's 750 polls for the unplug.
    const auto commands = b.bench.programmer(1).receivedCommands();
    const auto sent = [](std::uint8_t code) {
        return [code](const auto& command) { return command.bytes == std::vector<std::uint8_t> {code}; };
    };
    const auto backToBoot = std::find_if(commands.begin(), commands.end(), sent(kBackToBootNormal));
    EXPECT_EQ(std::count_if(backToBoot, commands.end(), sent(kBootCheckCode)), 750);
}

} // namespace
} // namespace talvex::test

namespace talvex::test {
namespace {

// The host after a re-plug of several devices at once: the programmer's
// interface A is listed as COM11 from the back-to-boot on.
class RenumberingHost final : public PortHost {
public:
    explicit RenumberingHost(PortHost& host)
        : m_host(host)
    {
    }
    std::atomic<bool> renumbered {false};

    std::vector<PortInfo> listPorts() override
    {
        std::vector<PortInfo> ports = m_host.listPorts();
        if (renumbered) {
            for (PortInfo& port : ports) {
                if (port.name == "COM3")
                    port.name = "COM11";
            }
        }
        return ports;
    }
    OpenResult open(const std::string& name, const std::string& mode) override
    {
        // The old name is gone once the chip came back under the new one.
        if (renumbered && name == "COM3")
            return fail(Status::Gone, "COM3: The system cannot find the file specified.");
        return m_host.open(name, mode);
    }

private:
    PortHost& m_host;
};

TEST(BatchUpload, AProgrammerBackOnAnotherPortIsFoundByItsChip)
{
    BatchBench b(1);
    RenumberingHost host(b.bench.host());
    const std::vector<FoundProgrammer> found = b.find();
    ASSERT_EQ(found.size(), 1u);
    b.bench.simulatedHost().attach("COM11", b.bench.programmer().reader(1));
    b.bench.programmer().setAnswerFilter(
        [&](const SimulatedProgrammer::ReceivedCommand& command, std::vector<std::uint8_t> answer) {
            if (command.bytes == std::vector<std::uint8_t> {0xFF})
                host.renumbered = true;
            return answer;
        });

    BatchSettings settings;
    settings.firmwarePath = b.firmware;
    const BatchResult result = BatchUpload({host, b.clock, {}}, settings, b.observer).run(found);
    ASSERT_EQ(result.records.size(), 1u);
    EXPECT_TRUE(result.records[0].confirmed) << result.records[0].reason;
    EXPECT_TRUE(host.renumbered);
    EXPECT_GT(b.bench.simulatedHost().openAttempts("COM11"), 0);
    EXPECT_EQ(b.bench.programmer().programmedImage(), b.image);
}

} // namespace
} // namespace talvex::test
