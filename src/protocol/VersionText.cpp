#include "protocol/VersionText.h"

#include "protocol/CommandText.h"

#include <cstdio>

namespace talvex {
namespace {

// The minor number: hex characters after the major digit, non-digits skipped.
int minorNumber(const std::string& versionDigits)
{
    int value = 0;
    for (std::size_t i = 1; i < versionDigits.size() && i < 3; ++i) {
        if (const auto digit = textDigitValue(versionDigits[i]))
            value = value * 16 + *digit;
    }
    return value;
}

int majorNumber(const std::string& versionDigits)
{
    if (versionDigits.empty() || versionDigits[0] < '0' || versionDigits[0] > '9')
        return 0;
    return versionDigits[0] - '0';
}

} // namespace

std::string firmwareVersionText(const std::string& versionDigits)
{
    if (versionDigits.empty())
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%c.%02i", versionDigits[0], minorNumber(versionDigits));
    return text;
}

int firmwareVersionNumber(const std::string& versionDigits)
{
    return majorNumber(versionDigits) * 100 + minorNumber(versionDigits);
}

std::string toolVersionText(int version)
{
    char text[32];
    std::snprintf(text, sizeof text, "%i.%02i.%02i", version / 10000, version / 100 % 100, version % 100);
    return text;
}

} // namespace talvex
