// Answers taken as they arrive change only the waits: the same lines,
// bytes and order go over the wire as with the full waits, and a silent
// port still waits every ceiling out.

#include "protocol/Discovery.h"
#include "protocol/Identification.h"
#include "protocol/SettingsCommands.h"
#include "protocol/SettingsExchange.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

using namespace talvex;
using test::TraceBench;

namespace {

struct Recorded {
    std::string events; ///< the trace without its times
    Micros took{};
};

// What went over the wire and came back, in order: reads that found
// nothing are how long the host listened, not traffic.
std::string withoutTimes(const std::string& trace)
{
    const std::string untimed = std::regex_replace(trace, std::regex("^t=[0-9.]+ms ", std::regex::multiline), "");
    return std::regex_replace(untimed, std::regex("^read nothing\n", std::regex::multiline), "");
}

using Operation = std::function<void(TraceBench&)>;
using Arrange = std::function<void(TraceBench&)>;

Recorded runWith(AnswerTiming timing, const Arrange& setup, const Operation& operation)
{
    TraceBench bench(4, timing);
    setup(bench);
    bench.start();
    operation(bench);
    return {withoutTimes(bench.trace()), bench.clock.now() - bench.origin};
}

void openA(TraceBench& bench, SpeedVariant variant)
{
    ASSERT_TRUE(bench.port().open(bench.host, "COM2", modeFor(variant)));
}

} // namespace

TEST(EarlyAnswers, SameTrafficShorterWaitsAndSilenceWaitsInFull)
{
    struct Case {
        const char* name;
        Arrange setup;
        Operation operation;
        bool answered; // a device answers, so the early run is shorter
    };
    const auto programmer = [](SpeedVariant variant) {
        return [variant](TraceBench& b) {
            b.addSilent("COM1");
            b.addProgrammer("COM2", "COM3", variant);
        };
    };
    const auto connected = [](SpeedVariant variant) {
        return [variant](TraceBench& b) {
            b.addProgrammer("COM2", "COM3", variant);
            openA(b, variant);
        };
    };
    const auto silentOnly = [](TraceBench& b) {
        b.addSilent("COM1");
        b.addSilent("COM2");
    };
    const auto detect = [](TraceBench& b) {
        DiscoveryEnvironment env = b.discovery();
        detectProgrammer(env, b.context.detection());
    };
    const auto command = [](SettingsCommand which, SpeedVariant variant, std::string text) {
        return [which, variant, text](TraceBench& b) { runSettingsCommand(b.port(), b.clock, which, variant, text); };
    };
    const Case cases[] = {
        {"detection, normal build", programmer(SpeedVariant::Normal), detect, true},
        {"detection, low-speed 1", programmer(SpeedVariant::LowSpeed1), detect, true},
        {"detection, low-speed 2", programmer(SpeedVariant::LowSpeed2), detect, true},
        {"identify", connected(SpeedVariant::Normal),
         [](TraceBench& b) { identify(b.port(), b.clock, SpeedVariant::Normal, kDefaultAnswerDelayMs); }, true},
        {"clock write", connected(SpeedVariant::Normal),
         command(SettingsCommand::ClockWrite, SpeedVariant::Normal, buildClockWrite(true, 2)), true},
        {"save", connected(SpeedVariant::Normal), command(SettingsCommand::Save, SpeedVariant::Normal, "05"), true},
        {"Uniprog read", connected(SpeedVariant::LowSpeed2),
         command(SettingsCommand::UniprogRead, SpeedVariant::LowSpeed2, "42"), true},
        {"detection, nothing answers", silentOnly, detect, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Recorded full = runWith(AnswerTiming::FullWait, c.setup, c.operation);
        const Recorded early = runWith(AnswerTiming::AsTheyArrive, c.setup, c.operation);
        EXPECT_EQ(early.events, full.events);
        if (c.answered)
            EXPECT_LT(early.took, full.took);
        else
            EXPECT_EQ(early.took, full.took);
    }
}
