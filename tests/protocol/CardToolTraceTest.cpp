// The card tool's lines and waits: the reset pulse on RTS, the time a card
// gets for its answer to reset, the settle before a command, each
// command's own wait, and the wait for the reader's identity that the ATR's
// fit is judged by. What the card answers is the front ends' to show.

#include "protocol/CardToolCommands.h"
#include "smartcard/ReaderFit.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

using namespace talvex;
using test::TraceBench;
using test::TraceSteps;

TEST(TraceCardTool, EachCommandMovesTheResetLineAndWaitsItsOwnTime)
{
    const TraceSteps pulse {{0, "RTS off"}, {200, "RTS on"}, {200, "RTS off"}};
    const auto command = [](const std::string& bytes, int waitMs) {
        return TraceSteps {{0, "RTS on"}, {200, "send " + bytes}, {waitMs, "read"}};
    };
    TraceSteps frames = pulse + TraceSteps {{600, "read"}};
    for (const char* frame : {"01 02 02 03 00 00 3D", "01 02 00 03 00 00 3F", "01 02 01 00 00 00 3D",
                              "01 02 0E 02 00 00 30", "01 02 0E 03 00 00 31"})
        frames = frames + TraceSteps {{20, std::string("send ") + frame}, {200, "read"}};
    struct Case {
        const char* name;
        std::function<void(PortSlot&, Clock&)> run;
        TraceSteps steps;
    };
    const Case cases[] = {
        {"ATR", [](PortSlot& port, Clock& clock) { EXPECT_TRUE(readAtr(port, clock, true, {}).ok); },
         pulse + TraceSteps {{2000, "read"}, {20, "RTS on"}}},
        {"serial number", [](PortSlot& port, Clock& clock) { serialNumberCommand(port, clock); }, command("00", 200)},
        {"command 04", [](PortSlot& port, Clock& clock) { command04(port, clock); }, command("04", 3000)},
        {"clock change", [](PortSlot& port, Clock& clock) { clockChangeCommand(port, clock); },
         command("02 00 03", 3000)},
        {"test frames", [](PortSlot& port, Clock& clock) { sendTestFrames(port, clock); }, frames},
        {"reader's identity", [](PortSlot& port, Clock& clock) { EXPECT_TRUE(queryReaderCardPort(port, clock)); },
         {{0, "read"}, {20, "send 00"}, {200, "read"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceBench bench(2);
        auto device = bench.addProgrammer("COM1", "COM2");
        device->setCardPresent(1, true);
        device->setCardAtr(1, {0x3B, 0x00});
        ASSERT_TRUE(bench.port().open(bench.host, "COM1", kNormalMode));

        bench.start();
        c.run(bench.port(), bench.clock);
        // The bytes read are left out, and when the last read ended: the
        // waits are what is pinned here.
        std::string trace = std::regex_replace(bench.trace(), std::regex("read [^\n]*"), "read");
        trace.erase(trace.rfind("t=", trace.size() - 2));
        EXPECT_EQ(trace, test::expectedTrace(c.steps));
    }
}
