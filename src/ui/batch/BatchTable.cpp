#include "ui/batch/BatchTable.h"

#include <QHeaderView>
#include <QProgressBar>

namespace talvex {
namespace {

const QColor kHandsWanted(255, 236, 179);
const QColor kOk(30, 120, 50);
const QColor kFailed(190, 30, 30);

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QString phaseText(BatchPhase phase)
{
    switch (phase) {
    case BatchPhase::Unplug: return QStringLiteral("unplug it, then plug it in again");
    case BatchPhase::Replug: return QStringLiteral("plug it in again");
    default: return QString::fromLatin1(phaseName(phase));
    }
}

bool wantsHands(BatchPhase phase)
{
    return phase == BatchPhase::Unplug || phase == BatchPhase::Replug;
}

} // namespace

BatchTable::BatchTable(QWidget* parent)
    : QTableWidget(0, ColumnCount, parent)
{
    setObjectName(QStringLiteral("ProgrammerTable"));
    setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("USB"), QStringLiteral("Ports"),
                               QStringLiteral("Serial number"), QStringLiteral("Progress"), QStringLiteral("Phase"),
                               QStringLiteral("Before"), QStringLiteral("After"), QStringLiteral("USB serial"),
                               QStringLiteral("Verdict")});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(ProgressColumn, QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
    setColumnWidth(ProgressColumn, 190);
}

void BatchTable::clearRows()
{
    m_programmers.clear();
    m_phases.clear();
    setRowCount(0);
}

void BatchTable::showProgrammers(const std::vector<FoundProgrammer>& programmers)
{
    clearRows();
    m_programmers = programmers;
    m_phases.assign(programmers.size(), BatchPhase::Waiting);
    setRowCount(rows());
    for (int row = 0; row < rows(); ++row) {
        const FoundProgrammer& programmer = m_programmers[static_cast<std::size_t>(row)];
        auto* bar = new QProgressBar;
        bar->setObjectName(QStringLiteral("RowProgress%1").arg(row + 1));
        bar->setRange(0, 100);
        bar->setValue(0);
        setCellWidget(row, ProgressColumn, bar);
        setText(row, PositionColumn, QString::number(row + 1));
        setText(row, UsbColumn, programmer.usb ? fromStd(programmer.usb->location) : QString());
        setText(row, PortsColumn, fromStd(programmer.portsText()));
        setText(row, SerialColumn, fromStd(programmer.serialNumber));
        setText(row, VersionBeforeColumn,
                programmer.mode == ProgrammerMode::Application ? fromStd(programmer.firmwareVersion)
                                                               : QStringLiteral("boot loader"));
        for (const int column : {VersionAfterColumn, UsbSerialColumn, VerdictColumn})
            setText(row, column, QString());
        showPhase(row, BatchPhase::Waiting);
    }
}

void BatchTable::showPhase(int row, BatchPhase phase)
{
    if (!hasRow(row))
        return;
    m_phases[static_cast<std::size_t>(row)] = phase;
    setText(row, PhaseColumn, phaseText(phase), handsRequest(row));
    item(row, PhaseColumn)->setBackground(wantsHands(phase) ? QBrush(kHandsWanted) : QBrush());
    // Only a whole upload gets here; the last block comes without an
    // estimate, so no progress names it.
    if (phase == BatchPhase::Confirming)
        showProgress(row, 100, -1);
}

void BatchTable::showProgress(int row, int percent, int secondsLeft)
{
    QProgressBar* bar = progressBar(row);
    if (!bar)
        return;
    bar->setValue(percent);
    bar->setFormat(secondsLeft < 0 ? QStringLiteral("%p%")
                                   : QStringLiteral("%p% · %1:%2 left")
                                         .arg(secondsLeft / 60)
                                         .arg(secondsLeft % 60, 2, 10, QLatin1Char('0')));
}

void BatchTable::showRecord(int row, const BatchRecord& record)
{
    if (!hasRow(row))
        return;
    if (QProgressBar* bar = progressBar(row))
        bar->setFormat(QStringLiteral("%p%"));
    setText(row, VersionAfterColumn, fromStd(record.versionAfter));
    setText(row, UsbSerialColumn, fromStd(record.usbSerial));
    const QString reason = fromStd(record.reason);
    setText(row, VerdictColumn,
            record.confirmed ? QStringLiteral("ok") : QStringLiteral("failed: ") + reason, reason);
    item(row, VerdictColumn)->setForeground(record.confirmed ? kOk : kFailed);
}

QString BatchTable::whereIs(int row) const
{
    if (!hasRow(row))
        return {};
    return QStringLiteral("programmer %1 (%2)")
        .arg(row + 1)
        .arg(fromStd(m_programmers[static_cast<std::size_t>(row)].positionText()));
}

QString BatchTable::handsRequest(int row) const
{
    switch (phaseOf(row)) {
    case BatchPhase::Unplug: return QStringLiteral("Unplug ") + whereIs(row) + QStringLiteral(" and plug it in again.");
    case BatchPhase::Replug: return QStringLiteral("Plug ") + whereIs(row) + QStringLiteral(" in again.");
    default: return {};
    }
}

BatchPhase BatchTable::phaseOf(int row) const
{
    return hasRow(row) ? m_phases[static_cast<std::size_t>(row)] : BatchPhase::Waiting;
}

QProgressBar* BatchTable::progressBar(int row) const
{
    return hasRow(row) ? qobject_cast<QProgressBar*>(cellWidget(row, ProgressColumn)) : nullptr;
}

void BatchTable::setText(int row, int column, const QString& text, const QString& toolTip)
{
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, column, cell);
    }
    cell->setText(text);
    cell->setToolTip(toolTip);
}

} // namespace talvex
