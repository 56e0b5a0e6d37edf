#pragma once

#include "batch/BatchRecord.h"
#include "batch/FoundProgrammer.h"

#include <QTableWidget>

#include <vector>

class QProgressBar;

namespace talvex {

/// The batch window's rows, one per programmer found: where it sits, how
/// far its upload is, its phase and, once it is done, its verdict.
class BatchTable : public QTableWidget {
    Q_OBJECT
public:
    enum Column {
        PositionColumn,
        UsbColumn,
        PortsColumn,
        SerialColumn,
        ProgressColumn,
        PhaseColumn,
        VersionBeforeColumn,
        VersionAfterColumn,
        UsbSerialColumn,
        VerdictColumn,
        ColumnCount
    };

    explicit BatchTable(QWidget* parent = nullptr);

    void showProgrammers(const std::vector<FoundProgrammer>& programmers);
    void clearRows();
    void showPhase(int row, BatchPhase phase);
    void showProgress(int row, int percent, int secondsLeft);
    void showRecord(int row, const BatchRecord& record);

    /// "programmer 2 (USB 2-2, COM5/COM6)": how the operator finds it.
    QString whereIs(int row) const;
    /// What the row asks of the operator's hands now; empty: nothing.
    QString handsRequest(int row) const;
    BatchPhase phaseOf(int row) const;
    int rows() const { return static_cast<int>(m_programmers.size()); }
    QProgressBar* progressBar(int row) const;

private:
    void setText(int row, int column, const QString& text, const QString& toolTip = {});
    bool hasRow(int row) const { return row >= 0 && row < rows(); }

    std::vector<FoundProgrammer> m_programmers;
    std::vector<BatchPhase> m_phases;
};

} // namespace talvex
