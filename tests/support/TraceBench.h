#pragma once

#include "support/RecordingPortHost.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace talvex::test {

/// One expected line of a trace: what happens, `afterMs` after the line
/// before it (the first line: after the start).
struct TraceStep {
    int afterMs;
    std::string line;
};
using TraceSteps = std::vector<TraceStep>;

/// One part of a trace, then the next.
inline TraceSteps operator+(TraceSteps steps, const TraceSteps& more)
{
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

/// The trace the steps describe, in the form traceLines renders, one line
/// each: EXPECT_EQ shows a mismatch as a diff of the two texts.
inline std::string expectedTrace(const TraceSteps& steps)
{
    std::string text;
    Micros at{0};
    for (const TraceStep& step : steps) {
        at += Millis(step.afterMs);
        text += "t=" + millisText(at) + " " + step.line + "\n";
    }
    return text;
}

/// A simulated host of COM1…COMn in virtual time whose ports are
/// recorded, with an application context on it.
struct TraceBench : SimDevices {
    VirtualClock clock;
    SimulatedPortHost sim;
    RecordingPortHost host{sim, clock};
    ApplicationContext context{host, clock};
    TimePoint origin{};

    /// The tables pin the device's waits as ceilings, so answers are read
    /// after the full wait by default; EarlyAnswersTest compares the two.
    explicit TraceBench(int portCount = 4, AnswerTiming timing = AnswerTiming::FullWait)
        : SimDevices(sim)
        , sim(clock, portCount)
    {
        context.ports().a.setAnswerTiming(timing);
        context.ports().b.setAnswerTiming(timing);
    }

    /// Each open tried since start(), failed ones included.
    std::vector<std::string> opensTried() const
    {
        std::vector<std::string> opens;
        for (const PortEvent& event : host.recorder().events()) {
            if (event.text.rfind("open ", 0) == 0)
                opens.push_back(event.text.substr(5, event.text.find(" failed") - 5));
        }
        return opens;
    }

    PortSlot& port() { return context.ports().a; }
    DiscoveryEnvironment discovery() { return context.discovery(); }

    /// The trace counts from here: what came before is forgotten and the
    /// time now is t=0.
    void start()
    {
        host.recorder().clear();
        origin = clock.now();
    }

    /// Every line since start(), then "done" at the time it is asked for
    /// (when the operation under test has returned).
    std::string trace() const { return traceUntil(""); }

    /// The lines since start() up to the first that contains `last`
    /// (everything and "done" when `last` is empty or never comes).
    std::string traceUntil(const std::string& last) const
    {
        std::string text;
        for (const std::string& line : traceLines(host.recorder().events(), origin)) {
            text += line + "\n";
            if (!last.empty() && line.find(last) != std::string::npos)
                return text;
        }
        return text + "t=" + millisText(clock.now() - origin) + " done\n";
    }
};

} // namespace talvex::test
