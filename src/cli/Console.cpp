#include "cli/Console.h"

namespace talvex::cli {
namespace {

// Some of the core's lines end in a line break of their own.
std::string_view withoutLineEnd(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

Console::Console(std::ostream& out, std::ostream& err, bool interactive)
    : m_out(out)
    , m_err(err)
    , m_interactive(interactive)
{
}

void Console::log(std::string_view text)
{
    if (!m_quiet)
        line(m_err, text);
}

void Console::problem(std::string_view text)
{
    line(m_err, text);
}

void Console::error(std::string_view text)
{
    std::string message = "talvexctl: ";
    message += text;
    line(m_err, message);
}

void Console::prompt(std::string_view text)
{
    line(m_err, text);
}

void Console::result(std::string_view text)
{
    endProgress();
    m_out << withoutLineEnd(text) << '\n';
    checkOutput();
}

void Console::resultText(std::string_view text)
{
    endProgress();
    m_out << text;
    checkOutput();
}

void Console::progress(std::string_view text)
{
    if (m_quiet)
        return;
    if (!m_interactive) {
        line(m_err, text);
        return;
    }
    // Blanks over what a longer line before it left (no escape codes:
    // not every console reads them).
    const std::size_t blanks = m_progressLength > text.size() ? m_progressLength - text.size() : 0;
    m_err << '\r' << text << std::string(blanks, ' ');
    m_err.flush();
    m_progressLength = text.size();
    m_progressOpen = true;
}

void Console::drawText(std::string_view text)
{
    endProgress();
    m_err << text;
    m_err.flush();
}

void Console::line(std::ostream& stream, std::string_view text)
{
    endProgress();
    stream << withoutLineEnd(text) << '\n';
    stream.flush();
}

// A buffered write fails only when flushed: flush each result before asking.
void Console::checkOutput()
{
    m_out.flush();
    if (!m_out)
        m_outputLost = true;
}

void Console::endProgress()
{
    if (!m_progressOpen)
        return;
    m_err << '\n';
    m_progressOpen = false;
    m_progressLength = 0;
}

} // namespace talvex::cli
