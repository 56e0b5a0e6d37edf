#pragma once

#include "ui/settings/SettingsControls.h"

#include <QObject>

namespace talvex {

class SettingsSession;

/// The "SmartCard Clock" and "SmartCard Port" tabs: one read fills both,
/// each writes its own setting; "Save " and "Restore default" serve these
/// tabs and the "COM speed" one.
class ReaderSettingsController : public QObject {
    Q_OBJECT
public:
    ReaderSettingsController(SettingsSession& session, ClockControls& clock, PortControls& port);

public slots:
    void Button_read_settingsClick();
    void Button3Click();
    void Button6Click();
    void Button10Click();
    void Button11Click();

private:
    SettingsSession& m_session;
    ClockControls& m_clock;
    PortControls& m_port;
};

} // namespace talvex
