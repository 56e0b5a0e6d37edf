#include "firmware/BlockAnswer.h"

#include "common/Clock.h"
#include "firmware/FirmwareProtocol.h"
#include "serial/PortSlot.h"

#include <array>

namespace talvex {

BlockVerdict judgeBlockAnswer(const std::vector<std::uint8_t>& answer, std::uint8_t frameChecksum, int blockIndex)
{
    if (answer.empty())
        return BlockVerdict::NoAnswer;
    const std::uint8_t first = answer[0];
    const bool last = blockIndex == kLastBlock;
    if (first == kImageComplete && last)
        return BlockVerdict::Complete;
    if (first == kImageCompleteWithErrors && last)
        return BlockVerdict::CompleteWithErrors;
    if (first == kProgramBlockCode && answer.size() >= kBlockAnswerLength && answer[1] == frameChecksum)
        return BlockVerdict::Accepted;
    if (first == kBlockRetry)
        return BlockVerdict::Retry;
    if (first == kFlashWriteError)
        return BlockVerdict::FlashError;
    return BlockVerdict::CommunicationError;
}

PortSlot::Answer awaitBlockAnswer(PortSlot& port, Clock& clock, AnswerWait policy)
{
    std::array<std::uint8_t, kBlockAnswerLength> buffer{};
    std::size_t got = 0;
    Status end = Status::TimedOut;
    const auto answer = [&] {
        return PortSlot::Answer{{buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got)}, end};
    };

    if (policy == AnswerWait::FixedSleep) {
        clock.sleepMs(kBlockAnswerWaitMs);
        const ReadResult result = port.read(buffer.data(), buffer.size());
        got = result.count;
        end = result.status;
        return answer();
    }

    const Micros readTimeout = Millis(kReadTimeoutMs);
    const TimePoint deadline = clock.now() + Millis(kBlockAnswerWaitMs) + readTimeout;
    bool lastReadSilent = false;
    while (got < buffer.size()) {
        const Micros remaining = deadline - clock.now();
        if (remaining <= Micros::zero())
            break;
        // A silent read takes the whole time-out; line the remaining reads
        // up so the last one ends at the deadline, not after it. Less than
        // a time-out left means the reads ran late: read once more, so a
        // byte that comes before the deadline is still seen.
        if (lastReadSilent && remaining >= readTimeout)
            clock.sleepFor(remaining % readTimeout);
        const TimePoint start = clock.now();
        const ReadResult result = port.read(buffer.data() + got, buffer.size() - got);
        got += result.count;
        end = result.status;
        if (end == Status::Gone)
            break;
        lastReadSilent = result.count == 0;
        // A port that fails may answer at once; time still passes, so the
        // loop cannot spin.
        if (lastReadSilent)
            clock.sleepUntil(start + readTimeout);
    }
    return answer();
}

} // namespace talvex
