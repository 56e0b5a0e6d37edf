#include "sim/SimEndpoints.h"

#include <memory>

namespace talvex {

Micros characterTime(std::uint32_t baudRate, int bitsPerCharacter)
{
    if (baudRate == 0)
        return Micros(0);
    return Micros((1000000LL * bitsPerCharacter + baudRate - 1) / baudRate);
}

void OutputQueue::emit(const std::uint8_t* data, std::size_t length, TimePoint start, std::uint32_t baudRate,
                       Micros holdBack)
{
    // A burst that fills a USB packet goes out without waiting for the timer.
    constexpr std::size_t kUsbPacketPayload = 62;
    TimePoint arrival = start;
    if (!m_bytes.empty() && m_bytes.back().arrival > arrival)
        arrival = m_bytes.back().arrival;
    const Micros perByte = characterTime(baudRate);
    const std::size_t first = m_bytes.size();
    for (std::size_t i = 0; i < length; ++i) {
        arrival += perByte;
        m_bytes.push_back({data[i], arrival});
    }
    if (holdBack > Micros::zero() && length < kUsbPacketPayload) {
        for (std::size_t i = first; i < m_bytes.size(); ++i)
            m_bytes[i].arrival = arrival + holdBack;
    }
}

std::optional<TimePoint> OutputQueue::nextArrival() const
{
    if (m_bytes.empty())
        return std::nullopt;
    return m_bytes.front().arrival;
}

std::size_t OutputQueue::take(TimePoint upTo, std::uint8_t* buffer, std::size_t capacity)
{
    std::size_t count = 0;
    while (count < capacity && !m_bytes.empty() && m_bytes.front().arrival <= upTo) {
        buffer[count++] = m_bytes.front().value;
        m_bytes.pop_front();
    }
    return count;
}

ScriptedEndpoint::ScriptedEndpoint(Reply reply, std::uint32_t baudRate)
    : m_reply(std::move(reply))
    , m_baudRate(baudRate)
{
}

std::shared_ptr<ScriptedEndpoint> ScriptedEndpoint::answering(std::vector<std::uint8_t> bytes)
{
    return std::make_shared<ScriptedEndpoint>([bytes](const std::vector<std::uint8_t>&) { return bytes; });
}

void ScriptedEndpoint::receive(std::uint8_t byte, TimePoint arrival, std::uint32_t)
{
    std::lock_guard lock(m_mutex);
    if (!m_burst.empty() && arrival - m_lastArrival >= kBurstGap)
        finishBurstLocked();
    m_burst.push_back(byte);
    m_lastArrival = arrival;
}

void ScriptedEndpoint::advanceTo(TimePoint time)
{
    std::lock_guard lock(m_mutex);
    if (!m_burst.empty() && time - m_lastArrival >= kBurstGap)
        finishBurstLocked();
}

void ScriptedEndpoint::finishBurstLocked()
{
    const std::vector<std::uint8_t> reply = m_reply(m_burst);
    m_output.emit(reply.data(), reply.size(), m_lastArrival + kBurstGap, m_baudRate);
    m_burst.clear();
}

std::optional<TimePoint> ScriptedEndpoint::nextOutput()
{
    std::lock_guard lock(m_mutex);
    return m_output.nextArrival();
}

std::size_t ScriptedEndpoint::takeOutput(TimePoint upTo, std::uint8_t* buffer, std::size_t capacity)
{
    std::lock_guard lock(m_mutex);
    return m_output.take(upTo, buffer, capacity);
}

void ScriptedEndpoint::setCts(bool on)
{
    std::lock_guard lock(m_mutex);
    m_cts = on;
}

bool ScriptedEndpoint::cts() const
{
    std::lock_guard lock(m_mutex);
    return m_cts;
}

} // namespace talvex
