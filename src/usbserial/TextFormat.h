#pragma once

#include <string>

namespace talvex {

/// printf's formatting into a string, for log lines built from a pattern.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string formatText(const char* pattern, ...);

} // namespace talvex
