#include "sim/SimulatedSerialPort.h"

#include <algorithm>

namespace talvex {

SimulatedSerialPort::SimulatedSerialPort(std::shared_ptr<SimEndpoint> endpoint, Clock& clock, LineSettings settings,
                                         std::function<void()> onClose)
    : m_endpoint(std::move(endpoint))
    , m_clock(clock)
    , m_settings(settings)
    , m_onClose(std::move(onClose))
{
    const TimePoint now = m_clock.now();
    m_endpoint->hostOpened(now);
    // Opening with a mode string raises DTR and RTS.
    m_endpoint->linesChanged(m_dtr, m_rts, now);
}

SimulatedSerialPort::~SimulatedSerialPort()
{
    m_endpoint->hostClosed(m_clock.now());
    if (m_onClose)
        m_onClose();
}

bool SimulatedSerialPort::setDtr(bool on)
{
    if (!m_endpoint->present())
        return false;
    const TimePoint now = m_clock.now();
    m_endpoint->advanceTo(now);
    m_dtr = on;
    m_endpoint->linesChanged(m_dtr, m_rts, now);
    return true;
}

bool SimulatedSerialPort::setRts(bool on)
{
    if (!m_endpoint->present())
        return false;
    const TimePoint now = m_clock.now();
    m_endpoint->advanceTo(now);
    m_rts = on;
    m_endpoint->linesChanged(m_dtr, m_rts, now);
    return true;
}

int SimulatedSerialPort::bitsPerCharacter() const
{
    int bits = 1 + m_settings.dataBits + (m_settings.parity == Parity::None ? 0 : 1);
    bits += m_settings.stopBits == StopBits::One ? 1 : 2;
    return bits;
}

void SimulatedSerialPort::transmit(std::uint8_t byte)
{
    const TimePoint now = m_clock.now();
    m_endpoint->advanceTo(now);
    const TimePoint start = std::max(now, m_lineFreeAt);
    m_lineFreeAt = start + characterTime(m_settings.baudRate, bitsPerCharacter());
    m_endpoint->receive(byte, m_lineFreeAt, m_settings.baudRate);
}

bool SimulatedSerialPort::sendByte(std::uint8_t byte)
{
    if (!m_endpoint->present())
        return false;
    transmit(byte);
    return true;
}

bool SimulatedSerialPort::writeBlock(const std::uint8_t* data, std::size_t length)
{
    if (!m_endpoint->present() || m_endpoint->refusesWrite())
        return false;
    for (std::size_t i = 0; i < length; ++i)
        transmit(data[i]);
    return true;
}

ReadResult SimulatedSerialPort::read(std::uint8_t* buffer, std::size_t capacity)
{
    const TimePoint deadline = m_clock.now() + Millis(kReadTimeoutMs);
    if (capacity == 0)
        return {};
    for (;;) {
        if (!m_endpoint->present()) {
            // A vanished port answers nothing; the time-out still passes,
            // so a polling loop cannot spin in zero time.
            m_clock.sleepUntil(deadline);
            return ReadResult::gone();
        }
        const TimePoint now = m_clock.now();
        m_endpoint->advanceTo(now);
        if (const std::size_t count = m_endpoint->takeOutput(now, buffer, capacity))
            return ReadResult::got(count);
        // Everything sent so far can be answered before the deadline: the
        // host does nothing else while it reads.
        m_endpoint->advanceTo(deadline);
        const auto next = m_endpoint->nextOutput();
        if (!next || *next > deadline) {
            m_clock.sleepUntil(deadline);
            if (!m_endpoint->present())
                return ReadResult::gone();
            // Something scheduled during the wait (in virtual time) may
            // have produced a byte just in time.
            m_endpoint->advanceTo(deadline);
            return ReadResult::got(m_endpoint->takeOutput(deadline, buffer, capacity));
        }
        m_clock.sleepUntil(*next);
    }
}

Status SimulatedSerialPort::presence()
{
    return m_endpoint->present() ? Status::Ok : Status::Gone;
}

std::optional<std::uint32_t> SimulatedSerialPort::modemStatus()
{
    if (!m_endpoint->present())
        return std::nullopt;
    return m_endpoint->cts() ? kModemStatusCts : 0u;
}

bool SimulatedSerialPort::applyMode(const std::string& mode)
{
    const auto settings = parseModeString(mode);
    if (!settings || !m_endpoint->present())
        return false;
    m_settings = *settings;
    return true;
}

} // namespace talvex
