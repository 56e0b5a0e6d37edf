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

void SettingsWindowBench::open(const char* port)
{
    window = std::make_unique<TForm4>(context, &mainWindow);
    window->setPorts({QString::fromLatin1(port)}, true);
    window->show();
}

void SettingsWindowBench::connect()
{
    click(window.get(), "Button1");
    device->clearReceivedCommands();
}

QTabWidget* SettingsWindowBench::tabs()
{
    return child<QTabWidget>(window.get(), "TabControl1");
}

void SettingsWindowBench::showTab(int tab)
{
    ASSERT_TRUE(tabs()->isTabEnabled(tab)) << tab;
    tabs()->setCurrentIndex(tab);
}

std::vector<int> SettingsWindowBench::enabledTabs()
{
    std::vector<int> enabled;
    for (int tab = 0; tab < tabs()->count(); ++tab) {
        if (tabs()->isTabEnabled(tab))
            enabled.push_back(tab);
    }
    return enabled;
}

QStringList SettingsWindowBench::log()
{
    return logMessages(window.get());
}

std::vector<std::vector<std::uint8_t>> commandsSeen(const SimulatedProgrammer& device)
{
    std::vector<std::vector<std::uint8_t>> seen;
    for (const auto& command : device.receivedCommands())
        seen.push_back(command.bytes);
    return seen;
}

} // namespace talvex::test
