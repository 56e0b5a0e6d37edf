#pragma once

#include <string>
#include <string_view>

namespace talvex::cli {

/// talvexctl(1) in roff, from the same table as --help, so the two say
/// the same.
std::string manPage();

/// Text as roff shows it literally: backslashes and hyphens escaped, and
/// a line that would start with a request character guarded.
std::string roffText(std::string_view text);

} // namespace talvex::cli
