#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// Whether the bytes read so far make a whole answer.
using AnswerComplete = std::function<bool(const std::vector<std::uint8_t>&)>;

/// Collects the answer to what was just sent. The wait is a ceiling: with
/// the slot's timing AsTheyArrive, reading stops waiting as soon as
/// `complete` says the whole answer is in (then, as always, the reads go on
/// until 20 ms of silence, so a longer answer is seen whole and judged as
/// before); a silent port still waits the full time. With FullWait the
/// ceiling is slept through first, then the answer read.
std::vector<std::uint8_t> awaitAnswer(PortSlot& port, Clock& clock, int ceilingMs, std::size_t capacity,
                                      const AnswerComplete& complete);

/// A settings command's answer: its code and a status byte; the Uniprog
/// read ("42") answers nine bytes.
bool isWholeCommandAnswer(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& answer);

/// The answer to the identification byte: the application's two-byte
/// greeting, or the boot loader's 23-byte answer.
bool isWholeIdentifyAnswer(const std::vector<std::uint8_t>& answer);

/// The application's 32-byte identity.
bool isWholeIdentity(const std::vector<std::uint8_t>& answer);

} // namespace talvex
