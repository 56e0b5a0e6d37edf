#include "protocol/CommandText.h"

namespace talvex {

int commandDigitValue(char digit)
{
    if (digit >= '1' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return 0;
}

std::uint8_t hexPairToByte(char high, char low)
{
    return static_cast<std::uint8_t>(commandDigitValue(high) * 16 + commandDigitValue(low));
}

std::optional<std::vector<std::uint8_t>> commandFrame(std::string_view text)
{
    const std::size_t byteCount = text.size() / 2;
    if (byteCount > kMaxFrameBytes)
        return std::nullopt;
    std::vector<std::uint8_t> frame;
    frame.reserve(byteCount);
    for (std::size_t i = 0; i < byteCount; ++i)
        frame.push_back(hexPairToByte(text[2 * i], text[2 * i + 1]));
    return frame;
}

std::string toHexText(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

std::optional<int> textDigitValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'Z')
        return digit - 55;
    if (digit >= 'a' && digit <= 'z')
        return digit - 87;
    return std::nullopt;
}

} // namespace talvex
