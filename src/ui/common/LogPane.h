#pragma once

#include <QPlainTextEdit>
#include <QString>

#include <functional>

namespace talvex {

/// A window's log pane. It keeps the exact text (with its "\r\n" line
/// ends) that the device operations wrote, and shows it in a read-only
/// text view that follows the last line.
class LogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogPane(QWidget* parent = nullptr);

    /// Appends the message as it stands (messages carry their own "\r\n").
    void appendRaw(const QString& message);

    /// The time-stamped log line: "hh:mm:ss " + message + "\r\n", then the
    /// pump runs so the line shows at once during a long operation.
    void appendLogLine(const QString& message);

    void clearLog();
    const QString& logText() const { return m_text; }

    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

private:
    void showText();

    QString m_text;
    std::function<void()> m_pump;
};

} // namespace talvex
