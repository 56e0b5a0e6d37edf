#pragma once

#include "common/Clock.h"
#include "serial/PortHost.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace talvex::test {

/// One thing the tool did to a port, and when.
struct PortEvent {
    enum class Kind { Open, OpenFailed, Close, Dtr, Rts, Send, Write, Mode, Read };

    PortEvent() = default;
    PortEvent(TimePoint when, Kind what, std::string name)
        : at(when)
        , kind(what)
        , port(std::move(name))
    {
    }

    TimePoint at{};
    Kind kind = Kind::Open;
    std::string port;
    std::string mode;                ///< Open, OpenFailed, Mode
    bool on = false;                 ///< Dtr, Rts
    std::vector<std::uint8_t> bytes; ///< Send (one byte), Write, Read (what came back)
};

/// The events of every port a RecordingPortHost handed out, in order.
class PortRecorder {
public:
    explicit PortRecorder(Clock& clock)
        : m_clock(clock)
    {
    }

    TimePoint now() const { return m_clock.now(); }

    void note(PortEvent event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    void note(PortEvent::Kind kind, const std::string& port) { note(PortEvent{now(), kind, port}); }

    std::vector<PortEvent> events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
    }

private:
    Clock& m_clock;
    mutable std::mutex m_mutex;
    std::vector<PortEvent> m_events;
};

/// Passes every call to the port it wraps and notes it first (a read once
/// it has returned, stamped with the time it started).
class RecordingSerialPort final : public SerialPort {
public:
    RecordingSerialPort(std::unique_ptr<SerialPort> port, std::string name, PortRecorder& recorder)
        : m_port(std::move(port))
        , m_name(std::move(name))
        , m_recorder(recorder)
    {
    }

    ~RecordingSerialPort() override { m_recorder.note(PortEvent::Kind::Close, m_name); }

    bool setDtr(bool on) override
    {
        noteLine(PortEvent::Kind::Dtr, on);
        return m_port->setDtr(on);
    }

    bool setRts(bool on) override
    {
        noteLine(PortEvent::Kind::Rts, on);
        return m_port->setRts(on);
    }

    bool sendByte(std::uint8_t byte) override
    {
        noteBytes(PortEvent::Kind::Send, m_recorder.now(), &byte, 1);
        return m_port->sendByte(byte);
    }

    bool writeBlock(const std::uint8_t* data, std::size_t length) override
    {
        noteBytes(PortEvent::Kind::Write, m_recorder.now(), data, length);
        return m_port->writeBlock(data, length);
    }

    // The only place that knows what a read returns.
    ReadResult read(std::uint8_t* buffer, std::size_t capacity) override
    {
        const TimePoint started = m_recorder.now();
        const ReadResult result = m_port->read(buffer, capacity);
        noteBytes(PortEvent::Kind::Read, started, buffer, result.count);
        return result;
    }

    std::optional<std::uint32_t> modemStatus() override { return m_port->modemStatus(); }
    Status presence() override { return m_port->presence(); }

    LineSettings currentSettings() const override { return m_port->currentSettings(); }

    bool applyMode(const std::string& mode) override
    {
        PortEvent event{m_recorder.now(), PortEvent::Kind::Mode, m_name};
        event.mode = mode;
        m_recorder.note(std::move(event));
        return m_port->applyMode(mode);
    }

private:
    void noteLine(PortEvent::Kind kind, bool on)
    {
        PortEvent event{m_recorder.now(), kind, m_name};
        event.on = on;
        m_recorder.note(std::move(event));
    }

    void noteBytes(PortEvent::Kind kind, TimePoint at, const std::uint8_t* data, std::size_t length)
    {
        PortEvent event{at, kind, m_name};
        event.bytes.assign(data, data + length);
        m_recorder.note(std::move(event));
    }

    std::unique_ptr<SerialPort> m_port;
    std::string m_name;
    PortRecorder& m_recorder;
};

/// A PortHost that hands out recording ports and notes every open, the
/// failed ones included.
class RecordingPortHost final : public PortHost {
public:
    RecordingPortHost(PortHost& host, Clock& clock)
        : m_host(host)
        , m_recorder(clock)
    {
    }

    PortRecorder& recorder() { return m_recorder; }
    const PortRecorder& recorder() const { return m_recorder; }

    std::vector<PortInfo> listPorts() override { return m_host.listPorts(); }

