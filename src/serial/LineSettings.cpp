#include "serial/LineSettings.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace talvex {
namespace {

std::string trimmed(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
        --last;
    return text.substr(first, last - first);
}

std::optional<std::uint32_t> parseUnsigned(const std::string& text)
{
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<LineSettings> parseModeString(const std::string& mode)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = mode.find(',', start);
        parts.push_back(trimmed(mode.substr(start, comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != 4)
        return std::nullopt;

    LineSettings settings;
    const auto baud = parseUnsigned(parts[0]);
    if (!baud || *baud == 0)
        return std::nullopt;
    settings.baudRate = *baud;

    if (parts[1].size() != 1)
        return std::nullopt;
    switch (std::toupper(static_cast<unsigned char>(parts[1][0]))) {
    case 'N': settings.parity = Parity::None; break;
    case 'O': settings.parity = Parity::Odd; break;
    case 'E': settings.parity = Parity::Even; break;
    case 'M': settings.parity = Parity::Mark; break;
    case 'S': settings.parity = Parity::Space; break;
    default: return std::nullopt;
    }

    const auto bits = parseUnsigned(parts[2]);
    if (!bits || *bits < 5 || *bits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<std::uint8_t>(*bits);

    if (parts[3] == "1")
        settings.stopBits = StopBits::One;
    else if (parts[3] == "1.5")
        settings.stopBits = StopBits::OneAndHalf;
    else if (parts[3] == "2")
        settings.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

std::string describeLineSettings(const std::string& title, const LineSettings& settings)
{
    static const char* const parityNames[] = {"NO PARITY", "ODD", "EVEN", "MARK", "SPACE"};
    static const char* const stopNames[] = {"1", "1.5", "2"};
    std::string text = "\r\n\r\n" + title;
    text += "\r\nBaudRate: " + std::to_string(settings.baudRate);
    text += "\r\nParity: ";
    text += parityNames[static_cast<int>(settings.parity) % 5];
    text += "\r\nNumber of Bits: " + std::to_string(settings.dataBits);
    text += "\r\nStopBits: ";
    text += stopNames[static_cast<int>(settings.stopBits) % 3];
    return text;
}

} // namespace talvex
