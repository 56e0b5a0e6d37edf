#include "sim/SettingsMemory.h"

#include <algorithm>
#include <span>

namespace talvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The firmware's own clock tables (code 1 first), kept apart from the
// host's so a wrong code on either side shows in a round trip.
constexpr std::uint32_t kClockHz[] = {3430000, 4000000, 4800000, 6000000, 8000000, 12000000};
constexpr std::uint32_t kPhoenixClockHz[] = {3572000, 3690000, 4000000, 4800000, 6000000, 8000000, 12000000};

constexpr std::uint8_t kDefault = 0xFF;
constexpr std::uint8_t kHighestSpeed = 0x02;  // 9600, 38400, 115200
constexpr std::uint8_t kHighestParity = 0x02; // none, odd, even
constexpr std::uint8_t kHighestAdvancedClock = 0x06;
constexpr std::uint8_t kHighestUniprogClock = 0x07;

// Reader byte of a command: 0 is reader 1, 1 is reader 2.
SimReaderSettings* readerAt(DeviceSettings& settings, std::uint8_t code)
{
    return code < settings.readers.size() ? &settings.readers[code] : nullptr;
}

bool upTo(std::uint8_t code, std::uint8_t highest)
{
    return code <= highest;
}

bool upToOrDefault(std::uint8_t code, std::uint8_t highest)
{
    return code == kDefault || code <= highest;
}

bool clockCode(std::uint8_t code, std::uint8_t highest)
{
    return code == kDefault || (code >= 1 && code <= highest);
}

// "02"/"77" reader clock.
bool writeClock(DeviceSettings& settings, const Bytes& command, std::span<const std::uint32_t> table)
{
    if (command.size() != 3)
        return false;
    SimReaderSettings* reader = readerAt(settings, command[1]);
    const std::uint8_t clock = command[2];
    if (!reader || clock < 1 || clock > table.size())
        return false;
    reader->clockHz = table[clock - 1];
    return true;
}

// "03" reader speed parity stop.
bool writeCardPort(DeviceSettings& settings, const Bytes& command)
{
    if (command.size() != 5)
        return false;
    SimReaderSettings* reader = readerAt(settings, command[1]);
    if (!reader || !upTo(command[2], kHighestSpeed) || !upTo(command[3], kHighestParity))
        return false;
    reader->speedCode = command[2];
    reader->parityCode = command[3];
    reader->addedStopBits = command[4];
    return true;
}

// One port's clock, parity and speed in an ATR mode write.
bool validPortFields(const Bytes& command, std::size_t at)
{
    return clockCode(command[at], kHighestAdvancedClock) && upToOrDefault(command[at + 1], kHighestParity) &&
           upToOrDefault(command[at + 2], kHighestSpeed);
}

// "FD00"/"FD01" operating mode; "FD" 00|01 "00" port 1 "01" port 2 (ATR
// modes); "FD02" parity speed stop (debug).
bool writeMode(DeviceSettings& settings, const Bytes& command)
{
    if (command.size() < 2)
        return false;
    const std::uint8_t mode = command[1];
    bool valid = false;
    if (command.size() == 2 && mode <= 0x01) {
        settings.operatingMode = mode == 0x00 ? OperatingMode::SmartMouse : OperatingMode::Bypass;
        return true;
    }
    if (command.size() == 10 && mode <= 0x01)
        valid = command[2] == 0x00 && command[6] == 0x01 && validPortFields(command, 3) && validPortFields(command, 7);
    else if (command.size() == 5 && mode == 0x02)
        valid = upToOrDefault(command[2], kHighestParity) && upToOrDefault(command[3], kHighestSpeed);
    if (valid)
        settings.advancedFields.assign(command.begin() + 1, command.end());
    return valid;
}

// "44" "00" six codes "0000".
bool writeUniprog(DeviceSettings& settings, const Bytes& command)
{
    if (command.size() != 10 || command[1] != 0x00 || command[8] != 0x00 || command[9] != 0x00)
        return false;
    UniprogCodes codes{};
    std::copy(command.begin() + 2, command.begin() + 8, codes.begin());
    const bool valid = clockCode(codes[0], kHighestUniprogClock) && clockCode(codes[1], kHighestUniprogClock) &&
                       std::all_of(codes.begin() + 2, codes.end(),
                                   [](std::uint8_t code) { return upToOrDefault(code, kHighestSpeed); });
    if (valid)
        settings.uniprog = codes;
    return valid;
}

Bytes verdict(std::uint8_t code, bool valid)
{
    return {code, static_cast<std::uint8_t>(valid ? 0x00 : 0x01)};
}

} // namespace

void SettingsMemory::preset(const DeviceSettings& settings)
{
    m_current = settings;
    m_saved = settings;
}

std::optional<Bytes> SettingsMemory::execute(const Bytes& command)
{
    if (command.empty())
        return std::nullopt;
    const std::uint8_t code = command[0];
    const bool single = command.size() == 1;
    switch (code) {
    case 0x02:
        return verdict(code, writeClock(m_current, command, kClockHz));
    case 0x77:
        return verdict(code, writeClock(m_current, command, kPhoenixClockHz));
    case 0x03:
        return verdict(code, writeCardPort(m_current, command));
    case 0x05:
        if (single)
            m_saved = m_current;
        return verdict(code, single);
    case 0x06:
        if (single)
            m_current = DeviceSettings{};
        return verdict(code, single);
    case 0xFD:
        return verdict(code, writeMode(m_current, command));
    case 0x42: {
        if (!single)
            return verdict(code, false);
        Bytes answer{code, 0x00, 0x00};
        answer.insert(answer.end(), m_current.uniprog.begin(), m_current.uniprog.end());
        return answer;
    }
    case 0x44:
    case 0x45: {
        // The Uniprog build keeps its parameters in flash at once.
        const bool valid = code == 0x44 ? writeUniprog(m_current, command) : single;
        if (code == 0x45 && valid)
            m_current.uniprog = kFactoryUniprogCodes;
        if (valid)
            m_saved.uniprog = m_current.uniprog;
        return verdict(code, valid);
    }
    default:
        return std::nullopt;
    }
}

} // namespace talvex
