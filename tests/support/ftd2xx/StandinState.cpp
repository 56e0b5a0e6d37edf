#include "support/ftd2xx/StandinState.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <variant>

namespace talvex::standin {
namespace {

using Member
    = std::variant<std::uint32_t Chip::*, int Chip::*, std::uint8_t Chip::*, bool Chip::*, std::string Chip::*>;

// Every field of a chip but its EEPROM, with its key, in the file's order.
const std::pair<const char*, Member> kFields[] = {
    {"flags", &Chip::flags},
    {"type", &Chip::type},
    {"id", &Chip::id},
    {"locid", &Chip::locId},
    {"serial", &Chip::serial},
    {"description", &Chip::description},
    {"opened", &Chip::opened},
    {"erases", &Chip::erases},
    {"word_writes", &Chip::wordWrites},
    {"open_failure", &Chip::openFailure},
    {"fail_write_word", &Chip::failWriteWord},
    {"fail_write_status", &Chip::failWriteStatus},
    {"stuck_word", &Chip::stuckWord},
    {"close_failure", &Chip::closeFailure},
    {"com_port", &Chip::comPort},
    {"latency", &Chip::latency},
    {"lowest_latency", &Chip::lowestLatency},
    {"latency_sets", &Chip::latencySets},
    {"bus", &Chip::bus},
    {"address", &Chip::address},
    {"bcd_device", &Chip::bcdDevice},
    {"sio_detached", &Chip::sioDetached},
    {"detaches", &Chip::detaches},
    {"reattaches", &Chip::reattaches},
    {"reattach_on_close", &Chip::reattachOnClose},
    {"opened_by", &Chip::openedBy},
    {"held_elsewhere", &Chip::heldElsewhere},
    {"no_access", &Chip::noAccess},
    {"unplugged", &Chip::unplugged},
    {"vanish_after_writes", &Chip::vanishAfterWrites},
};

std::uint32_t number(const std::string& text)
{
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 0));
}

void read(Chip& chip, const Member& member, const std::string& value)
{
    std::visit(
        [&](auto field) {
            using T = std::remove_reference_t<decltype(chip.*field)>;
            if constexpr (std::is_same_v<T, std::string>)
                chip.*field = value;
            else if constexpr (std::is_same_v<T, int>)
                chip.*field = std::stoi(value, nullptr, 0);
            else if constexpr (std::is_same_v<T, bool>)
                chip.*field = number(value) != 0;
            else
                chip.*field = static_cast<T>(number(value));
        },
        member);
}

void write(std::ostream& out, const Chip& chip, const Member& member)
{
    std::visit(
        [&](auto field) {
            // A byte is a number here, not a character.
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(chip.*field)>, std::uint8_t>)
                out << static_cast<int>(chip.*field);
            else
                out << chip.*field;
        },
        member);
}

} // namespace

std::optional<State> loadState(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    State state;
    std::string line;
    try {
        while (std::getline(in, line)) {
            const auto space = line.find(' ');
            const std::string key = line.substr(0, space);
            const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
            if (key.empty())
                continue;
            if (key == "create_failure") {
                state.createFailure = number(value);
            } else if (key == "list_failure") {
                state.listFailure = number(value);
            } else if (key == "chip") {
                state.chips.emplace_back();
            } else if (state.chips.empty()) {
                return std::nullopt;
            } else if (key == "eeprom") {
                std::istringstream words(value);
                for (auto& word : state.chips.back().eeprom) {
                    std::string hex;
                    if (!(words >> hex))
                        return std::nullopt;
                    word = static_cast<std::uint16_t>(std::stoul(hex, nullptr, 16));
                }
            } else {
                const auto* field = std::find_if(std::begin(kFields), std::end(kFields),
                                                 [&](const auto& entry) { return key == entry.first; });
                if (field == std::end(kFields))
                    return std::nullopt;
                read(state.chips.back(), field->second, value);
            }
        }
    } catch (const std::exception&) {
        return std::nullopt; // a number that does not parse
    }
    return state;
}

bool saveState(const std::string& path, const State& state)
{
    std::ostringstream out;
    out << "create_failure " << state.createFailure << '\n' << "list_failure " << state.listFailure << '\n';
    for (const Chip& chip : state.chips) {
        out << "chip\n";
        for (const auto& [key, member] : kFields) {
            out << key << ' ';
            write(out, chip, member);
            out << '\n';
        }
        out << "eeprom" << std::hex;
        for (std::uint16_t word : chip.eeprom)
            out << ' ' << word;
        out << std::dec << '\n';
    }
    std::ofstream file(path, std::ios::trunc);
    file << out.str();
    return static_cast<bool>(file.flush());
}

} // namespace talvex::standin
