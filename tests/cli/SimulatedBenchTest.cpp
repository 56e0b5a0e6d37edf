// The --simulate bench's state between runs: what a re-plugged device
// keeps (flash settings, the firmware that starts, the FTDI EEPROM) and
// nothing more.

#include "cli/CliBench.h"
#include "sim/SimulatedBench.h"
#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "firmware/UploadBench.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fstream>

using namespace talvex;
using talvex::test::contains;

namespace {

// One run of talvexctl --simulate --sim-state FILE, in virtual time.
test::CliResult runOnBench(const std::string& state, const std::vector<std::string>& arguments)
{
    VirtualClock clock;
    SimulatedBench bench(clock);
    std::string error;
    EXPECT_TRUE(bench.load(state, error)) << error;
    test::CliResult result;
    {
        ApplicationContext context(bench.host(), clock);
        auto chip = bench.ftdi();
        context.setUsbSerialLibrary([chip] { return D2xxLoadResult {chip, {}}; });
        std::ostringstream out;
        std::ostringstream err;
        cli::Console console(out, err);
        result.status = cli::runTalvexctl(arguments, context, console);
        result.out = out.str();
        result.err = err.str();
    }
    EXPECT_TRUE(bench.save(state, error)) << error;
    return result;
}

} // namespace

TEST(SimulatedBenchState, ReadsBackWhatItWrites)
{
    BenchState state;
    state.firmware = SimulatedProgrammer::Firmware::BootLoader;
    state.settings.readers[1] = {8000000, 0x01, 0x02, 0x03};
    state.settings.operatingMode = OperatingMode::Bypass;
    state.settings.advancedFields = {0x02, 0x00, 0x01, 0xFF};
    state.settings.uniprog = {0x01, 0x02, 0x03, 0xFF, 0x00, 0x02};
    state.eeprom = buildEepromImage("ZX81    ");
    std::string error;
    const auto read = parseBenchState(formatBenchState(state), error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(read->firmware, state.firmware);
    EXPECT_EQ(read->settings, state.settings);
    EXPECT_EQ(read->eeprom, state.eeprom);

    std::string text = formatBenchState(state);
    EXPECT_FALSE(parseBenchState("something else\n", error).has_value());
    EXPECT_FALSE(parseBenchState(text.substr(0, text.find("uniprog")), error).has_value());
    EXPECT_EQ(error, "incomplete state");
    text.replace(text.find("boot-loader"), 11, "sleeping");
    EXPECT_FALSE(parseBenchState(text, error).has_value());
}

TEST(SimulatedBenchState, RefusesWhatItDidNotWriteAndTakesCrLf)
{
    BenchState state;
    state.settings.readers[0] = {3579545, 0x02, 0x00, 0x01};
    const std::string text = formatBenchState(state);
    std::string error;
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        const std::size_t at = changed.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return changed.replace(at, from.size(), to);
    };
    const std::pair<std::string, std::string> refused[] = {
        {"reader1 3579545", "reader1 -3579545"},   // a sign
        {"reader1 3579545", "reader1 +3579545"},
        {"reader1 3579545", "reader1 4294967297"}, // wraps to 1 in 32 bits
        {"reader1 3579545 2", "reader1 3579545 0x2"},
        {"reader1 3579545 2 0 1", "reader1 3579545 2 0 1 7"},
        {"uniprog ", "uniprog -1"},                // a sign in a hex pair
        {"uniprog FF", "uniprog F "},              // half a pair
        {"eeprom ", "eeprom 00 "},                 // a blank inside the bytes
        {"mode smartmouse", "mode smartmouse bypass"},
        {"firmware application", "firmware application\nfirmware boot-loader"}, // twice
    };
    for (const auto& [from, to] : refused) {
        SCOPED_TRACE(to);
        EXPECT_FALSE(parseBenchState(edited(from, to), error).has_value());
    }
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const auto read = parseBenchState(crlf, error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(read->settings, state.settings);
}

TEST(SimulatedBenchState, FileIsCheckedBeforeTheRunAndNoStrayFileIsLeft)
{
    test::TempFolder folder;
    VirtualClock clock;
    std::string error;
    {
        SimulatedBench bench(clock);
        EXPECT_FALSE(bench.load("", error));
        EXPECT_EQ(error, "--sim-state needs a file name");
        EXPECT_FALSE(bench.load(folder.path("no/such/dir/state.txt"), error));
        EXPECT_FALSE(bench.load(folder.path(""), error)) << "a directory";
        EXPECT_TRUE(bench.load(folder.path("new.txt"), error)) << error;
    }
    {
        // A huge file is refused by its size, never read.
        const std::string huge = folder.path("huge.txt");
        std::filesystem::resize_file(folder.write("huge.txt", {}), std::uintmax_t(2) << 30);
        SimulatedBench bench(clock);
        EXPECT_FALSE(bench.load(huge, error));
        EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    }
    {
        // Saving where it cannot: the error is said and no ".new" stays.
        SimulatedBench bench(clock);
        const std::string target = folder.path("taken");
        std::filesystem::create_directory(target);
        std::filesystem::create_directory(target + "/inside");
        EXPECT_FALSE(bench.save(target, error));
        EXPECT_FALSE(std::filesystem::exists(target + ".new"));
    }
}

TEST(SimulatedBenchState, AScriptsRunsSeeOneDeviceThatIsReplugged)
{
    test::TempFolder folder;
    const std::string state = folder.path("bench.state");

    // Settings in use carry over, as on a bench where the device stays plugged in.
    EXPECT_EQ(runOnBench(state, {"--answer-delay", "150", "set", "clock", "--port", "COM3", "6"}).status, 0);
    EXPECT_TRUE(
        contains(runOnBench(state, {"--answer-delay", "150", "settings", "--port", "COM3"}).out, "clock: 6.00 MHz"));
    EXPECT_EQ(runOnBench(state, {"--answer-delay", "150", "restore-default", "--port", "COM3"}).status, 0);
    EXPECT_TRUE(
        contains(runOnBench(state, {"--answer-delay", "150", "settings", "--port", "COM3"}).out, "clock: 4.00 MHz"));

    // An upload cut short after the erase leaves a device that starts in its boot loader.
    test::TempFolder firmware;
    const std::string file = firmware.write("firmware.bin", test::patternImage());
    {
        VirtualClock clock;
        SimulatedBench bench(clock);
        std::string error;
        ASSERT_TRUE(bench.load(state, error)) << error;
        bench.programmer().injectBlockFault(100, BlockFault::FlashError);
        ApplicationContext context(bench.host(), clock);
        std::ostringstream out;
        std::ostringstream err;
        cli::Console console(out, err);
        EXPECT_EQ(cli::runTalvexctl({"--answer-delay", "150", "upload", "--port", "COM3", file}, context, console), 6)
            << err.str();
        ASSERT_TRUE(bench.save(state, error)) << error;
    }
    EXPECT_TRUE(
        contains(runOnBench(state, {"--answer-delay", "150", "info", "--port", "COM3"}).out, "mode: boot loader"));

    // A new USB serial number shows in the next run, as after a re-plug.
    EXPECT_EQ(runOnBench(state, {"usb-serial", "write", "BENCH7"}).status, 0);
    EXPECT_TRUE(contains(runOnBench(state, {"usb-serial", "list"}).out, "SerialNumber=BENCH7  A"));
    // The port listing reads the same chip.
    EXPECT_TRUE(contains(runOnBench(state, {"--answer-delay", "150", "ports"}).out,
                         "COM4\tFT2232 0403:6010 BENCH7  B\t"));

    std::ofstream(state) << "not a state\n";
    VirtualClock clock;
    SimulatedBench bench(clock);
    std::string error;
    EXPECT_FALSE(bench.load(state, error));
    EXPECT_TRUE(contains(error, "not a simulated programmer's state"));
}
