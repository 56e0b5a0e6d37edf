#pragma once

#include <initializer_list>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// One step of the line preparation that comes before a command: a modem
/// line change or a wait. The device tells its speed variants apart by
/// these sequences, so they are data, not code sprinkled through callers.
struct LineStep {
    /// WaitAnswerDelay stands in a table for the configurable answer
    /// delay; lineSequence() turns it into a plain wait.
    enum class Kind { DtrOn, DtrOff, RtsOn, RtsOff, WaitMs, WaitAnswerDelay };
    Kind kind;
    int waitMs = 0;

    static LineStep dtrOn() { return {Kind::DtrOn}; }
    static LineStep dtrOff() { return {Kind::DtrOff}; }
    static LineStep rtsOn() { return {Kind::RtsOn}; }
    static LineStep rtsOff() { return {Kind::RtsOff}; }
    static LineStep wait(int ms) { return {Kind::WaitMs, ms}; }
};

using LineSequence = std::vector<LineStep>;

/// Runs the steps on the port; failed line calls are ignored.
void runLineSequence(PortSlot& port, Clock& clock, const LineSequence& steps);

} // namespace talvex
