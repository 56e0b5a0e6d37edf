#pragma once

#include "usbserial/EepromLayout.h"
#include "usbserial/FtdiBackend.h"

namespace talvex {

/// Words 0 .. count-1 of a chip's EEPROM, read in order. A read stops at
/// the first word the library refuses: its number and why.
struct EepromRead {
    EepromContents words; ///< every word when ok(); those before `stoppedAt` otherwise
    Failure failure{Status::Ok, {}};
    int stoppedAt = -1;

    bool ok() const { return failure.status == Status::Ok; }
};

EepromRead readEepromWords(FtdiSession& session, std::size_t count);

} // namespace talvex
