#pragma once

#include "sim/SimulatedProgrammer.h"

#include <array>
#include <atomic>
#include <optional>
#include <string>

namespace talvex {

/// Serves the simulated programmer's two readers on pseudo-terminals, in
/// real time, so the real POSIX backend can talk to it end to end. A
/// pseudo-terminal has no modem lines, so the device listens as if every
/// line sequence had been given; it still checks the baud rate.
class PtyServer {
public:
    PtyServer(SimulatedProgrammer& device, Clock& clock);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    /// Creates the two pseudo-terminals; false with `error` set on failure.
    bool start(std::string& error);
    /// The path a host opens for reader 1 or 2.
    const std::string& slavePath(int reader) const;

    /// The user's hands over a pseudo-terminal, which cannot vanish: after
    /// a back-to-boot the device goes silent once its boot loader has
    /// answered `polls` polls, as if unplugged, and is plugged in again
    /// `away` later (before the tool's first try to reopen ends).
    void replugAfterBackToBoot(int polls, Micros away);

    /// Serves until `stop` turns true.
    void run(const std::atomic<bool>& stop);

private:
    struct Terminal {
        int master = -1;
        int slaveKeeper = -1; // keeps the terminal alive between host opens
        std::string path;
    };

    void pollOnce(int timeoutMs);
    void deliverDue();
    void plugBackWhenDue();

    SimulatedProgrammer& m_device;
    Clock& m_clock;
    std::array<Terminal, 2> m_terminals;
    TimePoint m_lastInbound{};
    std::optional<Micros> m_replugAfter;
    std::optional<TimePoint> m_unpluggedSince;
};

} // namespace talvex
