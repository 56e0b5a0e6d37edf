#include "ui/cardtool/TRead.h"

namespace talvex {

TRead::TRead(PortSlots& ports, std::chrono::milliseconds pause, QObject* parent)
    : QThread(parent)
    , m_ports(ports)
    , m_pause(pause)
{
}

TRead::~TRead()
{
    stopAndWait();
}

void TRead::stopAndWait()
{
    requestInterruption();
    wait();
}

void TRead::run()
{
    while (!isInterruptionRequested()) {
        m_threadAlive = true;
        for (const CardPresence::Change& change : m_presence.poll(m_ports))
            emit presenceChanged(change.reader, change.present);
        for (const int reader : m_presence.newlyGone(m_ports))
            emit programmerUnplugged(reader);
        QThread::msleep(static_cast<unsigned long>(m_pause.count()));
    }
}

} // namespace talvex
