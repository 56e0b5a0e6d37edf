// A result that cannot be written is a failure: a script reading talvexctl's
// standard output must not take an empty answer for a good one.

#include "cli/CliBench.h"

#include <gtest/gtest.h>

#include <streambuf>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

constexpr const char* kOutputLost = "talvexctl: cannot write to standard output";

// Every write refused at once, as by a closed pipe.
class RefusingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

// Writes taken into a buffer that fails when flushed, as a buffered
// standard output on a full disk.
class FullDiskBuffer : public std::streambuf {
public:
    FullDiskBuffer() { setp(m_area, m_area + sizeof m_area); }

protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    int sync() override { return -1; }

private:
    char m_area[1 << 16];
};

const std::vector<std::vector<std::string>> kSucceedingCommands = {
    {"--version"},
    {"--help"},
    {"info", "--help"},
    {"info", "--port", "COM3", "--json"},
    {"info", "--port", "COM3"},
    {"detect", "--json"},
    {"ports"},
    {"settings", "--port", "COM3", "--json"},
    {"set", "clock", "--port", "COM3", "4.00"},
    {"usb-serial", "list", "--json"},
    {"usb-serial", "list"},
};

std::string joined(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const auto& word : arguments)
        text += word + " ";
    return text;
}

} // namespace

TEST(TalvexctlOutput, ResultThatCannotBeWrittenFailsWithAMessage)
{
    for (const auto& arguments : kSucceedingCommands) {
        {
            CliBench bench;
            bench.sim.addProgrammer("COM3", "COM4");
            const CliResult good = bench.run(arguments);
            ASSERT_EQ(good.status, 0) << joined(arguments) << good.err;
            ASSERT_FALSE(good.out.empty()) << joined(arguments);
            EXPECT_FALSE(contains(good.err, kOutputLost)) << joined(arguments);
        }
        RefusingBuffer refusing;
        FullDiskBuffer full;
        for (std::streambuf* buffer : {static_cast<std::streambuf*>(&refusing), static_cast<std::streambuf*>(&full)}) {
            CliBench bench;
            bench.sim.addProgrammer("COM3", "COM4");
            std::ostream out(buffer);
            const CliResult lost = bench.run(arguments, out);
            EXPECT_EQ(lost.status, 1) << joined(arguments) << lost.err;
            EXPECT_TRUE(contains(lost.err, std::string(kOutputLost) + "\n")) << joined(arguments) << lost.err;
        }
    }
}

TEST(TalvexctlOutput, FailingCommandKeepsItsOwnCodeAndNothingUnwrittenIsReported)
{
    RefusingBuffer refusing;
    {
        // Nothing was to be written: only the command's own failure.
        CliBench bench;
        bench.sim.addProgrammer("COM3", "COM4");
        std::ostream out(&refusing);
        const CliResult result = bench.run({"--answer-delay", "150", "info", "--port", "COM9"}, out);
        EXPECT_EQ(result.status, 8) << result.err;
        EXPECT_FALSE(contains(result.err, kOutputLost)) << result.err;
    }
    {
        // The port list was lost and no programmer answered: the more
        // telling code stays, the lost output is still said.
        CliBench bench;
        bench.sim.addSilent("COM1");
        std::ostream out(&refusing);
        const CliResult result = bench.run({"ports"}, out);
        EXPECT_EQ(result.status, 3) << result.err;
        EXPECT_TRUE(contains(result.err, kOutputLost)) << result.err;
    }
}
