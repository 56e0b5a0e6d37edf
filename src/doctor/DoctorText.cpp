#include "doctor/DoctorText.h"

#include "protocol/VersionText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace talvex::cli {

namespace fs = std::filesystem;
namespace {

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

} // namespace

const std::string kVendorText = hex4(kFtdiVendorId);
const std::string kProductText = hex4(kProgrammerProductId);
const std::string kChip = kVendorText + ":" + kProductText;

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trimmed(std::string text)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string named(const std::vector<ProcessInfo>& processes)
{
    std::string text;
    for (const ProcessInfo& process : processes)
        text += (text.empty() ? "" : ", ") + process.name + " (pid " + std::to_string(process.pid) + ")";
    return text;
}

std::vector<ProcessInfo> called(const std::vector<ProcessInfo>& processes, const std::string& name)
{
    std::vector<ProcessInfo> found;
    std::copy_if(processes.begin(), processes.end(), std::back_inserter(found),
                 [&](const ProcessInfo& process) { return process.name == name; });
    return found;
}

std::string installRuleStep()
{
    return std::string("install the udev rule: sudo apt-get install talvex-setting-manager, or from the source "
                       "tree: sudo install -m 644 packaging/") +
           kUdevRuleName + " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger";
}

const char* const kModemManagerOff = "without a modem on this machine: sudo systemctl disable --now ModemManager";
const char* const kBrlttyOff = "without a braille display on this machine: sudo apt-get remove brltty (or keep "
                               "it from starting for USB devices: sudo systemctl mask brltty-udev.service)";

} // namespace talvex::cli
