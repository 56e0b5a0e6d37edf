#include "sim/SimulatedPortHost.h"

#include "sim/SimulatedSerialPort.h"

namespace talvex {

SimulatedPortHost::SimulatedPortHost(Clock& clock, int portCount)
    : m_clock(clock)
    , m_portCount(portCount)
{
}

void SimulatedPortHost::attach(const std::string& name, std::shared_ptr<SimEndpoint> endpoint)
{
    std::lock_guard lock(m_mutex);
    m_endpoints[name] = std::move(endpoint);
}

void SimulatedPortHost::detach(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    m_endpoints.erase(name);
}

void SimulatedPortHost::markBusy(const std::string& name, bool busy)
{
    std::lock_guard lock(m_mutex);
    if (busy)
        m_busy.insert(name);
    else
        m_busy.erase(name);
}

std::vector<std::string> SimulatedPortHost::candidateNames()
{
    std::vector<std::string> names;
    for (int n = 1; n <= m_portCount; ++n)
        names.push_back("COM" + std::to_string(n));
    return names;
}

OpenResult SimulatedPortHost::open(const std::string& name, const std::string& mode)
{
    std::shared_ptr<SimEndpoint> endpoint;
    {
        std::lock_guard lock(m_mutex);
        ++m_openAttempts[name];
        const auto found = m_endpoints.find(name);
        if (found != m_endpoints.end())
            endpoint = found->second;
        if (endpoint)
            endpoint->openAttempted(m_clock.now());
        if (!endpoint || !endpoint->present())
            return {nullptr, {PortStatus::Gone, name + ": The system cannot find the file specified."}};
        if (m_busy.count(name) || m_open.count(name))
            return {nullptr, {PortStatus::Busy, name + ": Access is denied (the port is in use)."}};
    }
    const auto settings = parseModeString(mode);
    if (!settings)
        return {nullptr, {PortStatus::Other, name + ": invalid mode \"" + mode + "\""}};

    std::lock_guard lock(m_mutex);
    m_open.insert(name);
    ++m_openCounts[name];
    auto port = std::make_unique<SimulatedSerialPort>(endpoint, m_clock, *settings, [this, name] {
        std::lock_guard closeLock(m_mutex);
        m_open.erase(name);
    });
    // As the native host does for an FTDI port; other endpoints ignore it.
    if (m_asksLowLatency)
        endpoint->lowLatencyRequested();
    return {std::move(port), {}};
}

int SimulatedPortHost::openCount(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_openCounts.find(name);
    return found == m_openCounts.end() ? 0 : found->second;
}

int SimulatedPortHost::openAttempts(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_openAttempts.find(name);
    return found == m_openAttempts.end() ? 0 : found->second;
}

} // namespace talvex
