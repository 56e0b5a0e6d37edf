#pragma once

// What every serial backend promises its callers, written once and run
// against each backend: the simulated port, the POSIX port on a
// pseudo-terminal and the Win32 port on a COM port (under Wine in CI).
// A backend's test file defines a Backend type with:
//   PortHost& host();  Clock& clock();
//   std::string livePort();     a port that opens, with a silent device
//   std::string missingPort();  a name that does not exist
//   bool exclusiveOpen();       whether the system refuses a second open
//   bool canVanish();  void vanish();   take the device away
//   std::string notReady();     why the backend cannot run here, or empty
// and instantiates the suite with INSTANTIATE_TYPED_TEST_SUITE_P.

#include "common/Clock.h"
#include "protocol/DetectionResults.h"
#include "serial/PortHost.h"

#include <gtest/gtest.h>

#include <memory>

namespace talvex::test {

template <typename Backend>
class PortContract : public ::testing::Test {
protected:
    Backend backend;

    void SetUp() override
    {
        if (const std::string why = backend.notReady(); !why.empty())
            GTEST_SKIP() << why;
    }

    // A read that finds nothing takes about the 20 ms read time-out: never
    // at once, so a caller that polls cannot spin, and never a hang.
    void expectEmptyRead(SerialPort& port, Status status)
    {
        std::uint8_t buffer[16];
        const TimePoint start = backend.clock().now();
        const ReadResult result = port.read(buffer, sizeof buffer);
        const Micros took = backend.clock().now() - start;
        EXPECT_EQ(result.count, 0u);
        EXPECT_EQ(result.status, status);
        EXPECT_GE(took, Millis(15));
        EXPECT_LT(took, Millis(2000));
    }
};

TYPED_TEST_SUITE_P(PortContract);

TYPED_TEST_P(PortContract, OpenBusyMissingAndARefusedMode)
{
    PortHost& host = this->backend.host();
    const std::string live = this->backend.livePort();
    {
        OpenResult first = host.open(live, kNormalMode);
        ASSERT_TRUE(first) << first.failure().detail;
        if (this->backend.exclusiveOpen()) {
            const OpenResult second = host.open(live, kNormalMode);
            EXPECT_FALSE(second);
            EXPECT_EQ(second.failure().status, Status::Busy) << second.failure().detail;
        }
    }
    const OpenResult missing = host.open(this->backend.missingPort(), kNormalMode);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.failure().status, Status::Gone) << missing.failure().detail;
    EXPECT_FALSE(missing.failure().detail.empty());

    // A mode the port will not take fails the open, on every backend, and
    // leaves the port free for the next open.
    const OpenResult refused = host.open(live, "9600,X,8,1");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.failure().status, Status::Other) << refused.failure().detail;
    EXPECT_NE(refused.failure().detail.find("9600,X,8,1"), std::string::npos) << refused.failure().detail;
    EXPECT_TRUE(host.open(live, kLowSpeedMode));
}

TYPED_TEST_P(PortContract, ASilentReadTimesOutInAboutTwentyMilliseconds)
{
    OpenResult opened = this->backend.host().open(this->backend.livePort(), kNormalMode);
    ASSERT_TRUE(opened) << opened.failure().detail;
    this->expectEmptyRead(**opened, Status::TimedOut);
}

TYPED_TEST_P(PortContract, AVanishedDeviceIsGoneAndStillTakesItsTime)
{
    if (!this->backend.canVanish())
        GTEST_SKIP() << "this backend's device cannot be taken away from inside the test";
    OpenResult opened = this->backend.host().open(this->backend.livePort(), kNormalMode);
    ASSERT_TRUE(opened) << opened.failure().detail;
    EXPECT_EQ((*opened)->presence(), Status::Ok);
    this->backend.vanish();
    EXPECT_EQ((*opened)->presence(), Status::Gone);
    for (int read = 0; read < 2; ++read)
        this->expectEmptyRead(**opened, Status::Gone);
}

REGISTER_TYPED_TEST_SUITE_P(PortContract, OpenBusyMissingAndARefusedMode, ASilentReadTimesOutInAboutTwentyMilliseconds,
                            AVanishedDeviceIsGoneAndStillTakesItsTime);

} // namespace talvex::test
