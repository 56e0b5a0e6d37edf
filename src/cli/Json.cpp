#include "cli/Json.h"

#include <cstdio>

namespace talvex::cli {

std::string jsonString(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    quoted += '"';
    return quoted;
}

JsonObject& JsonObject::add(std::string_view key, std::string_view value)
{
    return addRaw(key, jsonString(value));
}

JsonObject& JsonObject::add(std::string_view key, long long value)
{
    return addRaw(key, std::to_string(value));
}

JsonObject& JsonObject::add(std::string_view key, bool value)
{
    return addRaw(key, value ? "true" : "false");
}

JsonObject& JsonObject::add(std::string_view key, const std::optional<std::string>& value)
{
    return value ? add(key, *value) : addRaw(key, "null");
}

JsonObject& JsonObject::add(std::string_view key, const std::optional<int>& value)
{
    return value ? add(key, *value) : addRaw(key, "null");
}

JsonObject& JsonObject::addRaw(std::string_view key, std::string_view json)
{
    m_members.push_back(jsonString(key) + ":" + std::string(json));
    return *this;
}

std::string JsonObject::text() const
{
    std::string text = "{";
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        if (i > 0)
            text += ',';
        text += m_members[i];
    }
    return text + "}";
}

std::string jsonArray(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += ',';
        text += items[i];
    }
    return text + "]";
}

} // namespace talvex::cli
