#pragma once

#include "support/ftd2xx/StandinState.h"
#include "usbserial/D2xxBackend.h"
#include "usbserial/DynamicD2xx.h"
#include "usbserial/LibftdiBackend.h"

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

/// A state file for the stand-in D2XX library (or, given its variable,
/// the stand-in libftdi), named for this test and handed to the library
/// through its environment variable; removed afterwards with the folder
/// the tool's EEPROM backups go to. Chips are described here, then the
/// library is loaded through the same loader the program uses.
class StandinBench {
public:
    explicit StandinBench(const char* variable = standin::kStateVariable)
        : m_variable(variable)
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(info->test_suite_name()) + "-" + info->name() + "-"
            + std::to_string(processId());
        m_path = (std::filesystem::temp_directory_path() / ("talvex-ftdi-" + name + ".state")).string();
        m_backups = std::filesystem::temp_directory_path() / ("talvex-ftdi-" + name + "-backups");
        setVariable(m_variable, m_path);
    }
    ~StandinBench()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        std::filesystem::remove_all(m_backups, ignored);
        setVariable(m_variable, {});
    }
    StandinBench(const StandinBench&) = delete;
    StandinBench& operator=(const StandinBench&) = delete;

    standin::Chip& addChip(const std::string& serial, const std::string& description, std::uint32_t locId)
    {
        standin::Chip chip;
        chip.serial = serial;
        chip.description = description;
        chip.locId = locId;
        chip.address = 2 + static_cast<int>(state.chips.size());
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
    /// share one C runtime, so the library sees what the test sets. An
    /// empty path removes it.
    static void setVariable(const char* variable, const std::string& path)
    {
#if defined(_WIN32)
        ::_putenv((std::string(variable) + "=" + path).c_str()); // an empty value removes it
#else
        if (path.empty())
            ::unsetenv(variable);
        else
            ::setenv(variable, path.c_str(), 1);
#endif
    }
    static void clearStateVariable() { setVariable(standin::kStateVariable, {}); }

    static D2xxLoadResult load(const char* library = TALVEX_FTD2XX_STANDIN) { return DynamicD2xx::load(library); }

    /// The tool's view of the stand-in D2XX library, backups kept here.
    FtdiLoadResult d2xx(const char* library = TALVEX_FTD2XX_STANDIN) const
    {
        FtdiLoadResult loaded = d2xxBackend(load(library));
        loaded.backupDirectory = m_backups;
        return loaded;
    }
#if defined(TALVEX_LIBFTDI_STANDIN)
    /// The tool's view of the stand-in libftdi, backups kept here.
    FtdiLoadResult libftdi(const char* library = TALVEX_LIBFTDI_STANDIN) const
    {
        FtdiLoadResult loaded = loadLibftdi(library);
        loaded.backupDirectory = m_backups;
        return loaded;
    }
#endif
    const std::filesystem::path& backupDirectory() const { return m_backups; }
    const std::string& statePath() const { return m_path; }

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

    const char* m_variable;
    std::string m_path;
    std::filesystem::path m_backups;
};

} // namespace talvex::test
