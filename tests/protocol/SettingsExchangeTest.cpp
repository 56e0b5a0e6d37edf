#include "protocol/Identification.h"
#include "protocol/SettingsAnswers.h"
#include "protocol/SettingsCommands.h"
#include "protocol/SettingsExchange.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A programmer of one build on COM1/COM2, with slot A open on one reader
// at the build's speed, the way the settings window finds it.
struct SettingsBench {
    test::SimBench bench;
    SpeedVariant variant;
    std::string port;
    std::shared_ptr<SimulatedProgrammer> device;

    explicit SettingsBench(SpeedVariant buildVariant = SpeedVariant::Normal, std::string portName = "COM1")
        : variant(buildVariant)
        , port(std::move(portName))
        , device(bench.addProgrammer("COM1", "COM2", buildVariant))
    {
        open();
    }

    PortSlot& slot() { return bench.context.ports().a; }

    void open() { EXPECT_TRUE(slot().open(bench.host, port, modeFor(variant))); }

    SettingsOutcome run(SettingsCommand command, std::string_view text)
    {
        return runSettingsCommand(slot(), bench.clock, command, variant, text);
    }

    SettingsOutcome run(SettingsCommand command)
    {
        return runSettingsCommand(slot(), bench.clock, command, variant);
    }

    // What the next identification on the open port reports.
    ReaderPortSettings readBack()
    {
        const IdentifyResult identity = identify(slot(), bench.clock, variant, kDefaultAnswerDelayMs);
        EXPECT_EQ(identity.mode, ProgrammerMode::Application);
        return parseReaderPortSettings(identity.fields.answerText);
    }

    void replug()
    {
        slot().close();
        device->setPlugged(false);
        device->setPlugged(true);
        open();
    }

    std::uint32_t clockOf(int reader) const { return device->readerSettings(reader).clockHz; }
};

} // namespace

TEST(SettingsExchange, ClockAndCardPortWritesShowInTheNextIdentification)
{
    SettingsBench s(SpeedVariant::Normal, "COM2");
    const std::uint32_t reader1Clock = s.clockOf(1);

    // Every clock button travels to the device and comes back checked.
    for (int button = 0; button < static_cast<int>(kClockButtons.size()); ++button) {
        const SettingsOutcome outcome = s.run(SettingsCommand::ClockWrite, buildClockWrite(false, button));
        EXPECT_TRUE(outcome.exchange.ok()) << kClockButtons[button];
        EXPECT_EQ(outcome.logLine, "Clock set OK !");
        EXPECT_EQ(s.readBack().clockButton, button) << kClockButtons[button];
    }
    EXPECT_EQ(s.clockOf(1), reader1Clock);

    // The card port, twice, so no value can be left over from before.
    EXPECT_EQ(s.run(SettingsCommand::CardPortWrite, buildCardPortWrite(false, 2, 1, 0)).logLine,
              "SmartCard Speed set OK !");
    ReaderPortSettings port = s.readBack();
    EXPECT_EQ(port.speedButton, 2);
    EXPECT_EQ(port.parityButton, 1);
    EXPECT_EQ(port.addedStopBits, 0);
    EXPECT_EQ(port.readerDigit, '2');
    EXPECT_TRUE(s.run(SettingsCommand::CardPortWrite, buildCardPortWrite(false, 0, 2, 3.5)).exchange.ok());
    port = s.readBack();
    EXPECT_EQ(port.speedButton, 0);
    EXPECT_EQ(port.parityButton, 2);
    EXPECT_EQ(port.addedStopBits, 3);
}

TEST(SettingsExchange, SaveKeepsSettingsOverAReplugAndRestoreGoesBackToFactory)
{
    SettingsBench s;
    const std::uint32_t factoryClock = s.clockOf(1);
    const std::string to8MHz = buildClockWrite(true, 4);

    // Written but not saved: gone after a replug.
    ASSERT_TRUE(s.run(SettingsCommand::ClockWrite, to8MHz).exchange.ok());
    s.replug();
    EXPECT_EQ(s.readBack().clockButton, 1); // 4.00 MHz, the factory clock

    ASSERT_TRUE(s.run(SettingsCommand::ClockWrite, to8MHz).exchange.ok());
    const SettingsOutcome saved = s.run(SettingsCommand::Save);
    EXPECT_TRUE(saved.exchange.ok());
    EXPECT_EQ(saved.logLine, "OK, setting stored in flash memory.");
    EXPECT_EQ(s.device->savedSettings().readers[0].clockHz, 8000000u);
    s.replug();
    EXPECT_EQ(s.readBack().clockButton, 4);

    // Factory default applies at once; flash keeps its copy until saved.
    const SettingsOutcome restored = s.run(SettingsCommand::RestoreDefault);
    EXPECT_EQ(restored.logLine, "OK, setting set to factory default.");
    EXPECT_EQ(s.clockOf(1), factoryClock);
    EXPECT_EQ(s.readBack().clockButton, 1);
    EXPECT_EQ(s.device->savedSettings().readers[0].clockHz, 8000000u);
}

