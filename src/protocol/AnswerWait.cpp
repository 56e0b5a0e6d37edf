#include "protocol/AnswerWait.h"

#include "common/Clock.h"
#include "protocol/Identification.h"
#include "serial/PortSlot.h"

#include <algorithm>
#include <array>

namespace talvex {
namespace {

constexpr std::uint8_t kUniprogReadCode = 0x42;
constexpr std::size_t kCommandAnswerLength = 2;
constexpr std::size_t kUniprogAnswerLength = 9;

} // namespace

std::vector<std::uint8_t> awaitAnswer(PortSlot& port, Clock& clock, int ceilingMs, std::size_t capacity,
                                      const AnswerComplete& complete)
{
    if (port.answerTiming() == AnswerTiming::FullWait) {
        clock.sleepMs(ceilingMs);
        return port.readAll(capacity);
    }
    const TimePoint deadline = clock.now() + Millis(ceilingMs);
    std::vector<std::uint8_t> answer;
    std::array<std::uint8_t, 64> buffer{};
    while (clock.now() < deadline && answer.size() < capacity && !complete(answer)) {
        // Less than a read's time-out left: wait it out rather than read
        // past the ceiling; what comes meanwhile waits in the port for the
        // read below, so a silent port takes exactly the full wait.
        if (deadline - clock.now() < Millis(kReadTimeoutMs)) {
            clock.sleepUntil(deadline);
            break;
        }
        const TimePoint before = clock.now();
        const std::size_t room = std::min(buffer.size(), capacity - answer.size());
        const ReadResult result = port.read(buffer.data(), room);
        answer.insert(answer.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(result.count));
        // A port that fails at once must not spin; what is left of the
        // ceiling is waited as a silent port would.
        if (result.count == 0 && clock.now() == before)
            clock.sleepUntil(deadline);
    }
    // The rest, until 20 ms of silence, as the full wait's read would see it.
    const std::vector<std::uint8_t> rest = port.readAll(capacity - std::min(capacity, answer.size()));
    answer.insert(answer.end(), rest.begin(), rest.end());
    return answer;
}

bool isWholeCommandAnswer(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& answer)
{
    const bool uniprogRead = !frame.empty() && frame[0] == kUniprogReadCode;
    return answer.size() >= (uniprogRead ? kUniprogAnswerLength : kCommandAnswerLength);
}

bool isWholeIdentifyAnswer(const std::vector<std::uint8_t>& answer)
{
    if (answer.empty())
        return false;
    if (answer[0] == kIdentifyCode)
        return answer.size() >= kBootAnswerLength;
    return isApplicationGreeting(answer);
}

bool isWholeIdentity(const std::vector<std::uint8_t>& answer)
{
    return answer.size() >= kApplicationAnswerLength;
}

} // namespace talvex
