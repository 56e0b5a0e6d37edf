// The chips of a bus as a plain-text file, so that separate processes (a
// test and the program it spawns, through the stand-in libraries) share them.
#include "sim/FtdiChipModel.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#if !defined(_WIN32)
#include <unistd.h>
#else
#include <process.h>
#endif

namespace talvex {

namespace {

template<typename T>
std::string joined(const T& values, bool hex = false)
{
    std::ostringstream out;
    if (hex)
        out << std::hex;
    bool first = true;
    for (const auto& value : values) {
        out << (first ? "" : " ") << static_cast<long long>(value);
        first = false;
    }
    return out.str();
}

std::vector<long long> numbers(const std::string& text, int base = 0)
{
    std::istringstream in(text);
    std::vector<long long> values;
    std::string item;
    while (in >> item)
        values.push_back(std::stoll(item, nullptr, base));
    return values;
}

template<typename T, std::size_t N>
bool intoArray(std::array<T, N>& target, const std::string& text)
{
    const auto values = numbers(text);
    if (values.size() != N)
        return false;
    for (std::size_t i = 0; i < N; ++i)
        target[i] = static_cast<T>(values[i]);
    return true;
}

bool intoWords(std::vector<std::uint16_t>& target, const std::string& text)
{
    target.clear();
    for (long long value : numbers(text, 16)) {
        if (value < 0 || value > 0xFFFF)
            return false;
        target.push_back(static_cast<std::uint16_t>(value));
    }
    return true;
}

struct Field {
    const char* key;
    std::function<std::string(const Ft2232Chip&)> write;
    std::function<bool(Ft2232Chip&, const std::string&)> read;
};

template<typename T>
Field number(const char* key, T Ft2232Chip::*member)
{
    return {key, [member](const Ft2232Chip& chip) { return std::to_string(static_cast<long long>(chip.*member)); },
            [member](Ft2232Chip& chip, const std::string& text) {
                chip.*member = static_cast<T>(std::stoll(text, nullptr, 0));
                return true;
            }};
}

template<typename T, std::size_t N>
Field pair(const char* key, std::array<T, N> Ft2232Chip::*member)
{
    return {key, [member](const Ft2232Chip& chip) { return joined(chip.*member); },
            [member](Ft2232Chip& chip, const std::string& text) { return intoArray(chip.*member, text); }};
}

Field wordList(const char* key, std::vector<std::uint16_t> Ft2232Chip::*member)
{
    return {key, [member](const Ft2232Chip& chip) { return joined(chip.*member, true); },
            [member](Ft2232Chip& chip, const std::string& text) { return intoWords(chip.*member, text); }};
}

Field latencySets(const char* key, int channel)
{
    return {key, [channel](const Ft2232Chip& chip) { return joined(chip.latencySets[channel]); },
            [channel](Ft2232Chip& chip, const std::string& text) {
                chip.latencySets[channel].clear();
                for (long long value : numbers(text))
                    chip.latencySets[channel].push_back(static_cast<int>(value));
                return true;
            }};
}

const std::vector<Field>& fields()
{
    static const std::vector<Field> table = {
        {"kind", [](const Ft2232Chip& chip) { return ft2232KindName(chip.kind); },
         [](Ft2232Chip& chip, const std::string& text) {
             const auto kind = ft2232KindFromName(text);
             chip.kind = kind.value_or(chip.kind);
             return kind.has_value();
         }},
        {"part", [](const Ft2232Chip& chip) { return eepromPartName(chip.part); },
         [](Ft2232Chip& chip, const std::string& text) {
             const auto part = eepromPartFromName(text);
             chip.part = part.value_or(chip.part);
             return part.has_value();
         }},
        number("bus", &Ft2232Chip::bus),
        number("address", &Ft2232Chip::address),
        {"ports",
         [](const Ft2232Chip& chip) {
             std::string text;
             for (std::size_t i = 0; i < chip.ports.size(); ++i)
                 text += (i == 0 ? "" : ".") + std::to_string(chip.ports[i]);
             return text;
         },
         [](Ft2232Chip& chip, const std::string& text) {
             std::string spaced = text;
             std::replace(spaced.begin(), spaced.end(), '.', ' ');
             chip.ports.clear();
             for (long long port : numbers(spaced))
                 chip.ports.push_back(static_cast<int>(port));
             return !chip.ports.empty() && chip.ports.size() <= 7;
         }},
        number("plugged", &Ft2232Chip::plugged),
        number("plug_count", &Ft2232Chip::plugCount),
        wordList("eeprom", &Ft2232Chip::eeprom),
        wordList("enumerated", &Ft2232Chip::enumeratedImage),
        number("fail_write_word", &Ft2232Chip::failWriteWord),
        number("vanish_at_word", &Ft2232Chip::vanishAtWord),
        number("stuck_word", &Ft2232Chip::stuckWord),
        number("held_elsewhere", &Ft2232Chip::heldElsewhere),
        number("no_access", &Ft2232Chip::noAccess),
        number("eeprom_reads", &Ft2232Chip::eepromReads),
        number("eeprom_writes", &Ft2232Chip::eepromWrites),
        number("eeprom_erases", &Ft2232Chip::eepromErases),
        {"words_written", [](const Ft2232Chip& chip) { return joined(chip.wordsWritten); },
         [](Ft2232Chip& chip, const std::string& text) {
             chip.wordsWritten.clear();
             for (long long word : numbers(text))
                 chip.wordsWritten.push_back(static_cast<int>(word));
             return true;
         }},
        pair("kernel_driver", &Ft2232Chip::kernelDriver),
        number("detaches", &Ft2232Chip::detaches),
        number("attaches", &Ft2232Chip::attaches),
        pair("latency", &Ft2232Chip::latency),
        pair("bitmode", &Ft2232Chip::bitmode),
        number("resets", &Ft2232Chip::resets),
        pair("d2xx_open", &Ft2232Chip::d2xxOpen),
        pair("d2xx_open_failure", &Ft2232Chip::d2xxOpenFailure),
        number("d2xx_write_failure", &Ft2232Chip::d2xxWriteFailure),
        number("d2xx_close_failure", &Ft2232Chip::d2xxCloseFailure),
        pair("com_port", &Ft2232Chip::comPort),
        number("lowest_latency", &Ft2232Chip::lowestLatency),
        latencySets("latency_sets_a", 0),
        latencySets("latency_sets_b", 1),
    };
    return table;
}

constexpr const char* kHeader = "talvex-ftdi-bus 1";

} // namespace

std::string formatFt2232Bus(const Ft2232Bus& bus)
{
    std::ostringstream out;
    out << kHeader << '\n'
        << "d2xx_create_failure " << bus.d2xxCreateFailure << '\n'
        << "d2xx_list_failure " << bus.d2xxListFailure << '\n';
    for (const Ft2232Chip& chip : bus.chips) {
        out << "chip\n";
        for (const Field& field : fields())
            out << field.key << ' ' << field.write(chip) << '\n';
    }
    return out.str();
}

std::optional<Ft2232Bus> parseFt2232Bus(const std::string& text, std::string& error)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) {
        error = "not a bus state file";
        return std::nullopt;
    }
    Ft2232Bus bus;
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty())
            continue;
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        bool good = true;
        try {
            if (key == "chip") {
                bus.chips.emplace_back();
            } else if (key == "d2xx_create_failure") {
                bus.d2xxCreateFailure = static_cast<FtStatus>(std::stoul(value, nullptr, 0));
            } else if (key == "d2xx_list_failure") {
                bus.d2xxListFailure = static_cast<FtStatus>(std::stoul(value, nullptr, 0));
            } else {
                const auto& table = fields();
                const auto field = std::find_if(table.begin(), table.end(),
                                                [&](const Field& entry) { return key == entry.key; });
                good = field != table.end() && !bus.chips.empty() && field->read(bus.chips.back(), value);
            }
        } catch (const std::exception&) {
            good = false;
        }
        if (!good) {
            error = "line " + std::to_string(number) + " unreadable: " + line;
            return std::nullopt;
        }
    }
    for (const Ft2232Chip& chip : bus.chips) {
        const std::size_t words = eepromPartWords(chip.part);
        if (chip.eeprom.size() != words || chip.enumeratedImage.size() != words) {
            error = "a chip's EEPROM is not the size of its " + eepromPartName(chip.part);
            return std::nullopt;
        }
    }
    return bus;
}

std::optional<Ft2232Bus> loadFt2232Bus(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    std::string ignored;
    std::string& why = error ? *error : ignored;
    if (!in) {
        why = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseFt2232Bus(text.str(), why);
}

bool saveFt2232Bus(const std::string& path, const Ft2232Bus& bus)
{
#if defined(_WIN32)
    const int pid = ::_getpid();
#else
    const int pid = static_cast<int>(::getpid());
#endif
    const std::string temporary = path + ".tmp" + std::to_string(pid);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << formatFt2232Bus(bus);
        if (!out.flush())
            return false;
    }
    std::error_code failure;
    std::filesystem::rename(temporary, path, failure);
    if (failure) {
        std::filesystem::remove(temporary, failure);
        return false;
    }
    return true;
}

} // namespace talvex
