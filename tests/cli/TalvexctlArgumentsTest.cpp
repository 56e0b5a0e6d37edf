// talvexctl's command line: what it refuses before touching any port, and
// the help of the program, of each group and of each command.

#include "cli/CliBench.h"
#include "cli/CommandTable.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::contains;

namespace {

struct BadCase {
    std::vector<std::string> arguments;
    std::string says;
};

std::vector<std::string> words(std::string_view name)
{
    std::vector<std::string> result;
    std::size_t at = 0;
    while (at <= name.size()) {
        const std::size_t end = std::min(name.find(' ', at), name.size());
        result.emplace_back(name.substr(at, end - at));
        at = end + 1;
    }
    return result;
}

} // namespace

TEST(TalvexctlArguments, BadArgumentsExitWithTwoBeforeAnyPortIsOpened)
{
    const BadCase cases[] = {
        {{}, "no command given"},
        {{"bogus"}, "unknown command \"bogus\""},
        {{"set"}, "\"set\" needs a command"},
        {{"set", "speed", "--port", "COM3"}, "unknown command \"set speed\""},
        {{"info"}, "info needs --port PORT"},
        {{"info", "--port"}, "--port needs a value"},
        {{"info", "--port", "COM3", "--port", "COM4"}, "--port given twice"},
        {{"info", "--port", "COM3", "extra"}, "unexpected argument \"extra\""},
        {{"detect", "--port", "COM3"}, "detect takes no option --port"},
        {{"detect", "--frobnicate"}, "unknown option --frobnicate"},
        {{"detect", "--json=yes"}, "--json takes no value"},
        {{"--answer-delay", "0", "detect"}, "--answer-delay takes milliseconds"},
        // Nine characters inline: one past 60,000 only when read whole.
        {{"--answer-delay=000060001", "detect"}, "--answer-delay takes milliseconds"},
        {{"--sim-state", "bench.state", "detect"}, "--sim-state goes with --simulate"},
        {{"set", "clock", "--port", "COM3"}, "set clock needs MHZ"},
        {{"set", "clock", "--port", "COM3", "5.5"}, "MHZ is one of 3.43, 4.00, 4.80, 6.00, 8.00, 12.00"},
        {{"set", "phoenix-clock", "--port", "COM3", "3.43"}, "MHZ is one of 3.572, 3.69"},
        {{"set", "card-port", "--port", "COM3"}, "give --speed, --parity or --stop-bits"},
        {{"set", "card-port", "--port", "COM3", "--speed", "19200"}, "--speed is one of 9600, 38400, 115200"},
        {{"set", "card-port", "--port", "COM3", "--stop-bits", "255"}, "--stop-bits takes 0 to 254"},
        {{"set", "advanced", "--port", "COM3"}, "set advanced needs --mode MODE"},
        {{"set", "advanced", "--port", "COM3", "--mode", "atr-9600", "--com1-clock", "4", "--com1-speed", "9600"},
         "no choice made for COM1 parity: give --com1-parity"},
        {{"set", "advanced", "--port", "COM3", "--mode", "debug", "--com1-clock", "4"},
         "--com1-clock does not go with --mode debug"},
        {{"set", "advanced", "--port", "COM3", "--mode", "debug", "--debug-speed", "9600"},
         "no choice made for debug parity: give --debug-parity"},
        {{"set", "uniprog", "--port", "COM3"}, "give at least one of --clock1"},
        {{"set", "uniprog", "--port", "COM3", "--baud1", "4.00"}, "--baud1 is one of 9600, 38400, 115200, default"},
        {{"info", "--port", "COM3", "--variant", "fast"}, "--variant is one of auto, normal, low1, low2"},
        {{"upload", "--port", "COM3", "no-such-firmware.bin"}, "no-such-firmware.bin: file not found"},
        {{"usb-serial", "image", "ABCDEFGHI", "--out", "image.bin"}, "\"ABCDEFGHI\" is not a USB serial number"},
        {{"usb-serial", "image", "    ", "--out", "image.bin"}, "is not a USB serial number"},
        {{"usb-serial", "image", " AB", "--out", "image.bin"}, "\" AB\" is not a USB serial number"},
        {{"usb-serial", "image", "AB12"}, "usb-serial image needs --out FILE"},
        {{"check-version", "--server", "host:99999"}, "--server takes a URL (http:// or https://), HOST or HOST:PORT"},
        {{"check-version", "--server", "ftp://host/"}, "--server takes a URL"},
        {{"doctor", "--server", "gopher://host/"}, "--server takes a URL"},
    };
    for (const BadCase& bad : cases) {
        CliBench bench;
        auto device = bench.sim.addProgrammer("COM3", "COM4");
        const auto result = bench.run(bad.arguments);
        std::string call;
        for (const auto& word : bad.arguments)
            call += word + " ";
        EXPECT_EQ(result.status, 2) << call;
        EXPECT_EQ(result.out, "") << call;
        EXPECT_TRUE(contains(result.err, "talvexctl: ")) << call << "\n" << result.err;
        EXPECT_TRUE(contains(result.err, bad.says)) << call << "\n" << result.err;
        EXPECT_EQ(bench.sim.host.openAttempts("COM3"), 0) << call;
        EXPECT_TRUE(device->receivedCommands().empty()) << call;
    }
}

