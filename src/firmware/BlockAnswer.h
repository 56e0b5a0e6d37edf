#pragma once

#include "serial/PortSlot.h"

#include <cstdint>
#include <vector>

namespace talvex {

class Clock;

/// What an answer to a block frame means.
enum class BlockVerdict {
    Accepted,           ///< A6 and the frame's checksum
    Complete,           ///< A7 to the last block
    CompleteWithErrors, ///< B7 to the last block
    Retry,              ///< B6: this block failed, send it again
    FlashError,         ///< C6: unrecoverable
    NoAnswer,           ///< nothing came back
    CommunicationError, ///< anything else, A7/B7 before the last block, A6 alone
};

/// Judges the answer to the frame of block `blockIndex` (0-based). Only the
/// bytes of this answer count: a lone A6 is a communication error, never
/// completed by a byte of an earlier answer.
BlockVerdict judgeBlockAnswer(const std::vector<std::uint8_t>& answer, std::uint8_t frameChecksum, int blockIndex);

/// How to wait for a block answer.
enum class AnswerWait {
    /// Read from the moment the frame is out and stop once both bytes are
    /// in; give up no later than the fixed wait plus the read time-out.
    UntilAnswered,
    /// The fixed 50 ms sleep, then one read (kept to measure against).
    FixedSleep,
};

/// Collects the answer (at most two bytes) to the frame just written; its
/// end says Gone as soon as a read finds the device vanished.
PortSlot::Answer awaitBlockAnswer(PortSlot& port, Clock& clock, AnswerWait policy);

} // namespace talvex
