#include "firmware/UploadBench.h"
#include "protocol/CommandText.h"
#include "sim/SimulatedCards.h"
#include "ui/UiBench.h"
#include "ui/cardtool/AtrView.h"
#include "ui/cardtool/TForm1.h"
#include "ui/cardtool/TRead.h"
#include "ui/common/LogPane.h"

#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QPlainTextEdit>

#include <fstream>

using namespace talvex;
using namespace talvex::test;
using Bytes = std::vector<std::uint8_t>;

namespace {

/// The smartcard tool on a bench with the programmer on COM3/COM4 and a
/// silent port on COM1, its lists filled by its own scan.
struct ToolBench : UiBench {
    std::shared_ptr<SimulatedProgrammer> device;
    QWidget mainWindow;
    std::unique_ptr<TForm1> tool;

    ToolBench()
    {
        addSilent("COM1");
        device = addProgrammer("COM3", "COM4");
        mainWindow.show();
        tool = std::make_unique<TForm1>(context, &mainWindow, true);
        tool->show();
    }

    void select(const char* list, const QString& port)
    {
        auto* box = child<QComboBox>(tool.get(), list);
        box->setCurrentIndex(box->findText(port));
    }

    void connectReader1()
    {
        select("ComboBox1", QStringLiteral("COM3"));
        click(tool.get(), "Button1");
    }

    QString pane(const char* name) { return child<LogPane>(tool.get(), name)->logText(); }

    double opacity(const char* picture)
    {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(child<QLabel>(tool.get(), picture)->graphicsEffect());
        return effect ? effect->opacity() : -1;
    }

    bool waitUntil(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 5000); }
};

} // namespace

TEST(SmartcardTool, ListsPortsAndConnectsEachReader)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    EXPECT_EQ(tool->windowTitle(), QStringLiteral("Talvex tool V 1.1.00"));
    EXPECT_FALSE(bench.mainWindow.isVisible());
    auto* list1 = child<QComboBox>(tool, "ComboBox1");
    ASSERT_EQ(list1->count(), 3);
    EXPECT_EQ(list1->currentIndex(), -1);
    EXPECT_EQ(child<QComboBox>(tool, "ComboBox2")->count(), 3);

    // No selection: only the request to choose.
    click(tool, "Button1");
    EXPECT_EQ(bench.pane("Memo2"), QStringLiteral("Please, select a valid COM Port...\r\n"));
    EXPECT_EQ(text(tool, "Button1"), QStringLiteral("Connect"));
    EXPECT_EQ(tool->readerThread(), nullptr);

    bench.connectReader1();
    EXPECT_TRUE(bench.pane("Memo2").endsWith(QStringLiteral("COM3 Port opened successfully!\r\n")));
    EXPECT_EQ(text(tool, "Button1"), QStringLiteral("Disconnect"));
    EXPECT_FALSE(list1->isEnabled());
    for (const char* name : {"Button8", "Button3", "Button11", "Label4", "Memo1"})
        EXPECT_TRUE(shown(tool, name)) << name;
    EXPECT_TRUE(child<QPushButton>(tool, "Button7")->isEnabled());
    TRead* thread = tool->readerThread();
    ASSERT_NE(thread, nullptr);

    bench.select("ComboBox2", QStringLiteral("COM4"));
    click(tool, "Button12");
    EXPECT_TRUE(shown(tool, "Button13"));
    EXPECT_EQ(tool->readerThread(), thread); // one thread for both opens

    // A port another program holds.
    bench.host.markBusy("COM1");
    click(tool, "Button12");
    bench.select("ComboBox2", QStringLiteral("COM1"));
    click(tool, "Button12");
    EXPECT_TRUE(bench.pane("Memo2").contains(QStringLiteral("ERROR: COM1 Port open error!\r\n")));

    click(tool, "Button1");
    EXPECT_TRUE(bench.pane("Memo2").contains(QStringLiteral("COM3 Port closed successfully!\r\n")));
    EXPECT_FALSE(shown(tool, "Button8"));
    EXPECT_FALSE(child<QPushButton>(tool, "Button7")->isEnabled());
    EXPECT_FALSE(bench.context.ports().a.isOpen());
}

