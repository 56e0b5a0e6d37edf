#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace talvex::cli {

/// Where talvexctl writes: results on standard output, everything else on
/// standard error. Log lines are the core's own texts, without time stamps.
class Console {
public:
    /// `interactive`: standard error is a terminal, so the progress line
    /// can be redrawn in place.
    Console(std::ostream& out, std::ostream& err, bool interactive = false);

    /// Quiet: no log lines and no progress, only problems, prompts and results.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    bool quiet() const { return m_quiet; }

    /// One step of an operation (standard error, not when quiet).
    void log(std::string_view line);
    /// A line saying what went wrong (standard error, always).
    void problem(std::string_view line);
    /// "talvexctl: <text>" on standard error, always.
    void error(std::string_view text);
    /// What the user must do now (standard error, always).
    void prompt(std::string_view line);
    /// A result line (standard output).
    void result(std::string_view line);
    /// Raw text on standard output, as it stands.
    void resultText(std::string_view text);
    /// The progress line: redrawn in place on a terminal, otherwise a line
    /// of its own (the caller decides how often).
    void progress(std::string_view line);

    bool interactive() const { return m_interactive; }

    /// Standard error is a terminal that reads ANSI cursor movement, so
    /// several lines can be redrawn in place.
    bool escapeCodes() const { return m_interactive && m_escapeCodes; }
    void setEscapeCodes(bool understood) { m_escapeCodes = understood; }
    /// Text on standard error as it stands, for a caller that draws its
    /// own lines with escape codes.
    void drawText(std::string_view text);

    /// A result did not reach standard output (a full disk, a closed pipe).
    bool outputLost() const { return m_outputLost; }

private:
    void line(std::ostream& stream, std::string_view text);
    void endProgress();
    void checkOutput();

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_interactive;
    bool m_escapeCodes = false;
    bool m_quiet = false;
    bool m_outputLost = false;
    bool m_progressOpen = false;
    std::size_t m_progressLength = 0;
};

} // namespace talvex::cli
