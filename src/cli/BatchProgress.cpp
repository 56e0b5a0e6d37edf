#include "cli/BatchProgress.h"

#include "cli/BatchTable.h"

#include <algorithm>
#include <cstdio>

namespace talvex::cli {
namespace {

constexpr int kPercentStep = 10;
// Wider than the terminal, a row would wrap and the cursor miss its line.
constexpr std::size_t kRowWidth = 79;

std::string padded(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.resize(width, ' ');
    return text;
}

// "Programmer 2 …" at the start of a sentence.
std::string titled(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

} // namespace

BatchProgress::BatchProgress(Console& console, Clock& clock, const std::vector<FoundProgrammer>& programmers)
    : m_console(console)
    , m_clock(clock)
    , m_programmers(programmers)
    , m_start(clock.now())
    , m_rows(console.escapeCodes() && !console.quiet())
    , m_state(programmers.size())
{
    for (const FoundProgrammer& programmer : programmers)
        m_portsWidth = std::max(m_portsWidth, programmer.portsText().size());
}

void BatchProgress::phaseChanged(std::size_t index, BatchPhase phase)
{
    std::lock_guard lock(m_mutex);
    Row& row = m_state.at(index);
    if (row.phase == phase)
        return;
    row.phase = phase;
    const FoundProgrammer& programmer = m_programmers.at(index);
    if (phase == BatchPhase::Unplug) {
        say("Unplug programmer " + std::to_string(index + 1) + " (" + programmer.positionText() + ", serial " +
                programmer.serialNumber + ") and plug it in again.",
            false);
    } else if (phase == BatchPhase::Replug) {
        say(titled(name(index)) + " is unplugged: waiting for it to be plugged in again.", false);
    } else if (phase != BatchPhase::Done && phase != BatchPhase::Failed) {
        // The ending is told with its row, once it is final.
        note(name(index) + ": " + phaseName(phase));
    }
    redraw();
}

void BatchProgress::progressed(std::size_t index, int percent, std::optional<std::chrono::seconds> remaining)
{
    std::lock_guard lock(m_mutex);
    Row& row = m_state.at(index);
    row.percent = percent;
    row.remaining = remaining;
    if (!m_rows && percent >= row.nextPercentShown) {
        row.nextPercentShown = percent / kPercentStep * kPercentStep + kPercentStep;
        std::string text = name(index) + ": uploading " + std::to_string(percent) + "%";
        if (remaining)
            text += ", " + minutesText(*remaining) + " left";
        note(text);
    }
    redraw();
}

void BatchProgress::finished(std::size_t index, const BatchRecord& record)
{
    std::lock_guard lock(m_mutex);
    m_state.at(index).phase = record.confirmed ? BatchPhase::Done : BatchPhase::Failed;
    if (!record.confirmed) {
        say(titled(name(index)) + " failed: " + record.reason, true);
    } else {
        note(name(index) + ": done" + (record.usbSerial.empty() ? "" : ", USB serial " + record.usbSerial));
    }
    redraw();
}

std::string BatchProgress::name(std::size_t index) const
{
    return programmerName(index, m_programmers.at(index));
}

std::string BatchProgress::stamp() const
{
    const long long tenths = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.now() - m_start).count() / 100;
    char text[32];
    std::snprintf(text, sizeof text, "[%02lld:%02lld.%lld] ", tenths / 600, tenths % 600 / 10, tenths % 10);
    return text;
}

std::string BatchProgress::rowText(std::size_t index) const
{
    const Row& row = m_state.at(index);
    const FoundProgrammer& programmer = m_programmers.at(index);
    std::string text = padded(std::to_string(index + 1), 3) + padded(programmer.portsText(), m_portsWidth + 2) +
        padded(shortSerial(programmer.serialNumber), 13);
    if (row.phase != BatchPhase::Uploading)
        return (text + phaseName(row.phase)).substr(0, kRowWidth);
    text += padded(phaseName(row.phase), 11) + padded(std::to_string(row.percent) + "%", 6);
    if (row.remaining)
        text += minutesText(*row.remaining) + " left";
    return text.substr(0, kRowWidth);
}

// A prompt or a failure: above the rows, or a line of its own.
void BatchProgress::say(const std::string& text, bool problem)
{
    std::string line = m_rows ? text : stamp() + text;
    if (m_rows && !m_drawn.empty()) {
        // Up over the rows, clear them, say it there; the rows follow below.
        m_console.drawText("\x1b[" + std::to_string(m_drawn.size()) + "A\r\x1b[J");
        m_drawn.clear();
    }
    if (problem)
        m_console.problem(line);
    else
        m_console.prompt(line);
}

// A change worth a line of its own, without a terminal to redraw on.
void BatchProgress::note(const std::string& text)
{
    if (!m_rows && !m_console.quiet())
        m_console.log(stamp() + text);
}

void BatchProgress::redraw()
{
    if (!m_rows)
        return;
    std::vector<std::string> rows;
    for (std::size_t index = 0; index < m_state.size(); ++index)
        rows.push_back(rowText(index));
    if (rows == m_drawn)
        return;
    std::string text;
    if (!m_drawn.empty())
        text += "\x1b[" + std::to_string(m_drawn.size()) + "A";
    for (const std::string& row : rows)
        text += "\r\x1b[2K" + row + "\n";
    m_console.drawText(text);
    m_drawn = std::move(rows);
}

} // namespace talvex::cli
