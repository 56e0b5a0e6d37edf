#pragma once

#include "common/Clock.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace talvex {

/// Time one character takes on the wire: start, data, parity and stop bits.
Micros characterTime(std::uint32_t baudRate, int bitsPerCharacter = 10);

/// Bytes on their way to the host, each with the moment its last bit
/// arrives. Not locked: its owner holds its own lock.
class OutputQueue {
public:
    /// Queues bytes sent back to back from `start` at `baudRate`. With a
    /// `holdBack`, a short burst reaches the host only that long after its
    /// last byte, all at once, as a USB-serial chip's latency timer does.
    void emit(const std::uint8_t* data, std::size_t length, TimePoint start, std::uint32_t baudRate,
              Micros holdBack = Micros::zero());
    std::optional<TimePoint> nextArrival() const;
    std::size_t take(TimePoint upTo, std::uint8_t* buffer, std::size_t capacity);
    void clear() { m_bytes.clear(); }
    bool empty() const { return m_bytes.empty(); }

private:
    struct TimedByte {
        std::uint8_t value;
        TimePoint arrival;
    };
    std::deque<TimedByte> m_bytes;
};

/// What sits at the far end of a simulated port: the programmer's reader
/// interface, a silent port, another vendor's device. All calls come with
/// the moment they happen, so the device runs in whatever time the clock
/// keeps, virtual or real. Implementations are thread-safe (the reader
/// thread polls CTS while the UI thread talks).
class SimEndpoint {
public:
    virtual ~SimEndpoint() = default;

    /// Whether the device is plugged in; a vanished device fails opens
    /// and reads nothing.
    virtual bool present() const { return true; }
    /// Called on every open attempt, before present() decides it.
    virtual void openAttempted(TimePoint) {}

    virtual void hostOpened(TimePoint) {}
    virtual void hostClosed(TimePoint) {}
    virtual void linesChanged(bool /*dtrOn*/, bool /*rtsOn*/, TimePoint) {}
    /// The host asked the port's USB-serial chip for low latency.
    virtual void lowLatencyRequested() {}

    /// Whether the host's next block write fails before a byte leaves
    /// (a USB transfer error the device has been told to cause).
    virtual bool refusesWrite() { return false; }

    /// A byte from the host whose last bit arrives at `arrival`, sent at
    /// `baudRate`.
    virtual void receive(std::uint8_t byte, TimePoint arrival, std::uint32_t baudRate) = 0;

    /// Lets the device act on everything that arrived up to `time`.
    virtual void advanceTo(TimePoint time) = 0;

    virtual std::optional<TimePoint> nextOutput() = 0;
    virtual std::size_t takeOutput(TimePoint upTo, std::uint8_t* buffer, std::size_t capacity) = 0;

    /// The device's CTS line as the host sees it.
    virtual bool cts() const { return false; }
};

} // namespace talvex
