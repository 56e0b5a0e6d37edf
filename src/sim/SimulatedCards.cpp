#include "sim/SimulatedCards.h"

#include "smartcard/Atr.h"

namespace talvex {
namespace {

struct NamedShape {
    std::string_view name;
    SimCardShape shape;
};

constexpr NamedShape kShapes[] = {
    {"default", SimCardShape::Default}, {"t0", SimCardShape::T0Only},     {"t1", SimCardShape::T1},
    {"t0-t1", SimCardShape::T0AndT1},   {"inverse", SimCardShape::Inverse}, {"bad-tck", SimCardShape::WrongTck},
};

std::vector<std::uint8_t> withTck(std::vector<std::uint8_t> atr)
{
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        check ^= atr[i];
    atr.push_back(check);
    return atr;
}

} // namespace

std::vector<std::uint8_t> simulatedCardAtr(SimCardShape shape)
{
    switch (shape) {
    case SimCardShape::Default: return {0x3B, 0x02, 0x14, 0x50};
    case SimCardShape::T0Only:
        // TA1 TD1, K=7: "TALVEX0".
        return {0x3B, 0x97, 0x11, 0x00, 0x54, 0x41, 0x4C, 0x56, 0x45, 0x58, 0x30};
    case SimCardShape::T1:
    case SimCardShape::WrongTck: {
        // TA1 18, TC1 00, TD1 → T=1, TD2 → TA3 FE, TB3 45; historical 80 31 80 82 90 00.
        std::vector<std::uint8_t> atr =
            withTck({0x3B, 0xD6, 0x18, 0x00, 0x81, 0x31, 0xFE, 0x45, 0x80, 0x31, 0x80, 0x82, 0x90, 0x00});
        if (shape == SimCardShape::WrongTck)
            atr.back() ^= 0x01;
        return atr;
    }
    case SimCardShape::T0AndT1:
        // TA1 96, TD1 → T=0 and TD2, TD2 → T=1; historical "TLVX1".
        return withTck({0x3B, 0x95, 0x96, 0x80, 0x01, 0x54, 0x4C, 0x56, 0x58, 0x31});
    case SimCardShape::Inverse: {
        std::vector<std::uint8_t> atr{0x3F, 0x14, 0x11, 0x54, 0x4C, 0x56, 0x58};
        for (std::uint8_t& byte : atr)
            byte = inverseConventionByte(byte);
        return atr;
    }
    }
    return {};
}

std::optional<SimCardShape> simCardShapeNamed(std::string_view name)
{
    for (const NamedShape& entry : kShapes) {
        if (entry.name == name)
            return entry.shape;
    }
    return std::nullopt;
}

std::string simCardShapeNames()
{
    std::string names;
    for (const NamedShape& entry : kShapes)
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    return names;
}

} // namespace talvex
