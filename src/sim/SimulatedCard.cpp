#include "sim/SimulatedCard.h"

namespace talvex {

std::uint8_t SimulatedCard::checkByte(const std::vector<std::uint8_t>& firstSix)
{
    std::uint8_t value = kFrameCheck;
    for (std::size_t i = 0; i < firstSix.size() && i < kFrameLength - 1; ++i)
        value ^= firstSix[i];
    return value;
}

std::vector<std::uint8_t> SimulatedCard::answerFrame(const std::vector<std::uint8_t>& frame)
{
    if (frame.size() != kFrameLength)
        return {};
    std::uint8_t check = 0;
    for (std::uint8_t byte : frame)
        check ^= byte;
    const bool valid = check == kFrameCheck;
    std::vector<std::uint8_t> answer{0x01, 0x02, frame[2], frame[3], static_cast<std::uint8_t>(valid ? 0x90 : 0x6F),
                                     0x00};
    answer.push_back(checkByte(answer));
    return answer;
}

} // namespace talvex
