#pragma once

#include "protocol/SettingsCommands.h"
#include "ui/settings/SettingsControls.h"

#include <QObject>

namespace talvex {

class SettingsSession;

/// The "Uniprog mode" tab of the second low-speed build: its six lists
/// read from and written to the device, and the factory reset.
class UniprogController : public QObject {
    Q_OBJECT
public:
    UniprogController(SettingsSession& session, UniprogControls& controls);

    /// The list behind a choice the core names; nothing for another tab's.
    QComboBox* listFor(ChoiceField field) const;

public slots:
    void Button23Click();
    void Button24Click();
    void Button25Click();

private:
    UniprogChoice choice() const;

    SettingsSession& m_session;
    UniprogControls& m_ui;
};

} // namespace talvex
