#pragma once

#include "sim/SimEndpoint.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace talvex {

/// A port with nothing that answers behind it.
class SilentEndpoint final : public SimEndpoint {
public:
    void receive(std::uint8_t, TimePoint, std::uint32_t) override {}
    void advanceTo(TimePoint) override {}
    std::optional<TimePoint> nextOutput() override { return std::nullopt; }
    std::size_t takeOutput(TimePoint, std::uint8_t*, std::size_t) override { return 0; }
};

/// Another device, or a broken one: after each burst of bytes from the
/// host (a pause of kBurstGap ends a burst) it answers whatever the reply
/// function makes of that burst, at its own baud rate, the gap after it.
class ScriptedEndpoint final : public SimEndpoint {
public:
    using Reply = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>& burst)>;

    static constexpr Micros kBurstGap = Millis(5);

    explicit ScriptedEndpoint(Reply reply, std::uint32_t baudRate = 115200);

    /// Answers every burst with the same bytes.
    static std::shared_ptr<ScriptedEndpoint> answering(std::vector<std::uint8_t> bytes);

    void receive(std::uint8_t byte, TimePoint arrival, std::uint32_t baudRate) override;
    void advanceTo(TimePoint time) override;
    std::optional<TimePoint> nextOutput() override;
    std::size_t takeOutput(TimePoint upTo, std::uint8_t* buffer, std::size_t capacity) override;

    void setCts(bool on);
    bool cts() const override;

private:
    void finishBurstLocked();

    mutable std::mutex m_mutex;
    Reply m_reply;
    std::uint32_t m_baudRate;
    std::vector<std::uint8_t> m_burst;
    TimePoint m_lastArrival{};
    OutputQueue m_output;
    bool m_cts = false;
};

} // namespace talvex
