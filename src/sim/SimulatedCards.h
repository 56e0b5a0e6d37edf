#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// ATR shapes a simulated reader can hold, made up for the tool's tests
/// and demo (no real card's). Each TCK is computed, the wrong one on purpose.
enum class SimCardShape {
    Default,   ///< 3B 02 14 50: T=0, two historical bytes
    T0Only,    ///< TA1 11 and an explicit TD1 naming T=0; no TCK
    T1,        ///< T=1 with IFSC, BWI/CWI, compact-TLV historical bytes and TCK
    T0AndT1,   ///< T=0 and T=1, TA1 96 (F=512, D=32)
    Inverse,   ///< inverse convention, as a direct-convention UART reads it (03 …)
    WrongTck,  ///< the T=1 card with its TCK off by one bit
};

std::vector<std::uint8_t> simulatedCardAtr(SimCardShape shape);

/// "default", "t0", "t1", "t0-t1", "inverse", "bad-tck".
std::optional<SimCardShape> simCardShapeNamed(std::string_view name);
std::string simCardShapeNames();

} // namespace talvex
