// The line preparation, bytes and wait of every settings command, per
// build: the device hears a command only after its own preparation, and
// its answer is read only after the command's own wait.

#include "protocol/SettingsExchange.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::TraceBench;
using test::TraceSteps;

TEST(TraceSettings, EachCommandPreparesTheLinesSendsAndWaitsItsOwnTime)
{
    struct Case {
        const char* name;
        SettingsCommand command;
        SpeedVariant variant;
        const char* text;
        TraceSteps steps;
    };
    const Case cases[] = {
        {"clock write", SettingsCommand::ClockWrite, SpeedVariant::Normal, "020005",
         {{0, "DTR on"}, {200, "send 02 00 05"}, {5000, "read 02 00"}, {20, "done"}}},
        {"card-port write", SettingsCommand::CardPortWrite, SpeedVariant::Normal, "0300020100",
         {{0, "DTR on"}, {200, "send 03 00 02 01 00"}, {1000, "read 03 00"}, {20, "done"}}},
        {"save", SettingsCommand::Save, SpeedVariant::Normal, "05",
         {{0, "DTR on"}, {200, "send 05"}, {1000, "read 05 00"}, {20, "done"}}},
        {"restore default", SettingsCommand::RestoreDefault, SpeedVariant::Normal, "06",
         {{0, "DTR on"}, {200, "send 06"}, {1000, "read 06 00"}, {20, "done"}}},
        {"SmartMouse mode", SettingsCommand::SmartMouseMode, SpeedVariant::Normal, "FD00",
         {{0, "DTR on"}, {200, "send FD 00"}, {500, "read FD 00"}, {20, "done"}}},
        {"Bypass mode", SettingsCommand::BypassMode, SpeedVariant::Normal, "FD01",
         {{0, "DTR on"}, {200, "send FD 01"}, {500, "read FD 00"}, {20, "done"}}},
        {"Advanced write", SettingsCommand::AdvancedWrite, SpeedVariant::Normal, "FD010002020101FFFFFF",
         {{0, "DTR on"}, {50, "send FD 01 00 02 02 01 01 FF FF FF"}, {1000, "read FD 00"}, {20, "done"}}},
        {"Advanced write, low-speed 1", SettingsCommand::AdvancedWrite, SpeedVariant::LowSpeed1,
         "FD010002020101FFFFFF",
         {{0, "DTR off"},
          {500, "DTR on"},
          {20, "send FD 01 00 02 02 01 01 FF FF FF"},
          {500, "read FD 00"},
          {20, "done"}}},
        {"Phoenix write", SettingsCommand::PhoenixWrite, SpeedVariant::Normal, "770003",
         {{0, "send 77 00 03"}, {2000, "read 77 00"}, {20, "done"}}},
        {"Phoenix write, low-speed 1", SettingsCommand::PhoenixWrite, SpeedVariant::LowSpeed1, "770003",
         {{0, "DTR off"}, {500, "DTR on"}, {20, "send 77 00 03"}, {500, "read 77 00"}, {20, "done"}}},
        {"Uniprog read", SettingsCommand::UniprogRead, SpeedVariant::LowSpeed2, "42",
         {{0, "RTS on"}, {50, "DTR off"}, {50, "send 42"}, {500, "read 42 00 00 FF FF FF FF FF FF"}, {20, "done"}}},
        {"Uniprog write", SettingsCommand::UniprogWrite, SpeedVariant::LowSpeed2, "44000102000102FF0000",
         {{0, "RTS on"},
          {50, "DTR off"},
          {50, "send 44 00 01 02 00 01 02 FF 00 00"},
          {500, "read 44 00"},
          {20, "done"}}},
        {"Uniprog factory reset", SettingsCommand::UniprogFactoryReset, SpeedVariant::LowSpeed2, "45",
         {{0, "RTS on"}, {50, "DTR off"}, {50, "send 45"}, {500, "read 45 00"}, {20, "done"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceBench bench(2);
        bench.addProgrammer("COM1", "COM2", c.variant);
        ASSERT_TRUE(bench.port().open(bench.host, "COM1", modeFor(c.variant)));

        bench.start();
        const SettingsOutcome outcome = runSettingsCommand(bench.port(), bench.clock, c.command, c.variant, c.text);

        EXPECT_EQ(bench.trace(), test::expectedTrace(c.steps));
        EXPECT_TRUE(outcome.exchange.ok());
    }
}
