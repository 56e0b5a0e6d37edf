#pragma once

// What the Windows tests need to know about where they run: under Wine or
// on Windows, and which COM ports a script has put a simulated programmer
// behind (scripts/wine-tests.sh links pseudo-terminals served by the
// native talvex-simulator as Wine COM ports and names them here).

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

namespace talvex::test {

/// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool runningUnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

/// Says, in the test's output and its XML record, that one check of a
/// test that otherwise runs is left out under Wine, and why.
inline void noteSkippedUnderWine(const std::string& check, const std::string& reason)
{
    std::cout << "[ WINE     ] Wine differs from Windows here: " << check << " not checked: " << reason
              << std::endl;
    ::testing::Test::RecordProperty("skipped_under_wine", check);
}

inline std::string environmentText(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

/// Set by the script that serves the simulators: a missing port is then a
/// broken run, not a machine without a simulator.
inline bool simulatorRequired()
{
    return environmentText("TALVEX_REQUIRE_SIMULATOR") == "1";
}

/// One simulated programmer behind two COM ports, as the script started it:
/// TALVEX_SIM_<NAME>_PORTS="COM11,COM12", TALVEX_SIM_<NAME>_SERIAL, and
/// for an application build TALVEX_SIM_<NAME>_VERSION, the version text the
/// tool shows for the version the simulator was given.
struct SimulatorPorts {
    std::string reader1;
    std::string reader2;
    std::string serial;
    std::string versionText;
};

inline std::optional<SimulatorPorts> simulatorPorts(const std::string& name)
{
    const std::string prefix = "TALVEX_SIM_" + name + "_";
    const std::string ports = environmentText(prefix + "PORTS");
    const auto comma = ports.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    SimulatorPorts found;
    found.reader1 = ports.substr(0, comma);
    found.reader2 = ports.substr(comma + 1);
    found.serial = environmentText(prefix + "SERIAL");
    found.versionText = environmentText(prefix + "VERSION");
    if (found.reader1.empty() || found.reader2.empty() || found.serial.empty())
        return std::nullopt;
    return found;
}

} // namespace talvex::test

/// Fetches the simulator NAME's ports into VARIABLE, or ends the test: a
/// failure when the script promised a simulator, otherwise a skip that says
/// what is missing (on a Windows machine nothing serves the ports).
#define TALVEX_SIMULATOR_PORTS_OR_SKIP(variable, name)                                                     \
    const auto variable##Found = ::talvex::test::simulatorPorts(name);                                     \
    if (!variable##Found) {                                                                                \
        if (::talvex::test::simulatorRequired())                                                           \
            FAIL() << "TALVEX_SIM_" name "_PORTS/_SERIAL are not set, yet TALVEX_REQUIRE_SIMULATOR=1";   \
        GTEST_SKIP() << "no simulated programmer on COM ports: set TALVEX_SIM_" name                      \
                        "_PORTS=COMa,COMb and TALVEX_SIM_" name "_SERIAL (scripts/wine-tests.sh does)";   \
    }                                                                                                      \
    const ::talvex::test::SimulatorPorts& variable = *variable##Found
