// `orlavine compile ID` and `orlavine set-var ID NAME VALUE`: refreshing a style's compiled code
// and setting a user variable the way the properties panel saves it.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/command_table.h"

namespace orlavine {
namespace {

std::string rulesText(const styleSection& section) {
    std::string rules;
    auto add = [&rules](const char* function, const std::string& value) {
        rules += fmt::format("{}{}(\"{}\")", rules.empty() ? "" : ", ", function, value);
    };
    for (const auto& d : section.domains) {
        add("domain", d);
    }
    for (const auto& u : section.urls) {
        add("url", u);
    }
    for (const auto& p : section.urlPrefixes) {
        add("url-prefix", p);
    }
    for (const auto& r : section.regexps) {
        add("regexp", r);
    }
    return rules;
}

// The CSS that pages receive from the style: the compiled sections of Less and Stylus styles,
// else each section's compiled code (or its code when it has none).
void printCompiledCSS(const styleContainer& style) {
    const bool compiledSections = style.styleData.compSections.has_value();
    const auto& sections =
        compiledSections ? *style.styleData.compSections : style.styleData.sections;
    for (const auto& section : sections) {
        const std::string& code =
            !compiledSections && section.compiledcode ? *section.compiledcode : section.code;
        const std::string rules = rulesText(section);
        if (rules.empty()) {
            fmt::print("{}\n", code);
        } else {
            fmt::print("@-moz-document {} {{\n{}\n}}\n", rules, code);
        }
    }
}

int compileOne(CliSession& session, const std::string& idText) {
    int status = 0;
    auto style = styleForID(session, idText, status);
    if (!style) {
        return status;
    }
    if (!style->userVariables) {
        fmt::print(stderr, "The style has no variable list; its code is used as it is.\n");
    }
    const std::size_t errorsBefore = session.compilerErrors().shownCount();
    if (const Result<bool> stored = session.store().updateProperties(*style); !stored) {
        fmt::print(stderr, "The library was not changed: {}\n", stored.error());
        return kExitFailure;
    }
    const auto compiled = session.store().styleByID(style->uniqueID);
    if (compiled) {
        printCompiledCSS(*compiled);
    }
    const bool failed = session.compilerErrors().shownCount() != errorsBefore;
    return finished(session, failed ? kExitFailure : 0);
}

// A choice takes the index of the option whose name (without its default mark "*") or label is
// `value`, or an index written in decimal.
std::optional<std::string> choiceIndex(const userVariable& variable, const std::string& value) {
    const auto& options = *variable.selectOptions;
    for (std::size_t i = 0; i < options.size(); ++i) {
        std::string name = options[i].name.value_or("");
        if (!name.empty() && name.back() == '*') {
            name.pop_back();
        }
        if ((options[i].name && (name == value || *options[i].name == value)) ||
            options[i].label == value) {
            return std::to_string(i);
        }
    }
    std::size_t index = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, index);
    if (!value.empty() && ec == std::errc() && ptr == end && index < options.size()) {
        return std::to_string(index);
    }
    return std::nullopt;
}

int setVariable(CliSession& session, const std::string& idText, const std::string& name,
                const std::string& value) {
    int status = 0;
    auto style = styleForID(session, idText, status);
    if (!style) {
        return status;
    }
    userVariable* variable = nullptr;
    if (style->userVariables) {
        for (auto& candidate : *style->userVariables) {
            if (candidate.name == name) {
                variable = &candidate;
                break;
            }
        }
    }
    if (variable == nullptr) {
        fmt::print(stderr, "The style has no variable named \"{}\".\n", name);
        return kExitFailure;
    }
    const bool choice =
        (variable->type == "dropdown" || variable->type == "select" || variable->type == "image") &&
        variable->selectOptions.has_value();
    if (choice) {
        auto index = choiceIndex(*variable, value);
        if (!index) {
            fmt::print(stderr, "\"{}\" is not one of the options of \"{}\":\n", value, name);
            for (const auto& option : *variable->selectOptions) {
                fmt::print(stderr, "  {}  {}\n", option.name.value_or(""),
                           option.label.value_or(""));
            }
            return kExitFailure;
        }
        variable->currentValue = *index;
    } else {
        variable->currentValue = value;
    }
    const std::size_t errorsBefore = session.compilerErrors().shownCount();
    if (const Result<bool> stored = session.store().updateProperties(*style); !stored) {
        fmt::print(stderr, "The library was not changed: {}\n", stored.error());
        return kExitFailure;
    }
    const bool failed = session.compilerErrors().shownCount() != errorsBefore;
    return finished(session, failed ? kExitFailure : 0);
}

}  // namespace

void addPreprocessCommands(CLI::App& app, CommandTable& table) {
    struct Arguments {
        std::string id;
        std::string name;
        std::string value;
    };
    auto args = std::make_shared<Arguments>();

    auto* compile = app.add_subcommand(
        "compile", "Compile a style again (Less, Stylus, variables) and print its CSS");
    compile->add_option("id", args->id, "The style's ID")->required();
    table.add(compile, [args](CliSession& s) { return compileOne(s, args->id); });

    auto* setVar = app.add_subcommand(
        "set-var", "Set a user variable of a style, compile the style again and save it");
    setVar->add_option("id", args->id, "The style's ID")->required();
    setVar->add_option("name", args->name, "The variable's name")->required();
    setVar
        ->add_option("value", args->value,
                     "The value; for a choice, an option's name, label or position")
        ->required();
    table.add(setVar,
              [args](CliSession& s) { return setVariable(s, args->id, args->name, args->value); });
}

}  // namespace orlavine
