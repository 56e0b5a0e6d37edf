#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::cli {

/// A JSON string literal, quoted and escaped.
std::string jsonString(std::string_view text);

/// One JSON object, built member by member in the order given.
class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
    JsonObject& add(std::string_view key, const std::string& value) { return add(key, std::string_view(value)); }
    JsonObject& add(std::string_view key, long long value);
    JsonObject& add(std::string_view key, int value) { return add(key, static_cast<long long>(value)); }
    JsonObject& add(std::string_view key, bool value);
    /// null when nothing is there.
    JsonObject& add(std::string_view key, const std::optional<std::string>& value);
    JsonObject& add(std::string_view key, const std::optional<int>& value);
    /// A value that is JSON text already (an object or array).
    JsonObject& addRaw(std::string_view key, std::string_view json);

    std::string text() const;

private:
    std::vector<std::string> m_members;
};

/// A JSON array of values that are JSON text already.
std::string jsonArray(const std::vector<std::string>& items);

} // namespace talvex::cli
