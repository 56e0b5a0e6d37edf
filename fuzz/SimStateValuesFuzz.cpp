// The --sim-state file reader keeps the values its text names: every
// number and byte of an accepted state is the one written on the last line
// of its key, never a value cut to fit, wrapped or read from half a word.

#include "FuzzCheck.h"

#include "sim/SimulatedBench.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using namespace talvex;


namespace {

std::vector<std::string> wordsOf(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

// The words of the last line of each key: the one whose values count.
std::map<std::string, std::vector<std::string>> lastLines(std::string_view text)
{
    std::istringstream lines{std::string(text)};
    std::map<std::string, std::vector<std::string>> last;
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> words = wordsOf(line);
        if (!words.empty())
            last[words[0]] = std::move(words);
    }
    return last;
}

// A decimal number written plainly, compared without converting it, so a
// value no field can hold is never equal.
bool namesNumber(const std::string& word, unsigned long value)
{
    if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::size_t first = std::min(word.find_first_not_of('0'), word.size() - 1);
    return word.substr(first) == std::to_string(value);
}

std::optional<std::vector<std::uint8_t>> hexBytes(const std::string& word)
{
    if (word == "-")
        return std::vector<std::uint8_t>{};
    if (word.size() % 2 != 0 || word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < word.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(word.substr(i, 2), nullptr, 16)));
    return bytes;
}

bool namesBytes(const std::vector<std::string>& words, const std::vector<std::uint8_t>& bytes)
{
    return words.size() >= 2 && hexBytes(words[1]) == bytes;
}

void checkFaithful(std::string_view text, const BenchState& state)
{
    const auto last = lastLines(text);
    for (std::size_t reader = 0; reader < 2; ++reader) {
        const auto& words = last.at("reader" + std::to_string(reader + 1));
        const SimReaderSettings& settings = state.settings.readers[reader];
        FUZZ_CHECK(words.size() >= 5);
        FUZZ_CHECK(namesNumber(words[1], settings.clockHz));
        FUZZ_CHECK(namesNumber(words[2], settings.speedCode));
        FUZZ_CHECK(namesNumber(words[3], settings.parityCode));
        FUZZ_CHECK(namesNumber(words[4], settings.addedStopBits));
    }
    FUZZ_CHECK(namesBytes(last.at("advanced"), state.settings.advancedFields));
    FUZZ_CHECK(namesBytes(last.at("uniprog"), {state.settings.uniprog.begin(), state.settings.uniprog.end()}));
    std::vector<std::uint8_t> eeprom;
    for (const std::uint16_t word : state.eeprom) {
        eeprom.push_back(static_cast<std::uint8_t>(word >> 8));
        eeprom.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    FUZZ_CHECK(namesBytes(last.at("eeprom"), eeprom));
    FUZZ_CHECK(last.at("firmware").at(1) ==
               (state.firmware == SimulatedProgrammer::Firmware::BootLoader ? "boot-loader" : "application"));
    FUZZ_CHECK(last.at("mode").at(1) ==
               (state.settings.operatingMode == OperatingMode::Bypass ? "bypass" : "smartmouse"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const std::optional<BenchState> state = parseBenchState(text, error))
        checkFaithful(text, *state);
    return 0;
}
