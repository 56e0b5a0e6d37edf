#pragma once

#include <string>

namespace talvex {

/// The tool's own version: major × 10000 + middle × 100 + minor.
inline constexpr int kToolVersion = 10501;

/// "1.10" for the version digits "10A": the major digit as it stands, a
/// point, and the next two characters read as a hexadecimal number ("%02i").
std::string firmwareVersionText(const std::string& versionDigits);

/// 110 for "10A": major × 100 + minor; a major that is no decimal digit
/// counts 0.
int firmwareVersionNumber(const std::string& versionDigits);

/// "1.05.01" for 10501.
std::string toolVersionText(int version);

} // namespace talvex
