#include "ui/settings/AdvancedController.h"

#include "ui/common/Widgets.h"
#include "ui/settings/SettingsSession.h"

#include <QSpinBox>

namespace talvex {

AdvancedController::AdvancedController(SettingsSession& session, AdvancedControls& controls)
    : m_session(session)
    , m_ui(controls)
{
}

void AdvancedController::RadioButton14Change()
{
    modeChanged();
}

void AdvancedController::RadioButton15Change()
{
    modeChanged();
}

void AdvancedController::RadioButton16Change()
{
    modeChanged();
}

void AdvancedController::modeChanged()
{
    const bool debugMode = m_ui.modes.at(2)->isChecked();
    const bool atrMode = m_ui.modes.at(0)->isChecked() || m_ui.modes.at(1)->isChecked();
    m_ui.GroupBox4->setEnabled(atrMode);
    m_ui.GroupBox5->setEnabled(atrMode);
    m_ui.GroupBox6->setEnabled(debugMode);
    reevaluateWrite();
}

void AdvancedController::CheckBox1Change()
{
    m_ui.SpinBox2->setEnabled(!m_ui.CheckBox1->isChecked());
}

void AdvancedController::reevaluateWrite()
{
    const bool atrMode = m_ui.modes.at(0)->isChecked() || m_ui.modes.at(1)->isChecked();
    const bool debugMode = m_ui.modes.at(2)->isChecked();
    bool comListsSet = true;
    for (QComboBox* box : {m_ui.ComboBox2, m_ui.ComboBox3, m_ui.ComboBox4, m_ui.ComboBox5, m_ui.ComboBox6,
                           m_ui.ComboBox7})
        comListsSet = comListsSet && box->currentIndex() >= 0;
    const bool debugListsSet = m_ui.ComboBox8->currentIndex() >= 0 && m_ui.ComboBox9->currentIndex() >= 0;
    m_ui.Button20->setEnabled((atrMode && comListsSet) || (debugMode && debugListsSet));
}

AdvancedChoice AdvancedController::choice() const
{
    AdvancedChoice choice;
    choice.mode = m_ui.modes.checkedIndex();
    choice.com1 = {selectedIndex(m_ui.ComboBox2), selectedIndex(m_ui.ComboBox4), selectedIndex(m_ui.ComboBox3)};
    choice.com2 = {selectedIndex(m_ui.ComboBox5), selectedIndex(m_ui.ComboBox7), selectedIndex(m_ui.ComboBox6)};
    choice.debugParity = selectedIndex(m_ui.ComboBox9);
    choice.debugSpeed = selectedIndex(m_ui.ComboBox8);
    choice.debugDefaultChecked = m_ui.CheckBox1->isChecked();
    choice.debugStopBits = m_ui.SpinBox2->value();
    return choice;
}

QComboBox* AdvancedController::listFor(ChoiceField field) const
{
    switch (field) {
    case ChoiceField::AdvancedCom1Clock:
        return m_ui.ComboBox2;
    case ChoiceField::AdvancedCom1Speed:
        return m_ui.ComboBox3;
    case ChoiceField::AdvancedCom1Parity:
        return m_ui.ComboBox4;
    case ChoiceField::AdvancedCom2Clock:
        return m_ui.ComboBox5;
    case ChoiceField::AdvancedCom2Speed:
        return m_ui.ComboBox6;
    case ChoiceField::AdvancedCom2Parity:
        return m_ui.ComboBox7;
    case ChoiceField::DebugSpeed:
        return m_ui.ComboBox8;
    case ChoiceField::DebugParity:
        return m_ui.ComboBox9;
    default:
        return nullptr;
    }
}

void AdvancedController::Button20Click()
{
    const BuiltCommand built = buildAdvancedWrite(choice());
    if (!built.ok()) {
        m_session.reportMissingChoice(*built.missing, SettingsCommand::AdvancedWrite, listFor(built.missing->field));
        return;
    }
    const OperationGuard guard = m_session.guard();
    m_session.runCommand(SettingsCommand::AdvancedWrite, built.text);
}

} // namespace talvex
