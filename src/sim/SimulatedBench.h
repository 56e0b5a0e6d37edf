#pragma once

#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// What a simulated programmer carries from one run to the next, as one
/// that stays plugged in on a bench: the settings in use, the firmware it
/// starts (the one a re-plug would start, as every ending of an upload asks
/// for one), and the FTDI chip's EEPROM, read afresh by the next run.
struct BenchState {
    SimulatedProgrammer::Firmware firmware = SimulatedProgrammer::Firmware::Application;
    DeviceSettings settings;
    EepromWords eeprom {};
};

std::string formatBenchState(const BenchState& state);
/// Nothing, with `error` set, for a text formatBenchState did not write.
std::optional<BenchState> parseBenchState(std::string_view text, std::string& error);

/// The programmers --simulate offers, to the windows and to talvexctl
/// alike: the simulated device on COM3/COM4 with a card in reader 1, its
/// FTDI chip, and hands that unplug and re-plug it during an upload. A
/// bench of several has the next on COM5/COM6 and so on, each with a
/// serial number and a chip of its own on the next port of the hub.
class SimulatedBench {
public:
    static constexpr const char* kReader1Port = "COM3";
    static constexpr const char* kReader2Port = "COM4";
    static constexpr int kMaxProgrammers = 16;

    /// `programmers` from 1 to kMaxProgrammers.
    explicit SimulatedBench(Clock& clock, int programmers = 1);

    PortHost& host() { return m_host; }
    SimulatedPortHost& simulatedHost() { return m_host; }
    int programmerCount() const { return static_cast<int>(m_programmers.size()); }
    SimulatedProgrammer& programmer(int index = 0) { return *m_programmers.at(static_cast<std::size_t>(index)); }
    const std::shared_ptr<SimulatedFtdi>& ftdi(int index = 0) const { return m_chips.at(static_cast<std::size_t>(index)); }
    /// What the USB serial tool finds: the one chip, or all of them.
    std::shared_ptr<D2xxApi> usbLibrary() const { return m_library; }

    /// The ports of programmer `index`: COM3 and COM4 for the first.
    static std::string reader1Port(int index);
    static std::string reader2Port(int index);
    /// The 32-digit serial number of programmer `index`; each makes a USB
    /// serial number of its own.
    static std::string serialNumberOf(int index);

    /// Prepares the device as `path` left it; a missing file is a new device.
    bool load(const std::string& path, std::string& error);
    /// Keeps what the next run finds in `path`.
    bool save(const std::string& path, std::string& error);

    /// The cards in reader 1 and 2: "SHAPE1[,SHAPE2]", each a shape of
    /// simCardShapeNames() or "none"; a reader not named keeps its card.
    bool setCards(const std::string& shapes, std::string& error);

private:
    // Declared first: the devices outlive the host that reaches them.
    std::vector<std::unique_ptr<SimulatedProgrammer>> m_programmers;
    SimulatedPortHost m_host;
    std::vector<std::shared_ptr<SimulatedFtdi>> m_chips;
    std::shared_ptr<D2xxApi> m_library;
};

} // namespace talvex