TEST(SmartcardTool, ReaderThreadShowsCardPresenceAndHonoursTheInvertedReader)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    bench.connectReader1();
    bench.select("ComboBox2", QStringLiteral("COM4"));
    click(tool, "Button12");
    EXPECT_FALSE(shown(tool, "Label5"));
    EXPECT_DOUBLE_EQ(bench.opacity("Image1"), 0.2);

    bench.device->setCardPresent(1, true);
    EXPECT_TRUE(bench.waitUntil([&] { return shown(tool, "Label5"); }));
    EXPECT_DOUBLE_EQ(bench.opacity("Image1"), 1.0);
    EXPECT_TRUE(tool->readerThread()->cardPresent(1));
    bench.device->setCardPresent(1, false);
    EXPECT_TRUE(bench.waitUntil([&] { return !shown(tool, "Label5"); }));
    EXPECT_DOUBLE_EQ(bench.opacity("Image1"), 0.2);

    // Reader 2's line stays clear; inverting shows a card there, only there.
    child<QCheckBox>(tool, "CheckBox1")->setChecked(true);
    EXPECT_TRUE(bench.waitUntil([&] { return shown(tool, "Label6"); }));
    EXPECT_DOUBLE_EQ(bench.opacity("Image2"), 1.0);
    EXPECT_FALSE(shown(tool, "Label5"));
    bench.device->setCardPresent(2, true);
    EXPECT_TRUE(bench.waitUntil([&] { return !shown(tool, "Label6"); }));

    // A closed port has no card, inverted or not.
    click(tool, "Button12");
    bench.device->setCardPresent(2, false);
    QTest::qWait(100);
    EXPECT_FALSE(shown(tool, "Label6"));
    EXPECT_FALSE(tool->readerThread()->cardPresent(2));
}

TEST(SmartcardTool, AnUnpluggedProgrammerIsSaidOnceInTheLog)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    bench.connectReader1();
    bench.device->setCardPresent(1, true);
    ASSERT_TRUE(bench.waitUntil([&] { return shown(tool, "Label5"); }));

    bench.device->setPlugged(false);
    const QString said = QStringLiteral("ERROR: the programmer was unplugged (reader 1). Plug it in again and "
                                        "connect the reader again.\r\n");
    EXPECT_TRUE(bench.waitUntil([&] { return bench.pane("Memo2").endsWith(said); }));
    EXPECT_TRUE(bench.waitUntil([&] { return !shown(tool, "Label5"); }));
    QTest::qWait(100);
    EXPECT_EQ(bench.pane("Memo2").count(said), 1);
}

TEST(SmartcardTool, ThreadProbeAndQuitStopTheThreadBeforeThePortsClose)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    click(tool, "Button18");
    EXPECT_TRUE(bench.pane("Memo2").endsWith(QStringLiteral("Thread: NOT ACTIVE\r\n")));
    bench.connectReader1();
    TRead* thread = tool->readerThread();
    ASSERT_TRUE(bench.waitUntil([&] { return thread->threadAlive(); }));
    click(tool, "Button17");
    ASSERT_TRUE(bench.waitUntil([&] { return thread->threadAlive(); }));
    click(tool, "Button18");
    EXPECT_TRUE(bench.pane("Memo2").endsWith(QStringLiteral("Thread: Active\r\n")));

    bench.select("ComboBox2", QStringLiteral("COM4"));
    click(tool, "Button12");
    click(tool, "Button6");
    EXPECT_TRUE(thread->isFinished());
    EXPECT_TRUE(bench.pane("Memo2").endsWith(QStringLiteral("Thread TERMINATED!!\r\n")));
    EXPECT_FALSE(bench.context.ports().a.isOpen());
    EXPECT_FALSE(bench.context.ports().b.isOpen());
    EXPECT_FALSE(tool->isVisible());
    EXPECT_FALSE(bench.mainWindow.isVisible());
}

TEST(SmartcardTool, EscapeClosesTheToolAsItsCloseBoxDoes)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    bench.connectReader1();
    TRead* thread = tool->readerThread();
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(bench.waitUntil([&] { return thread->isRunning(); }));
    bench.select("ComboBox2", QStringLiteral("COM4"));
    click(tool, "Button12");
    ASSERT_TRUE(bench.context.ports().b.isOpen());

    QTest::keyClick(tool, Qt::Key_Escape);
    EXPECT_FALSE(tool->isVisible());
    EXPECT_TRUE(thread->isFinished());
    EXPECT_FALSE(bench.context.ports().a.isOpen());
    EXPECT_FALSE(bench.context.ports().b.isOpen());
    EXPECT_TRUE(bench.mainWindow.isVisible());
}

