#include "serial/NativePortHost.h"
#include "serial/PosixPortHost.h"
#include "support/Pty.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace talvex {
namespace {

// Bounds how long the test waits for the far side, so a broken port fails
// the test instead of hanging it; nothing asserts on elapsed time.
constexpr int kGuardMs = 2000;

/// The test plays the device on the pty's master side. A second slave
/// descriptor, opened before the port, lets the test watch the slave's
/// termios while the port holds it exclusively.
class PosixSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_slavePath = m_pty.slave();
        m_witness = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(m_witness, 0) << std::strerror(errno);
    }
    void TearDown() override { ::close(m_witness); }

    std::unique_ptr<SerialPort> openPort(const std::string& mode = "115200,N,8,1")
    {
        OpenResult result = m_host.open(m_slavePath, mode);
        EXPECT_TRUE(result) << result.failure().detail;
        return std::move(*result);
    }

    void writeMaster(const std::vector<std::uint8_t>& bytes)
    {
        ASSERT_EQ(::write(m_pty.master(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    /// What the port sent, up to `count` bytes.
    std::vector<std::uint8_t> readMaster(std::size_t count)
    {
        std::vector<std::uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd pfd{m_pty.master(), POLLIN, 0};
            if (::poll(&pfd, 1, kGuardMs) <= 0)
                break;
            std::uint8_t chunk[512];
            const ssize_t n = ::read(m_pty.master(), chunk, std::min(sizeof chunk, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

    /// Reads through the port until `count` bytes came or a read was silent.
    static std::vector<std::uint8_t> readPort(SerialPort& port, std::size_t count)
    {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        while (got < count) {
            const std::size_t n = port.read(bytes.data() + got, count - got).count;
            if (n == 0)
                break;
            got += n;
        }
        bytes.resize(got);
        return bytes;
    }

    termios witnessTermios() const
    {
        termios tio{};
        EXPECT_EQ(::tcgetattr(m_witness, &tio), 0);
        return tio;
    }

    test::Pty m_pty;
    PosixPortHost m_host;
    int m_witness = -1;
    std::string m_slavePath;
};

std::vector<std::uint8_t> pattern(std::size_t length, unsigned seed)
{
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0xFF);
    return bytes;
}

TEST_F(PosixSerialPortTest, BytesFlowBothWaysInOrder)
{
    auto port = openPort();
    ASSERT_TRUE(port);

    std::uint8_t buffer[64];
    EXPECT_EQ(port->read(buffer, sizeof buffer).status, Status::TimedOut) << "silent line";

    // Device to port, including CR, LF and control bytes raw mode must keep.
    const std::vector<std::uint8_t> answer = {'O', 'K', '\r', '\n', 0x00, 0x03, 0x11, 0x13, 0x7F, 0xFF};
    writeMaster(answer);
    EXPECT_EQ(readPort(*port, answer.size()), answer);

    // A short buffer takes what fits; the rest waits for the next read.
    const auto ten = pattern(10, 1);
    writeMaster(ten);
    std::uint8_t small[4] = {};
    ASSERT_EQ(port->read(small, sizeof small).count, 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(small, small + 4),
              std::vector<std::uint8_t>(ten.begin(), ten.begin() + 4));
    EXPECT_EQ(readPort(*port, 6), std::vector<std::uint8_t>(ten.begin() + 4, ten.end()));
    EXPECT_EQ(port->read(buffer, sizeof buffer).count, 0u);

    // Port to device: a block larger than one tty chunk, then single bytes.
    const auto block = pattern(3000, 5);
    ASSERT_TRUE(port->writeBlock(block.data(), block.size()));
    ASSERT_TRUE(port->sendByte(0xA5));
    ASSERT_TRUE(port->sendByte('\n'));
    auto expected = block;
    expected.push_back(0xA5);
    expected.push_back('\n');
    EXPECT_EQ(readMaster(expected.size()), expected);
}

TEST_F(PosixSerialPortTest, ModeIsAppliedAndOriginalRestored)
{
    // A distinctive starting state for the port to put back.
    termios original = witnessTermios();
    original.c_lflag |= ICANON | ECHO;
    original.c_cflag = (original.c_cflag & ~CSIZE) | CS7 | PARENB;
    original.c_cc[VMIN] = 1;
    ASSERT_EQ(::cfsetispeed(&original, B4800), 0);
    ASSERT_EQ(::cfsetospeed(&original, B4800), 0);
    ASSERT_EQ(::tcsetattr(m_witness, TCSANOW, &original), 0);
    original = witnessTermios();

    auto port = openPort("9600,N,8,1");
    ASSERT_TRUE(port);
    termios applied = witnessTermios();
    EXPECT_EQ(::cfgetospeed(&applied), B9600);
    EXPECT_EQ(::cfgetispeed(&applied), B9600);
    EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(applied.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(applied.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(applied.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(applied.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(applied.c_oflag & OPOST, 0u);
    EXPECT_EQ(applied.c_cc[VMIN], 0);
    EXPECT_EQ(applied.c_cc[VTIME], 0);
    EXPECT_EQ(port->currentSettings(), (LineSettings{9600, Parity::None, 8, StopBits::One}));

    // A pty keeps speed and stop bits but forces 8 bits without parity, so
    // those two are checked against what the line really holds.
    for (const char* mode : {"19200,E,7,2", "57600,O,6,1", "1200,N,5,1.5", "2400,S,8,1",
                             "4800,M,7,1", "230400,N,8,2", "115200,N,8,1"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(port->applyMode(mode));
        const LineSettings wanted = *parseModeString(mode);
        const LineSettings now = port->currentSettings();
        const termios line = witnessTermios();
        EXPECT_EQ(now.baudRate, wanted.baudRate);
        EXPECT_EQ(now.stopBits == StopBits::One, wanted.stopBits == StopBits::One);
        EXPECT_EQ((line.c_cflag & CSTOPB) != 0, wanted.stopBits != StopBits::One);
        EXPECT_EQ(now.parity == Parity::None, (line.c_cflag & PARENB) == 0);
        const int sizes[] = {5, 6, 7, 8};
        const tcflag_t sizeFlags[] = {CS5, CS6, CS7, CS8};
        for (int i = 0; i < 4; ++i) {
            if ((line.c_cflag & CSIZE) == sizeFlags[i]) {
                EXPECT_EQ(now.dataBits, sizes[i]);
            }
        }
    }
    applied = witnessTermios();
    EXPECT_EQ(::cfgetospeed(&applied), B115200);

    // Refused modes leave the line as it was.
    for (const char* mode : {"", "fast", "9600,N,8", "9600,X,8,1", "9601,N,8,1",
                             "9600,N,8,1.5", "9600,N,5,2"}) {
        SCOPED_TRACE(mode);
        EXPECT_FALSE(port->applyMode(mode));
        EXPECT_EQ(port->currentSettings(), (LineSettings{115200, Parity::None, 8, StopBits::One}));
    }

    port.reset();
    const termios restored = witnessTermios();
    EXPECT_EQ(::cfgetospeed(&restored), B4800);
    EXPECT_EQ(restored.c_iflag, original.c_iflag);
    EXPECT_EQ(restored.c_oflag, original.c_oflag);
    EXPECT_EQ(restored.c_cflag, original.c_cflag);
    EXPECT_EQ(restored.c_lflag, original.c_lflag);
    EXPECT_EQ(restored.c_cc[VMIN], 1);
}

TEST_F(PosixSerialPortTest, OpenIsExclusiveAndFailuresSayWhy)
{
    auto first = openPort();
    ASSERT_TRUE(first);

    // Another host in the same process is kept out as the contract's own is.
    PosixPortHost otherHost;
    const OpenResult second = otherHost.open(m_slavePath, "9600,N,8,1");
    EXPECT_EQ(second.failure().status, Status::Busy);
    EXPECT_NE(second.failure().detail.find(m_slavePath), std::string::npos) << second.failure().detail;
    first.reset();

    // A mode the port cannot take fails the open and leaves nothing locked
    // behind (the contract tests a malformed one).
    OpenResult unsupported = m_host.open(m_slavePath, "12345,N,8,1");
    EXPECT_EQ(unsupported.failure().status, Status::Other);
    EXPECT_TRUE(openPort());
    const std::string missing = "/nonexistent-talvex-dir/ttyUSB99";
    EXPECT_EQ(m_host.open(missing, "115200,N,8,1").failure().detail, missing + ": " + std::strerror(ENOENT));

    // A plain file opens fine as a file but is no serial port.
    char dir[] = "/tmp/talvex-posix-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string plain = std::string(dir) + "/ttyUSB0";
    std::ofstream(plain) << "x";
    OpenResult notTty = m_host.open(plain, "115200,N,8,1");
    EXPECT_FALSE(notTty);
    EXPECT_EQ(notTty.failure().status, Status::Other);
    EXPECT_NE(notTty.failure().detail.find(plain), std::string::npos);
    EXPECT_NE(notTty.failure().detail.find("not a serial port"), std::string::npos);
    std::filesystem::remove_all(dir);

    // The errno mapping the open relies on.
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", ENODEV).status, Status::Gone);
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", ENXIO).status, Status::Gone);
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", EACCES).status, Status::Denied);
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", EPERM).status, Status::Denied);
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", EBUSY).status, Status::Busy);
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", EWOULDBLOCK).status, Status::Busy);
    EXPECT_EQ(PosixPortHost::errorFromErrno("p", EIO).status, Status::Other);
    EXPECT_EQ(PosixPortHost::errorFromErrno("/dev/ttyUSB0", EACCES).detail,
              std::string("/dev/ttyUSB0: ") + std::strerror(EACCES));
}

TEST_F(PosixSerialPortTest, LineCallsFailQuietlyAndAStalledOrVanishedDeviceDoesNotHang)
{
    auto port = openPort();
    ASSERT_TRUE(port);
    // A pseudo-terminal has no modem lines.
    EXPECT_FALSE(port->setDtr(true));
    EXPECT_FALSE(port->setRts(false));
    EXPECT_EQ(port->modemStatus().value_or(0) & ~0xF0u, 0u) << "only CTS, DSR, RI and DCD bits";

    // Nobody reads the master: once the pty buffer is full, the write gives up.
    const auto flood = pattern(1 << 20, 9);
    EXPECT_FALSE(port->writeBlock(flood.data(), flood.size()));

    // The line still reads after the failed write.
    writeMaster({1, 2, 3});
    EXPECT_EQ(readPort(*port, 3), (std::vector<std::uint8_t>{1, 2, 3}));

    // The device vanishes: the kernel hangs the slave up.
    m_pty.closeMaster();

    // Reads after it are the contract's.
    EXPECT_FALSE(port->sendByte(0x55));
    const std::uint8_t block[] = {1, 2, 3, 4};
    EXPECT_FALSE(port->writeBlock(block, sizeof block));
    EXPECT_EQ(port->modemStatus().value_or(0) & ~0xF0u, 0u);
    EXPECT_FALSE(port->setDtr(false));
    port.reset(); // closing a hung-up port must not block either
}

TEST(PosixPortHostTest, CandidateNamesListUsbThenAcmInNaturalOrder)
{
    char dir[] = "/tmp/talvex-dev-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    // Created out of order, so a listing that skips sorting shows it.
    for (const char* name : {"ttyACM11", "ttyUSB10", "foo", "ttyS0", "ttyUSB2", "ttyACM0",
                             "ttyS12", "ttyUSB", "ttyACM2", "ttyUSBx1", "ttyACM1a", "tty",
                             "ttyUSB1", "ttyUSB0"})
        std::ofstream(std::string(dir) + "/" + name) << "";

    PosixPortHost host(dir);
    const std::string base(dir);
    // ttyS entries here are plain files with no UART behind them.
    EXPECT_EQ(host.candidateNames(),
              (std::vector<std::string>{base + "/ttyUSB0", base + "/ttyUSB1", base + "/ttyUSB2",
                                        base + "/ttyUSB10", base + "/ttyACM0", base + "/ttyACM2",
                                        base + "/ttyACM11"}));

    std::filesystem::remove_all(dir);
    EXPECT_TRUE(host.candidateNames().empty()) << "a missing directory lists nothing";

    auto native = makeNativePortHost();
    EXPECT_NE(dynamic_cast<PosixPortHost*>(native.get()), nullptr);
}

} // namespace
} // namespace talvex
