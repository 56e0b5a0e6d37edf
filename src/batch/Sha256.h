#pragma once

#include <optional>
#include <string>

namespace talvex {

/// The SHA-256 of a file's contents as 64 lower-case hex digits; nothing,
/// with `error` set, when the file cannot be read.
std::optional<std::string> sha256OfFile(const std::string& path, std::string& error);

} // namespace talvex
