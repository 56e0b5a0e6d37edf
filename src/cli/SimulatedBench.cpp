#include "cli/SimulatedBench.h"

#include "sim/SimulatedCards.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace talvex::cli {
namespace {

constexpr const char* kHeader = "talvex-simulated-programmer 1";

// The user's hands during an upload: the plug comes out after a few
// polls for it and goes back in after a few tries to open the port.
constexpr int kUnplugAfterPolls = 6;
constexpr int kReplugAfterOpenAttempts = 6;

std::string hexBytes(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text.empty() ? "-" : text;
}

std::optional<std::vector<std::uint8_t>> bytesOf(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    if (text == "-")
        return bytes;
    if (text.size() % 2 != 0)
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &value) != 1)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

} // namespace

std::string formatBenchState(const BenchState& state)
{
    std::ostringstream text;
    text << kHeader << "\n";
    text << "firmware " << (state.firmware == SimulatedProgrammer::Firmware::BootLoader ? "boot-loader" : "application")
         << "\n";
    for (std::size_t reader = 0; reader < state.settings.readers.size(); ++reader) {
        const SimReaderSettings& settings = state.settings.readers[reader];
        text << "reader" << reader + 1 << " " << settings.clockHz << " " << int(settings.speedCode) << " "
             << int(settings.parityCode) << " " << int(settings.addedStopBits) << "\n";
    }
    text << "mode " << (state.settings.operatingMode == OperatingMode::Bypass ? "bypass" : "smartmouse") << "\n";
    text << "advanced " << hexBytes(state.settings.advancedFields) << "\n";
    text << "uniprog " << hexBytes({state.settings.uniprog.begin(), state.settings.uniprog.end()}) << "\n";
    std::vector<std::uint8_t> eeprom;
    for (const std::uint16_t word : state.eeprom) {
        eeprom.push_back(static_cast<std::uint8_t>(word >> 8));
        eeprom.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    text << "eeprom " << hexBytes(eeprom) << "\n";
    return text.str();
}

std::optional<BenchState> parseBenchState(std::string_view text, std::string& error)
{
    std::istringstream lines {std::string(text)};
    std::string line;
    if (!std::getline(lines, line) || line != kHeader) {
        error = "not a simulated programmer's state";
        return std::nullopt;
    }
    BenchState state;
    std::set<std::string> seen;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        bool good = true;
        if (key == "firmware") {
            std::string value;
            words >> value;
            good = value == "application" || value == "boot-loader";
            state.firmware = value == "boot-loader" ? SimulatedProgrammer::Firmware::BootLoader
                                                    : SimulatedProgrammer::Firmware::Application;
        } else if (key == "reader1" || key == "reader2") {
            unsigned long clock = 0;
            unsigned speed = 0, parity = 0, stop = 0;
            words >> clock >> speed >> parity >> stop;
            good = !words.fail() && speed < 256 && parity < 256 && stop < 256;
            SimReaderSettings& settings = state.settings.readers[key == "reader1" ? 0 : 1];
            settings = {static_cast<std::uint32_t>(clock), static_cast<std::uint8_t>(speed),
                        static_cast<std::uint8_t>(parity), static_cast<std::uint8_t>(stop)};
        } else if (key == "mode") {
            std::string value;
            words >> value;
            good = value == "bypass" || value == "smartmouse";
            state.settings.operatingMode = value == "bypass" ? OperatingMode::Bypass : OperatingMode::SmartMouse;
        } else if (key == "advanced" || key == "uniprog" || key == "eeprom") {
            std::string value;
            words >> value;
            const auto bytes = bytesOf(value);
            good = bytes.has_value();
            if (good && key == "advanced") {
                state.settings.advancedFields = *bytes;
            } else if (good && key == "uniprog") {
                good = bytes->size() == state.settings.uniprog.size();
                for (std::size_t i = 0; good && i < bytes->size(); ++i)
                    state.settings.uniprog[i] = (*bytes)[i];
            } else if (good) {
                good = bytes->size() == 2 * kEepromWords;
                for (std::size_t i = 0; good && i < kEepromWords; ++i)
                    state.eeprom[i] = static_cast<std::uint16_t>((*bytes)[2 * i] << 8 | (*bytes)[2 * i + 1]);
            }
        } else {
            good = line.empty();
        }
        if (!good) {
            error = "unreadable line \"" + line + "\"";
            return std::nullopt;
        }
        if (!key.empty())
            seen.insert(key);
    }
    if (seen.size() != 7) {
        error = "incomplete state";
        return std::nullopt;
    }
    return state;
}

SimulatedBench::SimulatedBench(Clock& clock)
    : m_host(clock)
    , m_ftdi(std::make_shared<SimulatedFtdi>())
{
    // A card waits in reader 1, as with the windows' --simulate.
    m_programmer.setCardPresent(1, true);
    SimulatedProgrammer::PlugScript hands;
    hands.unplugAfterPolls = kUnplugAfterPolls;
    hands.replugAfterOpenAttempts = kReplugAfterOpenAttempts;
    m_programmer.setPlugScript(hands);
    m_programmer.attachTo(m_host, kReader1Port, kReader2Port);
}

bool SimulatedBench::load(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (!std::filesystem::exists(path))
            return true;
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    const auto state = parseBenchState(text.str(), error);
    if (!state) {
        error = path + ": " + error;
        return false;
    }
    // In use and in flash alike: the device keeps no flash copy of its own
    // between runs (SimulatedProgrammer presets both at once).
    m_programmer.setSettings(state->settings);
    m_programmer.setFirmware(state->firmware);
    m_ftdi->setEeprom(state->eeprom);
    // The chip reads its EEPROM when it is plugged in.
    m_ftdi->replug();
    return true;
}

bool SimulatedBench::save(const std::string& path, std::string& error)
{
    BenchState state;
    state.settings = m_programmer.settings();
    state.eeprom = m_ftdi->eeprom();
    // A re-plug shows which firmware starts: an image left half written,
    // or a device sent back to its boot loader, starts the boot loader.
    m_programmer.setPlugged(false);
    m_programmer.setPlugged(true);
    state.firmware = m_programmer.firmware();

    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << formatBenchState(state);
        if (!file) {
            error = temporary + ": cannot be written";
            return false;
        }
    }
    std::error_code failure;
    std::filesystem::rename(temporary, path, failure);
    if (failure) {
        error = path + ": " + failure.message();
        return false;
    }
    return true;
}

bool SimulatedBench::setCards(const std::string& shapes, std::string& error)
{
    std::istringstream list(shapes);
    std::string name;
    for (int reader = 1; std::getline(list, name, ','); ++reader) {
        const auto shape = simCardShapeNamed(name);
        if (reader > 2 || (!shape && name != "none")) {
            error = "--sim-cards takes one or two of " + simCardShapeNames() + ", none; not \"" + shapes + "\"";
            return false;
        }
        m_programmer.setCardPresent(reader, shape.has_value());
        if (shape)
            m_programmer.setCardAtr(reader, simulatedCardAtr(*shape));
    }
    return true;
}

} // namespace talvex::cli
