#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace talvex {

/// One reader's card port as the device keeps it; the identity reports it.
struct SimReaderSettings {
    std::uint32_t clockHz = 4000000;
    std::uint8_t speedCode = 0x02;
    std::uint8_t parityCode = 0x00;
    std::uint8_t addedStopBits = 0x00;

    bool operator==(const SimReaderSettings&) const = default;
};

enum class OperatingMode { SmartMouse, Bypass };

/// The Uniprog build's parameters in the order of its read answer: clock
/// R1, R2, baud R1, R2, baud COM R1, R2. 0xFF is "default".
using UniprogCodes = std::array<std::uint8_t, 6>;

inline constexpr UniprogCodes kFactoryUniprogCodes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

/// Everything the settings commands change.
struct DeviceSettings {
    std::array<SimReaderSettings, 2> readers{};
    OperatingMode operatingMode = OperatingMode::SmartMouse;
    /// The bytes after "FD" of the last mode write (ATR modes: 9 bytes,
    /// debug: 4); empty while none was made.
    std::vector<std::uint8_t> advancedFields;
    UniprogCodes uniprog = kFactoryUniprogCodes;

    bool operator==(const DeviceSettings&) const = default;
};

/// The application firmware's settings: the ones it runs with, the copy in
/// flash it starts from, and the settings commands that change them.
/// Not locked: its owner holds its own lock.
class SettingsMemory {
public:
    const DeviceSettings& current() const { return m_current; }
    const DeviceSettings& saved() const { return m_saved; }

    /// Puts settings both in use and in flash, as on a device prepared
    /// before it is plugged in.
    void preset(const DeviceSettings& settings);
    /// Power-up: the device runs with what its flash holds.
    void powerUp() { m_current = m_saved; }

    /// The answer to a settings command (code, then 0x00 on success or
    /// 0x01 for an invalid argument; the Uniprog read answers its codes);
    /// nothing when the bytes are no settings command.
    std::optional<std::vector<std::uint8_t>> execute(const std::vector<std::uint8_t>& command);

private:
    DeviceSettings m_current;
    DeviceSettings m_saved;
};

} // namespace talvex
