#pragma once

#include "batch/BatchUpload.h"
#include "batch/ProgrammerSearch.h"
#include "common/LockstepClock.h"
#include "firmware/UploadBench.h"
#include "sim/SimulatedBench.h"
#include "usbserial/D2xxBackend.h"

#include <map>
#include <mutex>
#include <vector>

namespace talvex::test {

/// Keeps what a batch shows, from every worker thread.
class RecordingBatchObserver final : public BatchObserver {
public:
    void phaseChanged(std::size_t index, BatchPhase phase) override
    {
        std::lock_guard lock(m_mutex);
        m_phases[index].push_back(phase);
    }
    void progressed(std::size_t index, int percent, std::optional<std::chrono::seconds>) override
    {
        std::lock_guard lock(m_mutex);
        m_percents[index].push_back(percent);
    }
    void finished(std::size_t index, const BatchRecord&) override
    {
        std::lock_guard lock(m_mutex);
        ++m_finished[index];
    }

    std::vector<BatchPhase> phases(std::size_t index) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_phases.find(index);
        return found == m_phases.end() ? std::vector<BatchPhase>() : found->second;
    }
    std::vector<int> percents(std::size_t index) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_percents.find(index);
        return found == m_percents.end() ? std::vector<int>() : found->second;
    }
    int finishedCount(std::size_t index) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_finished.find(index);
        return found == m_finished.end() ? 0 : found->second;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::size_t, std::vector<BatchPhase>> m_phases;
    std::map<std::size_t, std::vector<int>> m_percents;
    std::map<std::size_t, int> m_finished;
};

/// N simulated programmers on one host, in virtual time shared by the
/// batch's threads, with a firmware file ready.
struct BatchBench {
    LockstepClock clock;
    SimulatedBench bench;
    TempFolder folder;
    std::vector<std::uint8_t> image = patternImage();
    std::string firmware = folder.write("batch.bin", image);
    RecordingBatchObserver observer;

    explicit BatchBench(int programmers)
        : bench(clock, programmers)
    {
    }

    std::vector<FoundProgrammer> find(std::vector<std::string> ports = {})
    {
        ProgrammerSearchRequest request;
        request.ports = std::move(ports);
        return findProgrammers(bench.host(), clock, request);
    }

    BatchResult run(const std::vector<FoundProgrammer>& programmers, bool serialize)
    {
        BatchSettings settings;
        settings.firmwarePath = firmware;
        settings.serialize = serialize;
        auto library = bench.usbLibrary();
        BatchEnvironment env {bench.host(), clock, [library] { return d2xxBackend(D2xxLoadResult {library, {}}); }};
        return BatchUpload(env, settings, observer).run(programmers);
    }
};

} // namespace talvex::test
