#include "serial/ReaderPortOperations.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(ReaderPortOperations, OpenAndCloseGiveTheirResultTexts)
{
    test::SimBench bench;
    bench.addProgrammer("COM3", "COM4");
    bench.addSilent("COM5");
    bench.host.markBusy("COM5");
    PortSlot& a = bench.context.ports().a;
    PortSlot& b = bench.context.ports().b;

    EXPECT_EQ(openReaderPort(a, bench.host, std::nullopt).status(), Status::BadInput);
    EXPECT_EQ(openReaderPort(a, bench.host, "COM5").status(), Status::Busy);
    EXPECT_EQ(openReaderPort(a, bench.host, "COM9").status(), Status::Gone);
    EXPECT_FALSE(a.isOpen());

    EXPECT_TRUE(openReaderPort(a, bench.host, "COM3"));
    EXPECT_TRUE(openReaderPort(b, bench.host, "COM4"));
    EXPECT_EQ(a.currentSettings()->baudRate, 115200u);
    // A port held by slot A cannot be opened again into slot B.
    PortSlot other;
    EXPECT_EQ(openReaderPort(other, bench.host, "COM3").status(), Status::Busy);

    const TimePoint before = bench.clock.now();
    EXPECT_TRUE(closeReaderPort(a, bench.clock));
    EXPECT_EQ(bench.clock.now() - before, Millis(500));
    EXPECT_FALSE(a.isOpen());
    // Closing what is not open is refused at once.
    const TimePoint again = bench.clock.now();
    EXPECT_FALSE(closeReaderPort(a, bench.clock));
    EXPECT_EQ(bench.clock.now(), again);
    EXPECT_TRUE(b.isOpen());
}

TEST(ReaderPortOperations, SetPortParametersPrintsOldAndNewSettings)
{
    test::SimBench bench;
    bench.addProgrammer("COM3", "COM4");
    PortSlot& a = bench.context.ports().a;
    ASSERT_TRUE(openReaderPort(a, bench.host, "COM3"));

    const PortParametersResult changed = setPortParameters(a, "9600", "E", "8", "2");
    EXPECT_TRUE(changed.applied);
    EXPECT_EQ(changed.printout,
              "\r\n\r\nOld COM port settings:\r\nBaudRate: 115200\r\nParity: NO PARITY\r\nNumber of Bits: 8"
              "\r\nStopBits: 1"
              "\r\n\r\nNew COM port settings:\r\nBaudRate: 9600\r\nParity: EVEN\r\nNumber of Bits: 8"
              "\r\nStopBits: 2");

    const PortParametersResult refused = setPortParameters(a, "fast", "N", "8", "1");
    EXPECT_FALSE(refused.applied);
    EXPECT_NE(refused.printout.find("New COM port settings:\r\nBaudRate: 9600"), std::string::npos);
}

TEST(ReaderPortOperations, ModeStringsParseAsTheWindowsSyntax)
{
    const auto normal = parseModeString("115200,N,8,1");
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->baudRate, 115200u);
    EXPECT_EQ(normal->parity, Parity::None);
    const auto odd = parseModeString("9600,o,7,1.5");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->parity, Parity::Odd);
    EXPECT_EQ(odd->dataBits, 7);
    EXPECT_EQ(odd->stopBits, StopBits::OneAndHalf);
    EXPECT_FALSE(parseModeString("115200,N,8"));
    EXPECT_FALSE(parseModeString("115200,X,8,1"));
    EXPECT_FALSE(parseModeString("0,N,8,1"));
    EXPECT_FALSE(parseModeString("115200,N,9,1"));
}