TEST(SmartcardTool, ScanningViewsAndTheResetLine)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    click(tool, "SpeedButton1");
    EXPECT_EQ(child<QComboBox>(tool, "ComboBox1")->count(), 3);
    EXPECT_EQ(child<QComboBox>(tool, "ComboBox2")->count(), 3);

    // Reader 2 alone connected: no scan, and its port stays chosen.
    bench.select("ComboBox2", QStringLiteral("COM4"));
    click(tool, "Button12");
    const QString alone = bench.pane("Memo2");
    click(tool, "SpeedButton1");
    EXPECT_EQ(bench.pane("Memo2"),
              alone + QStringLiteral("WARNING: Please disconnect all active ports before scanning!\r\n"));
    EXPECT_EQ(child<QComboBox>(tool, "ComboBox2")->currentText(), QStringLiteral("COM4"));
    click(tool, "Button12");
    EXPECT_TRUE(bench.pane("Memo2").endsWith(QStringLiteral("COM4 Port closed successfully!\r\n")));
    EXPECT_FALSE(bench.context.ports().b.isOpen());

    bench.connectReader1();
    const QString before = bench.pane("Memo2");
    click(tool, "SpeedButton1");
    EXPECT_EQ(bench.pane("Memo2"),
              before + QStringLiteral("WARNING: Please disconnect all active ports before scanning!\r\n"));
    EXPECT_EQ(child<QComboBox>(tool, "ComboBox1")->count(), 3);

    click(tool, "Button7");
    EXPECT_EQ(text(tool, "Button7"), QStringLiteral("Smartcard"));
    for (const char* name : {"Button10", "Button9", "Button5", "Button4", "Button2", "Memo1"})
        EXPECT_TRUE(shown(tool, name)) << name;
    EXPECT_FALSE(shown(tool, "Button8"));

    bench.device->clearReceivedCommands();
    click(tool, "Button4");
    click(tool, "Button4");
    EXPECT_EQ(bench.pane("Memo1"), QStringLiteral("RTS = 0\r\nRTS = 1\r\n"));
    const auto lines = bench.device->lineChanges();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines[lines.size() - 2].rts);
    EXPECT_FALSE(lines.back().rts);

    click(tool, "Button9");
    EXPECT_TRUE(bench.pane("Memo1").contains(QStringLiteral("New COM port settings:\r\nBaudRate: 230400")));
    EXPECT_EQ(bench.context.ports().a.currentSettings()->baudRate, 230400u);

    click(tool, "Button7");
    EXPECT_EQ(text(tool, "Button7"), QStringLiteral("Settings"));
    EXPECT_FALSE(shown(tool, "Button8"));
    EXPECT_FALSE(shown(tool, "Button10"));
    EXPECT_TRUE(shown(tool, "Button11"));
    EXPECT_TRUE(bench.pane("Memo1").isEmpty());
}

TEST(SmartcardTool, AtrAfterAResetPulseAndTheTestFrames)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    bench.device->setCardAtr(1, {0x3B, 0x00});
    bench.connectReader1();
    // Without a card nothing is asked and no line moves.
    bench.device->clearReceivedCommands();
    click(tool, "Button8");
    EXPECT_EQ(bench.pane("Memo1"), QStringLiteral("ERROR: Please insert Smartcard!\r\n"));
    EXPECT_TRUE(bench.device->lineChanges().empty());

    bench.device->setCardPresent(1, true);
    ASSERT_TRUE(bench.waitUntil([&] { return tool->readerThread()->cardPresent(1); }));
    click(tool, "Button8");
    EXPECT_TRUE(bench.pane("Memo1").endsWith(QStringLiteral("ATR: 3B00\r\n")));
    // A card that stays silent: the reset sends nothing back.
    bench.device->setCardAtr(1, {});
    click(tool, "Button8");
    EXPECT_TRUE(bench.pane("Memo1").endsWith(QStringLiteral("ERROR: NO ATR from Smartcard\r\n")));

    bench.device->setCardAtr(1, {0x3B, 0x02, 0x14, 0x50});
    click(tool, "Button3");
    bench.device->clearReceivedCommands();
    click(tool, "Button11");
    // The frames' bytes and waits are TraceCardTool's; here what the pane shows.
    EXPECT_EQ(bench.device->receivedCommands().size(), 5u);
    const QString log = bench.pane("Memo1");
    EXPECT_TRUE(log.startsWith(QStringLiteral("Answer lenght: 7 bytes.\r\nReceived: 010202039000AD\r\n")))
        << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("Answer lenght: 7 bytes.")), 5);
    EXPECT_TRUE(log.endsWith(QStringLiteral("\r\n\r\nAnswer lenght: 7 bytes.\r\nReceived: 01020E039000A1")))
        << log.toStdString();
}

