#include "usbserial/EepromRead.h"

namespace talvex {

EepromRead readEepromWords(FtdiSession& session, std::size_t count)
{
    EepromRead read;
    read.words.reserve(count);
    for (std::size_t word = 0; word < count; ++word) {
        const Result<std::uint16_t> value = session.readWord(word);
        if (!value) {
            read.failure = value.failure();
            read.stoppedAt = static_cast<int>(word);
            return read;
        }
        read.words.push_back(*value);
    }
    return read;
}

} // namespace talvex
