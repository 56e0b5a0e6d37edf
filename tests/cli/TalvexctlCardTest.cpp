// talvexctl's smartcard diagnostics against the simulated programmer in
// virtual time: an ATR given as text, each simulated card shape read and
// decoded at the reader's settings, presence watched, the test frames.

#include "cli/CardCommands.h"
#include "cli/CliBench.h"
#include "sim/SimulatedBench.h"
#include "firmware/UploadBench.h"
#include "protocol/CardToolCommands.h"
#include "protocol/CommandText.h"
#include "sim/SimulatedCards.h"
#include "smartcard/Atr.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

// A programmer on COM3/COM4 and a card list made by the test.
struct CardBench : CliBench {
    std::shared_ptr<SimulatedProgrammer> device = sim.addProgrammer("COM3", "COM4");
    test::TempFolder folder;
    std::string list = folder.path("smartcard_list.txt");

    CardBench()
    {
        std::ofstream(list) << "3B 02 14 50\n\tSimulated default card\n\tsecond line\n"
                               "3F 14 11 54 4C 56 58\n\tSimulated inverse card\n";
    }

    CliResult card(const std::string& command, std::vector<std::string> more = {})
    {
        std::vector<std::string> arguments {"card", command, "--port", "COM3"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(arguments);
    }
};

} // namespace

TEST(TalvexctlAtr, DecodesAnAtrGivenAsTextAndRefusesMalformedHex)
{
    CardBench bench;
    const CliResult text = bench.run({"atr", "3B021450", "--card-list", bench.list});
    EXPECT_EQ(text.status, 0) << text.err;
    for (const char* line : {"ATR: 3B 02 14 50 (4 bytes)\n", "Card: Simulated default card\n  second line\n",
                             "TS: 3B: direct convention\n", "K=2 historical bytes\n", "Protocols: T=0 (no TD1",
                             "Bit rate during the ATR: 9600 bit/s, etu 104.17 us at 3.5712 MHz",
                             "Historical bytes: 14 50 (2)\n", "TCK: absent: only T=0 offered\n"})
        EXPECT_TRUE(contains(text.out, line)) << line << "\n" << text.out;
    EXPECT_EQ(text.err, "");
    EXPECT_TRUE(bench.device->lineChanges().empty()); // no device touched

    const CliResult json = bench.run({"atr", "3B FA 13 00 FF 81 31 80 45 00 31 C1 73 C0 01 00 00 90 00 B0", "--json",
                                      "--card-list", bench.list});
    EXPECT_EQ(json.status, 0) << json.err;
    for (const char* part : {"\"wellFormed\":false", "\"problems\":[\"TCK is B0, expected B1", "\"card\":null",
                             "\"protocols\":[1]", "\"F\":372", "\"D\":4", "\"extraGuardTime\":255",
                             "\"tck\":{\"required\":true,\"value\":\"B0\",\"expected\":\"B1\",\"valid\":false}",
                             "\"t1\":{\"ifsc\":128,\"bwi\":4,\"cwi\":5,\"edc\":\"LRC\"}",
                             "\"statusIndicator\":{\"lcs\":\"00\",\"sw\":\"9000\"}"})
        EXPECT_TRUE(contains(json.out, part)) << part << "\n" << json.out;

    for (const char* bad : {"3B0", "3B 0G", "", "0x3B02"}) {
        const CliResult refused = bench.run({"atr", bad});
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_TRUE(contains(refused.err, "HEX is the ATR as pairs of hex digits")) << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    EXPECT_EQ(bench.run({"atr"}).status, 2);
    EXPECT_EQ(bench.run({"--sim-cards", "t1", "atr", "3B00"}).status, 2);
}

namespace {

// What the decoding says about rates and the reader: all of the fit.
std::string fitLines(const std::string& text)
{
    std::istringstream lines(text);
    std::string fit;
    for (std::string line; std::getline(lines, line);) {
        for (const char* label : {"Bit rate", "Verdict: ", "Warning: "}) {
            if (line.rfind(label, 0) == 0)
                fit += line + "\n";
        }
    }
    return fit;
}

} // namespace

TEST(TalvexctlAtr, ReaderSettingsGivenAsOptionsGiveTheFitCardAtrReads)
{
    struct Case {
        const char* atr;
        const char* clock;
        std::uint32_t clockHz;
        const char* baud;
        std::uint8_t speedCode;
        const char* verdict;
    };
    // 3B 90 13 10 00: specific mode, F=372, D=4: 3.43 MHz · 4 / 372 = 36881.7 bit/s.
    const Case cases[] = {
        {"3B 90 13 10 00", "3.43", 3430000, "9600", 0x00,
         "Verdict: the card port's 9600 baud does not suit the card: it works at 36881.7 bit/s"},
        {"3B 90 13 10 00", "3.43", 3430000, "38400", 0x01,
         "Verdict: the card port's 38400 baud suits the card: it works at 36881.7 bit/s"},
        {"3B 02 14 50", "12", 12000000, "115200", 0x02,
         "Verdict: settings that suit the card: 3.43 MHz with 9600 baud\n"
         "Warning: the reader's clock 12 MHz is above the card's maximum 5 MHz"},
    };
    CardBench bench;
    bench.device->setCardPresent(1, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.atr) + " at " + c.baud);
        SimulatedProgrammer::ReaderSettings settings;
        settings.clockHz = c.clockHz;
        settings.speedCode = c.speedCode;
        bench.device->setReaderSettings(1, settings);
        bench.device->setCardAtr(1, *parseHexBytes(c.atr));
        const CliResult read = bench.card("atr");
        const CliResult given = bench.run({"atr", c.atr, "--clock", c.clock, "--card-port", c.baud});
        EXPECT_EQ(given.status, 0) << given.err;
        EXPECT_TRUE(contains(given.out, "Reader: card port as given\n")) << given.out;
        EXPECT_TRUE(contains(given.out, c.verdict)) << given.out;
        EXPECT_EQ(fitLines(given.out), fitLines(read.out));
    }
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--clock", "3.43"}, "--clock and --card-port go together"},
        {{"--clock", "5", "--card-port", "9600"}, "--clock is one of 3.43, 4.00"},
        {{"--clock", "4", "--card-port", "1200"}, "--card-port is one of 9600, 38400, 115200"}};
    for (const auto& [options, said] : refused) {
        std::vector<std::string> arguments {"atr", "3B021450"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const CliResult result = bench.run(arguments);
        EXPECT_EQ(result.status, 2) << said;
        EXPECT_TRUE(contains(result.err, said)) << result.err;
    }
}

