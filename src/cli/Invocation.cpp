#include "cli/Invocation.h"

#include <charconv>

namespace talvex::cli {
namespace {

constexpr int kMaxAnswerDelayMs = 60000;
// A bench's hub; the simulated host has ports for many more.
constexpr int kMaxSimulated = 16;

std::string joinedWords(const std::vector<std::string>& words, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count && i < words.size(); ++i)
        text += (i > 0 ? " " : "") + words[i];
    return text;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments)
        : m_arguments(arguments)
    {
    }

    ParsedArguments run()
    {
        for (m_at = 0; m_at < m_arguments.size() && m_result.error.empty(); ++m_at) {
            const std::string& argument = m_arguments[m_at];
            if (!m_optionsEnded && argument == "--")
                m_optionsEnded = true;
            else if (!m_optionsEnded && argument.size() > 1 && argument[0] == '-')
                option(argument);
            else
                m_words.push_back(argument);
        }
        if (m_result.error.empty())
            resolveCommand();
        if (m_result.error.empty())
            check();
        return std::move(m_result);
    }

private:
    Invocation& invocation() { return m_result.invocation; }

    void fail(std::string message)
    {
        if (m_result.error.empty())
            m_result.error = std::move(message);
    }

    void option(const std::string& argument)
    {
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (argument == "-h")
            name = "--help";
        else if (argument == "-q")
            name = "--quiet";
        else if (const auto equals = argument.find('='); argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        }

        const OptionEntry* entry = globalOption(name);
        const bool global = entry != nullptr;
        if (!entry) {
            // Command options may come before the command's words are all
            // read, so look the option up in every command for now.
            m_pending.push_back({name, {}});
            entry = anyCommandOption(name);
            if (!entry)
                return fail("unknown option " + name);
        }
        if (name == "--simulate" && inlineValue)
            return simulatedProgrammers(*inlineValue);
        std::string value;
        if (!entry->value.empty()) {
            if (inlineValue)
                value = *inlineValue;
            else if (m_at + 1 < m_arguments.size())
                value = m_arguments[++m_at];
            else
                return fail(name + " needs a value (" + std::string(entry->value) + ")");
        } else if (inlineValue) {
            return fail(name + " takes no value");
        }
        if (global)
            globalValue(name, value);
        else
            m_pending.back().second = value;
    }

    static const OptionEntry* anyCommandOption(std::string_view name)
    {
        for (const CommandEntry& command : commandTable()) {
            if (const OptionEntry* entry = command.option(name))
                return entry;
        }
        return nullptr;
    }

    // "--simulate=N": a bench of N programmers.
    void simulatedProgrammers(const std::string& value)
    {
        int count = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
        if (error != std::errc() || end != value.data() + value.size() || count < 1 || count > kMaxSimulated)
            return fail("--simulate=N takes a number of programmers from 1 to " + std::to_string(kMaxSimulated) +
                        ", not \"" + value + "\"");
        invocation().simulate = true;
        invocation().simulatedProgrammers = count;
    }

    void globalValue(const std::string& name, const std::string& value)
    {
        Invocation& call = invocation();
        if (name == "--help")
            call.help = true;
        else if (name == "--version")
            call.version = true;
        else if (name == "--simulate")
            call.simulate = true;
        else if (name == "--quiet")
            call.quiet = true;
        else if (name == "--sim-state")
            call.simState = value;
        else if (name == "--sim-cards")
            call.simCards = value;
        else if (name == "--answer-delay") {
            int delay = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), delay);
            if (error != std::errc() || end != value.data() + value.size() || delay < 1 || delay > kMaxAnswerDelayMs)
                return fail("--answer-delay takes milliseconds from 1 to " + std::to_string(kMaxAnswerDelayMs) +
                            ", not \"" + value + "\"");
            call.answerDelayMs = delay;
        }
    }

    void resolveCommand()
    {
        Invocation& call = invocation();
        std::size_t used = 0;
        if (m_words.empty()) {
            if (!call.help && !call.version)
                fail("no command given");
            return;
        }
        if (m_words[0] == "help") {
            // "help", "help set", "help set clock": the help of that.
            call.help = true;
            m_words.erase(m_words.begin());
            if (m_words.empty())
                return;
        }
        if (isCommandGroup(m_words[0])) {
            if (m_words.size() < 2) {
                if (call.help) {
                    call.helpGroup = m_words[0];
                    return;
                }
                return fail("\"" + m_words[0] + "\" needs a command: see talvexctl " + m_words[0] + " --help");
            }
            used = 2;
        } else {
            used = 1;
        }
        const std::string name = joinedWords(m_words, used);
        call.command = findCommand(name);
        if (!call.command) {
            if (call.help && used == 2)
                call.helpGroup = m_words[0];
            return fail("unknown command \"" + name + "\"");
        }
        call.positionals.assign(m_words.begin() + static_cast<std::ptrdiff_t>(used), m_words.end());
    }

    void check()
    {
        Invocation& call = invocation();
        if (call.help || (call.version && !call.command))
            return;
        const CommandEntry& command = *call.command;
        for (const auto& [name, value] : m_pending) {
            if (!command.option(name))
                return fail(std::string(command.name) + " takes no option " + name);
            if (!call.options.emplace(name, value).second)
                return fail(name + " given twice");
        }
        for (std::string_view required : command.requiredOptions) {
            if (!call.has(required))
                return fail(std::string(command.name) + " needs " + std::string(required) + " " +
                            std::string(command.option(required)->value));
        }
        const std::size_t wanted = command.positionals.size();
        if (call.positionals.size() < wanted)
            return fail(std::string(command.name) + " needs " +
                        std::string(command.positionals[call.positionals.size()]));
        if (call.positionals.size() > wanted)
            return fail(std::string(command.name) + ": unexpected argument \"" + call.positionals[wanted] + "\"");
        if (call.simState && !call.simulate)
            return fail("--sim-state goes with --simulate");
        if (call.simState && call.simulatedProgrammers > 1)
            return fail("--sim-state keeps one simulated programmer, not " +
                        std::to_string(call.simulatedProgrammers));
        if (call.simCards && !call.simulate)
            return fail("--sim-cards goes with --simulate");
    }

    const std::vector<std::string>& m_arguments;
    std::size_t m_at = 0;
    bool m_optionsEnded = false;
    std::vector<std::string> m_words;
    std::vector<std::pair<std::string, std::string>> m_pending;
    ParsedArguments m_result;
};

} // namespace

std::optional<std::string> Invocation::value(std::string_view option) const
{
    const auto found = options.find(option);
    if (found == options.end())
        return std::nullopt;
    return found->second;
}

ParsedArguments parseArguments(const std::vector<std::string>& arguments)
{
    return Parser(arguments).run();
}

std::string helpText(const Invocation& invocation)
{
    if (invocation.command)
        return commandHelp(*invocation.command);
    if (!invocation.helpGroup.empty())
        return groupHelp(invocation.helpGroup);
    return programHelp();
}

} // namespace talvex::cli
