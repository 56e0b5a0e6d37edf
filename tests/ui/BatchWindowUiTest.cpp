#include "common/LockstepClock.h"
#include "firmware/UploadBench.h"
#include "firmware/UploadOutcome.h"
#include "sim/SimulatedBench.h"
#include "ui/UiBench.h"
#include "ui/batch/BatchForm.h"
#include "ui/batch/BatchTable.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialText.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace talvex;
using namespace talvex::test;

namespace {

// A bound on waiting for a batch, never a measure of it: in virtual time
// four uploads take a few seconds of processor time.
constexpr int kBatchWaitMs = 100000;

/// The bench of `--simulate=4` in virtual time shared by the batch's
/// threads, with the main window on top and a firmware file ready.
struct BatchWindowBench {
    LockstepClock clock;
    SimulatedBench bench;
    ApplicationContext context {bench.host(), clock, [] { QCoreApplication::processEvents(); }};
    RefusingPort noVersionServer;
    TempFolder folder;
    std::vector<std::uint8_t> image = patternImage();
    std::string firmware = folder.write("talvex-1.11.bin", image);
    // Last: its windows join their threads before the bench goes.
    std::unique_ptr<TForm3> mainWindow;

    explicit BatchWindowBench(int programmers = 4)
        : bench(clock, programmers)
    {
        context.setUsbSerialLibrary([library = bench.usbLibrary()] { return D2xxLoadResult {library, {}}; });
        VersionServer server;
        server.host = "127.0.0.1";
        server.port = noVersionServer.port();
        context.setVersionServer(server);
        mainWindow = std::make_unique<TForm3>(context);
        mainWindow->show();
    }

    BatchForm* openBatchWindow()
    {
        click(mainWindow.get(), "BatchButton");
        BatchForm* window = mainWindow->batchWindow();
        EXPECT_NE(window, nullptr);
        return window;
    }

    BatchForm* readyWindow(bool serialize)
    {
        BatchForm* window = openBatchWindow();
        child<QLineEdit>(window, "FirmwareEdit")->setText(QString::fromStdString(firmware));
        child<QCheckBox>(window, "SerializeBox")->setChecked(serialize);
        return window;
    }

    bool nothingTouched()
    {
        for (int i = 0; i < bench.programmerCount(); ++i) {
            if (!bench.programmer(i).receivedCommands().empty()
                || bench.simulatedHost().openAttempts(SimulatedBench::reader1Port(i)) != 0)
                return false;
        }
        return true;
    }
};

bool waitForEnd(BatchForm* window)
{
    return QTest::qWaitFor([window] { return !window->batchRunning(); }, kBatchWaitMs);
}

/// Holds virtual time still: an admitted thread that does not wait, so
/// every thread of the batch stays in its wait until release().
class ClockHold {
public:
    explicit ClockHold(LockstepClock& clock)
        : m_clock(clock)
    {
        m_clock.admitThreads(1);
        m_thread = std::thread([this] {
            m_clock.threadStarted();
            std::unique_lock lock(m_mutex);
            m_released.wait(lock, [this] { return m_free; });
            lock.unlock();
            m_clock.threadEnded();
        });
    }
    ~ClockHold() { release(); }

    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_free = true;
        }
        m_released.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    LockstepClock& m_clock;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_free = false;
    std::thread m_thread;
};

QString cell(BatchForm* window, int row, int column)
{
    const QTableWidgetItem* item = child<QTableWidget>(window, "ProgrammerTable")->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

// What the window makes of a batch (tests/batch runs the batch itself): one
// row per programmer, its cells, bar and verdict, the status line, the
// controls locked while it runs.
TEST(BatchWindow, StartShowsEachProgrammersRowVerdictAndTheOperatorsPrompts)
{
    BatchWindowBench b(2);
    b.bench.programmer(1).injectBlockFault(500, BlockFault::FlashError);
    // As an operator would: a detection first, then the batch.
    click(b.mainWindow.get(), "Button4");
    ASSERT_TRUE(b.mainWindow->programmerFound());
    BatchForm* window = b.readyWindow(true);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(b.mainWindow->isVisible());
    QStringList statuses;
    QObject::connect(window, &BatchForm::statusChanged, [&](const QString& status) { statuses << status; });

    click(window, "StartButton");
    EXPECT_TRUE(window->batchRunning());
    for (const char* name : {"StartButton", "FirmwareEdit", "SerializeBox", "BrowseButton"})
        EXPECT_FALSE(child<QWidget>(window, name)->isEnabled()) << name;
    ASSERT_TRUE(waitForEnd(window));

    const VerdictTexts flash = verdictTexts(UploadEnding::FlashError);
    const QString reason = QString::fromStdString(std::string(flash.upper) + flash.lower);
    auto* table = child<QTableWidget>(window, "ProgrammerTable");
    ASSERT_EQ(table->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        const std::string serial = SimulatedBench::serialNumberOf(row);
        const QString ports = QString::fromStdString(SimulatedBench::reader1Port(row) + "/" +
                                                     SimulatedBench::reader2Port(row));
        const QString usb = QStringLiteral("2-%1").arg(row + 1);
        EXPECT_EQ(cell(window, row, BatchTable::PositionColumn), QString::number(row + 1));
        EXPECT_EQ(cell(window, row, BatchTable::UsbColumn), usb);
        EXPECT_EQ(cell(window, row, BatchTable::PortsColumn), ports);
        EXPECT_EQ(cell(window, row, BatchTable::SerialColumn), QString::fromStdString(serial));
        EXPECT_EQ(cell(window, row, BatchTable::VersionBeforeColumn), QStringLiteral("1.10"));
        const QTableWidgetItem* verdict = table->item(row, BatchTable::VerdictColumn);
        if (row == 0) {
            EXPECT_EQ(cell(window, row, BatchTable::PhaseColumn), QStringLiteral("done"));
            EXPECT_EQ(verdict->text(), QStringLiteral("ok"));
            EXPECT_FALSE(cell(window, row, BatchTable::VersionAfterColumn).isEmpty());
            EXPECT_EQ(cell(window, row, BatchTable::UsbSerialColumn),
                      QString::fromStdString(*usbSerialFromProgrammerSerial(serial)));
            EXPECT_EQ(child<QProgressBar>(window, "RowProgress1")->value(), 100);
        } else {
            EXPECT_EQ(cell(window, row, BatchTable::PhaseColumn), QStringLiteral("failed"));
            EXPECT_EQ(verdict->text(), QStringLiteral("failed: ") + reason);
            EXPECT_EQ(verdict->toolTip(), reason);
            EXPECT_EQ(cell(window, row, BatchTable::UsbSerialColumn), QString());
        }
        // The status line asked for the operator's hands.
        const QString request =
            QStringLiteral("Unplug programmer %1 (USB %2, %3) and plug it in again.").arg(row + 1).arg(usb, ports);
        EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(),
                                [&](const QString& status) { return status.split(QLatin1Char('\n')).contains(request); }))
            << request.toStdString();
    }
    EXPECT_EQ(window->status(), QStringLiteral("1 of 2 programmers uploaded; 1 failed, see their rows."));
    for (const char* name : {"StartButton", "FirmwareEdit", "SerializeBox", "BrowseButton"})
        EXPECT_TRUE(child<QWidget>(window, name)->isEnabled()) << name;

    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(b.mainWindow->isVisible());
}

