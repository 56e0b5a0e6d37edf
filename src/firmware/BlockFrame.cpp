#include "firmware/BlockFrame.h"

#include <algorithm>

namespace talvex {

std::uint8_t blockChecksum(const std::uint8_t* block)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlockSize; ++i)
        sum += block[i];
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

BlockFrame buildBlockFrame(const std::uint8_t* block, bool repeated)
{
    BlockFrame frame{};
    frame[0] = kProgramBlockCode;
    frame[1] = repeated ? kRepeatedBlock : kFreshBlock;
    std::copy_n(block, kBlockSize, frame.begin() + 2);
    frame[kBlockFrameLength - 1] = blockChecksum(block);
    return frame;
}

} // namespace talvex
