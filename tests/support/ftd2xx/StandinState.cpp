#include "support/ftd2xx/StandinState.h"

#include <fstream>
#include <sstream>

namespace talvex::standin {
namespace {

std::uint32_t number(const std::string& text)
{
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 0));
}

int signedNumber(const std::string& text)
{
    return std::stoi(text, nullptr, 0);
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
            } else {
                Chip& chip = state.chips.back();
                if (key == "flags")
                    chip.flags = number(value);
                else if (key == "type")
                    chip.type = number(value);
                else if (key == "id")
                    chip.id = number(value);
                else if (key == "locid")
                    chip.locId = number(value);
                else if (key == "serial")
                    chip.serial = value;
                else if (key == "description")
                    chip.description = value;
                else if (key == "opened")
                    chip.opened = number(value) != 0;
                else if (key == "erases")
                    chip.erases = signedNumber(value);
                else if (key == "word_writes")
                    chip.wordWrites = signedNumber(value);
                else if (key == "open_failure")
                    chip.openFailure = number(value);
                else if (key == "fail_write_word")
                    chip.failWriteWord = signedNumber(value);
                else if (key == "fail_write_status")
                    chip.failWriteStatus = number(value);
                else if (key == "stuck_word")
                    chip.stuckWord = signedNumber(value);
                else if (key == "close_failure")
                    chip.closeFailure = number(value);
                else if (key == "com_port")
                    chip.comPort = signedNumber(value);
                else if (key == "latency")
                    chip.latency = static_cast<std::uint8_t>(number(value));
                else if (key == "lowest_latency")
                    chip.lowestLatency = static_cast<std::uint8_t>(number(value));
                else if (key == "latency_sets")
                    chip.latencySets = value;
                else if (key == "bus")
                    chip.bus = signedNumber(value);
                else if (key == "address")
                    chip.address = signedNumber(value);
                else if (key == "bcd_device")
                    chip.bcdDevice = number(value);
                else if (key == "sio_detached")
                    chip.sioDetached = number(value);
                else if (key == "detaches")
                    chip.detaches = signedNumber(value);
                else if (key == "reattaches")
                    chip.reattaches = signedNumber(value);
                else if (key == "reattach_on_close")
                    chip.reattachOnClose = number(value) != 0;
                else if (key == "opened_by")
                    chip.openedBy = value;
                else if (key == "held_elsewhere")
                    chip.heldElsewhere = number(value) != 0;
                else if (key == "no_access")
                    chip.noAccess = number(value) != 0;
                else if (key == "unplugged")
                    chip.unplugged = number(value) != 0;
                else if (key == "vanish_after_writes")
                    chip.vanishAfterWrites = signedNumber(value);
                else if (key == "eeprom") {
                    std::istringstream words(value);
                    for (auto& word : chip.eeprom) {
                        std::string hex;
                        if (!(words >> hex))
                            return std::nullopt;
                        word = static_cast<std::uint16_t>(std::stoul(hex, nullptr, 16));
                    }
                } else {
                    return std::nullopt;
                }
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
        out << "chip\n"
            << "flags " << chip.flags << '\n'
            << "type " << chip.type << '\n'
            << "id 0x" << std::hex << chip.id << '\n'
            << "locid 0x" << chip.locId << std::dec << '\n'
            << "serial " << chip.serial << '\n'
            << "description " << chip.description << '\n'
            << "opened " << (chip.opened ? 1 : 0) << '\n'
            << "erases " << chip.erases << '\n'
            << "word_writes " << chip.wordWrites << '\n'
            << "open_failure " << chip.openFailure << '\n'
            << "fail_write_word " << chip.failWriteWord << '\n'
            << "fail_write_status " << chip.failWriteStatus << '\n'
            << "stuck_word " << chip.stuckWord << '\n'
            << "close_failure " << chip.closeFailure << '\n'
            << "com_port " << chip.comPort << '\n'
            << "latency " << static_cast<int>(chip.latency) << '\n'
            << "lowest_latency " << static_cast<int>(chip.lowestLatency) << '\n'
            << "latency_sets " << chip.latencySets << '\n'
            << "bus " << chip.bus << '\n'
            << "address " << chip.address << '\n'
            << "bcd_device " << chip.bcdDevice << '\n'
            << "sio_detached " << chip.sioDetached << '\n'
            << "detaches " << chip.detaches << '\n'
            << "reattaches " << chip.reattaches << '\n'
            << "reattach_on_close " << (chip.reattachOnClose ? 1 : 0) << '\n'
            << "opened_by " << chip.openedBy << '\n'
            << "held_elsewhere " << (chip.heldElsewhere ? 1 : 0) << '\n'
            << "no_access " << (chip.noAccess ? 1 : 0) << '\n'
            << "unplugged " << (chip.unplugged ? 1 : 0) << '\n'
            << "vanish_after_writes " << chip.vanishAfterWrites << '\n'
            << "eeprom" << std::hex;
        for (std::uint16_t word : chip.eeprom)
            out << ' ' << word;
        out << std::dec << '\n';
    }
    std::ofstream file(path, std::ios::trunc);
    file << out.str();
    return static_cast<bool>(file.flush());
}

} // namespace talvex::standin
