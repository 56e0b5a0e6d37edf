#pragma once

#include "serial/PortHost.h"
#include "sim/SimEndpoint.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace talvex {

/// A host with COM1…COM254 (or fewer) where tests place simulated devices.
/// A name with nothing attached does not exist; a port that is open
/// cannot be opened twice, as on a real host.
class SimulatedPortHost final : public PortHost {
public:
    explicit SimulatedPortHost(Clock& clock, int portCount = 254);

    void attach(const std::string& name, std::shared_ptr<SimEndpoint> endpoint);
    void detach(const std::string& name);
    /// Another program holds this port.
    void markBusy(const std::string& name, bool busy = true);
    /// Whether an open asks the port's chip for low latency, as the native
    /// host does for FTDI ports (on by default).
    void setAsksLowLatency(bool asks) { m_asksLowLatency = asks; }

    std::vector<std::string> candidateNames() override;
    OpenResult open(const std::string& name, const std::string& mode) override;

    int openCount(const std::string& name) const;
    /// Every try to open the name, failed ones included.
    int openAttempts(const std::string& name) const;

private:
    Clock& m_clock;
    int m_portCount;
    mutable std::mutex m_mutex;
    bool m_asksLowLatency = true;
    std::map<std::string, std::shared_ptr<SimEndpoint>> m_endpoints;
    std::set<std::string> m_busy;
    std::set<std::string> m_open;
    std::map<std::string, int> m_openCounts;
    std::map<std::string, int> m_openAttempts;
};

} // namespace talvex
