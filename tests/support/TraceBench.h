#pragma once

#include "support/RecordingPortHost.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
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
/// each, so a mismatch shows as a diff of the two texts.
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

inline std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

/// Compares a recorded trace with the expected one; on a mismatch shows
/// a line diff ("-" expected, "+" recorded), so a changed wait reads as
/// the lines it moved.
inline ::testing::AssertionResult sameTrace(const std::string& recorded, const std::string& expected)
{
    if (recorded == expected)
        return ::testing::AssertionSuccess();
    const std::vector<std::string> a = splitLines(expected);
    const std::vector<std::string> b = splitLines(recorded);
    // Longest common subsequence, from the back.
    std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
    for (std::size_t i = a.size(); i-- > 0;) {
        for (std::size_t j = b.size(); j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
    std::string diff = "the trace differs (- expected, + recorded):\n";
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            diff += "  " + a[i++] + "\n";
            ++j;
        } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
            diff += "- " + a[i++] + "\n";
        } else {
            diff += "+ " + b[j++] + "\n";
        }
    }
    return ::testing::AssertionFailure() << diff;
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
    std::vector<std::string> opensTried() const { return test::opensTried(host.recorder()); }

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
