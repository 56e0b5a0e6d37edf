#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace talvex {

/// The one way the tool writes JSON: compact, one line, and valid UTF-8
/// even when a text came from a device or a file (bytes that are not UTF-8
/// become U+FFFD instead of an exception).
inline std::string jsonLine(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace talvex