TEST(SettingsExchange, LogLineFollowsTheDevicesVerdict)
{
    SettingsBench s;
    const std::string text = buildClockWrite(true, 2);

    s.device->setSilent(true);
    const SettingsOutcome silent = s.run(SettingsCommand::ClockWrite, text);
    EXPECT_EQ(silent.exchange.status, Status::TimedOut);
    EXPECT_TRUE(silent.exchange.answer.empty());
    EXPECT_EQ(silent.logLine, "Clock set ERROR !");
    s.device->setSilent(false);

    s.device->setAnswerFilter([](const auto&, Bytes) { return Bytes{0x02, 0x01}; });
    EXPECT_EQ(s.run(SettingsCommand::ClockWrite, text).logLine, "Clock set ERROR !");
    s.device->setAnswerFilter({});

    // The device itself refuses a clock code it does not have.
    const SettingsOutcome refused = s.run(SettingsCommand::ClockWrite, "020009");
    EXPECT_EQ(refused.exchange.answer, (Bytes{0x02, 0x01}));
    EXPECT_EQ(refused.logLine, "Clock set ERROR !");
    // A card-port write missing a group is too short: the device drops it.
    EXPECT_EQ(s.run(SettingsCommand::CardPortWrite, buildCardPortWrite(true, std::nullopt, 0, 0)).logLine,
              "SmartCard Speed set ERROR !");

    // The mode switches on a healthy device, with their own lines.
    EXPECT_EQ(s.run(SettingsCommand::BypassMode).logLine, "OK, Talvex set in Bypass mode.");
    EXPECT_EQ(s.device->settings().operatingMode, OperatingMode::Bypass);
    EXPECT_EQ(s.run(SettingsCommand::SmartMouseMode).logLine, "OK, Talvex set in SmartMouse mode.");
    EXPECT_EQ(s.device->settings().operatingMode, OperatingMode::SmartMouse);
    s.device->setSilent(true);
    EXPECT_EQ(s.run(SettingsCommand::BypassMode).logLine, "Talvex in Bypass mode.");
    EXPECT_EQ(s.run(SettingsCommand::Save).logLine, "Storing setting in flash memory ERROR !");
    s.device->setSilent(false);

    // A command text that is empty sends nothing at all.
    s.device->clearReceivedCommands();
    const SettingsOutcome empty = s.run(SettingsCommand::ClockWrite, "");
    EXPECT_EQ(empty.exchange.status, Status::BadInput);
    EXPECT_EQ(empty.logLine, "Clock set ERROR !");
    s.bench.clock.sleepMs(200);
    EXPECT_TRUE(s.device->receivedCommands().empty());
}

