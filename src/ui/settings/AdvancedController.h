#pragma once

#include "protocol/SettingsCommands.h"
#include "ui/settings/SettingsControls.h"

#include <QObject>

namespace talvex {

class SettingsSession;

/// The "Advanced" tab: the mode, the lists each mode needs, and "Write
/// Setting", enabled only once those lists are chosen.
class AdvancedController : public QObject {
    Q_OBJECT
public:
    AdvancedController(SettingsSession& session, AdvancedControls& controls);

    /// The list behind a choice the core names; nothing for another tab's.
    QComboBox* listFor(ChoiceField field) const;

public slots:
    void RadioButton14Change();
    void RadioButton15Change();
    void RadioButton16Change();
    void CheckBox1Change();
    /// ComboBox2Change … ComboBox9Change: each re-evaluates "Write Setting".
    void reevaluateWrite();
    void Button20Click();

private:
    void modeChanged();
    AdvancedChoice choice() const;

    SettingsSession& m_session;
    AdvancedControls& m_ui;
};

} // namespace talvex
