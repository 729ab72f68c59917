// Subcommands that read and write style documents: import files, create a new style, export a
// style as a UserCSS document.

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "formats/usercss_writer.h"
#include "library/new_style.h"
#include "library/style_import.h"
#include "model/settings_defaults.h"
#include "text/text.h"

namespace orlavine {
namespace {

inline constexpr const char* kSaveErrorTitle = "Error Saving File";
inline constexpr const char* kSaveErrorText = "An error occurred while saving.";

int importFiles(CliSession& session, const std::vector<std::string>& files) {
    // The informative alerts of an import ("imported with no rules") are printed, but only a
    // file that could not be imported makes the command fail.
    StderrReporter alerts;
    NotificationCenter notifications;
    const LibraryServices services{session.store(), session.settings().app, alerts, &notifications,
                                   &session.compiler()};
    int status = 0;
    for (const std::string& file : files) {
        const ImportOutcome outcome = importStyleFile(file, services);
        switch (outcome.result) {
            case ImportResult::added:
            case ImportResult::addedWithoutRules:
                fmt::print("Imported {} with ID {}.\n", text::forTerminal(outcome.name),
                           outcome.uniqueID);
                break;
            case ImportResult::invalid:
                status = kExitFailure;
                break;
            case ImportResult::unreadable:
                fmt::print(stderr, "{} is not a readable UTF-8 text file.\n", file);
                status = kExitFailure;
                break;
            case ImportResult::notSaved:
                status = kExitFailure;
                break;
        }
    }
    return finished(session, status);
}

struct NewStyleArguments {
    std::string name;
    std::optional<std::string> domain;
    std::optional<std::string> url;
    std::optional<std::string> prefix;
    std::optional<std::string> regexp;
    std::string preprocessor = "default";
};

int createStyle(CliSession& session, const NewStyleArguments& args) {
    if (!canCreateStyle(args.name)) {
        fmt::print(stderr, "A style needs a name.\n");
        return kExitUsage;
    }
    NewStyleForm form;
    form.name = args.name;
    const std::optional<std::string>* rules[] = {&args.domain, &args.url, &args.prefix,
                                                 &args.regexp};
    for (int type = 0; type < 4; ++type) {
        if (*rules[type]) {
            form.ruleType = type;
            form.rule = **rules[type];
        }
    }
    form.preprocessor = args.preprocessor == "stylus" ? 1 : args.preprocessor == "less" ? 2 : 0;
    NotificationCenter notifications;
    const LibraryServices services{session.store(), session.settings().app, session.reporter(),
                                   &notifications, &session.compiler()};
    const std::optional<std::int64_t> id = createNewStyle(form, services);
    if (!id) {
        return kExitFailure;  // the store said why
    }
    fmt::print("Created {} with ID {}.\n",
               text::forTerminal(session.store().styleByID(*id)->styleData.name), *id);
    return finished(session);
}

int exportStyle(CliSession& session, const std::string& idText,
                const std::optional<std::string>& file) {
    int status = 0;
    const std::optional<styleContainer> style = styleForID(session, idText, status);
    if (!style) {
        return status;
    }
    const std::string text = writeUserCSS(*style);
    if (!file) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return finished(session);
    }
    std::ofstream out(*file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        session.reporter().showAlert(kSaveErrorTitle, kSaveErrorText);
        return finished(session, kExitFailure);
    }
    fmt::print("Exported {} to {}.\n", text::forTerminal(style->styleData.name), *file);
    return finished(session);
}

}  // namespace

void addFormatCommands(CLI::App& app, CommandTable& table) {
    auto files = std::make_shared<std::vector<std::string>>();
    auto* import = app.add_subcommand(
        "import", "Add styles from CSS or UserCSS files (.css, .user.css, .styl, .less)");
    import->add_option("files", *files, "The files to import")->required();
    table.add(import, [files](CliSession& s) { return importFiles(s, *files); });

    auto args = std::make_shared<NewStyleArguments>();
    auto* create = app.add_subcommand("new", "Create an empty style, optionally for some pages");
    create->add_option("name", args->name, "The style's name")->required();
    auto* domain = create->add_option("--domain", args->domain, "Apply to this domain");
    auto* url = create->add_option("--url", args->url, "Apply to this exact address");
    auto* prefix = create->add_option("--prefix", args->prefix, "Apply to addresses starting so");
    auto* regexp = create->add_option("--regexp", args->regexp, "Apply to addresses matching");
    for (CLI::Option* a : {domain, url, prefix, regexp}) {
        for (CLI::Option* b : {domain, url, prefix, regexp}) {
            if (a != b) {
                a->excludes(b);
            }
        }
    }
    create->add_option("--preprocessor", args->preprocessor, "The language of the code")
        ->check(CLI::IsMember({"default", "stylus", "less"}));
    table.add(create, [args](CliSession& s) { return createStyle(s, *args); });

    auto idText = std::make_shared<std::string>();
    auto output = std::make_shared<std::optional<std::string>>();
    auto* exporter = app.add_subcommand("export", "Write a style as a UserCSS document");
    exporter->add_option("id", *idText, "The style's ID")->required();
    exporter->add_option("-o,--output", *output, "The file to write; without it, standard output");
    table.add(exporter,
              [idText, output](CliSession& s) { return exportStyle(s, *idText, *output); });
}

}  // namespace orlavine
