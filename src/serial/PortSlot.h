#pragma once

#include "serial/PortHost.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace talvex {

/// How answers are collected on a slot: as they arrive (the wait is only
/// a ceiling), or after the full wait (kept to compare against, and for
/// tests that pin the device's waits).
enum class AnswerTiming { AsTheyArrive, FullWait };

/// A process-wide port slot (A: the programmer port, B: the smartcard
/// tool's second reader). Holds at most one open port. Safe to call from
/// the reader thread (modem status) while the UI thread opens and closes.
class PortSlot {
public:
    /// Opens `name`, closing whatever the slot held first. On failure the
    /// slot is not open.
    Result<void> open(PortHost& host, const std::string& name, const std::string& mode);
    void close();
    bool isOpen() const;
    std::string name() const;

    bool setDtr(bool on);
    bool setRts(bool on);
    bool sendByte(std::uint8_t byte);
    bool writeBlock(const std::uint8_t* data, std::size_t length);
    /// A read on a slot with no port is Other, with no bytes.
    ReadResult read(std::uint8_t* buffer, std::size_t capacity);

    struct Answer {
        std::vector<std::uint8_t> bytes;
        Status end = Status::TimedOut; ///< why the last read came back empty
    };

    /// Reads one byte at a time until a read comes back empty. Keeps at
    /// most `capacity` bytes; a device that goes on talking past that is
    /// drained, within a bound, so it can neither overrun nor hang us.
    Answer readAnswer(std::size_t capacity);
    /// The bytes of readAnswer(), where silence and a vanished device
    /// mean the same to the caller.
    std::vector<std::uint8_t> readAll(std::size_t capacity) { return readAnswer(capacity).bytes; }

    std::optional<std::uint32_t> modemStatus();
    /// The port's presence(); Other when the slot holds no port.
    Status presence();
    /// Card present: port open and CTS on. A failed read counts as no card.
    bool ctsOn();

    std::optional<LineSettings> currentSettings() const;

    AnswerTiming answerTiming() const { return m_answerTiming.load(); }
    void setAnswerTiming(AnswerTiming timing) { m_answerTiming = timing; }
    bool applyMode(const std::string& mode);

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<SerialPort> m_port;
    std::string m_name;
    std::atomic<AnswerTiming> m_answerTiming{AnswerTiming::AsTheyArrive};
};

/// The two slots of the process.
struct PortSlots {
    PortSlot a;
    PortSlot b;
};

} // namespace talvex