TEST(TalvexctlCard, EachSimulatedCardIsResetReadAndDecodedAtTheReadersSettings)
{
    struct Shape {
        SimCardShape shape;
        const char* convention;
        const char* protocols;
        bool wellFormed;
        const char* card;
    };
    const Shape shapes[] = {
        {SimCardShape::Default, "direct", "[0]", true, "\"Simulated default card\""},
        {SimCardShape::T0Only, "direct", "[0]", true, "null"},
        {SimCardShape::T1, "direct", "[1]", true, "null"},
        {SimCardShape::T0AndT1, "direct", "[0,1]", true, "null"},
        {SimCardShape::Inverse, "inverse", "[0]", true, "\"Simulated inverse card\""},
        {SimCardShape::WrongTck, "direct", "[1]", false, "null"},
    };
    CardBench bench;
    SimulatedProgrammer::ReaderSettings settings;
    settings.clockHz = 3430000;
    settings.speedCode = 0x00;
    bench.device->setReaderSettings(1, settings);
    bench.device->setCardPresent(1, true);
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(static_cast<int>(shape.shape));
        const std::vector<std::uint8_t> atr = simulatedCardAtr(shape.shape);
        bench.device->setCardAtr(1, atr);
        bench.device->clearReceivedCommands();
        const CliResult read = bench.card("atr", {"--json", "--card-list", bench.list});
        EXPECT_EQ(read.status, 0) << read.err;
        EXPECT_TRUE(contains(read.err, "ATR: " + toHexText(atr) + "\n")) << read.err;
        EXPECT_TRUE(contains(read.out, "\"received\":\"" + spacedHex(atr) + "\""));
        EXPECT_TRUE(contains(read.out, std::string("\"convention\":\"") + shape.convention + "\""));
        EXPECT_TRUE(contains(read.out, std::string("\"protocols\":") + shape.protocols));
        EXPECT_TRUE(contains(read.out, std::string("\"wellFormed\":") + (shape.wellFormed ? "true" : "false")));
        EXPECT_TRUE(contains(read.out, std::string("\"card\":") + shape.card)) << read.out;
        EXPECT_TRUE(contains(read.out, "\"reader\":{\"clockHz\":3430000,\"baud\":9600,"));
        // Every card answers its reset at F=372, D=1: 9220 bit/s at 3.43 MHz suits 9600 baud.
        EXPECT_TRUE(contains(read.out, "\"speed\":\"matches-initial\"")) << read.out;
        ASSERT_FALSE(bench.device->receivedCommands().empty());
        EXPECT_EQ(bench.device->receivedCommands().back().bytes, std::vector<std::uint8_t>{0x00});
    }
}

