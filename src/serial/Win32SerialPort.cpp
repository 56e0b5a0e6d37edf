#include "serial/Win32SerialPort.h"

#include "serial/ComPortHelpers.h"
#include "serial/D2xxLatency.h"

#include <algorithm>
#include <limits>

namespace talvex {
namespace {

// Win32 transfer sizes are DWORDs; larger requests are cut to fit.
constexpr std::size_t kMaxTransfer = std::numeric_limits<DWORD>::max();

bool readDcb(HANDLE handle, DCB& dcb)
{
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    return GetCommState(handle, &dcb) != FALSE;
}

Parity parityFromDcb(BYTE code)
{
    switch (code) {
    case ODDPARITY: return Parity::Odd;
    case EVENPARITY: return Parity::Even;
    case MARKPARITY: return Parity::Mark;
    case SPACEPARITY: return Parity::Space;
    default: return Parity::None;
    }
}

StopBits stopBitsFromDcb(BYTE code)
{
    switch (code) {
    case ONE5STOPBITS: return StopBits::OneAndHalf;
    case TWOSTOPBITS: return StopBits::Two;
    default: return StopBits::One;
    }
}

std::wstring convert(UINT codePage, DWORD flags, const std::string& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed) != needed)
        return {};
    return wide;
}

} // namespace

Win32SerialPort::Win32SerialPort(HANDLE handle)
    : m_handle(handle)
{
    m_haveSavedTimeouts = GetCommTimeouts(m_handle, &m_savedTimeouts) != FALSE;
    m_haveSavedDcb = readDcb(m_handle, m_savedDcb);
}

Win32SerialPort::~Win32SerialPort()
{
    // Leave the port as the next program expects to find it.
    if (m_haveSavedTimeouts)
        SetCommTimeouts(m_handle, &m_savedTimeouts);
    DCB current;
    if (m_haveSavedDcb && readDcb(m_handle, current)) {
        DCB restored = dcbForClose(m_savedDcb, current);
        SetCommState(m_handle, &restored);
    }
    CloseHandle(m_handle);
    m_latency.reset();
}

void Win32SerialPort::keepLatencyHold(std::unique_ptr<D2xxLatencyHold> hold)
{
    m_latency = std::move(hold);
}

DCB Win32SerialPort::dcbForClose(const DCB& saved, const DCB& current)
{
    DCB restored = saved;
    restored.fDtrControl = current.fDtrControl;
    restored.fRtsControl = current.fRtsControl;
    return restored;
}

bool Win32SerialPort::applyFixedTimeouts()
{
    // A read returns what arrived within 20 ms, so a silent device cannot
    // hold a thread.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(kReadTimeoutMs);
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(kReadTimeoutMs);
    return SetCommTimeouts(m_handle, &timeouts) != FALSE;
}

bool Win32SerialPort::setDtr(bool on)
{
    DCB dcb;
    if (!readDcb(m_handle, dcb))
        return false;
    dcb.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    return SetCommState(m_handle, &dcb) != FALSE;
}

bool Win32SerialPort::setRts(bool on)
{
    DCB dcb;
    if (!readDcb(m_handle, dcb))
        return false;
    dcb.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    return SetCommState(m_handle, &dcb) != FALSE;
}

bool Win32SerialPort::sendByte(std::uint8_t byte)
{
    return TransmitCommChar(m_handle, static_cast<char>(byte)) != FALSE;
}

bool Win32SerialPort::writeBlock(const std::uint8_t* data, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const DWORD chunk = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
        DWORD written = 0;
        if (!WriteFile(m_handle, data + done, chunk, &written, nullptr))
            return false;
        // The write time-out ran out with bytes still queued.
        if (written != chunk)
            return false;
        done += written;
    }
    return true;
}

ReadResult Win32SerialPort::read(std::uint8_t* buffer, std::size_t capacity)
{
    if (capacity == 0)
        return {};
    const DWORD wanted = static_cast<DWORD>(std::min(capacity, kMaxTransfer));
    DWORD got = 0;
    if (!ReadFile(m_handle, buffer, wanted, &got, nullptr)) {
        const Status status = comReadStatus(GetLastError());
        // A failed read returns at once; pace it like the time-out it
        // stands for, so a caller polling a vanished port cannot spin.
        Sleep(kReadTimeoutMs);
        return {0, status};
    }
    return ReadResult::got(got);
}

Status Win32SerialPort::presence()
{
    // The modem status call fails the way a read does once the USB device
    // behind the port is removed.
    DWORD status = 0;
    if (GetCommModemStatus(m_handle, &status))
        return Status::Ok;
    const Status failed = comReadStatus(GetLastError());
    return failed == Status::Gone ? Status::Gone : Status::Ok;
}

std::optional<std::uint32_t> Win32SerialPort::modemStatus()
{
    DWORD status = 0;
    if (!GetCommModemStatus(m_handle, &status))
        return std::nullopt;
    return static_cast<std::uint32_t>(status);
}

LineSettings Win32SerialPort::currentSettings() const
{
    DCB dcb;
    if (!readDcb(m_handle, dcb))
        return {}; // baud rate 0: unknown
    LineSettings settings;
    settings.baudRate = dcb.BaudRate;
    settings.parity = parityFromDcb(dcb.Parity);
    settings.dataBits = dcb.ByteSize;
    settings.stopBits = stopBitsFromDcb(dcb.StopBits);
    return settings;
}

bool Win32SerialPort::applyMode(const std::string& mode)
{
    // Our own check first: BuildCommDCB accepts forms we never send.
    if (!parseModeString(mode))
        return false;
    const std::wstring wideMode = toWide(mode);
    DCB dcb;
    if (wideMode.empty() || !readDcb(m_handle, dcb))
        return false;
    // Builds onto the current DCB, so only what the mode names changes
    // (plus DTR and RTS on, no flow control).
    if (!BuildCommDCBW(wideMode.c_str(), &dcb))
        return false;
    return SetCommState(m_handle, &dcb) != FALSE;
}

std::wstring Win32SerialPort::toWide(const std::string& text)
{
    std::wstring wide = convert(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    if (wide.empty())
        wide = convert(CP_ACP, 0, text);
    return wide;
}

static_assert(MS_CTS_ON == kModemStatusCts, "CTS bit must match the platform's");

} // namespace talvex