TEST(BatchWindow, ClosingIsRefusedWhileTheBatchRunsAndAcceptedAfter)
{
    BatchWindowBench b(2);
    BatchForm* window = b.readyWindow(false);
    std::optional<ClockHold> hold;
    hold.emplace(b.clock);
    click(window, "StartButton");
    ASSERT_TRUE(window->batchRunning());

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(shown(window, "CloseNotice"));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    // Nor does the main window go, which would take the batch with it.
    EXPECT_FALSE(b.mainWindow->close());
    EXPECT_TRUE(window->isVisible());

    hold.reset();
    ASSERT_TRUE(waitForEnd(window));
    EXPECT_EQ(window->status(), QStringLiteral("2 of 2 programmers uploaded."));
    EXPECT_FALSE(shown(window, "CloseNotice"));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(b.mainWindow->isVisible());
}

TEST(BatchWindow, DestroyedWhileTheBatchRunsItWaitsForTheWorkers)
{
    BatchWindowBench b(2);
    BatchForm* window = b.readyWindow(true);
    {
        ClockHold hold(b.clock);
        click(window, "StartButton");
        ASSERT_TRUE(window->batchRunning());
    }
    // The main window goes, and the batch window with it, mid-search.
    b.mainWindow.reset();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(b.bench.programmer(i).programmedImage(), b.image) << i;
        EXPECT_EQ(eepromString(b.bench.ftdi(i)->eeprom(), kSerialPointerWord),
                  *usbSerialFromProgrammerSerial(SimulatedBench::serialNumberOf(i)))
            << i;
    }
    // What the workers posted to the window went with it.
    QCoreApplication::processEvents();
}

TEST(BatchWindow, AStartThatCannotRunSaysWhyAndTouchesNothing)
{
    BatchWindowBench b(2);
    BatchForm* window = b.openBatchWindow();
    auto* edit = child<QLineEdit>(window, "FirmwareEdit");

    click(window, "StartButton");
    EXPECT_EQ(window->status(), QStringLiteral("Choose the firmware file first."));

    const QString missing = QString::fromStdString(b.folder.path("missing.bin"));
    edit->setText(missing);
    click(window, "StartButton");
    EXPECT_EQ(window->status(), missing + QStringLiteral(": file not found."));

    const QString hex = QString::fromStdString(b.folder.write("talvex-1.11.hex", b.image));
    edit->setText(hex);
    click(window, "StartButton");
    EXPECT_EQ(window->status(), hex + QStringLiteral(": not a .bin firmware file."));

    b.context.setUsbSerialLibrary([] { return D2xxLoadResult {nullptr, "ftd2xx.dll was not found"}; });
    edit->setText(QString::fromStdString(b.firmware));
    child<QCheckBox>(window, "SerializeBox")->setChecked(true);
    click(window, "StartButton");
    EXPECT_TRUE(window->status().startsWith(QStringLiteral("Serialize needs the FTDI library: ")))
        << window->status().toStdString();

    EXPECT_FALSE(window->batchRunning());
    EXPECT_TRUE(b.nothingTouched());
    EXPECT_EQ(child<QTableWidget>(window, "ProgrammerTable")->rowCount(), 0);
    EXPECT_TRUE(child<QWidget>(window, "StartButton")->isEnabled());
}

TEST(BatchWindow, NoProgrammerFoundIsSaidAndTheWindowStaysUsable)
{
    LockstepClock clock;
    SimulatedPortHost host {clock};
    ApplicationContext context {host, clock};
    TempFolder folder;
    BatchForm window(context, nullptr);
    window.show();
    child<QLineEdit>(&window, "FirmwareEdit")->setText(QString::fromStdString(folder.write("f.bin", patternImage())));
    click(&window, "StartButton");
    ASSERT_TRUE(waitForEnd(&window));
    EXPECT_EQ(window.status(), QStringLiteral("Nothing was uploaded: no programmer was found."));
    EXPECT_EQ(child<QTableWidget>(&window, "ProgrammerTable")->rowCount(), 0);
    EXPECT_TRUE(child<QWidget>(&window, "StartButton")->isEnabled());
    EXPECT_TRUE(window.close());
}
