// `orlavine props ID [flags]`: what the properties panel sets (exclusions, frames, light/dark,
// variable values back to their defaults), with the panel's rules; without flags it prints them.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_table.h"
#include "extension/rule_regex.h"
#include "library/style_properties.h"
#include "model/rule_rows.h"
#include "text/text.h"

namespace orlavine {
namespace {

// The four kinds of exclusion: the word typed on the command line, the panel's name for it and
// the style's list.
struct ExclusionKind {
    const char* word;
    const char* title;
    std::optional<std::vector<std::string>> styleContainer::*list;
};

constexpr std::array<ExclusionKind, 4> kKinds = {{
    {"domain", kRowDomain, &styleContainer::exclDomain},
    {"url", kRowURL, &styleContainer::exclURL},
    {"prefix", kRowPrefix, &styleContainer::exclPrefix},
    {"regexp", kRowRegExp, &styleContainer::exclRegExp},
}};

const ExclusionKind* kindNamed(const std::string& word) {
    for (const ExclusionKind& kind : kKinds) {
        if (word == kind.word) {
            return &kind;
        }
    }
    return nullptr;
}

struct Arguments {
    std::string id;
    std::vector<std::pair<std::string, std::string>> exclude;
    std::vector<std::pair<std::string, std::string>> noExclude;
    std::optional<std::string> frames;
    std::optional<std::string> theme;
    bool resetVars = false;

    bool changesSomething() const {
        return !exclude.empty() || !noExclude.empty() || frames || theme || resetVars;
    }
};

// A variable's value as the user reads it: a choice by its option's label.
std::string shownValue(const userVariable& v, const std::string& value) {
    if (v.selectOptions) {
        std::size_t index = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), index);
        if (ec == std::errc() && end == value.data() + value.size() &&
            index < v.selectOptions->size()) {
            const variableOption& o = (*v.selectOptions)[index];
            return o.label.value_or(o.name.value_or(value));
        }
    }
    return value;
}

void printProperties(const styleContainer& style) {
    fmt::print("Properties of {}\n", text::forTerminal(style.styleData.name));
    fmt::print("Type:        {}\n", styleTypeLine(style));
    fmt::print("Frames:      {}\n", style.allowIframe.value_or(false) ? "on" : "off");
    fmt::print("Theme:       {}\n", style.systemTheme.value_or("none"));
    bool anyExclusion = false;
    for (const ExclusionKind& kind : kKinds) {
        for (const std::string& rule : (style.*kind.list).value_or(std::vector<std::string>{})) {
            if (!anyExclusion) {
                fmt::print("Exclusions:\n");
                anyExclusion = true;
            }
            fmt::print("  {:<16} {}\n", kind.title, text::forTerminal(rule));
        }
    }
    if (!anyExclusion) {
        fmt::print("Exclusions:  none\n");
    }
    if (!style.userVariables || style.userVariables->empty()) {
        return;
    }
    fmt::print("Variables:\n");
    for (const userVariable& v : *style.userVariables) {
        const std::string current = v.currentValue.value_or(v.defaultValue);
        std::string line = fmt::format("  {} ({}): {}", text::forTerminal(v.name), v.type,
                                       text::forTerminal(shownValue(v, current)));
        if (current != v.defaultValue) {
            line += fmt::format("  [default {}]", text::forTerminal(shownValue(v, v.defaultValue)));
        }
        fmt::print("{}\n", line);
    }
}

std::string unknownKind(const std::string& word) {
    return fmt::format("\"{}\" is not a kind of exclusion: use domain, url, prefix or regexp.",
                       word);
}