TEST(SmartcardTool, TestCommandsOnReaderOne)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    bench.connectReader1();
    click(tool, "Button7");
    click(tool, "Button5");
    EXPECT_TRUE(bench.pane("Memo1").startsWith(QStringLiteral("Answer lenght: 32 bytes.\r\nReceived: 00")));
    click(tool, "Button7"); // back to the card view, then the test view again:
    click(tool, "Button7"); // each switch empties the pane
    click(tool, "Button10");
    EXPECT_EQ(bench.pane("Memo1"), QStringLiteral("Received:4\r\nReceived:0\r\n"));
    click(tool, "Button2");
    EXPECT_TRUE(bench.pane("Memo1").endsWith(QStringLiteral("Received:2\r\nReceived:0\r\n")));
    EXPECT_EQ(bench.device->readerSettings(1).clockHz, 4800000u);
}

TEST(SmartcardTool, AtrIsDecodedUnderItsBytesAndTheReportGoesToTheClipboard)
{
    ToolBench bench;
    TForm1* tool = bench.tool.get();
    tool->setProgrammerInfo(QStringLiteral("FROM-THE-LABEL"), QStringLiteral("0.00"));
    bench.device->setFirmwareVersion(2, 7);
    SimulatedProgrammer::ReaderSettings settings;
    settings.clockHz = 3430000;
    settings.speedCode = 0x00; // 9600 baud: 3.43 MHz / 372 is within reach
    bench.device->setReaderSettings(1, settings);
    const std::vector<std::uint8_t> dual = simulatedCardAtr(SimCardShape::T0AndT1);
    bench.device->setCardAtr(1, dual);
    bench.device->setCardAtr(2, simulatedCardAtr(SimCardShape::Inverse));
    bench.device->setCardPresent(1, true);
    bench.device->setCardPresent(2, true);

    test::TempFolder folder;
    const std::string list = folder.path("smartcard_list.txt");
    std::ofstream(list) << "3B 95 96 80 01 .. .. .. .. .. ..\n\tSimulated dual-protocol card\n";
    for (const char* view : {"AtrView1", "AtrView2"})
        child<AtrView>(tool, view)->setCardListPaths({list});

    bench.connectReader1();
    bench.select("ComboBox2", QStringLiteral("COM4"));
    click(tool, "Button12");
    ASSERT_TRUE(bench.waitUntil([&] { return tool->readerThread()->cardPresent(2); }));
    EXPECT_FALSE(shown(tool, "AtrDecoded1"));

    click(tool, "Button8");
    EXPECT_EQ(bench.pane("Memo1"), QStringLiteral("ATR: ") + QString::fromStdString(toHexText(dual)) + "\r\n");
    ASSERT_TRUE(shown(tool, "AtrDecoded1"));
    const QString decoded = child<QPlainTextEdit>(tool, "AtrDecoded1")->toPlainText();
    for (const char* line : {"Card: Simulated dual-protocol card", "TA1: 96: Fi=9 (F=512, max 5 MHz), Di=6 (D=32)",
                             "Protocols: T=0, T=1", "TCK: ", ": correct", "  Clock: 3.43 MHz", "  Speed: 9600 baud",
                             "Verdict: the card port's 9600 baud suits the card"})
        EXPECT_TRUE(decoded.contains(QString::fromLatin1(line))) << line << "\n" << decoded.toStdString();

    // The report names the programmer as its own identity says, not the label.
    QGuiApplication::clipboard()->clear();
    click(tool, "CopyReport1");
    const QString report = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(report.contains(QStringLiteral("Programmer serial number: 0123456789ABCDEF0123456789ABCDEF")));
    EXPECT_TRUE(report.contains(QStringLiteral("Firmware version: 2.07")));
    EXPECT_TRUE(report.endsWith(decoded)) << report.toStdString();

    // Reader 2's card is decoded under its own bytes.
    click(tool, "Button13");
    EXPECT_TRUE(child<QPlainTextEdit>(tool, "AtrDecoded2")->toPlainText().contains(QStringLiteral("Card: unknown card")));

    // A card that stays silent hides the last decoding; so does a disconnect.
    bench.device->setCardAtr(1, {});
    click(tool, "Button8");
    EXPECT_FALSE(shown(tool, "AtrDecoded1"));
    EXPECT_TRUE(shown(tool, "AtrDecoded2"));
    click(tool, "Button12");
    EXPECT_FALSE(shown(tool, "AtrDecoded2"));
}
