#include "ui/batch/BatchRun.h"

#include "batch/ProgrammerSearch.h"
#include "context/ApplicationContext.h"

#include <map>
#include <mutex>
#include <utility>

namespace talvex {

/// The batch's calls from its worker threads, handed to the window's
/// thread as BatchRun's signals.
class QueuedBatchObserver final : public BatchObserver {
public:
    explicit QueuedBatchObserver(BatchRun& run)
        : m_run(run)
    {
    }

    void phaseChanged(std::size_t index, BatchPhase phase) override
    {
        const int row = static_cast<int>(index);
        m_run.post([run = &m_run, row, phase] { emit run->phaseChanged(row, phase); });
    }

    void progressed(std::size_t index, int percent, std::optional<std::chrono::seconds> remaining) override
    {
        const int row = static_cast<int>(index);
        const int secondsLeft = remaining ? static_cast<int>(remaining->count()) : -1;
        {
            // A call comes every ten blocks; the percent changes only
            // every 32, the estimate each second.
            std::lock_guard lock(m_mutex);
            const auto shown = m_shown.find(row);
            if (shown != m_shown.end() && shown->second == std::make_pair(percent, secondsLeft))
                return;
            m_shown[row] = {percent, secondsLeft};
        }
        m_run.post([run = &m_run, row, percent, secondsLeft] { emit run->progressed(row, percent, secondsLeft); });
    }

    void logLine(std::size_t index, const std::string& line) override
    {
        const int row = static_cast<int>(index);
        m_run.post([run = &m_run, row, text = QString::fromStdString(line)] { emit run->rowLogged(row, text); });
    }

    void finished(std::size_t index, const BatchRecord& record) override
    {
        const int row = static_cast<int>(index);
        m_run.post([run = &m_run, row, record] { emit run->rowFinished(row, record); });
    }

private:
    BatchRun& m_run;
    std::mutex m_mutex;
    std::map<int, std::pair<int, int>> m_shown;
};

BatchRun::BatchRun(ApplicationContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
{
}

BatchRun::~BatchRun()
{
    // The workers cannot be stopped half way through a flash: wait. What
    // they posted meanwhile dies with this object.
    if (m_thread.joinable())
        m_thread.join();
}

bool BatchRun::start(BatchSettings settings)
{
    if (running())
        return false;
    m_observer = std::make_unique<QueuedBatchObserver>(*this);
    m_thread = std::thread([this, settings = std::move(settings)] { work(settings); });
    return true;
}

void BatchRun::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void BatchRun::work(const BatchSettings& settings)
{
    BatchResult result;
    try {
        ProgrammerSearchRequest request;
        request.answerDelayMs = settings.answerDelayMs;
        request.log = [this](const std::string& line) {
            post([this, text = QString::fromStdString(line)] { emit searchLogged(text); });
        };
        const std::vector<FoundProgrammer> found = findProgrammers(m_context.host(), m_context.clock(), request);
        if (found.empty()) {
            result.error = "no programmer was found";
        } else {
            post([this, found] { emit programmersFound(found); });
            BatchEnvironment env {m_context.host(), m_context.clock(),
                                  [this] { return m_context.loadUsbSerialLibrary(); }};
            result = BatchUpload(env, settings, *m_observer).run(found);
        }
    } catch (const std::exception& failure) {
        // An uncaught exception on a thread would end the program.
        result.error = failure.what();
    }
    post([this, result = std::move(result)] {
        m_thread.join();
        m_observer.reset();
        emit ended(result);
    });
}

} // namespace talvex
