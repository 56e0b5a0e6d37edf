#include "smartcard/SmartcardList.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

namespace talvex {
namespace {

// The list holds some tens of thousands of lines; this bounds a file
// that is not one.
constexpr std::size_t kMaxLines = 1000000;

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

std::string_view trimmedRight(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Hex digits, blanks and "." only: matched position by position, since
// compiling every line of the list as a regular expression is slow.
bool isPlainPattern(std::string_view pattern)
{
    for (const char c : pattern) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ' ' && c != '.')
            return false;
    }
    return true;
}

bool plainMatch(std::string_view pattern, std::string_view atr)
{
    if (pattern.size() != atr.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '.' && pattern[i] != atr[i])
            return false;
    }
    return true;
}

} // namespace

std::vector<std::string> defaultSmartcardListPaths()
{
    std::vector<std::string> paths;
    if (const char* home = std::getenv("HOME"); home && *home)
        paths.push_back(std::string(home) + "/.cache/smartcard_list.txt");
    paths.emplace_back("/usr/share/pcsc/smartcard_list.txt");
    return paths;
}

bool atrPatternMatches(std::string_view pattern, std::string_view spacedAtr)
{
    const std::string wanted = upper(trimmedRight(pattern));
    const std::string atr = upper(spacedAtr);
    if (isPlainPattern(wanted))
        return plainMatch(wanted, atr);
    try {
        return std::regex_match(atr, std::regex(wanted));
    } catch (const std::regex_error&) {
        return false; // a line this reader cannot read names no card
    }
}

std::optional<CardName> lookUpCard(std::string_view spacedAtr, const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        return std::nullopt;
    std::optional<CardName> found;
    std::string line;
    for (std::size_t count = 0; count < kMaxLines && std::getline(file, line); ++count) {
        std::string_view text = trimmedRight(line);
        if (text.empty() || text.front() == '#')
            continue;
        if (text.front() == '\t') {
            if (found) {
                while (!text.empty() && (text.front() == '\t' || text.front() == ' '))
                    text.remove_prefix(1);
                found->descriptions.emplace_back(text);
            }
            continue;
        }
        // ATR lines in a row share the descriptions that follow them.
        if (found && !found->descriptions.empty())
            break;
        if (!found && atrPatternMatches(text, spacedAtr))
            found = CardName{std::string(text), {}};
    }
    return found;
}

std::optional<CardName> lookUpCard(std::string_view spacedAtr, const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error))
            return lookUpCard(spacedAtr, path);
    }
    return std::nullopt;
}

} // namespace talvex
