#pragma once

#include "support/ftd2xx/StandinState.h"
#include "usbserial/DynamicD2xx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace talvex::test {

/// A state file for the stand-in D2XX library, named for this test and
/// handed to the library through its environment variable; removed
/// afterwards. Chips are described here, then the library is loaded
/// through the same loader the program uses.
class StandinBench {
public:
    StandinBench()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = (std::filesystem::temp_directory_path()
                  / ("talvex-ftd2xx-" + std::string(info->test_suite_name()) + "-" + info->name() + "-"
                     + std::to_string(::getpid()) + ".state"))
                     .string();
        ::setenv(standin::kStateVariable, m_path.c_str(), 1);
    }
    ~StandinBench()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        ::unsetenv(standin::kStateVariable);
    }
    StandinBench(const StandinBench&) = delete;
    StandinBench& operator=(const StandinBench&) = delete;

    standin::Chip& addChip(const std::string& serial, const std::string& description, std::uint32_t locId)
    {
        standin::Chip chip;
        chip.serial = serial;
        chip.description = description;
        chip.locId = locId;
        chip.eeprom.fill(0xFFFF);
        state.chips.push_back(chip);
        return state.chips.back();
    }

    /// Writes the chips described so far for the library to find.
    void save() const { ASSERT_TRUE(standin::saveState(m_path, state)); }

    /// What the library left in the file.
    standin::State reload() const
    {
        auto loaded = standin::loadState(m_path);
        EXPECT_TRUE(loaded.has_value()) << "state file " << m_path << " unreadable";
        return loaded.value_or(standin::State{});
    }

    static D2xxLoadResult load(const char* library = TALVEX_FTD2XX_STANDIN) { return DynamicD2xx::load(library); }

    standin::State state;

private:
    std::string m_path;
};

} // namespace talvex::test
