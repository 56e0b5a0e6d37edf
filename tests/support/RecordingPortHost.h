#pragma once

#include "common/Clock.h"
#include "serial/PortHost.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace talvex::test {

/// One thing the tool did to a port, and when: a line such as "DTR on", or
/// bytes sent or read, which traceLines gathers into one line.
struct PortEvent {
    enum class Kind { Line, Send, Read };
    TimePoint at{};
    Kind kind = Kind::Line;
    std::string text;
    std::vector<std::uint8_t> bytes;
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
    void line(std::string text, TimePoint at) { note({at, PortEvent::Kind::Line, std::move(text), {}}); }
    void line(std::string text) { line(std::move(text), now()); }
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

/// Bytes as "A5 01 02"; more than ten as the first two, "…" and the count.
inline std::string bytesText(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t shown = bytes.size() > 10 ? 2 : bytes.size();
    for (std::size_t i = 0; i < shown; ++i)
        text += std::string(i ? " " : "") + digits[bytes[i] >> 4] + digits[bytes[i] & 0x0F];
    if (shown < bytes.size())
        text += " … (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

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
    ~RecordingSerialPort() override { m_recorder.line("close " + m_name); }

    bool setDtr(bool on) override
    {
        m_recorder.line(on ? "DTR on" : "DTR off");
        return m_port->setDtr(on);
    }
    bool setRts(bool on) override
    {
        m_recorder.line(on ? "RTS on" : "RTS off");
        return m_port->setRts(on);
    }
    bool sendByte(std::uint8_t byte) override
    {
        m_recorder.note({m_recorder.now(), PortEvent::Kind::Send, {}, {byte}});
        return m_port->sendByte(byte);
    }
    bool writeBlock(const std::uint8_t* data, std::size_t length) override
    {
        m_recorder.line("write " + bytesText({data, data + length}));
        return m_port->writeBlock(data, length);
    }
    ReadResult read(std::uint8_t* buffer, std::size_t capacity) override
    {
        const TimePoint started = m_recorder.now();
        const ReadResult result = m_port->read(buffer, capacity);
        m_recorder.note({started, PortEvent::Kind::Read, {}, {buffer, buffer + result.count}});
        return result;
    }
    std::optional<std::uint32_t> modemStatus() override { return m_port->modemStatus(); }
    Status presence() override { return m_port->presence(); }
    LineSettings currentSettings() const override { return m_port->currentSettings(); }
    bool applyMode(const std::string& mode) override
    {
        m_recorder.line("mode " + mode);
        return m_port->applyMode(mode);
    }

private:
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
        m_recorder.line("open " + name + " " + mode + (result ? "" : " failed"), at);
        if (result)
            *result = std::make_unique<RecordingSerialPort>(std::move(*result), name, m_recorder);
        return result;
    }

private:
    PortHost& m_host;
    PortRecorder m_recorder;
};

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
        if (group)
            lines.push_back("t=" + millisText(group->at - origin) + (group->kind == Kind::Send ? " send " : " read ") +
                            (gathered.empty() ? std::string("nothing") : bytesText(gathered)));
        group = nullptr;
        gathered.clear();
    };
    for (const PortEvent& event : events) {
        if (!group || group->kind != event.kind || (event.kind == Kind::Send && event.at != group->at))
            flush();
        if (event.kind == Kind::Line) {
            lines.push_back("t=" + millisText(event.at - origin) + " " + event.text);
            continue;
        }
        if (!group)
            group = &event;
        gathered.insert(gathered.end(), event.bytes.begin(), event.bytes.end());
        // A read that came back empty closes its read-all.
        if (event.kind == Kind::Read && event.bytes.empty())
            flush();
    }
    flush();
    return lines;
}

} // namespace talvex::test
