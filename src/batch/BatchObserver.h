#pragma once

#include "batch/BatchRecord.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace talvex {

struct FoundProgrammer;

/// What a batch shows while it runs. Every call comes on the thread of
/// the programmer it names (`index`, from 0), several at once: an
/// implementation locks what it shares.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;

    virtual void phaseChanged(std::size_t index, BatchPhase phase) = 0;
    /// While blocks go out: percent done and the time left.
    virtual void progressed(std::size_t index, int percent, std::optional<std::chrono::seconds> remaining) = 0;
    /// The upload's own log line for this programmer.
    virtual void logLine(std::size_t /*index*/, const std::string& /*line*/) {}
    /// The programmer's row is final.
    virtual void finished(std::size_t index, const BatchRecord& record) = 0;
};

} // namespace talvex
