// talvexctl batch upload, the program, against three simulator programs on
// pseudo-terminals in real time: two run their application and are
// re-plugged by the simulator's hands, one waits in its boot loader.

#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>

namespace {

using talvex::test::ProgramResult;
using talvex::test::SimulatorProcess;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The firmware file's SHA-256 as coreutils computes it, apart from ours.
std::string sha256sum(const std::string& path)
{
    FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r");
    if (!pipe)
        return "sha256sum did not run";
    char digits[65] = {};
    const std::size_t read = std::fread(digits, 1, 64, pipe);
    ::pclose(pipe);
    return std::string(digits, read);
}

TEST(TalvexctlBatchProgram, ThreeSimulatorsOnPseudoTerminalsReplugAndUpload)
{
    const std::string serials[] = {"0123456789ABCDEF0100016789ABCDEF", "0123456789ABCDEF0100026789ABCDEF",
                                   "0123456789ABCDEF0100036789ABCDEF"};
    SimulatorProcess first({"--serial", serials[0], "--replug-after", "1000"});
    SimulatorProcess boot({"--serial", serials[1], "--boot"});
    SimulatorProcess third({"--serial", serials[2], "--replug-after", "1000"});
    ASSERT_TRUE(first.ready() && boot.ready() && third.ready());

    talvex::test::TempFolder folder;
    const std::string firmware = folder.write("firmware.bin", talvex::test::patternImage());
    const std::string report = folder.path("bench.csv");
    std::string ports;
    for (const SimulatorProcess* simulator : {&first, &boot, &third})
        ports += (ports.empty() ? "" : ",") + simulator->path(1) + "," + simulator->path(2);

    const ProgramResult result = talvex::test::talvexctl(
        {"--answer-delay", "150", "batch", "upload", firmware, "--ports", ports, "--report", report});
    ASSERT_EQ(result.status, 0) << result.err << result.out;

    // The boot loader answers on reader 1 only: its row names that port.
    const std::string rowPorts[] = {first.path(1) + "/" + first.path(2), boot.path(1),
                                    third.path(1) + "/" + third.path(2)};
    const std::string before[] = {"1.10", "boot loader", "1.10"};
    const std::vector<std::string> table = linesOf(result.out);
    ASSERT_EQ(table.size(), 4u) << result.out;
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(rowPorts[i]);
        EXPECT_TRUE(std::regex_match(table[i + 1], std::regex(std::to_string(i + 1) + "  " + rowPorts[i] + " +" +
                                                               serials[i] + "  " + before[i] +
                                                               " +.+ +- +ok +[0-9.]+ s")))
            << table[i + 1];
        // Only a running application needs the operator's hands.
        const std::string prompt = "Unplug programmer " + std::to_string(i + 1) + " (" + rowPorts[i] +
            ", serial " + serials[i] + ") and plug it in again.";
        EXPECT_EQ(contains(result.err, prompt), i != 1) << result.err;
    }

    const std::vector<std::string> csv = linesOf(talvex::test::readWholeFile(report));
    ASSERT_EQ(csv.size(), 4u);
    const std::string sha256 = sha256sum(firmware);
    ASSERT_EQ(sha256.size(), 64u) << sha256;
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_TRUE(contains(csv[i], "," + sha256 + "," + std::to_string(i) + ",")) << csv[i];
        EXPECT_TRUE(contains(csv[i], serials[i - 1])) << csv[i];
    }
}

} // namespace
