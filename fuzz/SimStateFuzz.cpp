// The --sim-state file reader: a state it accepts is written back in a
// text that reads back the same and is written again unchanged, and a
// simulated bench loads it unchanged. (That the values are the ones the
// text names is SimStateValuesFuzz.)

#include "FuzzCheck.h"

#include "sim/SimulatedBench.h"
#include "common/VirtualClock.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace talvex;


namespace {

// Every key has a line: a state file cut short is never taken.
bool hasEveryKey(std::string_view text)
{
    std::istringstream lines{std::string(text)};
    std::set<std::string> keys;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key;
        if (words >> key)
            keys.insert(key);
    }
    for (const char* key : {"firmware", "reader1", "reader2", "mode", "advanced", "uniprog", "eeprom"}) {
        if (!keys.contains(key))
            return false;
    }
    return true;
}

bool sameState(const BenchState& a, const BenchState& b)
{
    return a.firmware == b.firmware && a.settings == b.settings && a.eeprom == b.eeprom;
}

std::string scratchFile()
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("talvex-simstate-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    static std::filesystem::path made;
    made = folder;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return (folder / "bench.state").string();
}

void checkBenchLoads(std::string_view text, const BenchState& state)
{
    static VirtualClock clock;
    static SimulatedBench bench(clock);
    static const std::string path = scratchFile();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    std::string error;
    FUZZ_CHECK(bench.load(path, error));
    FUZZ_CHECK(bench.programmer().settings() == state.settings);
    FUZZ_CHECK(bench.programmer().firmware() == state.firmware);
    FUZZ_CHECK(bench.ftdi()->eeprom() == state.eeprom);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<BenchState> state = parseBenchState(text, error);
    if (!state) {
        FUZZ_CHECK(!error.empty());
        // The message quotes one line at most.
        FUZZ_CHECK(error.size() <= size + 64);
        return 0;
    }
    FUZZ_CHECK(hasEveryKey(text));

    const std::string written = formatBenchState(*state);
    const std::optional<BenchState> again = parseBenchState(written, error);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(sameState(*again, *state));
    FUZZ_CHECK(formatBenchState(*again) == written);

    checkBenchLoads(text, *state);
    return 0;
}
