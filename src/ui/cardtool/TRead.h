#pragma once

#include "serial/CardPresence.h"

#include <QThread>

#include <atomic>
#include <chrono>

namespace talvex {

/// The smartcard tool's reader thread: watches CTS on both reader ports
/// and reports card insertion and removal. It never touches a widget;
/// changes reach the window through queued signals, on the UI thread.
class TRead : public QThread {
    Q_OBJECT
public:
    /// `pause` between passes: a loop without one burns a core for nothing.
    explicit TRead(PortSlots& ports, std::chrono::milliseconds pause = std::chrono::milliseconds(20),
                   QObject* parent = nullptr);
    ~TRead() override;

    /// "Inverted Reader": reader 2 shows a card while its CTS is clear.
    void setInverted(bool inverted) { m_presence.setInverted(inverted); }

    bool cardPresent(int reader) const { return m_presence.present(reader); }
    bool threadAlive() const { return m_threadAlive; }
    void clearThreadAlive() { m_threadAlive = false; }

    /// Asks the thread to end after its pass and waits for it.
    void stopAndWait();

signals:
    void presenceChanged(int reader, bool present);
    /// Once per reader whose open port found its device gone.
    void programmerUnplugged(int reader);

protected:
    void run() override;

private:
    PortSlots& m_ports;
    std::chrono::milliseconds m_pause;
    CardPresence m_presence;
    std::atomic<bool> m_threadAlive{false};
};

} // namespace talvex
