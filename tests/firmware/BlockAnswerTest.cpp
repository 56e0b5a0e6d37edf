#include "firmware/BlockAnswer.h"
#include "firmware/BlockFrame.h"
#include "firmware/FirmwareProtocol.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

TEST(BlockFrame, CarriesCodeMarkerDataAndChecksumModulo256)
{
    std::array<std::uint8_t, kBlockSize> block{};
    std::iota(block.begin(), block.end(), std::uint8_t{0xF0}); // sums past 255
    unsigned sum = 0;
    for (const auto byte : block)
        sum += byte;

    const BlockFrame fresh = buildBlockFrame(block.data(), false);
    EXPECT_EQ(fresh.size(), 35u);
    EXPECT_EQ(fresh[0], 0xA6);
    EXPECT_EQ(fresh[1], 0x00);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), fresh.begin() + 2));
    EXPECT_EQ(fresh[34], static_cast<std::uint8_t>(sum % 256));

    const BlockFrame repeated = buildBlockFrame(block.data(), true);
    EXPECT_EQ(repeated[1], 0x01);
    EXPECT_EQ(repeated[34], fresh[34]);

    std::array<std::uint8_t, kBlockSize> erased;
    erased.fill(0xFF);
    EXPECT_EQ(blockChecksum(erased.data()), 0xE0); // 32 × 255 = 8160 = 31 × 256 + 224
}

TEST(BlockAnswer, IsJudgedByItsOwnBytesAndTheBlockItAnswers)
{
    const std::uint8_t sum = 0x5C;
    struct Case {
        Bytes answer;
        int block;
        BlockVerdict verdict;
    };
    const Case cases[] = {
        {{0xA6, sum}, 0, BlockVerdict::Accepted},
        {{0xA6, sum}, kLastBlock, BlockVerdict::Accepted},
        {{0xA6, sum, 0xB6}, 7, BlockVerdict::Accepted}, // a third byte is the next answer's
        {{0xA6, 0x5D}, 7, BlockVerdict::CommunicationError},
        {{0xA6}, 7, BlockVerdict::CommunicationError}, // never judged by a byte left over
        {{}, 7, BlockVerdict::NoAnswer},
        {{0xA7, 0x00}, kLastBlock, BlockVerdict::Complete},
        {{0xA7}, kLastBlock, BlockVerdict::Complete},
        {{0xA7, sum}, kLastBlock - 1, BlockVerdict::CommunicationError},
        {{0xB7, 0x12}, kLastBlock, BlockVerdict::CompleteWithErrors},
        {{0xB7, 0x12}, 0, BlockVerdict::CommunicationError},
        {{0xB6, 0x99}, 3, BlockVerdict::Retry},
        {{0xB6}, kLastBlock, BlockVerdict::Retry},
        {{0xC6, 0x00}, 3, BlockVerdict::FlashError},
        {{0x5A, 0x3C}, 3, BlockVerdict::CommunicationError},
        {{sum, 0xA6}, 3, BlockVerdict::CommunicationError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.answer) + " to block " + std::to_string(c.block));
        EXPECT_EQ(judgeBlockAnswer(c.answer, sum, c.block), c.verdict);
    }
    // A lone A6 with the checksum still in its buffer after it: a judge
    // that reads past the answer's end would take it.
    Bytes lone{0xA6, sum};
    lone.pop_back();
    EXPECT_EQ(judgeBlockAnswer(lone, sum, 7), BlockVerdict::CommunicationError);
}

namespace {

// A port behind which a scripted device answers each burst (a frame) with
// `answer`, ScriptedEndpoint::kBurstGap after it.
struct AnswerBench {
    test::SimBench bench;
    PortSlot& port = bench.context.ports().a;
    TimePoint sent{};

    explicit AnswerBench(Bytes answer)
    {
        bench.addAnswering("COM1", std::move(answer));
        EXPECT_TRUE(port.open(bench.host, "COM1", kNormalMode));
    }

    Bytes frameAndAwait(AnswerWait policy)
    {
        const Bytes frame(kBlockFrameLength, 0x11);
        port.writeBlock(frame.data(), frame.size());
        sent = bench.clock.now();
        return awaitBlockAnswer(port, bench.clock, policy).bytes;
    }

    Micros waited() const { return bench.clock.now() - sent; }
};

} // namespace

TEST(BlockAnswerWait, EndsWithTheSecondByteAndAtTheLatestAfterTheFixedWaitAndOneRead)
{
    const Micros frameOnWire = characterTime(115200) * 35;
    const Micros answerOnWire = characterTime(115200) * 2;
    {
        AnswerBench quick({0xA6, 0x22});
        EXPECT_EQ(quick.frameAndAwait(AnswerWait::UntilAnswered), (Bytes{0xA6, 0x22}));
        EXPECT_EQ(quick.waited(), frameOnWire + ScriptedEndpoint::kBurstGap + answerOnWire);
    }
    {
        AnswerBench silent({});
        EXPECT_TRUE(silent.frameAndAwait(AnswerWait::UntilAnswered).empty());
        EXPECT_EQ(silent.waited(), Millis(70));
    }
    {
        // One byte, then nothing: wait out the time for the second, no more.
        AnswerBench half({0xA6});
        EXPECT_EQ(half.frameAndAwait(AnswerWait::UntilAnswered), (Bytes{0xA6}));
        EXPECT_EQ(half.waited(), Millis(70));
    }
    {
        AnswerBench fixed({0xA6, 0x22});
        EXPECT_EQ(fixed.frameAndAwait(AnswerWait::FixedSleep), (Bytes{0xA6, 0x22}));
        EXPECT_EQ(fixed.waited(), Millis(50));
    }
}

TEST(BlockAnswerWait, ClosedPortStillTakesItsTimeInsteadOfSpinning)
{
    test::SimBench bench;
    PortSlot closed;
    const TimePoint start = bench.clock.now();
    EXPECT_TRUE(awaitBlockAnswer(closed, bench.clock, AnswerWait::UntilAnswered).bytes.empty());
    EXPECT_EQ(bench.clock.now() - start, Millis(70));
}
