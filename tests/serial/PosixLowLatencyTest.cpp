// The FTDI latency request: asked while a port is held, what was there put
// back on close, and nothing at all where the driver has no such flags.

#include "serial/LowLatency.h"
#include "serial/PosixPortHost.h"
#include "support/Pty.h"

#include <gtest/gtest.h>


using namespace talvex;

namespace {

struct RecordingFlags final : SerialFlagsAccess {
    std::optional<int> flags;
    std::vector<int> written;

    std::optional<int> read(int) override { return flags; }
    bool write(int, int value) override
    {
        written.push_back(value);
        flags = value;
        return true;
    }
};

} // namespace

TEST(LowLatency, AskedWhileHeldRestoredOnCloseAndLeftAloneWhereItCannotBe)
{
    RecordingFlags driver;
    driver.flags = 0x0040; // some other flag the driver had
    {
        LowLatencyHold hold(7, driver);
        EXPECT_TRUE(hold.changed());
        EXPECT_EQ(driver.written, (std::vector<int>{0x0040 | kLowLatencyFlag}));
    }
    EXPECT_EQ(driver.written, (std::vector<int>{0x0040 | kLowLatencyFlag, 0x0040}));

    // Already low latency: nothing asked, nothing restored.
    RecordingFlags already;
    already.flags = kLowLatencyFlag;
    { LowLatencyHold hold(7, already); EXPECT_FALSE(hold.changed()); }
    EXPECT_TRUE(already.written.empty());

    // No serial flags at all (a pseudo-terminal): silence, not an error.
    RecordingFlags none;
    { LowLatencyHold hold(7, none); EXPECT_FALSE(hold.changed()); }
    EXPECT_TRUE(none.written.empty());

    // The kernel's own answer for a pseudo-terminal is the same.
    test::Pty pty;
    const int slave = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    { LowLatencyHold hold(slave, kernelSerialFlags()); EXPECT_FALSE(hold.changed()); }
    ::close(slave);
}
