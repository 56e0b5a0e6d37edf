#pragma once

#include "batch/BatchUpload.h"

#include <QObject>
#include <QString>

#include <memory>
#include <thread>
#include <vector>

namespace talvex {

class ApplicationContext;
class QueuedBatchObserver;

/// One batch on a thread of its own: the programmers on the context's
/// host are searched, then uploaded, as `talvexctl batch upload` does.
/// The signals come on the thread that made this object (the window's),
/// in the order the batch told them. Destroying it waits for the thread.
class BatchRun : public QObject {
    Q_OBJECT
public:
    explicit BatchRun(ApplicationContext& context, QObject* parent = nullptr);
    ~BatchRun() override;

    /// Starts the thread; false, changing nothing, while one runs.
    bool start(BatchSettings settings);
    /// From start() until ended() is emitted.
    bool running() const { return m_thread.joinable(); }

signals:
    void searchLogged(const QString& line);
    /// Before any row changes; not emitted when none was found.
    void programmersFound(const std::vector<talvex::FoundProgrammer>& programmers);
    void phaseChanged(int index, talvex::BatchPhase phase);
    /// `secondsLeft` negative while there is no estimate.
    void progressed(int index, int percent, int secondsLeft);
    void rowLogged(int index, const QString& line);
    void rowFinished(int index, const talvex::BatchRecord& record);
    /// Last; the thread has been joined.
    void ended(const talvex::BatchResult& result);

private:
    friend class QueuedBatchObserver;

    void work(const BatchSettings& settings);
    /// Runs `call` on this object's thread, unless it is gone by then.
    void post(std::function<void()> call);

    ApplicationContext& m_context;
    std::unique_ptr<QueuedBatchObserver> m_observer;
    std::thread m_thread;
};

} // namespace talvex
