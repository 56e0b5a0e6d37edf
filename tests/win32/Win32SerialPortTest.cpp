// The Win32 serial backend on one COM port where nothing answers: the boot
// loader build of the simulator listens on reader 1 only, so its reader 2
// stays silent. Under Wine that port is a pseudo-terminal, which differs
// from a Windows COM port in three ways (no exclusive open, no modem
// lines, always 8 data bits without parity); the checks concerned say so
// and are left out under Wine only.

#include "protocol/DetectionResults.h"
#include "serial/NativePortHost.h"
#include "serial/Win32SerialPort.h"
#include "win32/WineAware.h"

#include <gtest/gtest.h>

using namespace talvex;

namespace {

HANDLE openRaw(const std::string& name)
{
    const std::wstring path = Win32SerialPort::toWide("\\\\.\\" + name);
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool readDcb(HANDLE handle, DCB& dcb)
{
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    return ::GetCommState(handle, &dcb) != FALSE;
}

} // namespace

TEST(Win32SerialPort, CloseRestoresTheSettingsButNotTheModemLines)
{
    DCB saved{};
    saved.DCBlength = sizeof(DCB);
    saved.BaudRate = 19200;
    saved.ByteSize = 8;
    saved.fDtrControl = DTR_CONTROL_ENABLE;
    saved.fRtsControl = RTS_CONTROL_HANDSHAKE;
    DCB current = saved;
    current.BaudRate = 115200;
    current.ByteSize = 7;
    current.fDtrControl = DTR_CONTROL_DISABLE;
    current.fRtsControl = RTS_CONTROL_DISABLE;

    const DCB restored = Win32SerialPort::dcbForClose(saved, current);
    EXPECT_EQ(restored.BaudRate, 19200U);
    EXPECT_EQ(restored.ByteSize, 8);
    // DTR and RTS stay low: raising them just before CloseHandle would
    // pulse every probed device.
    EXPECT_EQ(restored.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(restored.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
}

TEST(Win32SerialPort, ModeReachesTheLineAndClosePutsBackWhatWasThere)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "BOOT");
    HANDLE handle = openRaw(sim.reader2);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    DCB dcb;
    ASSERT_TRUE(readDcb(handle, dcb));
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(::SetCommState(handle, &dcb)) << "error " << ::GetLastError();

    {
        Win32SerialPort port(handle); // takes the handle over; closes it
        ASSERT_TRUE(port.applyMode("9600,E,7,2"));
        // Read back from the device, not from a copy the backend keeps.
        const LineSettings applied = port.currentSettings();
        EXPECT_EQ(applied.baudRate, 9600U);
        EXPECT_EQ(applied.stopBits, StopBits::Two);
        if (test::runningUnderWine()) {
            test::noteSkippedUnderWine("parity and data bits of the applied mode",
                                       "behind this COM port is a Linux pseudo-terminal, which keeps "
                                       "8 data bits and no parity whatever is asked");
        } else {
            EXPECT_EQ(applied.parity, Parity::Even);
            EXPECT_EQ(applied.dataBits, 7);
        }

        EXPECT_FALSE(port.applyMode("9600,X,8,1"));
        EXPECT_EQ(port.currentSettings(), applied);
    }

    handle = openRaw(sim.reader2);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    ASSERT_TRUE(readDcb(handle, dcb));
    ::CloseHandle(handle);
    EXPECT_EQ(dcb.BaudRate, 19200U);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST(Win32SerialPort, MissingPortIsNotFoundInTheSystemsWords)
{
    auto host = makeNativePortHost();
    const OpenResult missing = host->open("COM253", kNormalMode);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().status, Status::Gone);
    const std::string prefix = "COM253: no such port (error 2: ";
    EXPECT_EQ(missing.failure().detail.substr(0, prefix.size()), prefix) << missing.failure().detail;
    EXPECT_GT(missing.failure().detail.size(), prefix.size() + 1) << "the system's text is missing";
    EXPECT_EQ(missing.failure().detail.back(), ')');
    EXPECT_EQ(missing.failure().detail.find('\n'), std::string::npos);

    const OpenResult unnamed = host->open("", kNormalMode);
    ASSERT_FALSE(unnamed);
    EXPECT_EQ(unnamed.failure().status, Status::Other);
}

// SetupAPI adds what it knows; what it does not list (all of Wine's
// ports) is still offered by name, so a scan tries it as before.
TEST(Win32SerialPort, ListingOffersEveryComPortWithWhatSetupApiKnows)
{
    const auto host = makeNativePortHost();
    const std::vector<std::string> candidates = host->candidateNames();
    const std::vector<PortInfo> ports = host->listPorts();
    ASSERT_EQ(candidates.size(), 254U);
    ASSERT_EQ(ports.size(), 254U);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].name, "COM" + std::to_string(i + 1));
        EXPECT_EQ(candidates[i], ports[i].name);
        if (ports[i].usb) {
            EXPECT_NE(ports[i].usb->vendorId | ports[i].usb->productId, 0) << ports[i].name;
        }
    }
}

TEST(Win32SerialPort, NamesReachTheWideCallsUnchanged)
{
    EXPECT_EQ(Win32SerialPort::toWide("\\\\.\\COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(Win32SerialPort::toWide("COM\xC3\xA9"), L"COM\u00E9");
    EXPECT_EQ(Win32SerialPort::toWide(""), L"");
}

TEST(Win32SerialPort, ModemStatusIsReadFromTheLine)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "BOOT");
    auto host = makeNativePortHost();
    const OpenResult opened = host->open(sim.reader2, kNormalMode);
    ASSERT_TRUE(opened) << opened.failure().detail;
    if (test::runningUnderWine())
        GTEST_SKIP() << "Wine differs from Windows here: behind this COM port is a pseudo-terminal, which "
                        "has no modem lines, and GetCommModemStatus fails with error 50";
    EXPECT_TRUE((*opened)->modemStatus().has_value()) << "error " << ::GetLastError();
}
