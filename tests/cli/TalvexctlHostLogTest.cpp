// What a host says of a port it opened (the Windows host: an FTDI port
// that keeps the driver's latency setting) reaches talvexctl's standard
// error as log lines, one per open, never its results.

#include "cli/CliBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

// The bench's host, saying one line for each port it opened.
class NotingHost final : public PortHost {
public:
    explicit NotingHost(PortHost& inner)
        : m_inner(inner)
    {
    }
    std::vector<PortInfo> listPorts() override { return m_inner.listPorts(); }
    OpenResult open(const std::string& name, const std::string& mode) override
    {
        OpenResult result = m_inner.open(name, mode);
        if (result)
            log(name + " keeps the driver's latency setting: test");
        return result;
    }

private:
    PortHost& m_inner;
};

CliResult runOn(CliBench& bench, PortHost& host, const std::vector<std::string>& arguments)
{
    ApplicationContext context(host, bench.sim.clock);
    return test::runIn(context, arguments);
}

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++found;
    return found;
}

} // namespace

TEST(TalvexctlHostLog, PortNotesAreLogLinesOnePerOpenAndNotResults)
{
    CliBench bench;
    bench.sim.addProgrammer("COM3", "COM4");
    NotingHost noting(bench.sim.host);
    const std::string note = "COM3 keeps the driver's latency setting: test\n";

    const CliResult plain = runOn(bench, bench.sim.host, {"info", "--port", "COM3"});
    const CliResult noted = runOn(bench, noting, {"info", "--port", "COM3"});
    ASSERT_EQ(noted.status, 0) << noted.err;
    EXPECT_EQ(noted.out, plain.out);
    const int opens = bench.sim.host.openCount("COM3") / 2; // each run opened it as often
    ASSERT_GT(opens, 0);
    EXPECT_EQ(count(noted.err, note), static_cast<std::size_t>(opens)) << noted.err;
    EXPECT_FALSE(contains(plain.err, "keeps the driver's latency setting"));

    // Quiet keeps log lines out, these too.
    const CliResult quiet = runOn(bench, noting, {"--quiet", "info", "--port", "COM3"});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_FALSE(contains(quiet.err, "keeps the driver's latency setting")) << quiet.err;
}
