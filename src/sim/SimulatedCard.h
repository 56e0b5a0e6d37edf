#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace talvex {

/// A smartcard in one of the programmer's readers: it answers a reset
/// with its ATR and the tool's seven-byte test frames with a frame of the
/// same form. Plausible behaviour, not any real card's.
class SimulatedCard {
public:
    static constexpr std::size_t kFrameLength = 7;
    static constexpr std::uint8_t kFrameCheck = 0x3F;

    const std::vector<std::uint8_t>& atr() const { return m_atr; }
    void setAtr(std::vector<std::uint8_t> atr) { m_atr = std::move(atr); }

    /// A frame whose seven bytes exclusive-or to 0x3F is answered with
    /// 01 02, its two command bytes, status 90 00 and a fresh check byte;
    /// a frame with a bad check byte gets status 6F 00.
    static std::vector<std::uint8_t> answerFrame(const std::vector<std::uint8_t>& frame);

    static std::uint8_t checkByte(const std::vector<std::uint8_t>& firstSix);

private:
    std::vector<std::uint8_t> m_atr{0x3B, 0x02, 0x14, 0x50};
};

} // namespace talvex
