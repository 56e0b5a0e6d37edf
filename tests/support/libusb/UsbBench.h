#pragma once

// FT2232 chips on a USB bus, kept in the state file that the stand-in
// libusb (and the stand-in D2XX library) act on. A test describes chips
// here, saves, runs the code under test in process or spawned, then reads
// back what was done to each chip.

#include "sim/FtdiChipModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace talvex::test {

class UsbBench {
public:
    /// The variable the stand-ins read the state file's path from.
    static constexpr const char* kStateVariable = "TALVEX_USB_STATE";

    /// A state file named for the running test, named in this process's
    /// TALVEX_USB_STATE until the bench goes.
    UsbBench()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string(info ? info->test_suite_name() : "bench") + "-"
            + (info ? info->name() : "") + "-" + std::to_string(processId());
        m_path = (std::filesystem::temp_directory_path() / ("talvex-usb-" + name + ".state")).string();
        setVariable(kStateVariable, m_path);
    }
    ~UsbBench()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        setVariable(kStateVariable, {});
    }
    UsbBench(const UsbBench&) = delete;
    UsbBench& operator=(const UsbBench&) = delete;

    /// A valid image with the tool's product name and the serial number.
    static std::vector<std::uint16_t> imageFor(Ft2232Kind kind, EepromPart part, const std::string& serial,
                                               bool nonDefault = false)
    {
        FtdiImageFields fields = nonDefault ? FtdiImageFields::nonDefault(kind, part, serial) : FtdiImageFields{};
        fields.kind = kind;
        fields.part = part;
        fields.serial = serial;
        if (!nonDefault)
            fields.product = "TalvexUSB";
        return buildFtdiImage(fields);
    }

    /// A chip at `location` ("2-1", "1-4.2"; empty: the next port of bus
    /// 2) with the next free address of its bus. The reference stays
    /// valid until the next chip is added.
    Ft2232Chip& addChip(Ft2232Kind kind, EepromPart part, std::vector<std::uint16_t> image,
                      const std::string& location = {})
    {
        int busNumber = 2;
        std::vector<int> ports{static_cast<int>(bus.chips.size()) + 1};
        if (!location.empty()) {
            const auto dash = location.find('-');
            busNumber = std::stoi(location.substr(0, dash));
            ports.clear();
            std::string rest = location.substr(dash + 1);
            for (std::size_t dot; (dot = rest.find('.')) != std::string::npos; rest.erase(0, dot + 1))
                ports.push_back(std::stoi(rest.substr(0, dot)));
            ports.push_back(std::stoi(rest));
        }
        bus.chips.push_back(Ft2232Chip::make(kind, part, std::move(image), busNumber, bus.nextAddress(busNumber),
                                           std::move(ports)));
        return bus.chips.back();
    }
    /// The usual programmer: an FT2232C with a 93C46 carrying `serial`.
    Ft2232Chip& addProgrammer(const std::string& serial, Ft2232Kind kind = Ft2232Kind::Ft2232C,
                            EepromPart part = EepromPart::C46, const std::string& location = {})
    {
        return addChip(kind, part, imageFor(kind, part, serial), location);
    }

    /// Writes `bus` for the stand-ins to find.
    void save() const { ASSERT_TRUE(saveFt2232Bus(m_path, bus)) << m_path; }
    /// What the stand-ins left in the file.
    Ft2232Bus reload() const
    {
        std::string error;
        auto loaded = loadFt2232Bus(m_path, &error);
        EXPECT_TRUE(loaded.has_value()) << error;
        return loaded.value_or(Ft2232Bus{});
    }
    Ft2232Chip chip(std::size_t index) const { return reload().chips.at(index); }

    /// Changes the file as `change` says, and `bus` with it: for a hand
    /// that unplugs, replugs, or a fault set between two runs.
    template<typename Change>
    void change(Change change)
    {
        bus = reload();
        change(bus);
        save();
    }
    void replug(std::size_t index)
    {
        change([&](Ft2232Bus& b) { b.replug(index); });
    }
    void unplug(std::size_t index)
    {
        change([&](Ft2232Bus& b) { b.chips.at(index).unplug(); });
    }
    void plugIn(std::size_t index)
    {
        change([&](Ft2232Bus& b) { b.chips.at(index).plugIn(); });
    }

    const std::string& statePath() const { return m_path; }

    /// The environment a spawned program needs to find the stand-in libusb
    /// under the real one's name, and these chips.
    std::vector<std::string> environment() const
    {
        std::vector<std::string> variables{std::string(kStateVariable) + "=" + m_path};
#if defined(TALVEX_LIBUSB_STANDIN_DIR)
        variables.push_back("LD_LIBRARY_PATH=" TALVEX_LIBUSB_STANDIN_DIR);
#endif
        return variables;
    }

    Ft2232Bus bus;

private:
    static void setVariable(const char* variable, const std::string& value)
    {
#if defined(_WIN32)
        ::_putenv((std::string(variable) + "=" + value).c_str());
#else
        if (value.empty())
            ::unsetenv(variable);
        else
            ::setenv(variable, value.c_str(), 1);
#endif
    }
    static int processId()
    {
#if defined(_WIN32)
        return ::_getpid();
#else
        return static_cast<int>(::getpid());
#endif
    }

    std::string m_path;
};

} // namespace talvex::test
