#pragma once

#include "batch/BatchUpload.h"
#include "context/ApplicationContext.h"
#include "ui/common/ClosingDialog.h"
#include "ui/common/OperationGuard.h"

#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace talvex {

class BatchRun;
class BatchTable;
class BusyIndicator;
class LogPane;

/// The batch window: one firmware file uploaded to every programmer on
/// the host at once, one row each, as `talvexctl batch upload` does. The
/// batch runs on a thread of its own; the window stays live and refuses
/// to close until it ends.
class BatchForm : public ClosingDialog {
    Q_OBJECT
    /// The status line: what runs, what the operator is asked, the summary.
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
public:
    BatchForm(ApplicationContext& context, QWidget* mainWindow, QWidget* parent = nullptr);
    ~BatchForm() override;

    bool batchRunning() const;
    QString status() const;

signals:
    void statusChanged(const QString& status);

public slots:
    void browseClick();
    void startClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    /// Why the batch cannot start, before anything is touched.
    std::optional<QString> startProblem() const;
    void setStatus(const QString& text, const QColor& color = {});
    /// The operator's part first, while any row waits for it.
    void showRunningStatus();

    void programmersFound(const std::vector<FoundProgrammer>& programmers);
    void phaseChanged(int row, BatchPhase phase);
    void rowLogged(int row, const QString& line);
    void batchEnded(const BatchResult& result);

    ApplicationContext& m_context;
    QWidget* m_mainWindow;
    int m_operationDepth = 0;
    std::optional<OperationGuard> m_guard;

    QWidget* m_controls = nullptr;
    QLineEdit* m_firmwareEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
    QCheckBox* m_serializeBox = nullptr;
    QPushButton* m_startButton = nullptr;
    BusyIndicator* m_busy = nullptr;
    BatchTable* m_table = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_closeNotice = nullptr;
    LogPane* m_log = nullptr;
    std::unique_ptr<BatchRun> m_run;
};

} // namespace talvex
