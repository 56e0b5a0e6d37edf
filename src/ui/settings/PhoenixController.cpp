#include "ui/settings/PhoenixController.h"

#include "protocol/SettingsAnswers.h"
#include "ui/common/BusyIndicator.h"
#include "ui/settings/SettingsSession.h"

#include <QPushButton>

namespace talvex {

PhoenixController::PhoenixController(SettingsSession& session, PhoenixControls& controls)
    : m_session(session)
    , m_ui(controls)
{
}

void PhoenixController::Button21Click()
{
    const OperationGuard guard = m_session.guard();
    const auto identity = m_session.identifyForRead();
    if (!identity)
        return;
    const ReaderPortSettings settings = parseReaderPortSettings(identity->fields.answerText);
    m_ui.clocks.check(settings.phoenixClockButton);
    // This build numbers its readers from 0.
    if (settings.readerDigit == '0' || settings.readerDigit == '1')
        m_ui.readers.check(*settings.readerDigit - '0');
    m_ui.Button22->setEnabled(true);
    m_session.busy().stop();
}

void PhoenixController::Button22Click()
{
    const OperationGuard guard = m_session.guard();
    const std::string text = buildPhoenixWrite(m_ui.readers.at(0)->isChecked(), m_ui.clocks.checkedIndex());
    m_session.runCommand(SettingsCommand::PhoenixWrite, text);
}

} // namespace talvex
