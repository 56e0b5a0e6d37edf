#include "protocol/Exchange.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A device that records what it was sent and answers a fixed reply.
struct RecordingDevice {
    std::shared_ptr<ScriptedEndpoint> endpoint;
    std::vector<Bytes> bursts;

    explicit RecordingDevice(Bytes reply)
    {
        endpoint = std::make_shared<ScriptedEndpoint>([this, reply](const Bytes& burst) {
            bursts.push_back(burst);
            return reply;
        });
    }
};

ExchangeResult exchangeWith(Bytes reply, const std::string& text, std::vector<Bytes>* seen = nullptr)
{
    test::SimBench bench;
    RecordingDevice device(std::move(reply));
    bench.host.attach("COM1", device.endpoint);
    PortSlot& port = bench.context.ports().a;
    EXPECT_TRUE(port.open(bench.host, "COM1", kNormalMode));
    ExchangeResult result = runExchange(port, bench.clock, text, standardPreparation(), 1000);
    if (seen)
        *seen = device.bursts;
    return result;
}

} // namespace

TEST(Exchange, SendsTheFrameAndJudgesTheAnswer)
{
    std::vector<Bytes> seen;
    const ExchangeResult ok = exchangeWith({0x02, 0x00}, "020105", &seen);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (Bytes{0x02, 0x01, 0x05}));
    EXPECT_EQ(ok.status, Status::Ok);

    EXPECT_EQ(exchangeWith({0x02, 0x01}, "020105").status, Status::Refused);
    EXPECT_EQ(exchangeWith({0x03, 0x00}, "020105").status, Status::Refused);
    EXPECT_EQ(exchangeWith({0x02}, "020105").status, Status::Refused);
    const ExchangeResult silent = exchangeWith({}, "020105");
    EXPECT_EQ(silent.status, Status::TimedOut);
    EXPECT_TRUE(silent.answer.empty());
}

TEST(Exchange, OversizedCommandSendsNothing)
{
    std::vector<Bytes> seen;
    const ExchangeResult result = exchangeWith({0x02, 0x00}, std::string(3000, '2'), &seen);
    EXPECT_EQ(result.status, Status::BadInput);
    EXPECT_TRUE(seen.empty());
}

TEST(Exchange, EndlessTalkerIsCutAtTheBufferAndNeverHangs)
{
    // 20,000 bytes: far more than any answer, and longer than the drain
    // bound, so the read must stop on its own while the device still talks.
    const ExchangeResult result = exchangeWith(Bytes(20000, 0x02), "0201");
    EXPECT_EQ(result.answer.size(), kAnswerCapacity);
    EXPECT_EQ(result.status, Status::Refused);
}

TEST(Exchange, ReadOnASilentLineEndsAfterTheTimeOut)
{
    test::SimBench bench;
    bench.addSilent("COM1");
    PortSlot& port = bench.context.ports().a;
    ASSERT_TRUE(port.open(bench.host, "COM1", kNormalMode));
    const TimePoint before = bench.clock.now();
    EXPECT_TRUE(port.readAll(kAnswerCapacity).empty());
    EXPECT_EQ(bench.clock.now() - before, Millis(kReadTimeoutMs));
}

TEST(Exchange, NothingIsSentOnAClosedSlot)
{
    test::SimBench bench;
    PortSlot& port = bench.context.ports().a;
    const ExchangeResult result = runExchange(port, bench.clock, "05", standardPreparation(), 1000);
    EXPECT_EQ(result.status, Status::Gone);
    EXPECT_TRUE(result.answer.empty());
}
