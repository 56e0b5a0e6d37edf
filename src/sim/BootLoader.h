#pragma once

#include "common/Clock.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace talvex {

/// A fault the simulated boot loader plays on a block, by its position.
enum class BlockFault {
    NoAnswer,           ///< writes the block; its answer is lost
    Retry,              ///< answers B6, writes nothing
    FlashError,         ///< answers C6, writes nothing
    WrongChecksum,      ///< writes the block; answers A6 with a wrong checksum
    EarlyComplete,      ///< writes the block; answers A7
    CompleteWithErrors, ///< writes the block; answers B7
    ShortAnswer,        ///< writes the block; answers A6 alone
    Garbage,            ///< writes the block; answers two unknown bytes
    LateAnswer,         ///< writes the block; answers 100 ms after the host gave up
    WriteRefused,       ///< the host's port write of the frame fails (a USB transfer error): nothing arrives
};

/// The programmer's boot loader as far as flashing goes: 0xA8 erases, and
/// 35-byte frames (A6, repeat marker, 32 bytes, checksum) program the image
/// block after block. Choices where the host protocol leaves it open:
/// - a frame whose checksum does not match its data is answered B6 00 and
///   not written (the host sends it again);
/// - repeat marker 1 after an accepted frame writes the same block again
///   (its answer may have been lost), after a refused one the next block;
/// - frames before an erase since power-up, or past the last block, are
///   answered C6 00;
/// - the answer to an accepted block is A6 and the checksum, A7 and the
///   checksum once all 3,200 blocks are in.
/// Not locked: the simulated programmer that owns it holds its lock.
class BootLoader {
public:
    static constexpr Micros kDefaultEraseTime = Millis(300);
    static constexpr Micros kDefaultFlashTime = Millis(4);
    static constexpr Micros kLateAnswerDelay = Millis(100);

    BootLoader();

    /// Length of a boot loader command starting with `code`; 0 when unknown.
    static std::size_t commandLength(std::uint8_t code);

    std::vector<std::uint8_t> erase();
    std::vector<std::uint8_t> programBlock(const std::vector<std::uint8_t>& frame);
    /// Extra time before the answer just given (a late answer), once.
    Micros takeAnswerDelay();
    /// The device was plugged in: what it held in RAM is gone, flash stays.
    void powerUp();

    /// The next `times` frames for block `block` meet `fault`.
    void injectFault(int block, BlockFault fault, int times);
    /// Whether the host's write of the next block's frame is to fail
    /// (a WriteRefused fault, used up by saying so).
    bool takeWriteRefusal();

    Micros eraseTime() const { return m_eraseTime; }
    void setEraseTime(Micros time) { m_eraseTime = time; }
    Micros flashTime() const { return m_flashTime; }
    void setFlashTime(Micros time) { m_flashTime = time; }

    /// Flash as programmed: 0xFF after an erase, blocks as they came.
    const std::vector<std::uint8_t>& image() const { return m_image; }
    /// Blocks written since the last erase.
    int acceptedBlocks() const { return m_accepted; }
    /// False between an erase and the last block: nothing to start.
    bool applicationIntact() const { return m_intact; }

private:
    std::vector<std::uint8_t> m_image;
    std::map<int, std::deque<BlockFault>> m_faults;
    Micros m_eraseTime = kDefaultEraseTime;
    Micros m_flashTime = kDefaultFlashTime;
    Micros m_answerDelay{};
    bool m_erasedSincePowerUp = false;
    bool m_intact = true;
    bool m_lastAccepted = false;
    int m_accepted = 0;
};

} // namespace talvex
