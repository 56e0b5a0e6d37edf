#pragma once

#include "support/SimBench.h"
#include "update/LoopbackServer.h"
#include "ui/main/TForm3.h"
#include "ui/settings/TForm4.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>

// Failure messages show a text as text, not as its UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace talvex::test {

/// The simulated bench with the windows on top, in virtual time.
struct UiBench : SimBench {
    // The version check after a detection goes to a loopback port that
    // refuses at once, unless a test serves versions itself.
    RefusingPort noVersionServer;

    UiBench()
    {
        context.setPump([] { QCoreApplication::processEvents(); });
        useVersionServer(noVersionServer.port());
    }

    void useVersionServer(std::uint16_t port)
    {
        VersionServer server;
        server.host = "127.0.0.1";
        server.port = port;
        server.connectTimeout = std::chrono::milliseconds(2000);
        server.receiveTimeout = std::chrono::milliseconds(2000);
        context.setVersionServer(server);
    }
};

/// Answers every modal message box that opens while it lives, as a user
/// pressing OK would, and keeps their texts.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer();
    QStringList texts;

private:
    QTimer m_timer;
};

/// Serves one version reply naming these versions.
inline std::unique_ptr<LoopbackServer> serveVersions(const std::string& reply)
{
    return std::make_unique<LoopbackServer>(
        LoopbackServer::answering("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + reply));
}

template <typename T>
T* child(QWidget* root, const char* name)
{
    T* widget = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

inline QString text(QWidget* root, const char* name)
{
    if (auto* label = root->findChild<QLabel*>(QString::fromLatin1(name)))
        return label->text();
    if (auto* button = root->findChild<QAbstractButton*>(QString::fromLatin1(name)))
        return button->text();
    ADD_FAILURE() << "no text control " << name;
    return {};
}

inline bool shown(QWidget* root, const char* name)
{
    QWidget* widget = root->findChild<QWidget*>(QString::fromLatin1(name));
    return widget && widget->isVisible();
}

/// Clicks as a user could: only a visible, enabled control.
inline void click(QWidget* root, const char* name)
{
    auto* widget = root->findChild<QAbstractButton*>(QString::fromLatin1(name));
    ASSERT_NE(widget, nullptr) << name;
    ASSERT_TRUE(widget->isVisible()) << name << " is hidden";
    ASSERT_TRUE(widget->isEnabled()) << name << " is disabled";
    QTest::mouseClick(widget, Qt::LeftButton);
}

inline void check(QWidget* root, const char* name)
{
    auto* radio = child<QAbstractButton>(root, name);
    ASSERT_TRUE(radio->isEnabled()) << name;
    radio->setChecked(true);
}

inline bool isChecked(QWidget* root, const char* name)
{
    auto* button = root->findChild<QAbstractButton*>(QString::fromLatin1(name));
    return button && button->isChecked();
}

/// The log's lines without their "hh:mm:ss " stamps.
QStringList logMessages(QWidget* window);

/// The bytes of each command the device received.
std::vector<std::vector<std::uint8_t>> commandsSeen(const SimulatedProgrammer& device);

/// A settings window opened on one port, as the main window opens it, over
/// a programmer of one build on COM3/COM4.
struct SettingsWindowBench : UiBench {
    std::shared_ptr<SimulatedProgrammer> device;
    QWidget mainWindow;
    std::unique_ptr<TForm4> window;

    explicit SettingsWindowBench(SpeedVariant variant = SpeedVariant::Normal, const char* port = "COM3")
    {
        device = addProgrammer("COM3", "COM4", variant);
        context.detection().variant = variant;
        mainWindow.show();
        open(port);
    }

    /// A new window on the port; it takes the context as it is now.
    void open(const char* port)
    {
        window = std::make_unique<TForm4>(context, &mainWindow);
        window->setPorts({QString::fromLatin1(port)}, true);
        window->show();
    }

    void connect()
    {
        click(window.get(), "Button1");
        device->clearReceivedCommands();
    }

    QTabWidget* tabs() { return child<QTabWidget>(window.get(), "TabControl1"); }

    /// Brings a tab to the front, as a click on an enabled tab would.
    void showTab(int tab)
    {
        ASSERT_TRUE(tabs()->isTabEnabled(tab)) << tab;
        tabs()->setCurrentIndex(tab);
    }

    std::vector<int> enabledTabs()
    {
        std::vector<int> enabled;
        for (int tab = 0; tab < tabs()->count(); ++tab) {
            if (tabs()->isTabEnabled(tab))
                enabled.push_back(tab);
        }
        return enabled;
    }

    QStringList log() { return logMessages(window.get()); }
};

} // namespace talvex::test
