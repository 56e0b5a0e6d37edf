#pragma once

#include "common/Result.h"
#include "protocol/LineSequence.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// Buffer size of a command's answer.
inline constexpr std::size_t kAnswerCapacity = 1024;

struct ExchangeResult {
    std::vector<std::uint8_t> frame;  ///< the bytes that went out
    std::vector<std::uint8_t> answer; ///< what the device said
    /// Ok: the answer is the command code, then 0x00. Refused: the device
    /// said something else. TimedOut: it said nothing. Gone: its port
    /// vanished (unplugged). BadInput: the text was refused, nothing sent.
    Status status = Status::BadInput;

    bool ok() const { return status == Status::Ok; }
};

/// The device's verdict on a command: its first answer byte repeats the
/// command code and the second is 0x00. An empty answer is a failure.
bool isCommandSuccess(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& answer);

/// Sends a command text byte by byte on the port. False, with nothing
/// sent, when the text is longer than one frame may be.
bool sendCommandText(PortSlot& port, std::string_view text);

/// Line preparation, command, the command's own wait, answer and verdict.
ExchangeResult runExchange(PortSlot& port, Clock& clock, std::string_view text,
                           const LineSequence& preparation, int waitMs);

/// The usual preparation before a settings command: DTR on, 200 ms.
LineSequence standardPreparation();

} // namespace talvex
