#pragma once

#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

/// The programmer --simulate offers, to the windows and to talvexctl alike:
/// the simulated device on COM3/COM4 with a card in reader 1, its FTDI
/// chip, and hands that unplug and re-plug it during an upload.
class SimulatedBench {
public:
    static constexpr const char* kReader1Port = "COM3";
    static constexpr const char* kReader2Port = "COM4";

    explicit SimulatedBench(Clock& clock);

    PortHost& host() { return m_host; }
    SimulatedProgrammer& programmer() { return m_programmer; }
    const std::shared_ptr<SimulatedFtdi>& ftdi() const { return m_ftdi; }

    /// Prepares the device as `path` left it; a missing file is a new device.
    bool load(const std::string& path, std::string& error);
    /// Keeps what the next run finds in `path`.
    bool save(const std::string& path, std::string& error);

    /// The cards in reader 1 and 2: "SHAPE1[,SHAPE2]", each a shape of
    /// simCardShapeNames() or "none"; a reader not named keeps its card.
    bool setCards(const std::string& shapes, std::string& error);

private:
    // Declared first: the device outlives the host that reaches it.
    SimulatedProgrammer m_programmer;
    SimulatedPortHost m_host;
    std::shared_ptr<SimulatedFtdi> m_ftdi;
};

} // namespace talvex
