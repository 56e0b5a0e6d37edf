// libFuzzer target for the ATR decoder: whatever a reader delivers, the
// decoder stays inside the bytes (ASan), accounts for every one of them,
// and a complete ATR written back from its parts is the ATR again.

#include "smartcard/Atr.h"
#include "smartcard/AtrReport.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace talvex;
    const std::vector<std::uint8_t> input(data, data + size);
    const DecodedAtr atr = decodeAtr(input);

    require(atr.bytes.size() == size);
    require(atr.length <= size);
    require(atr.length + atr.extraBytes == size);
    require(atr.truncated ? atr.expectedLength > size : atr.expectedLength == atr.length);
    require(atr.historical.bytes.size() <= static_cast<std::size_t>(atr.historicalCount));
    require(atr.wellFormed() == atr.problems.empty());
    require(!atr.tckValid() || atr.tckRequired);

    if (!atr.truncated) {
        const std::vector<std::uint8_t> own(atr.bytes.begin(), atr.bytes.begin() + static_cast<std::ptrdiff_t>(atr.length));
        require(encodeAtr(atr) == own);
        const DecodedAtr again = decodeAtr(own);
        require(again.protocols == atr.protocols);
        require(again.historical.bytes == atr.historical.bytes);
        require(again.tck == atr.tck);
    }

    // Read as a direct-convention UART reads an inverse card, the same ATR.
    if (size > 0 && input.front() == 0x3F) {
        std::vector<std::uint8_t> raw = input;
        for (std::uint8_t& byte : raw)
            byte = inverseConventionByte(byte);
        const DecodedAtr read = decodeAtr(raw);
        require(read.bytes == input);
        require(read.problems == atr.problems);
    }

    // The readable decoding and the reader's fit take any ATR.
    const AtrDiagnosis diagnosis = diagnoseAtr(input, std::nullopt, {});
    require(!formatLines(describeDiagnosis(diagnosis)).empty());
    return 0;
}
