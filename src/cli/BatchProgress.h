#pragma once

#include "batch/BatchObserver.h"
#include "batch/FoundProgrammer.h"
#include "cli/Console.h"
#include "common/Clock.h"

#include <mutex>
#include <string>
#include <vector>

namespace talvex::cli {

/// Shows a batch while it runs. On a terminal that reads escape codes, one
/// line per programmer redrawn in place (port, serial, phase, percent,
/// time left); elsewhere time-stamped lines, one per change of phase and
/// per tenth of an upload. The operator is asked by name to unplug and
/// re-plug each programmer; failures are said as they happen. Quiet:
/// only those prompts and failures. Calls come from the workers' threads.
class BatchProgress final : public BatchObserver {
public:
    BatchProgress(Console& console, Clock& clock, const std::vector<FoundProgrammer>& programmers);

    void phaseChanged(std::size_t index, BatchPhase phase) override;
    void progressed(std::size_t index, int percent, std::optional<std::chrono::seconds> remaining) override;
    void finished(std::size_t index, const BatchRecord& record) override;

private:
    struct Row {
        BatchPhase phase = BatchPhase::Waiting;
        int percent = 0;
        std::optional<std::chrono::seconds> remaining;
        int nextPercentShown = 0; ///< without a terminal
    };

    // Called with the lock held.
    std::string rowText(std::size_t index) const;
    std::string stamp() const;
    std::string name(std::size_t index) const;
    void say(const std::string& text, bool problem);
    void note(const std::string& text);
    void redraw();

    Console& m_console;
    Clock& m_clock;
    const std::vector<FoundProgrammer>& m_programmers;
    const TimePoint m_start;
    const bool m_rows; ///< lines redrawn in place
    std::mutex m_mutex;
    std::vector<Row> m_state;
    std::vector<std::string> m_drawn; ///< what the screen shows, row by row
    std::size_t m_portsWidth = 0;
};

} // namespace talvex::cli
