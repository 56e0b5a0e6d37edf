#include "cli/Choices.h"

#include "protocol/SettingsCommands.h"
#include "protocol/SpeedVariant.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace talvex::cli {
namespace {

std::string normalized(std::string_view text)
{
    std::string word;
    for (const char c : text) {
        if (c != ' ' && c != '\t')
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string unit = "mhz";
    if (word.size() > unit.size() && word.compare(word.size() - unit.size(), unit.size(), unit) == 0)
        word.resize(word.size() - unit.size());
    return word;
}

std::optional<double> number(const std::string& word)
{
    if (word.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

template <std::size_t N> ChoiceList fromItems(const std::array<std::string_view, N>& items, std::size_t count = N)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i)
        names.push_back(choiceWord(items[i]));
    return ChoiceList(std::move(names));
}

// The clock, speed and parity buttons carry the codes of the Advanced
// lists' entries before "default", in the same order.
static_assert(kClockButtons.size() + 1 == kAdvancedClockItems.size());
static_assert(kSpeedButtons.size() + 1 == kAdvancedSpeedItems.size());
static_assert(kParityButtons.size() + 1 == kAdvancedParityItems.size());

// The Phoenix clock buttons' captions exist only in the window (as
// widget texts); these are the same values, in button order.
constexpr std::array<std::string_view, 7> kPhoenixClockWords {"3.572", "3.69", "4.00", "4.80", "6.00", "8.00", "12.00"};
static_assert(kPhoenixClockWords.size() == kPhoenixClockButtons.size());

constexpr std::array<std::string_view, 3> kModeWords {"atr-9600", "atr-115200", "debug"};
static_assert(kModeWords.size() == kAdvancedModeItems.size());

} // namespace

std::string choiceWord(std::string_view itemText)
{
    return normalized(itemText);
}

ChoiceList::ChoiceList(std::vector<std::string> names)
    : m_names(std::move(names))
{
}

std::optional<int> ChoiceList::find(std::string_view input) const
{
    const std::string word = normalized(input);
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == word)
            return static_cast<int>(i);
    }
    const auto wanted = number(word);
    if (!wanted)
        return std::nullopt;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        const auto value = number(m_names[i]);
        if (value && std::fabs(*value - *wanted) < 1e-9)
            return static_cast<int>(i);
    }
    return std::nullopt;
}

std::string ChoiceList::name(std::optional<int> index) const
{
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= m_names.size())
        return "unknown";
    return m_names[static_cast<std::size_t>(*index)];
}

std::string ChoiceList::joined() const
{
    std::string text;
    for (const std::string& name : m_names) {
        if (!text.empty())
            text += ", ";
        text += name;
    }
    return text;
}

const ChoiceList& clockChoices()
{
    static const ChoiceList list = fromItems(kAdvancedClockItems, kClockButtons.size());
    return list;
}

const ChoiceList& phoenixClockChoices()
{
    static const ChoiceList list = fromItems(kPhoenixClockWords);
    return list;
}

const ChoiceList& speedChoices()
{
    static const ChoiceList list = fromItems(kAdvancedSpeedItems, kSpeedButtons.size());
    return list;
}

const ChoiceList& parityChoices()
{
    static const ChoiceList list = fromItems(kAdvancedParityItems, kParityButtons.size());
    return list;
}

const ChoiceList& advancedModeChoices()
{
    static const ChoiceList list = fromItems(kModeWords);
    return list;
}

const ChoiceList& advancedClockChoices()
{
    static const ChoiceList list = fromItems(kAdvancedClockItems);
    return list;
}

const ChoiceList& advancedSpeedChoices()
{
    static const ChoiceList list = fromItems(kAdvancedSpeedItems);
    return list;
}

const ChoiceList& advancedParityChoices()
{
    static const ChoiceList list = fromItems(kAdvancedParityItems);
    return list;
}

const ChoiceList& uniprogClockChoices()
{
    static const ChoiceList list = fromItems(kUniprogClockItems);
    return list;
}

const ChoiceList& uniprogBaudChoices()
{
    static const ChoiceList list = fromItems(kUniprogBaudItems);
    return list;
}

const ChoiceList& variantChoices()
{
    static const ChoiceList list = [] {
        std::vector<std::string> names {"auto"};
        for (const SpeedVariantNames& variant : kSpeedVariantNames)
            names.emplace_back(variant.option);
        return ChoiceList(std::move(names));
    }();
    return list;
}

} // namespace talvex::cli
