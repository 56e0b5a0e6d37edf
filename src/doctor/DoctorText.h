#pragma once

#include "doctor/DoctorChecks.h"

#include <filesystem>
#include <string>
#include <vector>

// What the doctor's checks share: reading /proc and /sys text, naming
// processes, and the steps that more than one check advises.
namespace talvex::cli {

/// The programmer's chip as udev rules and lsusb write it: "0403", "6010"
/// and "0403:6010".
extern const std::string kVendorText;
extern const std::string kProductText;
extern const std::string kChip;

std::string readAll(const std::filesystem::path& file);
std::string trimmed(std::string text);
std::string lowered(std::string text);
/// "ModemManager (pid 812), minicom (pid 4410)".
std::string named(const std::vector<ProcessInfo>& processes);
std::vector<ProcessInfo> called(const std::vector<ProcessInfo>& processes, const std::string& name);

std::string installRuleStep();
extern const char* const kModemManagerOff;
extern const char* const kBrlttyOff;

} // namespace talvex::cli
