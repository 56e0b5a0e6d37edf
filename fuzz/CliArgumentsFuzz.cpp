// talvexctl's argument parser. Input: the arguments, one per line. A
// parse that succeeds is written back in one canonical form (every option
// as --name=value, "--" before the positionals) and must parse to the
// same invocation; a command line that is taken satisfies its command's
// table entry.

#include "FuzzCheck.h"

#include "cli/CommandTable.h"
#include "cli/Invocation.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace talvex::cli;

namespace {

constexpr std::size_t kLongestHelp = 8000;

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    // A final line end starts no argument, as in a seed file.
    if (!text.empty() && text.back() == '\n')
        lines.pop_back();
    return lines;
}

std::vector<std::string> words(std::string_view name)
{
    std::vector<std::string> result;
    for (std::size_t at = 0; at <= name.size();) {
        const std::size_t end = std::min(name.find(' ', at), name.size());
        result.emplace_back(name.substr(at, end - at));
        at = end + 1;
    }
    return result;
}

std::vector<std::string> canonical(const Invocation& call)
{
    std::vector<std::string> arguments;
    if (call.help)
        arguments.push_back("--help");
    if (call.version)
        arguments.push_back("--version");
    if (call.simulate)
        arguments.push_back("--simulate");
    if (call.quiet)
        arguments.push_back("--quiet");
    if (call.simState)
        arguments.push_back("--sim-state=" + *call.simState);
    if (call.answerDelayMs)
        arguments.push_back("--answer-delay=" + std::to_string(*call.answerDelayMs));
    for (const auto& [name, value] : call.options) {
        const OptionEntry* entry = call.command->option(name);
        arguments.push_back(entry->value.empty() ? name : name + "=" + value);
    }
    if (call.command) {
        for (std::string& word : words(call.command->name))
            arguments.push_back(std::move(word));
    } else if (!call.helpGroup.empty()) {
        arguments.push_back(call.helpGroup);
    }
    arguments.push_back("--");
    arguments.insert(arguments.end(), call.positionals.begin(), call.positionals.end());
    return arguments;
}

bool same(const Invocation& a, const Invocation& b)
{
    return a.command == b.command && a.positionals == b.positionals && a.options == b.options && a.help == b.help &&
           a.helpGroup == b.helpGroup && a.version == b.version && a.simulate == b.simulate && a.quiet == b.quiet &&
           a.simState == b.simState && a.answerDelayMs == b.answerDelayMs;
}

// What a taken command line guarantees to the command that runs.
void checkRunnable(const Invocation& call)
{
    FUZZ_CHECK(call.command != nullptr);
    const CommandEntry& command = *call.command;
    FUZZ_CHECK(call.positionals.size() == command.positionals.size());
    for (const auto& [name, value] : call.options) {
        const OptionEntry* entry = command.option(name);
        FUZZ_CHECK(entry != nullptr);
        FUZZ_CHECK(!entry->value.empty() || value.empty());
    }
    for (std::string_view required : command.requiredOptions)
        FUZZ_CHECK(call.has(required));
    FUZZ_CHECK(!call.simState || call.simulate);
}

// Read again the way the usage describes it: each option the line gives is
// in the invocation with the value given (the last one for a global option),
// and the other words are the command's name and then its positionals.
void checkNothingLost(const std::vector<std::string>& arguments, const Invocation& call)
{
    std::map<std::string, std::string, std::less<>> globals;
    std::vector<std::string> given;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            given.push_back(argument);
            continue;
        }
        std::string name = argument == "-h" ? "--help" : argument == "-q" ? "--quiet" : argument;
        std::optional<std::string> value;
        const std::size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const OptionEntry* global = globalOption(name);
        const OptionEntry* entry = global ? global : call.command->option(name);
        FUZZ_CHECK(entry != nullptr);
        if (!entry->value.empty() && !value)
            value = arguments.at(++i);
        if (global)
            globals[name] = value.value_or("");
        else
            FUZZ_CHECK(call.value(name) == value.value_or(""));
    }
    FUZZ_CHECK(call.simulate == globals.contains("--simulate"));
    FUZZ_CHECK(call.quiet == globals.contains("--quiet"));
    FUZZ_CHECK(call.version == globals.contains("--version"));
    const auto simState = globals.find("--sim-state");
    FUZZ_CHECK(call.simState == (simState == globals.end() ? std::nullopt : std::optional(simState->second)));
    const auto delay = globals.find("--answer-delay");
    FUZZ_CHECK(call.answerDelayMs.has_value() == (delay != globals.end()));
    if (call.answerDelayMs)
        FUZZ_CHECK(std::stoi(delay->second) == *call.answerDelayMs);

    // The command's words may also come as one argument ("usb-serial list"):
    // the table is looked up by the words joined with blanks.
    FUZZ_CHECK(given.size() >= call.positionals.size());
    const std::size_t nameWords = given.size() - call.positionals.size();
    FUZZ_CHECK(std::equal(call.positionals.begin(), call.positionals.end(),
                          given.begin() + static_cast<std::ptrdiff_t>(nameWords)));
    std::string name;
    for (std::size_t i = 0; i < nameWords; ++i)
        name += (i > 0 ? " " : "") + given[i];
    FUZZ_CHECK(name == call.command->name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> arguments =
        splitLines(std::string_view(reinterpret_cast<const char*>(data), size));
    const ParsedArguments parsed = parseArguments(arguments);
    FUZZ_CHECK(parsed.ok() == parsed.error.empty());
    if (!parsed.ok()) {
        // The message quotes at most an argument or two, never the whole line.
        FUZZ_CHECK(parsed.error.size() <= 2 * size + 200);
        FUZZ_CHECK(parseArguments(arguments).error == parsed.error);
        return 0;
    }

    const Invocation& call = parsed.invocation;
    FUZZ_CHECK(!call.answerDelayMs || (*call.answerDelayMs >= 1 && *call.answerDelayMs <= 60000));
    FUZZ_CHECK(call.helpGroup.empty() || (!call.command && isCommandGroup(call.helpGroup)));
    if (call.help) {
        const std::string help = helpText(call);
        FUZZ_CHECK(help.rfind("usage: talvexctl ", 0) == 0 && help.size() <= kLongestHelp);
        if (call.command)
            FUZZ_CHECK(help.find(call.command->name) != std::string::npos);
    } else if (call.command) {
        checkRunnable(call);
        checkNothingLost(arguments, call);
    } else {
        FUZZ_CHECK(call.version);
    }

    const ParsedArguments again = parseArguments(canonical(call));
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(same(again.invocation, call));
    return 0;
}
