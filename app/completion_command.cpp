// `orlavine completion bash|zsh` prints a completion script made from the subcommands and flags
// this program has; `orlavine complete-ids` (hidden) prints "ID:name" lines for the scripts.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "text/text.h"

namespace orlavine {
namespace {

struct CommandShape {
    std::string name;
    std::string description;
    std::vector<std::string> flags;
    std::vector<std::string> nested;  // subcommands of the subcommand
    bool takesID = false;
};

std::vector<CommandShape> commandShapes(const CLI::App& app) {
    std::vector<CommandShape> shapes;
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_group().empty()) {
            continue;  // hidden
        }
        CommandShape shape{sub->get_name(), sub->get_description(), {}, {}, false};
        for (const CLI::Option* option : sub->get_options()) {
            if (option->get_positional()) {
                shape.takesID = shape.takesID || option->get_name(true) == "id";
                continue;
            }
            for (const std::string& name : option->get_lnames()) {
                shape.flags.push_back("--" + name);
            }
        }
        for (const CLI::App* nested : sub->get_subcommands({})) {
            shape.nested.push_back(nested->get_name());
        }
        shapes.push_back(std::move(shape));
    }
    return shapes;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        out += out.empty() ? w : " " + w;
    }
    return out;
}

// Single-quoted for the shells: a quote inside becomes '\''.
std::string quoted(const std::string& s) {
    return "'" + text::replaceAll(s, "'", "'\\''") + "'";
}

std::string bashScript(const std::vector<CommandShape>& shapes) {
    std::vector<std::string> names;
    std::string cases;
    for (const CommandShape& c : shapes) {
        names.push_back(c.name);
        cases += fmt::format("        {}) flags={} nested={} ids={} ;;\n", c.name,
                             quoted(joined(c.flags)), quoted(joined(c.nested)), c.takesID ? 1 : 0);
    }
    std::string script = R"SH(# bash completion for orlavine
_orlavine() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W '@FIRST@ --help --version' -- "$cur")
        return
    fi
    local flags="" nested="" ids=0
    case ${COMP_WORDS[1]} in
@SECOND@    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$flags" -- "$cur")
    elif ((COMP_CWORD == 2 && ids == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$(orlavine complete-ids 2>/dev/null | cut -d: -f1)" -- "$cur")
    elif ((COMP_CWORD == 2)) && [[ -n $nested ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$nested" -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -o filenames -F _orlavine orlavine
)SH";
    script = text::replaceAll(script, "@FIRST@", joined(names));
    return text::replaceAll(script, "@SECOND@", cases);
}

std::string zshScript(const std::vector<CommandShape>& shapes) {
    std::string commands;
    std::string cases;
    for (const CommandShape& c : shapes) {
        commands += "        " + quoted(c.name + ":" + c.description) + "\n";
        cases += fmt::format("        {}) flags=({}); nested=({}); ids={} ;;\n", c.name,
                             joined(c.flags), joined(c.nested), c.takesID ? 1 : 0);
    }
    std::string script = R"SH(#compdef orlavine
# zsh completion for orlavine
_orlavine() {
    local -a commands flags nested styles
    local ids=0
    commands=(
@FIRST@    )
    if ((CURRENT == 2)); then
        _describe 'command' commands
        return
    fi
    case $words[2] in
@SECOND@    esac
    if [[ $words[CURRENT] == -* ]]; then
        compadd -- $flags
    elif ((CURRENT == 3 && ids == 1)); then
        styles=(${(f)"$(orlavine complete-ids 2>/dev/null)"})
        _describe 'style' styles
    elif ((CURRENT == 3 && ${#nested})); then
        compadd -- $nested
    else
        _files
    fi
}
_orlavine "$@"
)SH";
    script = text::replaceAll(script, "@FIRST@", commands);
    return text::replaceAll(script, "@SECOND@", cases);
}

int printCompletion(const CLI::App& app, const std::string& shell) {
    const std::vector<CommandShape> shapes = commandShapes(app);
    fmt::print("{}", shell == "zsh" ? zshScript(shapes) : bashScript(shapes));
    return 0;
}

int printStyleIDs(CliSession& session) {
    session.store().readSummary([](const styleDatabase& db) {
        for (const styleContainer& s : db.styles) {
            // zsh reads "value:description"; a colon in the name is escaped.
            fmt::print("{}:{}\n", s.uniqueID,
                       text::replaceAll(text::forTerminal(s.styleData.name), ":", "\\:"));
        }
    });
    return 0;
}

}  // namespace

void addCompletionCommands(CLI::App& app, CommandTable& table) {
    auto shell = std::make_shared<std::string>();
    auto* completion = app.add_subcommand(
        "completion", "Print the shell completion script (bash or zsh) for orlavine");
    completion->add_option("shell", *shell, "bash or zsh")
        ->required()
        ->check(CLI::IsMember({"bash", "zsh"}));
    const CLI::App* root = &app;
    table.addAlone(completion, [root, shell] { return printCompletion(*root, *shell); });

    auto* ids = app.add_subcommand("complete-ids", "Style IDs and names for completion");
    ids->group("");
    table.add(ids, [](CliSession& s) { return printStyleIDs(s); });
}

}  // namespace orlavine
