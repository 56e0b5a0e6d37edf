// talvexctl batch upload in process, on a bench of simulated programmers in
// virtual time shared by the batch's threads: only what talvexctl makes of
// a batch (tests/batch runs the batch itself): the table, the report file
// named, the exit status, and what the operator sees while it runs, with
// and without a terminal.

#include "cli/CliBench.h"
#include "common/LockstepClock.h"
#include "firmware/UploadBench.h"
#include "protocol/VersionText.h"
#include "sim/SimulatedBench.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

using namespace talvex;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

// FIPS 180-2's example: the SHA-256 of "abc", known without our code.
constexpr const char* kAbcSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

/// talvexctl on N simulated programmers, as --simulate=N wires them, with
/// the firmware file "abc" (filled up with erased flash by the upload).
struct BatchCliBench {
    LockstepClock clock;
    SimulatedBench bench;
    ApplicationContext context {bench.host(), clock};
    test::TempFolder folder;
    std::string firmware = folder.write("firmware.bin", {'a', 'b', 'c'});

    explicit BatchCliBench(int programmers)
        : bench(clock, programmers)
    {
        context.setUsbSerialLibrary([library = bench.usbLibrary()] { return D2xxLoadResult {library, {}}; });
    }

    CliResult run(const std::vector<std::string>& arguments, bool terminal = false)
    {
        return test::runIn(context, arguments, nullptr, terminal);
    }

    std::vector<std::uint8_t> expectedImage() const
    {
        std::vector<std::uint8_t> image(kImageSize, 0xFF);
        image[0] = 'a';
        image[1] = 'b';
        image[2] = 'c';
        return image;
    }
};

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> split(const std::string& text, const std::regex& separator)
{
    return {std::sregex_token_iterator(text.begin(), text.end(), separator, -1), std::sregex_token_iterator()};
}

// The table's cells: columns stand two blanks or more apart.
std::vector<std::vector<std::string>> tableOf(const std::string& out)
{
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : linesOf(out))
        rows.push_back(split(line, std::regex(" {2,}")));
    return rows;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string derivedUsbSerial(int index)
{
    return usbSerialFromProgrammerSerial(SimulatedBench::serialNumberOf(index)).value_or("?");
}

std::string ports(int index)
{
    return SimulatedBench::reader1Port(index) + "/" + SimulatedBench::reader2Port(index);
}

/// What a terminal shows after `text`: lines, with \r, \n and the cursor
/// movements the progress rows use (up, clear line, clear below).
std::vector<std::string> screenOf(const std::string& text)
{
    std::vector<std::string> screen(1);
    std::size_t row = 0;
    std::size_t column = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\x1b' && at + 1 < text.size() && text[at + 1] == '[') {
            std::size_t end = at + 2;
            while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) != 0))
                ++end;
            const int count = end > at + 2 ? std::stoi(text.substr(at + 2, end - at - 2)) : 0;
            const char command = end < text.size() ? text[end] : '?';
            if (command == 'A')
                row -= std::min<std::size_t>(row, static_cast<std::size_t>(count));
            else if (command == 'K' && count == 2)
                screen[row].clear();
            else if (command == 'J') {
                screen[row].resize(std::min(screen[row].size(), column));
                screen.resize(row + 1);
            } else
                ADD_FAILURE() << "an escape code the rows should not use: " << command;
            at = end;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            ++row;
            column = 0;
            if (screen.size() <= row)
                screen.emplace_back();
        } else {
            if (screen[row].size() <= column)
                screen[row].resize(column + 1, ' ');
            screen[row][column++] = c;
        }
    }
    while (!screen.empty() && screen.back().empty())
        screen.pop_back();
    return screen;
}

