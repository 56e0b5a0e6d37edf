#include "ui/common/LogPane.h"

#include <QScrollBar>
#include <QTime>

namespace talvex {

LogPane::LogPane(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void LogPane::appendRaw(const QString& message)
{
    m_text += message;
    showText();
}

void LogPane::appendLogLine(const QString& message)
{
    m_text += QTime::currentTime().toString(QStringLiteral("hh:mm:ss ")) + message + QStringLiteral("\r\n");
    showText();
    if (m_pump)
        m_pump();
}

void LogPane::clearLog()
{
    m_text.clear();
    showText();
}

void LogPane::showText()
{
    setPlainText(m_text);
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

} // namespace talvex
