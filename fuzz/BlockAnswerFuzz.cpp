// The upload's block frames and the judgement of the boot loader's answer
// to each. Input: block index (2 bytes, big-endian, modulo the block
// count), a flag byte (bit 0: repeated frame), 32 data bytes (0xFF where
// the input ends early, as in a short image), then the answer.

#include "FuzzCheck.h"

#include "firmware/BlockAnswer.h"
#include "firmware/BlockFrame.h"
#include "firmware/FirmwareProtocol.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

using namespace talvex;

namespace {

constexpr std::size_t kHeaderBytes = 3;

void checkFrame(const std::array<std::uint8_t, kBlockSize>& block, bool repeated, std::uint8_t checksum)
{
    unsigned sum = 0;
    for (const std::uint8_t byte : block)
        sum += byte;
    FUZZ_CHECK(checksum == static_cast<std::uint8_t>(sum));

    const BlockFrame frame = buildBlockFrame(block.data(), repeated);
    FUZZ_CHECK(frame[0] == kProgramBlockCode);
    FUZZ_CHECK(frame[1] == (repeated ? kRepeatedBlock : kFreshBlock));
    FUZZ_CHECK(std::equal(block.begin(), block.end(), frame.begin() + 2));
    FUZZ_CHECK(frame[kBlockFrameLength - 1] == checksum);
}

void checkVerdict(const std::vector<std::uint8_t>& answer, std::uint8_t checksum, int index)
{
    const BlockVerdict verdict = judgeBlockAnswer(answer, checksum, index);
    const bool last = index == kLastBlock;
    if (answer.empty()) {
        FUZZ_CHECK(verdict == BlockVerdict::NoAnswer);
        return;
    }
    FUZZ_CHECK(verdict != BlockVerdict::NoAnswer);
    const std::uint8_t first = answer[0];
    const bool echoes = answer.size() >= kBlockAnswerLength && first == kProgramBlockCode && answer[1] == checksum;

    // Accepted only on both bytes: never on a lone A6 or a wrong checksum.
    FUZZ_CHECK((verdict == BlockVerdict::Accepted) == echoes);
    if (verdict == BlockVerdict::Accepted)
        FUZZ_CHECK(judgeBlockAnswer(answer, static_cast<std::uint8_t>(checksum + 1), index) != BlockVerdict::Accepted);
    // The image ends only at the last block.
    FUZZ_CHECK((verdict == BlockVerdict::Complete) == (last && first == kImageComplete));
    FUZZ_CHECK((verdict == BlockVerdict::CompleteWithErrors) == (last && first == kImageCompleteWithErrors));
    FUZZ_CHECK((verdict == BlockVerdict::Retry) == (first == kBlockRetry));
    FUZZ_CHECK((verdict == BlockVerdict::FlashError) == (first == kFlashWriteError));

    // An answer is two bytes: a third (a byte of the next) changes nothing.
    if (answer.size() > kBlockAnswerLength) {
        const std::vector<std::uint8_t> head(answer.begin(), answer.begin() + kBlockAnswerLength);
        FUZZ_CHECK(judgeBlockAnswer(head, checksum, index) == verdict);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kHeaderBytes)
        return 0;
    const int index = ((data[0] << 8) | data[1]) % kBlockCount;
    const bool repeated = (data[2] & 1) != 0;

    std::array<std::uint8_t, kBlockSize> block;
    block.fill(kErasedByte);
    const std::size_t dataBytes = std::min(kBlockSize, size - kHeaderBytes);
    std::copy(data + kHeaderBytes, data + kHeaderBytes + dataBytes, block.begin());
    const std::vector<std::uint8_t> answer(data + kHeaderBytes + dataBytes, data + size);

    const std::uint8_t checksum = blockChecksum(block.data());
    checkFrame(block, repeated, checksum);
    checkVerdict(answer, checksum, index);

    // The boot loader's good answer passes at every block.
    FUZZ_CHECK(judgeBlockAnswer({kProgramBlockCode, checksum}, checksum, index) == BlockVerdict::Accepted);
    FUZZ_CHECK(judgeBlockAnswer({kProgramBlockCode}, checksum, index) == BlockVerdict::CommunicationError);
    return 0;
}
