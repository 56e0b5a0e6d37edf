#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::cli {

/// A list the user picks one entry of by name on the command line. Entry
/// i is the window's button or list entry i, so the index goes straight
/// into the core's command builders.
class ChoiceList {
public:
    explicit ChoiceList(std::vector<std::string> names);

    /// The entry `input` names: letter case, blanks and a trailing "MHz"
    /// do not matter, and numbers compare by value ("4" is "4.00").
    std::optional<int> find(std::string_view input) const;
    /// The entry's name; "unknown" for nothing or an index outside.
    std::string name(std::optional<int> index) const;
    /// "a, b, c" for the help and for error messages.
    std::string joined() const;
    std::size_t size() const { return m_names.size(); }

private:
    std::vector<std::string> m_names;
};

/// A list entry of the core's item tables as a command-line word:
/// "3.43   Mhz" → "3.43", "Default" → "default", "None" → "none".
std::string choiceWord(std::string_view itemText);

// The settings window's button groups (without a "default" entry).
const ChoiceList& clockChoices();
const ChoiceList& phoenixClockChoices();
const ChoiceList& speedChoices();
const ChoiceList& parityChoices();

// The Advanced and Uniprog pages' lists ("default" last).
const ChoiceList& advancedModeChoices();
const ChoiceList& advancedClockChoices();
const ChoiceList& advancedSpeedChoices();
const ChoiceList& advancedParityChoices();
const ChoiceList& uniprogClockChoices();
const ChoiceList& uniprogBaudChoices();

/// The speed variants by the names talvex-simulator uses.
const ChoiceList& variantChoices();

} // namespace talvex::cli
