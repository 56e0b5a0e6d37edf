#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::cli {

/// A JSON value whose object members keep the order they were added in.
using Json = nlohmann::ordered_json;

/// The one line a --json command prints: compact, and valid UTF-8 even
/// when a text came from a device (bytes that are not UTF-8 become U+FFFD).
std::string jsonText(const Json& value);

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
    /// A nested value (an object or an array).
    JsonObject& add(std::string_view key, Json value);

    const Json& value() const { return m_value; }
    std::string text() const { return jsonText(m_value); }

private:
    Json m_value = Json::object();
};

/// The one line of a JSON array of objects.
std::string jsonArray(const std::vector<JsonObject>& items);

} // namespace talvex::cli