TEST(SettingsExchange, PhoenixWritePulsesDtrOnlyForItsBuild)
{
    const std::string text = buildPhoenixWrite(true, 0); // 3.572 MHz
    const Micros threeBytesAt9600 = characterTime(9600) * 3;

    // The Phoenix build, not yet armed: a DTR pulse, then a 500 ms wait.
    SettingsBench phoenix(SpeedVariant::LowSpeed1);
    phoenix.slot().setAnswerTiming(AnswerTiming::FullWait); // the wait itself is pinned here
    phoenix.slot().setDtr(false);
    phoenix.slot().setDtr(true);
    // Without the pulse this build does not listen.
    EXPECT_FALSE(runSettingsCommand(phoenix.slot(), phoenix.bench.clock, SettingsCommand::PhoenixWrite,
                                    SpeedVariant::Normal, text)
                     .exchange.ok());
    phoenix.device->clearReceivedCommands();

    const TimePoint start = phoenix.bench.clock.now();
    const SettingsOutcome pulsed = phoenix.run(SettingsCommand::PhoenixWrite, text);
    EXPECT_TRUE(pulsed.exchange.ok());
    EXPECT_EQ(pulsed.logLine, "Clock set OK !");
    EXPECT_EQ(phoenix.bench.clock.now() - start, Millis(500 + 20 + 500 + kReadTimeoutMs));
    const auto lines = phoenix.device->lineChanges();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].dtr);
    EXPECT_EQ(lines[0].at, start);
    EXPECT_TRUE(lines[1].dtr);
    EXPECT_EQ(lines[1].at, start + Millis(500));
    const auto heard = phoenix.device->receivedCommands();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].at, start + Millis(520) + threeBytesAt9600);
    const ReaderPortSettings read = phoenix.readBack();
    EXPECT_EQ(read.phoenixClockButton, 0);
    EXPECT_EQ(read.readerDigit, '0');
    // Every Phoenix clock travels to the device and comes back checked.
    for (int button = 0; button < static_cast<int>(kPhoenixClockButtons.size()); ++button) {
        EXPECT_TRUE(phoenix.run(SettingsCommand::PhoenixWrite, buildPhoenixWrite(true, button)).exchange.ok());
        EXPECT_EQ(phoenix.readBack().phoenixClockButton, button) << kPhoenixClockButtons[button];
    }

    // Any other build: sent at once, then a 2000 ms wait.
    SettingsBench normal(SpeedVariant::Normal);
    normal.slot().setAnswerTiming(AnswerTiming::FullWait);
    normal.device->clearReceivedCommands();
    const TimePoint at = normal.bench.clock.now();
    EXPECT_TRUE(normal.run(SettingsCommand::PhoenixWrite, buildPhoenixWrite(false, 6)).exchange.ok());
    EXPECT_EQ(normal.bench.clock.now() - at, Millis(2000 + kReadTimeoutMs));
    EXPECT_TRUE(normal.device->lineChanges().empty());
    ASSERT_EQ(normal.device->receivedCommands().size(), 1u);
    EXPECT_EQ(normal.device->receivedCommands()[0].at, at + characterTime(115200) * 3);
    EXPECT_EQ(normal.clockOf(2), 12000000u);
}

// The bytes and the stored fields of each mode are talvexctl's and the
// window's tests; here what the device makes of an ATR write and a refusal.
TEST(SettingsExchange, AdvancedWriteIsAModeWriteAndARefusalChangesNothing)
{
    AdvancedChoice atr;
    atr.mode = 0;
    atr.com1 = {1, 2, 1};
    atr.com2 = {6, 3, 3};
    SettingsBench s;
    s.device->clearReceivedCommands();
    const SettingsOutcome outcome = s.run(SettingsCommand::AdvancedWrite, buildAdvancedWrite(atr).text);
    EXPECT_TRUE(outcome.exchange.ok());
    EXPECT_EQ(outcome.logLine, "Talvex set mode OK !");
    ASSERT_EQ(s.device->receivedCommands().size(), 1u);
    const Bytes fields{0x01, 0x00, 0x02, 0x02, 0x01, 0x01, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(s.device->settings().advancedFields, fields);
    // "FD 01 …" is a mode write, not the Bypass switch it starts like.
    EXPECT_EQ(s.device->settings().operatingMode, OperatingMode::SmartMouse);

    EXPECT_EQ(s.run(SettingsCommand::AdvancedWrite, "FD0200030F").logLine, "Set mode ERROR !");
    EXPECT_EQ(s.device->settings().advancedFields, fields);
}

TEST(SettingsExchange, UniprogParametersRoundTripOnTheirBuild)
{
    SettingsBench s(SpeedVariant::LowSpeed2);
    const UniprogChoice allDefault{7, 7, 3, 3, 3, 3};

    const SettingsOutcome first = s.run(SettingsCommand::UniprogRead);
    EXPECT_EQ(first.logLine, "Talvex get parameters OK !");
    EXPECT_EQ(parseUniprogAnswer(first.exchange.answer), allDefault);

    const UniprogChoice chosen{2, 7, 1, 2, 3, 0};
    const BuiltCommand write = buildUniprogWrite(chosen);
    ASSERT_TRUE(write.ok());
    EXPECT_EQ(s.run(SettingsCommand::UniprogWrite, write.text).logLine, "Talvex set parameters OK !");
    EXPECT_EQ(s.device->settings().uniprog, (UniprogCodes{0x03, 0xFF, 0x01, 0x02, 0xFF, 0x00}));
    EXPECT_EQ(parseUniprogAnswer(s.run(SettingsCommand::UniprogRead).exchange.answer), chosen);

    // The normal build never hears the Uniprog line sequence.
    SettingsBench normal(SpeedVariant::Normal);
    EXPECT_EQ(normal.run(SettingsCommand::UniprogRead).logLine, "Get parameters ERROR !");
}