// One programmer uploads, the other fails: the table, the report, the exit
// status and the time-stamped lines of each phase and each tenth.
TEST(TalvexctlBatch, TableReportExitStatusAndTimeStampedLinesWithoutATerminal)
{
    BatchCliBench b(2);
    b.bench.programmer(1).injectBlockFault(500, BlockFault::FlashError);
    const std::string report = b.folder.path("out.csv");
    const CliResult result =
        b.run({"batch", "upload", b.firmware, "--serialize", "--report", report, "--answer-delay", "150"});
    EXPECT_EQ(result.status, 6) << result.err;
    EXPECT_FALSE(contains(result.err, "\x1b")) << "no escape codes without a terminal";

    const VerdictTexts flash = verdictTexts(UploadEnding::FlashError);
    const std::string reason = std::string(flash.upper) + flash.lower;
    const auto table = tableOf(result.out);
    ASSERT_EQ(table.size(), 3u) << result.out;
    EXPECT_EQ(table[0], (std::vector<std::string> {"#", "ports", "serial number", "before", "after", "USB serial",
                                                    "verdict", "time", "reason"}));
    for (int i = 0; i < 2; ++i) {
        const auto& row = table[static_cast<std::size_t>(i) + 1];
        SCOPED_TRACE(ports(i));
        ASSERT_GE(row.size(), 8u) << result.out;
        EXPECT_EQ(row[0], std::to_string(i + 1));
        EXPECT_EQ(row[1], ports(i));
        EXPECT_EQ(row[2], SimulatedBench::serialNumberOf(i));
        EXPECT_EQ(row[3], "1.10");
        EXPECT_EQ(row[5], i == 0 ? derivedUsbSerial(i) : "-");
        EXPECT_EQ(row[6], i == 0 ? "ok" : "failed");
        EXPECT_TRUE(std::regex_match(row[7], std::regex("[0-9]+\\.[0-9] s"))) << row[7];
        EXPECT_EQ(row.size() == 9 ? row[8] : "", i == 0 ? "" : reason);
    }
    EXPECT_EQ(eepromString(b.bench.ftdi(0)->eeprom(), kSerialPointerWord), derivedUsbSerial(0));
    const auto csv = linesOf(readFile(report));
    ASSERT_EQ(csv.size(), 3u) << readFile(report);
    EXPECT_TRUE(contains(csv[1], kAbcSha256)) << csv[1];
    EXPECT_TRUE(contains(result.err, "Programmer 2 (USB 2-2, COM5/COM6) failed: " + reason + "\n")) << result.err;
    EXPECT_TRUE(contains(result.err, "talvexctl: batch upload: 1 of 2 programmers failed; the table says why\n"));

    const std::string name = "programmer 1 (USB 2-1, COM3/COM4)";
    std::vector<std::string> said;
    std::vector<double> stamps;
    const std::regex stamped("\\[(\\d\\d):(\\d\\d\\.\\d)\\] (.*)");
    for (const std::string& line : linesOf(result.err)) {
        std::smatch match;
        if (!std::regex_match(line, match, stamped) || !contains(line, "rogrammer 1 "))
            continue;
        stamps.push_back(std::stoi(match[1]) * 60 + std::stod(match[2]));
        // The time left is the estimate's; what a line says is the rest.
        said.push_back(std::regex_replace(std::string(match[3]), std::regex(", \\d+:\\d\\d left$"), ", left"));
    }
    EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end())) << result.err;
    std::vector<std::string> expected {
        name + ": connecting",
        name + ": checking mode",
        name + ": back to boot loader",
        "Unplug programmer 1 (USB 2-1, COM3/COM4, serial 0123456789ABCDEF0123456789ABCDEF) and plug it in again.",
        "Programmer 1 (USB 2-1, COM3/COM4) is unplugged: waiting for it to be plugged in again.",
        name + ": erasing",
        name + ": uploading",
    };
    // The first estimate, then every tenth of the way.
    ASSERT_GT(said.size(), expected.size()) << result.err;
    const std::string first = said[expected.size()];
    EXPECT_EQ(first.rfind(name + ": uploading ", 0), 0u) << first;
    EXPECT_TRUE(std::regex_search(first, std::regex(": uploading [0-9]%, left$"))) << first;
    expected.push_back(first);
    for (int percent = 10; percent < 100; percent += 10)
        expected.push_back(name + ": uploading " + std::to_string(percent) + "%, left");
    expected.push_back(name + ": confirming");
    expected.push_back(name + ": writing USB serial");
    expected.push_back(name + ": done, USB serial " + derivedUsbSerial(0));
    EXPECT_EQ(said, expected) << result.err;
    // The last line's stamp and the table's time count the same virtual time.
    EXPECT_NEAR(stamps.back(), std::stod(table[1][7]), 0.11) << result.err << result.out;
}

