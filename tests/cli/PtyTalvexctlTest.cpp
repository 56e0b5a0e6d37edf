// The talvexctl program itself, spawned: with --simulate in real time, and
// against the simulator program on pseudo-terminals through the POSIX
// backend, where a write and the read after it are separate runs.

#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

namespace {

using talvex::test::ProgramResult;
using talvex::test::talvexctl;
using Simulator = talvex::test::SimulatorProcess;

} // namespace

// The arguments' own exit codes are TalvexctlArguments' (in process).
TEST(TalvexctlProgram, SimulateIdentifiesOnComThreeAndAMissingPortExitsEight)
{
    const ProgramResult info = talvexctl({"--simulate", "--answer-delay", "150", "info", "--port", "COM3", "--json"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out,
              "{\"port\":\"COM3\",\"mode\":\"application\",\"serialNumber\":"
              "\"0123456789ABCDEF0123456789ABCDEF\",\"version\":\"1.10\",\"reader\":1,\"variant\":\"normal\"}\n");
    EXPECT_EQ(info.err,
              "Attempting to open COM Port...\nCOM3 Port opened successfully!\nProgrammer in PROGRAM mode.\n");

    const ProgramResult nothing = talvexctl({"--simulate", "--answer-delay", "150", "-q", "info", "--port", "COM5"});
    EXPECT_EQ(nothing.status, 8);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err.rfind("ERROR: COM5 Port open error!\nCOM5: The system cannot find the file", 0), 0u)
        << nothing.err;
}

TEST(TalvexctlProgram, FullStandardOutputIsAFailure)
{
    const std::vector<std::string> commands[] = {
        {"--version"},
        {"--simulate", "--answer-delay", "150", "info", "--port", "COM3", "--json"},
    };
    for (const auto& arguments : commands) {
        const ProgramResult result = talvexctl(arguments, "/dev/full");
        EXPECT_EQ(result.status, 1) << arguments.back() << ": " << result.err;
        EXPECT_NE(result.err.find("talvexctl: cannot write to standard output\n"), std::string::npos)
            << arguments.back() << ": " << result.err;
    }
}

TEST(TalvexctlProgram, SimStateCarriesTheUsbSerialNumberToTheNextRun)
{
    talvex::test::TempFolder folder;
    const std::string state = folder.path("bench.state");
    const ProgramResult write = talvexctl({"--simulate", "--sim-state", state, "usb-serial", "write", "LINE42"});
    EXPECT_EQ(write.status, 0) << write.err;
    const ProgramResult list = talvexctl({"--simulate", "--sim-state", state, "usb-serial", "list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("SerialNumber=LINE42  A"), std::string::npos) << list.out;
    // Without the state file every run meets a new device.
    const ProgramResult fresh = talvexctl({"--simulate", "usb-serial", "list"});
    EXPECT_NE(fresh.out.find("SerialNumber=TLVX0001A"), std::string::npos) << fresh.out;
}

TEST(TalvexctlProgram, PseudoTerminalPathsTakeAWriteThatTheNextRunReads)
{
    Simulator simulator({"--serial", "00112233445566778899AABBCCDDEEFF", "--version", "1.0A"});
    ASSERT_TRUE(simulator.ready());
    const std::string port = simulator.path(2);

    const ProgramResult info = talvexctl({"--answer-delay", "150", "-q", "info", "--port", port});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out,
              "port: " + port +
                  "\nmode: application\nserial: 00112233445566778899AABBCCDDEEFF\n"
                  "version: 1.10\nreader: 2\nvariant: normal\n");

    const ProgramResult write = talvexctl(
        {"--answer-delay", "150", "set", "card-port", "--port", port, "--speed", "9600", "--parity", "odd"});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "SmartCard Speed set OK !\n");

    const ProgramResult read = talvexctl({"--answer-delay", "150", "settings", "--port", port});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, "reader: 2\nclock: 4.00 MHz\nspeed: 9600\nparity: odd\nadded-stop-bits: 0\n");
}

TEST(TalvexctlProgram, SimulatedCardsAreReadAndDecodedInRealTime)
{
    const ProgramResult text = talvexctl({"atr", "3B021450", "--card-list", "/nonexistent/smartcard_list.txt"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("ATR: 3B 02 14 50 (4 bytes)\nCard: unknown card\nStatus: well formed\n", 0), 0u)
        << text.out;

    const ProgramResult card = talvexctl({"--simulate", "card", "atr", "--port", "COM3", "--json"});
    EXPECT_EQ(card.status, 0) << card.err;
    EXPECT_EQ(card.out.rfind("{\"atr\":\"3B 02 14 50\",\"received\":\"3B 02 14 50\",\"length\":4,", 0), 0u)
        << card.out;
    EXPECT_NE(card.out.find("\"reader\":{\"clockHz\":4000000,\"baud\":115200,"), std::string::npos) << card.out;

    const ProgramResult inverse = talvexctl({"--simulate", "--sim-cards", "none,inverse", "-q", "card", "atr",
                                             "--port", "COM4"});
    EXPECT_EQ(inverse.status, 0) << inverse.err;
    EXPECT_NE(inverse.out.find("TS: 3F: inverse convention (read as 03"), std::string::npos) << inverse.out;
}
