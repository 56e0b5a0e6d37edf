#pragma once

#include "ui/settings/SettingsControls.h"

#include <QObject>

namespace talvex {

class SettingsSession;

/// The "Phoenix mode" tab of the first low-speed build: read and write its clock.
class PhoenixController : public QObject {
    Q_OBJECT
public:
    PhoenixController(SettingsSession& session, PhoenixControls& controls);

public slots:
    void Button21Click();
    void Button22Click();

private:
    SettingsSession& m_session;
    PhoenixControls& m_ui;
};

} // namespace talvex