TEST(TalvexctlArguments, OptionsGoBeforeOrAfterTheCommandWords)
{
    CliBench first;
    first.sim.addProgrammer("COM3", "COM4");
    const auto before = first.run({"--answer-delay=150", "--json", "info", "--port=COM3"});
    CliBench second;
    second.sim.addProgrammer("COM3", "COM4");
    const auto after = second.run({"info", "--json", "--port", "COM3", "--answer-delay", "150"});
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(before.out, after.out);
    EXPECT_TRUE(contains(before.out, "\"port\":\"COM3\""));
}

TEST(TalvexctlHelp, TheProgramEachGroupAndEachCommandHaveTheirOwn)
{
    CliBench bench;
    const auto program = bench.run({"--help"});
    EXPECT_EQ(program.status, 0);
    EXPECT_EQ(program.err, "");
    EXPECT_TRUE(contains(program.out, "usage: talvexctl"));
    EXPECT_EQ(bench.run({"help"}).out, program.out);
    EXPECT_TRUE(contains(program.out, "  4  the port cannot be opened"));

    for (const cli::CommandEntry& command : cli::commandTable()) {
        const std::string name(command.name);
        EXPECT_TRUE(contains(program.out, "\n  " + name + " ")) << name;
        std::vector<std::string> call = words(name);
        call.push_back("--help");
        const auto own = bench.run(call);
        EXPECT_EQ(own.status, 0) << name;
        EXPECT_EQ(own.err, "") << name;
        EXPECT_EQ(own.out.rfind("usage: talvexctl " + name + " ", 0), 0u) << own.out;
        // "help COMMAND" and "-h" say the same.
        std::vector<std::string> asked {"help"};
        const auto named = words(name);
        asked.insert(asked.end(), named.begin(), named.end());
        EXPECT_EQ(bench.run(asked).out, own.out) << name;
        call.back() = "-h";
        EXPECT_EQ(bench.run(call).out, own.out) << name;
    }

    const auto group = bench.run({"usb-serial", "--help"});
    EXPECT_EQ(group.status, 0);
    for (const char* command : {"usb-serial list", "usb-serial write", "usb-serial generate", "usb-serial image"})
        EXPECT_TRUE(contains(group.out, command)) << command;
    EXPECT_FALSE(contains(group.out, "set clock"));

    // The lists in the help are the ones the commands take.
    const auto clock = bench.run({"set", "clock", "--help"});
    EXPECT_TRUE(contains(clock.out, "3.43, 4.00, 4.80, 6.00, 8.00, 12.00."));
}
