#pragma once

#include <optional>
#include <string_view>

namespace talvex {

/// Which build of the device firmware answered, told apart by speed and
/// line sequence: the low-speed builds answer only at 9600 baud, each
/// after its own line sequence.
enum class SpeedVariant { Normal, LowSpeed1, LowSpeed2 };

/// The one table of names: what the command line and the simulator take,
/// and what the windows and the docs call the build.
struct SpeedVariantNames {
    SpeedVariant variant;
    std::string_view option; ///< "normal", "low1", "low2"
    std::string_view build;  ///< "Normal", "Phoenix", "Uniprog"
};

inline constexpr SpeedVariantNames kSpeedVariantNames[] = {
    {SpeedVariant::Normal, "normal", "Normal"},
    {SpeedVariant::LowSpeed1, "low1", "Phoenix"},
    {SpeedVariant::LowSpeed2, "low2", "Uniprog"},
};

constexpr const SpeedVariantNames& namesOf(SpeedVariant variant)
{
    for (const SpeedVariantNames& names : kSpeedVariantNames) {
        if (names.variant == variant)
            return names;
    }
    return kSpeedVariantNames[0];
}

constexpr std::string_view optionName(SpeedVariant variant) { return namesOf(variant).option; }
constexpr std::string_view buildName(SpeedVariant variant) { return namesOf(variant).build; }

/// The variant an option name stands for.
constexpr std::optional<SpeedVariant> speedVariantFromOption(std::string_view option)
{
    for (const SpeedVariantNames& names : kSpeedVariantNames) {
        if (names.option == option)
            return names.variant;
    }
    return std::nullopt;
}

} // namespace talvex