TEST(TalvexctlCard, NoCardASilentCardAndAMissingPortHaveTheirOwnExitStatus)
{
    CardBench bench;
    const CliResult empty = bench.card("atr");
    EXPECT_EQ(empty.status, 7);
    EXPECT_TRUE(contains(empty.err, "talvexctl: card atr: no card in the reader on COM3"));
    EXPECT_EQ(bench.card("send").status, 7);

    bench.device->setCardPresent(1, true);
    bench.device->setCardAtr(1, {});
    const CliResult silent = bench.card("atr");
    EXPECT_EQ(silent.status, 5);
    EXPECT_TRUE(contains(silent.err, "the card on COM3 gave no ATR"));

    const CliResult missing = bench.run({"card", "watch", "--port", "COM9", "--count", "1"});
    EXPECT_EQ(missing.status, 8);
    EXPECT_TRUE(contains(missing.err, "ERROR: COM9 Port open error!"));
    for (const char* count : {"0", "x", "2000000"})
        EXPECT_EQ(bench.card("watch", {"--count", count}).status, 2) << count;
}

TEST(TalvexctlCard, WatchPrintsOneTimeStampedLinePerChange)
{
    CardBench bench;
    VirtualClock& clock = bench.sim.clock;
    const TimePoint start = clock.now();
    clock.at(start + Millis(1000), [&] { bench.device->setCardPresent(1, true); });
    clock.at(start + Millis(2500), [&] { bench.device->setCardPresent(1, false); });
    clock.at(start + Millis(4000), [&] { bench.device->setCardPresent(1, true); });

    const CliResult watch = bench.card("watch", {"--count", "2"});
    EXPECT_EQ(watch.status, 0) << watch.err;
    const std::regex line(R"((\d\d:\d\d:\d\d\.\d{3}) \+(\d+)\.(\d{3}) s COM3: card (inserted|removed)\n)");
    std::vector<std::pair<long, std::string>> changes;
    for (std::sregex_iterator it(watch.out.begin(), watch.out.end(), line), end; it != end; ++it)
        changes.emplace_back(std::stol((*it)[2]) * 1000 + std::stol((*it)[3]), (*it)[4]);
    ASSERT_EQ(changes.size(), 2u) << watch.out;
    EXPECT_EQ(changes[0].second, "inserted");
    EXPECT_EQ(changes[1].second, "removed");
    // Seen within one 20 ms poll of the change.
    EXPECT_GE(changes[0].first, 1000);
    EXPECT_LE(changes[0].first, 1020);
    EXPECT_GE(changes[1].first, 2500);
    EXPECT_LE(changes[1].first, 2520);
    EXPECT_TRUE(contains(watch.err, "COM3: no card in the reader; watching"));

    // Ctrl+C ends a watch without a count; what it saw stands.
    const TimePoint interrupted = clock.now();
    clock.at(interrupted + Millis(300), [&] { bench.device->setCardPresent(1, true); });
    clock.at(interrupted + Millis(500), [&] { bench.device->setCardPresent(1, false); });
    clock.at(interrupted + Millis(700), [] { cli::requestCardWatchStop(); });
    const CliResult stopped = bench.card("watch");
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(contains(stopped.out, "COM3: card inserted\n")) << stopped.out;
    EXPECT_TRUE(contains(stopped.out, "COM3: card removed\n"));
    EXPECT_EQ(std::count(stopped.out.begin(), stopped.out.end(), '\n'), 2);
    EXPECT_LE(clock.now() - interrupted, Millis(720));

    // A time-out before the count is reached ends the watch, and says so.
    const TimePoint before = clock.now();
    const CliResult timedOut = bench.card("watch", {"--count", "3", "--timeout", "5"});
    EXPECT_EQ(timedOut.status, 1);
    EXPECT_TRUE(contains(timedOut.out, "COM3: card inserted\n"));
    EXPECT_TRUE(contains(timedOut.err, "1 of 3 changes before the watch ended"));
    EXPECT_GE(clock.now() - before, Millis(5000));
    EXPECT_LE(clock.now() - before, Millis(5700));
}

TEST(TalvexctlCard, SendPutsTheFiveTestFramesToTheCard)
{
    CardBench bench;
    bench.device->setCardPresent(1, true);
    bench.device->clearReceivedCommands();
    const CliResult send = bench.card("send");
    EXPECT_EQ(send.status, 0) << send.err;
    std::size_t lines = 0;
    for (const char* frame : kCardTestFrames) {
        EXPECT_TRUE(contains(send.out, std::string(frame) + " -> 0102")) << frame;
        ++lines;
    }
    EXPECT_EQ(std::count(send.out.begin(), send.out.end(), '\n'), static_cast<long>(lines));
    EXPECT_EQ(std::count(send.out.begin(), send.out.end(), '('), static_cast<long>(lines)); // each "(90 00)"
    EXPECT_EQ(bench.device->receivedCommands().size(), lines);

    // A card that answers a frame with an error status fails the run.
    bench.device->setAnswerFilter([](const SimulatedProgrammer::ReceivedCommand& command, std::vector<std::uint8_t> answer) {
        if (command.bytes[2] == 0x0E && answer.size() > 4)
            answer[4] = 0x6F;
        return answer;
    });
    const CliResult refused = bench.card("send");
    EXPECT_EQ(refused.status, 5);
    EXPECT_TRUE(contains(refused.err, "did not answer every test frame with 90 00"));
}

