#pragma once

#include "batch/BatchObserver.h"
#include "batch/BatchRecord.h"
#include "batch/FoundProgrammer.h"
#include "usbserial/FtdiBackend.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

class Clock;
class PortHost;

/// Polls for the unplug before a batch gives one programmer up: about five
/// minutes, so an operator has time to reach every programmer on a bench.
inline constexpr int kBatchUnplugPollLimit = 750;

struct BatchSettings {
    std::string firmwarePath;
    bool serialize = false; ///< write each programmer's USB serial number after its upload
    int answerDelayMs = 1000;
    int unplugPollLimit = kBatchUnplugPollLimit;
};

/// What the batch works with: the host's ports, the clock its workers'
/// waits go through, and the FTDI library for the serial numbers.
struct BatchEnvironment {
    PortHost& host;
    Clock& clock;
    std::function<FtdiLoadResult()> usbSerialLibrary;
};

struct BatchResult {
    /// Set when the batch did not start: nothing was touched.
    std::optional<std::string> error;
    std::vector<BatchRecord> records;
    std::string firmwareSha256; ///< lower-case hex

    bool allConfirmed() const;
};

/// The settings window's whole upload on every programmer at once, one
/// thread each on its own ports, then (asked for) its USB serial number.
/// A programmer that fails ends in its own row; the others go on.
class BatchUpload {
public:
    BatchUpload(BatchEnvironment env, BatchSettings settings, BatchObserver& observer);

    /// Checks the file and, for "serialize", the FTDI library, before any
    /// programmer is touched.
    BatchResult run(const std::vector<FoundProgrammer>& programmers);

private:
    BatchEnvironment m_env;
    BatchSettings m_settings;
    BatchObserver& m_observer;
};

} // namespace talvex
