#include "ui/settings/SettingsSession.h"

#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"

#include <QComboBox>
#include <QLabel>

namespace talvex {
namespace {

QString text(std::string_view value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

} // namespace

SettingsSession::SettingsSession(ApplicationContext& context, SettingsControls& controls)
    : m_context(context)
    , m_ui(controls)
{
    m_ui.Memo2->setPump([this] { m_context.pump(); });
}

BusyIndicator& SettingsSession::busy()
{
    return *m_ui.AniIndicator1;
}

void SettingsSession::setUploadRunning(bool running)
{
    m_uploadRunning = running;
    m_depth += running ? 1 : -1;
}

void SettingsSession::log(const QString& message)
{
    m_ui.Memo2->appendLogLine(message);
}

void SettingsSession::log(std::string_view message)
{
    log(text(message));
}

void SettingsSession::logLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        log(line);
}

void SettingsSession::clearLog()
{
    m_ui.Memo2->clearLog();
}

QString SettingsSession::portName() const
{
    return m_ui.ComboBox1->currentText();
}

std::string SettingsSession::programmerSerial() const
{
    return m_ui.Label8->text().toStdString();
}

bool SettingsSession::runCommand(SettingsCommand command, std::string_view commandText)
{
    const SettingsOutcome outcome = runSettingsCommand(m_context.ports().a, m_context.clock(), command,
                                                       m_context.detection().variant, commandText);
    log(outcome.logLine);
    logIfGone(outcome.exchange);
    return outcome.exchange.ok();
}

void SettingsSession::logIfGone(const ExchangeResult& exchange)
{
    if (exchange.status == Status::Gone)
        log(programmerGoneLine(portName().toStdString()));
}

bool SettingsSession::runCommand(SettingsCommand command)
{
    return runCommand(command, fixedCommandText(command));
}

std::optional<IdentifyResult> SettingsSession::identifyForRead()
{
    busy().start();
    reset_video_setting();
    log(QStringLiteral("Reading setting..."));
    m_context.pump();
    IdentifyResult identity = identify(m_context.ports().a, m_context.clock(), m_context.detection().variant,
                                       m_context.detection().answerDelayMs);
    if (identity.fields.serialNumber.size() != 32) {
        log(QStringLiteral("No Programmer found!"));
        busy().stop();
        return std::nullopt;
    }
    return identity;
}

void SettingsSession::reportMissingChoice(const MissingChoice& missing, SettingsCommand command, QComboBox* list)
{
    {
        // The log line pumps the event loop: no second click meanwhile.
        const OperationGuard held = guard();
        const std::string_view error = settingsCommandPlan(command, m_context.detection().variant).errorLine;
        log(text(error) + QStringLiteral(" No choice made for ") + text(missing.label) +
            QStringLiteral(": nothing sent."));
    }
    // Only once the controls are enabled again: a disabled list takes no focus.
    if (list)
        list->setFocus(Qt::OtherFocusReason);
}

void SettingsSession::reset_video_setting()
{
    for (RadioGroup* group : {&m_ui.clock.readers, &m_ui.clock.clocks, &m_ui.port.readers, &m_ui.port.speeds,
                              &m_ui.port.parities, &m_ui.port.stops, &m_ui.advanced.modes, &m_ui.phoenix.readers,
                              &m_ui.phoenix.clocks})
        group->clear();
}

} // namespace talvex
