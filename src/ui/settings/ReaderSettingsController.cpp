#include "ui/settings/ReaderSettingsController.h"

#include "protocol/SettingsAnswers.h"
#include "ui/common/BusyIndicator.h"
#include "ui/settings/SettingsSession.h"

#include <QPushButton>
#include <QSpinBox>

namespace talvex {

ReaderSettingsController::ReaderSettingsController(SettingsSession& session, ClockControls& clock,
                                                   PortControls& port)
    : m_session(session)
    , m_clock(clock)
    , m_port(port)
{
}

void ReaderSettingsController::Button_read_settingsClick()
{
    const OperationGuard guard = m_session.guard();
    const auto identity = m_session.identifyForRead();
    if (!identity)
        return;
    const ReaderPortSettings settings = parseReaderPortSettings(identity->fields.answerText);
    m_clock.clocks.check(settings.clockButton);
    m_port.speeds.check(settings.speedButton);
    m_port.parities.check(settings.parityButton);
    m_port.stops.check(0);
    m_port.SpinBox1->setValue(settings.addedStopBits.value_or(0));
    if (settings.readerDigit == '1' || settings.readerDigit == '2') {
        const int reader = *settings.readerDigit - '1';
        m_clock.readers.check(reader);
        m_port.readers.check(reader);
    }
    m_clock.Button3->setEnabled(true);
    m_port.Button6->setEnabled(true);
    m_session.busy().stop();
}

void ReaderSettingsController::Button3Click()
{
    const OperationGuard guard = m_session.guard();
    const std::string text = buildClockWrite(m_clock.readers.at(0)->isChecked(), m_clock.clocks.checkedIndex());
    if (m_session.runCommand(SettingsCommand::ClockWrite, text))
        m_clock.Button12->setEnabled(true);
}

void ReaderSettingsController::Button6Click()
{
    const OperationGuard guard = m_session.guard();
    const std::string text = buildCardPortWrite(m_port.readers.at(0)->isChecked(), m_port.speeds.checkedIndex(),
                                                m_port.parities.checkedIndex(), m_port.SpinBox1->value());
    if (m_session.runCommand(SettingsCommand::CardPortWrite, text))
        m_port.Button10->setEnabled(true);
}

void ReaderSettingsController::Button10Click()
{
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::Save);
}

void ReaderSettingsController::Button11Click()
{
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::RestoreDefault);
}

} // namespace talvex
