#include "cli/ShellCompletion.h"

#include "cli/CommandTable.h"

#include <set>
#include <vector>

namespace talvex::cli {
namespace {

std::string firstWord(std::string_view name)
{
    return std::string(name.substr(0, name.find(' ')));
}

std::string secondWord(std::string_view name)
{
    const auto blank = name.find(' ');
    return blank == std::string_view::npos ? std::string() : std::string(name.substr(blank + 1));
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// The command's own options, then the global ones, as completion offers them.
std::string optionsOf(const CommandEntry* command)
{
    std::vector<std::string> names;
    if (command) {
        for (const OptionEntry& option : command->options)
            names.emplace_back(option.name);
    }
    for (const OptionEntry& option : globalOptions())
        names.emplace_back(option.name);
    return joined(names);
}

// Options whose next word is their value, not a command.
std::string valueOptions()
{
    std::set<std::string> names;
    for (const OptionEntry& option : globalOptions()) {
        if (!option.value.empty())
            names.emplace(option.name);
    }
    for (const CommandEntry& command : commandTable()) {
        for (const OptionEntry& option : command.options) {
            if (!option.value.empty())
                names.emplace(option.name);
        }
    }
    return joined({names.begin(), names.end()});
}

std::vector<std::string> topWords()
{
    std::vector<std::string> words;
    for (const CommandEntry& command : commandTable()) {
        const std::string word = firstWord(command.name);
        if (words.empty() || words.back() != word)
            words.push_back(word);
    }
    return words;
}

std::vector<std::string> groupWords(const std::string& group)
{
    std::vector<std::string> words;
    for (const CommandEntry& command : commandTable()) {
        if (firstWord(command.name) == group && !secondWord(command.name).empty())
            words.push_back(secondWord(command.name));
    }
    return words;
}

// The shell code that finds the command among the words typed so far,
// shared by bash and zsh: `words` holds them, `cword` the one being typed.
std::string commandFinder()
{
    return "    local value_opts=\" " + valueOptions() + " \"\n"
        "    local command=\"\" skip=0 i word\n"
        "    for ((i = 1; i < cword; i++)); do\n"
        "        word=${words[i]}\n"
        "        if ((skip)); then skip=0; continue; fi\n"
        "        case $word in\n"
        "            --*=*) continue ;;\n"
        "            -*) [[ $value_opts == *\" $word \"* ]] && skip=1; continue ;;\n"
        "        esac\n"
        "        if [[ -z $command ]]; then command=$word\n"
        "        elif [[ $command != *\" \"* ]] && [[ \" " + [] {
               std::vector<std::string> groups;
               for (const std::string& word : topWords()) {
                   if (isCommandGroup(word))
                       groups.push_back(word);
               }
               return joined(groups);
           }() + " \" == *\" $command \"* ]]; then command=\"$command $word\"\n"
        "        fi\n"
        "    done\n";
}

// "case" arms: the words offered after each group, the options of each command.
std::string caseArms()
{
    std::string arms = "    local subs=\"\" opts=\"" + optionsOf(nullptr) + "\"\n    case $command in\n";
    for (const std::string& word : topWords()) {
        if (isCommandGroup(word))
            arms += "        " + word + ") subs=\"" + joined(groupWords(word)) + "\" ;;\n";
    }
    for (const CommandEntry& command : commandTable())
        arms += "        \"" + std::string(command.name) + "\") opts=\"" + optionsOf(&command) + "\" ;;\n";
    return arms + "    esac\n";
}

std::string bash()
{
    return "# bash completion for talvexctl, made from its command table\n"
           "_talvexctl()\n{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} cword=$COMP_CWORD\n"
           "    local -a words=(\"${COMP_WORDS[@]}\")\n" +
        commandFinder() + caseArms() +
        "    if [[ $cur == -* ]]; then\n"
        "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
        "    elif [[ -z $command ]]; then\n"
        "        COMPREPLY=($(compgen -W \"" + joined(topWords()) + "\" -- \"$cur\"))\n"
        "    elif [[ -n $subs ]]; then\n"
        "        COMPREPLY=($(compgen -W \"$subs\" -- \"$cur\"))\n"
        "    else\n"
        "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        "    fi\n"
        "}\n"
        "complete -o filenames -F _talvexctl talvexctl\n";
}

std::string zsh()
{
    // zsh counts words from 1 and has the one being typed in $CURRENT.
    return "#compdef talvexctl\n"
           "# zsh completion for talvexctl, made from its command table\n"
           "_talvexctl()\n{\n"
           "    setopt localoptions ksharrays\n"
           "    local cword=$((CURRENT - 1)) cur=${words[CURRENT - 1]}\n" +
        commandFinder() + caseArms() +
        "    if [[ $cur == -* ]]; then\n"
        "        compadd -- ${=opts}\n"
        "    elif [[ -z $command ]]; then\n"
        "        compadd -- " + joined(topWords()) + "\n"
        "    elif [[ -n $subs ]]; then\n"
        "        compadd -- ${=subs}\n"
        "    else\n"
        "        _files\n"
        "    fi\n"
        "}\n"
        "_talvexctl \"$@\"\n";
}

std::string fishQuoted(std::string_view text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\')
            quoted += '\\';
        quoted += c == '\n' ? ' ' : c;
    }
    return quoted + "'";
}

std::string fish()
{
    std::string script = "# fish completion for talvexctl, made from its command table\n"
                         "complete -c talvexctl -f\n";
    const std::vector<std::string> tops = topWords();
    for (const CommandEntry& command : commandTable()) {
        const std::string first = firstWord(command.name);
        const std::string second = secondWord(command.name);
        std::string seen;
        if (second.empty()) {
            script += "complete -c talvexctl -n 'not __fish_seen_subcommand_from " + joined(tops) + "' -a " + first +
                " -d " + fishQuoted(command.summary) + "\n";
            seen = "__fish_seen_subcommand_from " + first;
        } else {
            script += "complete -c talvexctl -n '__fish_seen_subcommand_from " + first +
                "; and not __fish_seen_subcommand_from " + joined(groupWords(first)) + "' -a " + second + " -d " +
                fishQuoted(command.summary) + "\n";
            seen = "__fish_seen_subcommand_from " + first + "; and __fish_seen_subcommand_from " + second;
        }
        for (const OptionEntry& option : command.options) {
            script += "complete -c talvexctl -n '" + seen + "' -l " + std::string(option.name.substr(2)) +
                (option.value.empty() ? "" : " -r -F") + " -d " + fishQuoted(option.help) + "\n";
        }
    }
    for (const std::string& group : tops) {
        if (isCommandGroup(group))
            script += "complete -c talvexctl -n 'not __fish_seen_subcommand_from " + joined(tops) + "' -a " + group +
                "\n";
    }
    for (const OptionEntry& option : globalOptions()) {
        script += "complete -c talvexctl -l " + std::string(option.name.substr(2)) +
            (option.value.empty() ? "" : " -r -F") + " -d " + fishQuoted(option.help) + "\n";
    }
    return script;
}

} // namespace

std::string shellCompletion(std::string_view shell)
{
    if (shell == "bash")
        return bash();
    if (shell == "zsh")
        return zsh();
    if (shell == "fish")
        return fish();
    return {};
}

} // namespace talvex::cli
