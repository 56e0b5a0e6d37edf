#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace talvex {

/// Where one programmer of a batch stands.
enum class BatchPhase {
    Waiting,
    Connecting,
    CheckingMode,
    BackToBoot,
    Unplug,  ///< the operator is asked to unplug it
    Replug,  ///< the operator is asked to plug it in again
    Erasing,
    Uploading,
    Confirming, ///< asking it which firmware runs now
    Serializing,
    Done,
    Failed,
};

/// "waiting", "unplug", "uploading" …: one word for a progress line.
const char* phaseName(BatchPhase phase);

/// One programmer's row: the table's, and the report's.
struct BatchRecord {
    std::size_t position = 0; ///< 1 for the first programmer found
    std::string ports;        ///< "COM3/COM4"
    std::string usbLocation;  ///< "2-1"; empty when unknown
    std::string serialNumber;
    std::string versionBefore; ///< "1.10", or "boot loader"
    std::string versionAfter;  ///< as it answers after the upload
    std::string usbSerial;     ///< the USB serial number written; empty when none
    bool confirmed = false;    ///< uploaded (and serialised, where asked)
    std::string reason;        ///< why not, when not
    std::chrono::milliseconds duration {0};

    const char* verdict() const { return confirmed ? "ok" : "failed"; }
};

} // namespace talvex
