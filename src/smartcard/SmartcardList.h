#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// A card named by a smartcard list: the ATR pattern that matched and its
/// description lines (the first names the card).
struct CardName {
    std::string pattern;
    std::vector<std::string> descriptions;

    std::string name() const { return descriptions.empty() ? pattern : descriptions.front(); }
};

/// Where the list pcsc-tools keeps is looked for, in order: its updated
/// copy in the user's cache, then the one Debian's package installs.
/// The tool never ships a list of its own.
std::vector<std::string> defaultSmartcardListPaths();

/// Looks `atr` (as "3B 02 14 50") up in the list at `path`, in the format
/// of pcsc-tools' smartcard_list.txt: an ATR line (hex pairs with ".."
/// or "." wildcards, or a regular expression over that text) followed by
/// tab-indented description lines; "#" starts a comment. The first entry
/// that matches wins. Nothing when the file is missing or names no match.
std::optional<CardName> lookUpCard(std::string_view spacedAtr, const std::string& path);

/// The first list of `paths` that exists is asked; nothing when none does.
std::optional<CardName> lookUpCard(std::string_view spacedAtr, const std::vector<std::string>& paths);

/// Whether one ATR line of the list matches the ATR text.
bool atrPatternMatches(std::string_view pattern, std::string_view spacedAtr);

inline constexpr const char* kUnknownCard = "unknown card";

} // namespace talvex
