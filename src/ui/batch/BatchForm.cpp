#include "ui/batch/BatchForm.h"

#include "firmware/FirmwareImage.h"
#include "ui/batch/BatchRun.h"
#include "ui/batch/BatchTable.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"
#include "ui/common/Widgets.h"
#include "usbserial/UsbSerialTool.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace talvex {
namespace {

const QColor kSummaryOk(30, 120, 50);
const QColor kProblem(190, 30, 30);

} // namespace

BatchForm::BatchForm(ApplicationContext& context, QWidget* mainWindow, QWidget* parent)
    : ClosingDialog(parent)
    , m_context(context)
    , m_mainWindow(mainWindow)
    , m_run(std::make_unique<BatchRun>(context))
{
    setObjectName(QStringLiteral("BatchForm"));
    setWindowTitle(QStringLiteral("Talvex Batch Upload"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildWindow();

    connect(m_browseButton, &QPushButton::clicked, this, &BatchForm::browseClick);
    connect(m_startButton, &QPushButton::clicked, this, &BatchForm::startClick);
    BatchRun* run = m_run.get();
    connect(run, &BatchRun::searchLogged, this, [this](const QString& line) { rowLogged(-1, line); });
    connect(run, &BatchRun::programmersFound, this, &BatchForm::programmersFound);
    connect(run, &BatchRun::phaseChanged, this, &BatchForm::phaseChanged);
    connect(run, &BatchRun::progressed, m_table, &BatchTable::showProgress);
    connect(run, &BatchRun::rowLogged, this, &BatchForm::rowLogged);
    connect(run, &BatchRun::rowFinished, m_table, &BatchTable::showRecord);
    connect(run, &BatchRun::ended, this, &BatchForm::batchEnded);

    // As the settings window does: one window at a time in front of the user.
    if (m_mainWindow)
        m_mainWindow->hide();
}

BatchForm::~BatchForm() = default;

void BatchForm::buildWindow()
{
    auto* top = new QVBoxLayout(this);
    m_controls = makeControlsContainer(this);
    auto* controls = new QVBoxLayout(m_controls);
    controls->setContentsMargins(0, 0, 0, 0);
    auto* file = new QHBoxLayout;
    file->addWidget(makeLabel(QStringLiteral("FirmwareLabel"), QStringLiteral("Firmware file:")));
    m_firmwareEdit = new QLineEdit;
    m_firmwareEdit->setObjectName(QStringLiteral("FirmwareEdit"));
    file->addWidget(m_firmwareEdit, 1);
    m_browseButton = makeButton(QStringLiteral("BrowseButton"), QStringLiteral("Browse..."));
    file->addWidget(m_browseButton);
    controls->addLayout(file);
    auto* actions = new QHBoxLayout;
    m_serializeBox = makeCheckBox(QStringLiteral("SerializeBox"),
                                  QStringLiteral("Serialize (write each programmer's USB serial number)"));
    actions->addWidget(m_serializeBox);
    actions->addStretch();
    m_busy = makeBusyIndicator(QStringLiteral("BatchBusy"));
    actions->addWidget(m_busy);
    m_startButton = makeButton(QStringLiteral("StartButton"), QStringLiteral("Start"));
    actions->addWidget(m_startButton);
    controls->addLayout(actions);
    top->addWidget(m_controls);

    m_table = new BatchTable;
    top->addWidget(m_table, 3);
    m_status = makeLabel(QStringLiteral("StatusLabel"), QStringLiteral("Choose the firmware file, then Start."));
    m_status->setWordWrap(true);
    top->addWidget(m_status);
    m_closeNotice = makeLabel(QStringLiteral("CloseNotice"), QString());
    m_closeNotice->setWordWrap(true);
    m_closeNotice->setStyleSheet(QStringLiteral("color: #be1e1e;"));
    m_closeNotice->setVisible(false);
    top->addWidget(m_closeNotice);
    m_log = makeLogPane(QStringLiteral("BatchLog"));
    top->addWidget(m_log, 2);
    resize(1220, 480);
}

bool BatchForm::batchRunning() const
{
    return m_run->running();
}

void BatchForm::browseClick()
{
    const QString file = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QStringLiteral("Hex BIN files (*.bin);;Any file (*.*)"));
    if (!file.isEmpty())
        m_firmwareEdit->setText(file);
}

std::optional<QString> BatchForm::startProblem() const
{
    const QString path = m_firmwareEdit->text().trimmed();
    if (path.isEmpty())
        return QStringLiteral("Choose the firmware file first.");
    if (const Result<void> usable = vetFirmwareFile(path.toStdString()); !usable)
        return QString::fromStdString(usable.failure().detail) + QStringLiteral(".");
    if (m_serializeBox->isChecked()) {
        const UsbSerialTool tool(m_context.loadUsbSerialLibrary());
        if (!tool.available())
            return QStringLiteral("Serialize needs the FTDI library: ") +
                   QString::fromStdString(tool.unavailableReason());
    }
    return std::nullopt;
}

void BatchForm::startClick()
{
    if (batchRunning())
        return;
    if (const std::optional<QString> problem = startProblem()) {
        setStatus(*problem, kProblem);
        return;
    }
    m_table->clearRows();
    m_log->clearLog();
    m_closeNotice->setVisible(false);

    BatchSettings settings;
    settings.firmwarePath = m_firmwareEdit->text().trimmed().toStdString();
    settings.serialize = m_serializeBox->isChecked();
    m_guard.emplace(m_controls, m_operationDepth);
    m_busy->start();
    setStatus(QStringLiteral("Searching for programmers..."));
    m_run->start(std::move(settings));
}

void BatchForm::programmersFound(const std::vector<FoundProgrammer>& programmers)
{
    m_table->showProgrammers(programmers);
    showRunningStatus();
}

void BatchForm::phaseChanged(int row, BatchPhase phase)
{
    m_table->showPhase(row, phase);
    showRunningStatus();
}

void BatchForm::showRunningStatus()
{
    QStringList requests;
    for (int row = 0; row < m_table->rows(); ++row) {
        const QString request = m_table->handsRequest(row);
        if (!request.isEmpty())
            requests << request;
    }
    if (!requests.isEmpty()) {
        setStatus(requests.join(QLatin1Char('\n')), kProblem);
        return;
    }
    setStatus(QStringLiteral("Uploading to %1 programmer%2...")
                  .arg(m_table->rows())
                  .arg(m_table->rows() == 1 ? QString() : QStringLiteral("s")));
}

void BatchForm::rowLogged(int row, const QString& line)
{
    m_log->appendLogLine(row < 0 ? line : QStringLiteral("#%1 %2").arg(row + 1).arg(line));
}

void BatchForm::batchEnded(const BatchResult& result)
{
    m_guard.reset();
    m_busy->stop();
    m_closeNotice->setVisible(false);
    if (result.error) {
        // Rows shown: it stopped on the way, and they tell how far each got.
        const QString lead = m_table->rows() > 0 ? QStringLiteral("The batch stopped: ")
                                                 : QStringLiteral("Nothing was uploaded: ");
        setStatus(lead + QString::fromStdString(*result.error) + QLatin1Char('.'), kProblem);
        return;
    }
    const auto uploaded = std::count_if(result.records.begin(), result.records.end(),
                                        [](const BatchRecord& record) { return record.confirmed; });
    const auto total = static_cast<qsizetype>(result.records.size());
    QString summary = QStringLiteral("%1 of %2 programmers uploaded").arg(uploaded).arg(total);
    if (uploaded < total)
        summary += QStringLiteral("; %1 failed, see their rows").arg(total - uploaded);
    setStatus(summary + QLatin1Char('.'), uploaded == total ? kSummaryOk : kProblem);
}

QString BatchForm::status() const
{
    return m_status->text();
}

void BatchForm::setStatus(const QString& text, const QColor& color)
{
    m_status->setStyleSheet(color.isValid() ? QStringLiteral("color: %1;").arg(color.name()) : QString());
    if (text == m_status->text())
        return;
    m_status->setText(text);
    emit statusChanged(text);
}

void BatchForm::closeEvent(QCloseEvent* event)
{
    if (batchRunning()) {
        m_closeNotice->setText(
            QStringLiteral("The batch is still running: the window closes once every programmer is done."));
        m_closeNotice->setVisible(true);
        event->ignore();
        return;
    }
    if (m_mainWindow)
        m_mainWindow->show();
    event->accept();
}

} // namespace talvex
