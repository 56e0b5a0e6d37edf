#include "sim/SimulatedBench.h"

#include "sim/SimulatedCards.h"
#include "sim/SimulatedFtdiBus.h"

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace talvex {
namespace {

constexpr const char* kHeader = "talvex-simulated-programmer 1";
// A real state file is under 1 KB; anything much larger is not one, and
// reading it whole would cost its size in memory.
constexpr std::uintmax_t kMaxStateFileSize = 16 * 1024;

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

std::optional<int> hexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    return std::nullopt;
}

// Whole pairs of hex digits, nothing else: no signs, no blanks, no halves.
std::optional<std::vector<std::uint8_t>> bytesOf(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    if (text == "-")
        return bytes;
    if (text.size() % 2 != 0)
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto high = hexValue(text[i]);
        const auto low = hexValue(text[i + 1]);
        if (!high || !low)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*high << 4 | *low));
    }
    return bytes;
}

// A decimal number as formatBenchState writes it: digits only, no sign,
// at most `limit`.
std::optional<std::uint32_t> decimalOf(const std::string& text, std::uint32_t limit)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    }
    if (value > limit)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::vector<std::string> wordsOf(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    std::string word;
    while (stream >> word)
        words.push_back(word);
    return words;
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
    if (std::getline(lines, line) && !line.empty() && line.back() == '\r')
        line.pop_back();
    if (line != kHeader) {
        error = "not a simulated programmer's state";
        return std::nullopt;
    }
    BenchState state;
    std::set<std::string> seen;
    while (std::getline(lines, line)) {
        // A file edited on Windows may end its lines with CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> words = wordsOf(line);
        const std::string key = words.empty() ? std::string() : words[0];
        const auto value = [&](std::size_t i) { return i < words.size() ? words[i] : std::string(); };
        bool good = true;
        if (key == "firmware") {
            good = words.size() == 2 && (words[1] == "application" || words[1] == "boot-loader");
            state.firmware = value(1) == "boot-loader" ? SimulatedProgrammer::Firmware::BootLoader
                                                       : SimulatedProgrammer::Firmware::Application;
        } else if (key == "reader1" || key == "reader2") {
            const auto clock = decimalOf(value(1), 0xFFFFFFFFu);
            const auto speed = decimalOf(value(2), 255);
            const auto parity = decimalOf(value(3), 255);
            const auto stop = decimalOf(value(4), 255);
            good = words.size() == 5 && clock && speed && parity && stop;
            if (good) {
                state.settings.readers[key == "reader1" ? 0 : 1] = {
                    *clock, static_cast<std::uint8_t>(*speed), static_cast<std::uint8_t>(*parity),
                    static_cast<std::uint8_t>(*stop)};
            }
        } else if (key == "mode") {
            good = words.size() == 2 && (words[1] == "bypass" || words[1] == "smartmouse");
            state.settings.operatingMode = value(1) == "bypass" ? OperatingMode::Bypass : OperatingMode::SmartMouse;
        } else if (key == "advanced" || key == "uniprog" || key == "eeprom") {
            const auto bytes = words.size() == 2 ? bytesOf(words[1]) : std::nullopt;
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
            good = words.empty();
        }
        // Each key once: a second line would silently win over the first.
        if (good && !key.empty())
            good = seen.insert(key).second;
        if (!good) {
            error = "unreadable line \"" + line + "\"";
            return std::nullopt;
        }
    }
    if (seen.size() != 7) {
        error = "incomplete state";
        return std::nullopt;
    }
    return state;
}

std::string SimulatedBench::reader1Port(int index)
{
    return "COM" + std::to_string(3 + 2 * index);
}

std::string SimulatedBench::reader2Port(int index)
{
    return "COM" + std::to_string(4 + 2 * index);
}

