#pragma once

#include "firmware/FirmwareProtocol.h"

#include <array>
#include <cstdint>

namespace talvex {

using BlockFrame = std::array<std::uint8_t, kBlockFrameLength>;

/// Sum of the 32 data bytes as unsigned values, modulo 256.
std::uint8_t blockChecksum(const std::uint8_t* block);

/// 0xA6, the repeat marker, the 32 bytes at `block`, their checksum. A
/// repeated frame tells the boot loader to write the same block again
/// rather than the next one.
BlockFrame buildBlockFrame(const std::uint8_t* block, bool repeated);

} // namespace talvex
