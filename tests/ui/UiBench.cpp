#include "ui/UiBench.h"

#include "ui/common/LogPane.h"

#include <QMessageBox>

namespace talvex::test {

MessageBoxAnswerer::MessageBoxAnswerer()
{
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            box->accept();
        }
    });
    m_timer.start();
}

QStringList logMessages(QWidget* window)
{
    auto* pane = window->findChild<LogPane*>(QStringLiteral("Memo2"));
    if (!pane)
        return {};
    QStringList messages;
    for (const QString& line : pane->logText().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        messages << line.mid(9);
    return messages;
}

std::vector<std::vector<std::uint8_t>> commandsSeen(const SimulatedProgrammer& device)
{
    std::vector<std::vector<std::uint8_t>> seen;
    for (const auto& command : device.receivedCommands())
        seen.push_back(command.bytes);
    return seen;
}

} // namespace talvex::test