// Checks every flag before anything changes: a bad one refuses the whole command.
std::optional<std::string> invalidFlag(const Arguments& args, const styleContainer& style) {
    for (const auto& [word, value] : args.exclude) {
        const ExclusionKind* kind = kindNamed(word);
        if (kind == nullptr) {
            return unknownKind(word);
        }
        if (text::trimmed(value).empty()) {
            return "An exclusion needs a value.";
        }
        if (kind->list == &styleContainer::exclRegExp) {
            if (auto error = ruleRegexError(value)) {
                return fmt::format("The regular expression \"{}\" does not compile: {}.", value,
                                   *error);
            }
        }
    }
    for (const auto& [word, value] : args.noExclude) {
        const ExclusionKind* kind = kindNamed(word);
        if (kind == nullptr) {
            return unknownKind(word);
        }
        const auto& list = (style.*kind->list).value_or(std::vector<std::string>{});
        if (std::find(list.begin(), list.end(), value) == list.end()) {
            return fmt::format("The style has no {} exclusion \"{}\".", word, value);
        }
    }
    return std::nullopt;
}

void applyFlags(const Arguments& args, styleContainer& style) {
    for (const auto& [word, value] : args.noExclude) {
        auto& list = style.*kindNamed(word)->list;
        if (list) {
            std::erase(*list, value);
        }
    }
    for (const auto& [word, value] : args.exclude) {
        auto& list = style.*kindNamed(word)->list;
        if (!list) {
            list.emplace();
        }
        if (std::find(list->begin(), list->end(), value) == list->end()) {
            list->push_back(value);
        }
    }
    if (args.frames) {
        style.allowIframe = *args.frames == "on";
    }
    if (args.theme) {
        style.systemTheme = *args.theme;
    }
    if (args.resetVars && style.userVariables) {
        for (userVariable& v : *style.userVariables) {
            v.currentValue = v.defaultValue;
        }
    }
}

int runProps(CliSession& session, const Arguments& args) {
    int status = 0;
    const std::optional<styleContainer> style = styleForID(session, args.id, status);
    if (!style) {
        return status;
    }
    if (!args.changesSomething()) {
        printProperties(*style);
        return finished(session);
    }
    if (auto problem = invalidFlag(args, *style)) {
        fmt::print(stderr, "{} Nothing was changed.\n", *problem);
        return kExitUsage;
    }
    const std::size_t errorsBefore = session.compilerErrors().shownCount();
    const Result<bool> saved = session.store().editProperties(
        style->uniqueID, [&](styleContainer& stored) { applyFlags(args, stored); });
    if (!saved) {
        fmt::print(stderr, "The library was not changed: {}\n", saved.error());
        return kExitFailure;
    }
    if (!*saved) {
        fmt::print(stderr, "The style was removed from the library meanwhile.\n");
        return kExitFailure;
    }
    if (const auto stored = session.store().styleByID(style->uniqueID)) {
        printProperties(*stored);
    }
    const bool compileFailed = session.compilerErrors().shownCount() != errorsBefore;
    return finished(session, compileFailed ? kExitFailure : 0);
}

}  // namespace

void addPropsCommand(CLI::App& app, CommandTable& table) {
    auto args = std::make_shared<Arguments>();
    auto* props = app.add_subcommand(
        "props", "Show or set a style's exclusions, frames, theme and variable values");
    props->add_option("id", args->id, "The style's ID")->required();
    props
        ->add_option("--exclude", args->exclude,
                     "Do not apply the style where KIND (domain, url, prefix or regexp) "
                     "matches VALUE")
        ->type_name("KIND VALUE");
    props->add_option("--no-exclude", args->noExclude, "Take an exclusion away")
        ->type_name("KIND VALUE");
    props->add_option("--frames", args->frames, "Apply the style inside frames too")
        ->check(CLI::IsMember({"on", "off"}));
    props->add_option("--theme", args->theme, "Apply it only in light or dark appearance")
        ->check(CLI::IsMember({"none", "light", "dark"}));
    props->add_flag("--reset-vars", args->resetVars, "Set every variable to its default value");
    table.add(props, [args](CliSession& s) { return runProps(s, *args); });
}

}  // namespace orlavine
