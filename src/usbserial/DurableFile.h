#pragma once

#include "common/Result.h"

#include <filesystem>
#include <string>

namespace talvex {

/// What a durable write does with a file already at its name.
enum class Existing {
    Replace, ///< the user chose the name
    Keep,    ///< a backup: one already there is never lost; the write fails with Busy
};

/// Writes `bytes` to `path` so that after a crash or power loss the file is
/// either absent or whole: a temporary file beside it (named for this
/// process and write, so concurrent writers never share one), flushed to
/// the disk, moved to the name, and the folder flushed. The folder is made
/// when missing. Failures carry the system's reason.
Result<void> writeFileDurably(const std::filesystem::path& path, const std::string& bytes,
                              Existing existing = Existing::Replace);

} // namespace talvex
