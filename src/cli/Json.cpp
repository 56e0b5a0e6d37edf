#include "cli/Json.h"

#include "common/JsonLine.h"

namespace talvex::cli {

std::string jsonText(const Json& value)
{
    return jsonLine(value);
}

JsonObject& JsonObject::add(std::string_view key, std::string_view value)
{
    return add(key, Json(std::string(value)));
}

JsonObject& JsonObject::add(std::string_view key, long long value)
{
    return add(key, Json(value));
}

JsonObject& JsonObject::add(std::string_view key, bool value)
{
    return add(key, Json(value));
}

JsonObject& JsonObject::add(std::string_view key, const std::optional<std::string>& value)
{
    return value ? add(key, std::string_view(*value)) : add(key, Json(nullptr));
}

JsonObject& JsonObject::add(std::string_view key, const std::optional<int>& value)
{
    return value ? add(key, *value) : add(key, Json(nullptr));
}

JsonObject& JsonObject::add(std::string_view key, Json value)
{
    m_value[std::string(key)] = std::move(value);
    return *this;
}

std::string jsonArray(const std::vector<JsonObject>& items)
{
    Json array = Json::array();
    for (const JsonObject& item : items)
        array.push_back(item.value());
    return jsonText(array);
}

} // namespace talvex::cli
