#pragma once

#include <filesystem>
#include <string>

namespace talvex {

/// Writes `bytes` to `path` so that after a crash or power loss the file is
/// either absent or whole: a temporary file beside it, flushed to the disk,
/// renamed over the name, and the folder flushed. The folder is made when
/// missing. Empty on success, else the system's reason.
std::string writeFileDurably(const std::filesystem::path& path, const std::string& bytes);

} // namespace talvex