    OpenResult open(const std::string& name, const std::string& mode) override
    {
        const TimePoint at = m_recorder.now();
        OpenResult result = m_host.open(name, mode);
        PortEvent event{at, result ? PortEvent::Kind::Open : PortEvent::Kind::OpenFailed, name};
        event.mode = mode;
        m_recorder.note(std::move(event));
        if (result)
            *result = std::make_unique<RecordingSerialPort>(std::move(*result), name, m_recorder);
        return result;
    }

private:
    PortHost& m_host;
    PortRecorder m_recorder;
};

/// Each open tried, failed ones included: "COM3 9600,N,8,1".
inline std::vector<std::string> opensTried(const PortRecorder& recorder)
{
    std::vector<std::string> opens;
    for (const PortEvent& event : recorder.events()) {
        if (event.kind == PortEvent::Kind::Open || event.kind == PortEvent::Kind::OpenFailed)
            opens.push_back(event.port + " " + event.mode);
    }
    return opens;
}

// ---- Rendering --------------------------------------------------------------

/// "1234ms", or "1234.087ms" when the time falls between milliseconds.
inline std::string millisText(Micros time)
{
    const long long us = time.count();
    const long long magnitude = us < 0 ? -us : us;
    std::string text = (us < 0 ? "-" : "") + std::to_string(magnitude / 1000);
    if (const long long fraction = magnitude % 1000) {
        const std::string digits = std::to_string(fraction);
        text += "." + std::string(3 - digits.size(), '0') + digits;
    }
    return text + "ms";
}

/// Bytes as "A5 01 02"; more than ten as the first two, "…" and the count.
inline std::string bytesText(const std::vector<std::uint8_t>& bytes)
{
    constexpr std::size_t kShownInFull = 10;
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t shown = bytes.size() > kShownInFull ? 2 : bytes.size();
    for (std::size_t i = 0; i < shown; ++i) {
        if (i)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    if (shown < bytes.size())
        text += " … (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

/// One line per event, "t=1500ms DTR on", with times since `origin`. The
/// reads of one read-all (bytes, then the silent read that ends it) make
/// one line at the time the first read began, and bytes sent one by one
/// at the same moment make one "send" line; so the gap to the next line
/// is the wait, the 20 ms of silence that ends a read included.
inline std::vector<std::string> traceLines(const std::vector<PortEvent>& events, TimePoint origin)
{
    using Kind = PortEvent::Kind;
    std::vector<std::string> lines;
    const PortEvent* group = nullptr; // the send or read that the current line gathers
    std::vector<std::uint8_t> gathered;

    const auto flush = [&] {
        if (!group)
            return;
        const std::string prefix = "t=" + millisText(group->at - origin) + " ";
        if (group->kind == Kind::Send)
            lines.push_back(prefix + "send " + bytesText(gathered));
        else
            lines.push_back(prefix + "read " + (gathered.empty() ? std::string("nothing") : bytesText(gathered)));
        group = nullptr;
        gathered.clear();
    };

    for (const PortEvent& event : events) {
        const bool joinsSend = group && group->kind == Kind::Send && event.kind == Kind::Send && event.at == group->at;
        // A read that came back empty closes its read-all.
        const bool joinsRead = group && group->kind == Kind::Read && event.kind == Kind::Read;
        if (!joinsSend && !joinsRead)
            flush();
        if (event.kind == Kind::Send || event.kind == Kind::Read) {
            if (!group)
                group = &event;
            gathered.insert(gathered.end(), event.bytes.begin(), event.bytes.end());
            if (event.kind == Kind::Read && event.bytes.empty())
                flush();
            continue;
        }

        std::string text;
        switch (event.kind) {
        case Kind::Open: text = "open " + event.port + " " + event.mode; break;
        case Kind::OpenFailed: text = "open " + event.port + " " + event.mode + " failed"; break;
        case Kind::Close: text = "close " + event.port; break;
        case Kind::Dtr: text = event.on ? "DTR on" : "DTR off"; break;
        case Kind::Rts: text = event.on ? "RTS on" : "RTS off"; break;
        case Kind::Write: text = "write " + bytesText(event.bytes); break;
        case Kind::Mode: text = "mode " + event.mode; break;
        case Kind::Send:
        case Kind::Read: break;
        }
        lines.push_back("t=" + millisText(event.at - origin) + " " + text);
    }
    flush();
    return lines;
}

} // namespace talvex::test