std::string SimulatedBench::serialNumberOf(int index)
{
    std::string serial = "0123456789ABCDEF0123456789ABCDEF";
    if (index == 0)
        return serial;
    // Characters 19-22 lie in the eight the USB serial number is made of.
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(index + 1) & 0xFFFFu);
    serial.replace(18, 4, digits);
    return serial;
}

SimulatedBench::SimulatedBench(Clock& clock, int programmers)
    : m_host(clock)
{
    programmers = std::clamp(programmers, 1, kMaxProgrammers);
    for (int index = 0; index < programmers; ++index) {
        auto programmer = std::make_unique<SimulatedProgrammer>(SpeedVariant::Normal, serialNumberOf(index));
        // A card waits in reader 1, so the smartcard tool has something to read.
        programmer->setCardPresent(1, true);
        SimulatedProgrammer::PlugScript hands;
        hands.unplugAfterPolls = kUnplugAfterPolls;
        hands.replugAfterOpenAttempts = kReplugAfterOpenAttempts;
        programmer->setPlugScript(hands);
        programmer->attachTo(m_host, reader1Port(index), reader2Port(index));
        char usbSerial[16];
        std::snprintf(usbSerial, sizeof usbSerial, "TLVX%04d", index + 1);
        auto chip = std::make_shared<SimulatedFtdi>(usbSerial, index + 1);
        // Its readers are the chip's two interfaces, as the system lists them.
        m_host.attachFtdiChip(chip, reader1Port(index), reader2Port(index));
        m_programmers.push_back(std::move(programmer));
        m_chips.push_back(std::move(chip));
    }
    if (programmers == 1)
        m_library = m_chips.front();
    else
        m_library = std::make_shared<SimulatedFtdiBus>(m_chips);
}

bool SimulatedBench::load(const std::string& path, std::string& error)
{
    // Checked before anything runs, so a run never ends unable to keep
    // what it did.
    if (path.empty()) {
        error = "--sim-state needs a file name";
        return false;
    }
    std::error_code failure;
    const std::filesystem::file_status status = std::filesystem::status(path, failure);
    if (!std::filesystem::exists(status)) {
        const std::filesystem::path parent = std::filesystem::absolute(path, failure).parent_path();
        if (!std::filesystem::is_directory(parent, failure)) {
            error = path + ": no such directory to keep the state in";
            return false;
        }
        return true; // a new device
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = path + ": not a regular file";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure || size > kMaxStateFileSize) {
        error = path + ": not a simulated programmer's state (" +
                (failure ? failure.message() : "larger than " + std::to_string(kMaxStateFileSize) + " bytes") + ")";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    const auto state = parseBenchState(text, error);
    if (!state) {
        error = path + ": " + error;
        return false;
    }
    // In use and in flash alike: the device keeps no flash copy of its own
    // between runs (SimulatedProgrammer presets both at once).
    programmer().setSettings(state->settings);
    programmer().setFirmware(state->firmware);
    ftdi()->setEeprom(state->eeprom);
    // The chip reads its EEPROM when it is plugged in.
    ftdi()->replug();
    return true;
}

bool SimulatedBench::save(const std::string& path, std::string& error)
{
    BenchState state;
    state.settings = programmer().settings();
    state.eeprom = ftdi()->eeprom();
    // A re-plug shows which firmware starts: an image left half written,
    // or a device sent back to its boot loader, starts the boot loader.
    programmer().setPlugged(false);
    programmer().setPlugged(true);
    state.firmware = programmer().firmware();

    const std::string temporary = path + ".new";
    std::error_code failure;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << formatBenchState(state);
        file.flush();
        if (!file) {
            file.close();
            std::filesystem::remove(temporary, failure);
            error = temporary + ": cannot be written";
            return false;
        }
    }
    std::filesystem::rename(temporary, path, failure);
    if (failure) {
        error = path + ": " + failure.message();
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
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
        programmer().setCardPresent(reader, shape.has_value());
        if (shape)
            programmer().setCardAtr(reader, simulatedCardAtr(*shape));
    }
    return true;
}

} // namespace talvex