TEST(TalvexctlBatch, OnATerminalTheRowsAreRedrawnUnderThePrompts)
{
    BatchCliBench b(3);
    const CliResult result = b.run({"batch", "upload", b.firmware, "--answer-delay", "150"}, true);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(contains(result.err, "] programmer")) << "no time-stamped lines on a terminal";
    // While it ran, each row showed its upload's percent and time left.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::regex_search(result.err, std::regex(std::to_string(i + 1) + "  " + ports(i) +
                                                              " +EF01[0-9]{4} +uploading +50% +0:\\d\\d left")))
            << ports(i);
    }

    const std::vector<std::string> screen = screenOf(result.err);
    ASSERT_GE(screen.size(), 3u);
    // The rows stay last, final; each prompt above them stays on screen.
    for (int i = 0; i < 3; ++i) {
        const std::string& row = screen[screen.size() - 3 + static_cast<std::size_t>(i)];
        // A row wider than the terminal would wrap, and the redraw miss it.
        EXPECT_LE(row.size(), 79u) << row;
        EXPECT_TRUE(std::regex_match(row, std::regex(std::to_string(i + 1) + "  " + ports(i) + " +" +
                                                     derivedUsbSerial(i) + " +done")))
            << row;
        const auto prompt = std::find(screen.begin(), screen.end(),
                                      "Unplug programmer " + std::to_string(i + 1) + " (USB 2-" +
                                          std::to_string(i + 1) + ", " + ports(i) + ", serial " +
                                          SimulatedBench::serialNumberOf(i) + ") and plug it in again.");
        EXPECT_NE(prompt, screen.end()) << "programmer " << i + 1;
    }
}

TEST(TalvexctlBatch, BadFileReportOrPortsAreRefusedBeforeAnyPortOpens)
{
    BatchCliBench b(2);
    const std::vector<std::vector<std::string>> calls {
        {"batch", "upload", b.folder.path("missing.bin")},
        {"batch", "upload", b.firmware, "--report", b.folder.path("out.txt")},
        {"batch", "upload", b.firmware, "--report", b.folder.path("no-folder/out.csv")},
        {"batch", "upload", b.firmware, "--ports", "COM3,,COM5"},
    };
    for (const auto& call : calls) {
        const CliResult result = b.run(call);
        EXPECT_EQ(result.status, 2) << call.back() << ": " << result.err;
        EXPECT_TRUE(contains(result.err, "talvexctl: batch upload: ")) << result.err;
    }
    EXPECT_EQ(b.bench.simulatedHost().openAttempts("COM3"), 0);

    // Only the ports named are searched; --json gives the report's records.
    const CliResult one =
        b.run({"-q", "batch", "upload", b.firmware, "--ports", "COM5,COM6", "--json", "--answer-delay", "150"});
    EXPECT_EQ(one.status, 0) << one.err;
    // Quiet: the prompts; no phases, no percents.
    EXPECT_TRUE(contains(one.err, "Unplug programmer 1 (USB 2-2, COM5/COM6")) << one.err;
    EXPECT_FALSE(std::regex_search(one.err, std::regex("[0-9]%|: erasing|Found 1 programmer"))) << one.err;
    const auto records = nlohmann::json::parse(one.out);
    ASSERT_EQ(records.size(), 1u) << one.out;
    EXPECT_EQ(records[0]["ports"], "COM5/COM6");
    EXPECT_EQ(records[0]["verdict"], "ok");
    EXPECT_EQ(records[0]["firmware_sha256"], kAbcSha256);
    EXPECT_EQ(b.bench.simulatedHost().openAttempts("COM3"), 0);
    EXPECT_EQ(b.bench.programmer(1).programmedImage(), b.expectedImage());

    const CliResult none = b.run({"batch", "upload", b.firmware, "--ports", "COM20", "--answer-delay", "150"});
    EXPECT_EQ(none.status, 3) << none.err;
}

} // namespace

// One programmer's upload among several writes its own chip and asks no
// other chip anything.
TEST(TalvexctlBatch, UploadWithSerializeWritesOnlyTheChipBehindItsPort)
{
    BatchCliBench b(2);
    const auto firstBefore = b.bench.ftdi(0)->chip();
    const CliResult result = b.run({"upload", "--port", SimulatedBench::reader1Port(1), b.firmware, "--serialize",
                                    "--answer-delay", "150"});
    ASSERT_EQ(result.status, 0) << result.err << result.out;
    EXPECT_EQ(b.bench.ftdi(0)->chip().eepromWrites, firstBefore.eepromWrites);
    EXPECT_EQ(b.bench.ftdi(0)->eepromPart(), firstBefore.eeprom);
    b.bench.ftdi(1)->replug();
    EXPECT_EQ(b.bench.ftdi(1)->chip().enumeration().serial, derivedUsbSerial(1));
}
