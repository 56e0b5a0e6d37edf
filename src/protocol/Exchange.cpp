#include "protocol/Exchange.h"

#include "common/Clock.h"
#include "protocol/AnswerWait.h"
#include "protocol/CommandText.h"
#include "protocol/LineSequences.h"
#include "serial/PortSlot.h"

namespace talvex {

void runLineSequence(PortSlot& port, Clock& clock, const LineSequence& steps)
{
    for (const LineStep& step : steps) {
        switch (step.kind) {
        case LineStep::Kind::DtrOn: port.setDtr(true); break;
        case LineStep::Kind::DtrOff: port.setDtr(false); break;
        case LineStep::Kind::RtsOn: port.setRts(true); break;
        case LineStep::Kind::RtsOff: port.setRts(false); break;
        case LineStep::Kind::WaitMs: clock.sleepMs(step.waitMs); break;
        case LineStep::Kind::WaitAnswerDelay: break; // resolved by lineSequence()
        }
    }
}

bool isCommandSuccess(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& answer)
{
    return !frame.empty() && answer.size() >= 2 && answer[0] == frame[0] && answer[1] == 0x00;
}

bool sendCommandText(PortSlot& port, std::string_view text)
{
    const auto frame = commandFrame(text);
    if (!frame)
        return false;
    for (std::uint8_t byte : *frame)
        port.sendByte(byte);
    return true;
}

ExchangeResult runExchange(PortSlot& port, Clock& clock, std::string_view text,
                           const LineSequence& preparation, int waitMs)
{
    ExchangeResult result;
    const auto frame = commandFrame(text);
    if (!frame)
        return result;
    result.frame = *frame;
    runLineSequence(port, clock, preparation);
    sendCommandText(port, text);
    const std::vector<std::uint8_t>& sentFrame = result.frame;
    result.answer = awaitAnswer(port, clock, waitMs, kAnswerCapacity, [&sentFrame](const std::vector<std::uint8_t>& answer) {
        return isWholeCommandAnswer(sentFrame, answer);
    });
    if (isCommandSuccess(result.frame, result.answer))
        result.status = Status::Ok;
    else if (!result.answer.empty())
        result.status = Status::Refused;
    else
        // An unplugged programmer is silent too; say which it was.
        result.status = port.presence() == Status::Gone || !port.isOpen() ? Status::Gone : Status::TimedOut;
    return result;
}

LineSequence standardPreparation()
{
    return lineSequence(LinePreparation::Standard);
}

} // namespace talvex
