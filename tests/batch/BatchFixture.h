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
    struct Row {
        std::vector<BatchPhase> phases;
        std::vector<int> percents;
        int finished = 0;
    };

    void phaseChanged(std::size_t index, BatchPhase phase) override
    {
        change(index, [&](Row& r) { r.phases.push_back(phase); });
    }
    void progressed(std::size_t index, int percent, std::optional<std::chrono::seconds>) override
    {
        change(index, [&](Row& r) { r.percents.push_back(percent); });
    }
    void finished(std::size_t index, const BatchRecord&) override { change(index, [](Row& r) { ++r.finished; }); }

    Row row(std::size_t index) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_rows.find(index);
        return found == m_rows.end() ? Row() : found->second;
    }

private:
    template <typename Change>
    void change(std::size_t index, Change change)
    {
        std::lock_guard lock(m_mutex);
        change(m_rows[index]);
    }

    mutable std::mutex m_mutex;
    std::map<std::size_t, Row> m_rows;
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
