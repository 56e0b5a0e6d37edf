#pragma once

#include "support/ftd2xx/StandinState.h"
#include "usbserial/DynamicD2xx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

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
                     + std::to_string(processId()) + ".state"))
                     .string();
        setStateVariable(m_path);
    }
    ~StandinBench()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        clearStateVariable();
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

    /// The library's environment variable; the program and the library
    /// share one C runtime, so the library sees what the test sets.
    static void setStateVariable(const std::string& path)
    {
#if defined(_WIN32)
        ::_putenv((std::string(standin::kStateVariable) + "=" + path).c_str());
#else
        ::setenv(standin::kStateVariable, path.c_str(), 1);
#endif
    }
    static void clearStateVariable()
    {
#if defined(_WIN32)
        ::_putenv((std::string(standin::kStateVariable) + "=").c_str()); // an empty value removes it
#else
        ::unsetenv(standin::kStateVariable);
#endif
    }

    static D2xxLoadResult load(const char* library = TALVEX_FTD2XX_STANDIN) { return DynamicD2xx::load(library); }

    standin::State state;

private:
    static int processId()
    {
#if defined(_WIN32)
        return ::_getpid();
#else
        return ::getpid();
#endif
    }

    std::string m_path;
};

} // namespace talvex::test
