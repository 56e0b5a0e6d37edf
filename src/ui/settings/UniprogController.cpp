#include "ui/settings/UniprogController.h"

#include "protocol/SettingsAnswers.h"
#include "ui/common/Widgets.h"
#include "ui/settings/SettingsSession.h"

namespace talvex {

UniprogController::UniprogController(SettingsSession& session, UniprogControls& controls)
    : m_session(session)
    , m_ui(controls)
{
}

UniprogChoice UniprogController::choice() const
{
    return {selectedIndex(m_ui.ComboBox13), selectedIndex(m_ui.ComboBox10), selectedIndex(m_ui.ComboBox14),
            selectedIndex(m_ui.ComboBox11), selectedIndex(m_ui.ComboBox15), selectedIndex(m_ui.ComboBox12)};
}

QComboBox* UniprogController::listFor(ChoiceField field) const
{
    switch (field) {
    case ChoiceField::UniprogClock1:
        return m_ui.ComboBox13;
    case ChoiceField::UniprogClock2:
        return m_ui.ComboBox10;
    case ChoiceField::UniprogBaud1:
        return m_ui.ComboBox14;
    case ChoiceField::UniprogBaud2:
        return m_ui.ComboBox11;
    case ChoiceField::UniprogBaudCom1:
        return m_ui.ComboBox15;
    case ChoiceField::UniprogBaudCom2:
        return m_ui.ComboBox12;
    default:
        return nullptr;
    }
}

void UniprogController::Button23Click()
{
    const OperationGuard guard = m_session.guard();
    ApplicationContext& context = m_session.context();
    const SettingsOutcome outcome = runSettingsCommand(context.ports().a, context.clock(),
                                                       SettingsCommand::UniprogRead, context.detection().variant);
    const auto read = outcome.exchange.ok() ? parseUniprogAnswer(outcome.exchange.answer) : std::nullopt;
    m_session.log(read ? outcome.logLine
                       : settingsCommandPlan(SettingsCommand::UniprogRead, context.detection().variant).errorLine);
    if (!read) {
        m_session.logIfGone(outcome.exchange);
        return;
    }
    const std::pair<QComboBox*, std::optional<int>> lists[] = {
        {m_ui.ComboBox13, read->clock1}, {m_ui.ComboBox10, read->clock2},    {m_ui.ComboBox14, read->baud1},
        {m_ui.ComboBox11, read->baud2},  {m_ui.ComboBox15, read->baudCom1}, {m_ui.ComboBox12, read->baudCom2}};
    for (const auto& [box, index] : lists)
        box->setCurrentIndex(index.value_or(-1));
    m_ui.Button24->setEnabled(true);
    m_ui.GroupBox7->setEnabled(true);
    m_ui.GroupBox8->setEnabled(true);
}

void UniprogController::Button24Click()
{
    const BuiltCommand built = buildUniprogWrite(choice());
    if (!built.ok()) {
        m_session.reportMissingChoice(*built.missing, SettingsCommand::UniprogWrite, listFor(built.missing->field));
        return;
    }
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::UniprogWrite, built.text);
}

void UniprogController::Button25Click()
{
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::UniprogFactoryReset);
}

} // namespace talvex
