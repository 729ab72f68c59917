// `orlavine edit ID [--section N]`: the style as a UserCSS document (or one section's code) in
// the user's text editor, read back and saved as the editor window saves. Nothing is saved
// half-read, and an edit that cannot be saved is kept in a file the message names.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/command_table.h"
#include "formats/usercss_reader.h"
#include "formats/usercss_writer.h"
#include "library/style_editor_document.h"
#include "library/style_import.h"
#include "model/atomic_file.h"
#include "model/variable_carry.h"
#include "text/text.h"

namespace orlavine {
namespace {

// $VISUAL, then $EDITOR, then the first of the usual editors that is installed.
std::string editorCommand() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && !text::trimmed(value).empty()) {
            return value;
        }
    }
    for (const char* candidate :
         {"/usr/bin/sensible-editor", "/usr/bin/editor", "/usr/bin/nano", "/usr/bin/vi"}) {
        if (::access(candidate, X_OK) == 0) {
            return candidate;
        }
    }
    return "vi";
}

// Runs the editor on `file` through the shell, so that "code --wait" works as EDITOR does
// elsewhere. The editor owns the terminal until it exits; an interrupt is its business.
bool runEditor(const std::filesystem::path& file) {
    const std::string command = editorCommand() + " \"$1\"";
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), "sh", file.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    struct sigaction ignore {};
    struct sigaction oldInt {};
    struct sigaction oldQuit {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGINT, &ignore, &oldInt);
    ::sigaction(SIGQUIT, &ignore, &oldQuit);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGQUIT, &oldQuit, nullptr);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A private file for the text being edited, named so that editors pick the right mode.
std::optional<std::filesystem::path> makeEditFile(std::int64_t id, const std::string& extension,
                                                  const std::string& content) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    std::error_code ec;
    std::filesystem::path folder = runtime != nullptr && std::filesystem::is_directory(runtime, ec)
                                       ? runtime
                                   : tmp != nullptr ? tmp
                                                    : "/tmp";
    std::string pattern =
        (folder / fmt::format("orlavine-edit-{}-XXXXXX{}", id, extension)).string();
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(extension.size()));
    if (fd < 0) {
        return std::nullopt;
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n <= 0) {
            ::close(fd);
            std::filesystem::remove(pattern, ec);
            return std::nullopt;
        }
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return std::filesystem::path(pattern);
}

bool askToEditAgain() {
    fmt::print(stderr, "Edit again? [Y/n] ");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        fmt::print(stderr, "\n");
        return false;
    }
    const std::string_view a = text::trimmed(answer);
    return a.empty() || a[0] == 'y' || a[0] == 'Y';
}

const char* extensionFor(const styleContainer& style, bool section) {
    const std::string preprocessor = text::asciiLower(style.preprocessor);
    if (preprocessor == "less") {
        return section ? ".less" : ".user.less";
    }
    if (preprocessor == "stylus") {
        return section ? ".styl" : ".user.styl";
    }
    return section ? ".css" : ".user.css";
}

// What one round of editing gave: the style to save, or why there is none.
struct EditedStyle {
    std::optional<styleContainer> style;
    std::string problem;
};

EditedStyle readEditedDocument(const styleContainer& original, const std::string& text) {
    std::optional<styleContainer> read = readUserCSS(text);
    if (!read) {
        return {std::nullopt,
                "The document no longer reads as a style: check that every @-moz-document "
                "block has its closing brace and that the text holds some code."};
    }
    // A document whose @name line was taken out keeps the style's name.
    if (read->styleData.name == kUnnamedUserCSSStyle) {
        read->styleData.name = original.styleData.name;
    }
    return {std::move(read), {}};
}

EditedStyle readEditedSection(const styleContainer& original, std::size_t index, std::string text) {
    if (text.ends_with('\n')) {
        text.pop_back();
    }
    styleContainer edited = original;
    edited.styleData.sections[index].code = std::move(text);
    return {std::move(edited), {}};
}

int editStyle(CliSession& session, const std::string& idText, std::optional<std::size_t> section) {
    int status = 0;
    const std::optional<styleContainer> style = styleForID(session, idText, status);
    if (!style) {
        return status;
    }
    if (opensReadOnly(*style)) {
        fmt::print(stderr, "{}: {}\nTo change it: orlavine duplicate {}, then edit the copy.\n",
                   kReadOnlyStyleTitle, kReadOnlyStyleText, style->uniqueID);
        return kExitFailure;
    }
    const std::vector<styleSection>& sections = style->styleData.sections;
    if (section && (*section == 0 || *section > sections.size())) {
        fmt::print(stderr, "The style has {} section(s); give a number from 1 to {}.\n",
                   sections.size(), sections.size());
        return kExitUsage;
    }
    const std::string original =
        section ? sections[*section - 1].code + "\n" : writeUserCSS(*style);
    const auto file =
        makeEditFile(style->uniqueID, extensionFor(*style, section.has_value()), original);
    if (!file) {
        fmt::print(stderr, "Cannot make a file to edit the style in: {}\n", std::strerror(errno));
        return kExitFailure;
    }
    const auto keep = [&](const std::string& why) {
        fmt::print(stderr, "{}\nNothing was saved; your text is kept in {}\n", why, file->string());
        return kExitFailure;
    };

    for (;;) {
        if (!runEditor(*file)) {
            return keep("The editor did not end well.");
        }
        Result<std::string> text = readWholeFile(*file, kMaxStyleFileBytes);
        if (!text) {
            return keep("Cannot read the edited text back: " + text.error());
        }
        if (*text == original) {
            std::error_code ec;
            std::filesystem::remove(*file, ec);
            fmt::print("No changes; nothing was saved.\n");
            return finished(session);
        }
        text = text::replaceInvalidUtf8(*text);
        EditedStyle edited = section ? readEditedSection(*style, *section - 1, *text)
                                     : readEditedDocument(*style, *text);
        if (edited.style) {
            // Compiled once here so that an error sends the user back to the text; the store
            // compiles again on the style as it is stored when it saves.
            styleContainer trial =
                section ? *edited.style : carryOverVariableValues(*style, *edited.style);
            const std::size_t errorsBefore = session.compilerErrors().shownCount();
            session.compiler().compileStyle(trial);
            if (session.compilerErrors().shownCount() != errorsBefore) {
                edited.problem = "The style does not compile (see above).";
                edited.style.reset();
            }
        }
        if (!edited.style) {
            fmt::print(stderr, "{}\n", edited.problem);
            if (askToEditAgain()) {
                continue;
            }
            return keep("");
        }
        const Result<bool> saved =
            section ? session.store().saveEditedStyle(style->uniqueID, *edited.style)
                    : session.store().saveEditedDocument(style->uniqueID, *edited.style);
        if (!saved) {
            return keep("The library was not changed: " + saved.error());
        }
        if (!*saved) {
            return keep("The style was removed from the library while you edited it.");
        }
        std::error_code ec;
        std::filesystem::remove(*file, ec);
        fmt::print("Saved {}.\n", text::forTerminal(edited.style->styleData.name));
        return finished(session);
    }
}

}  // namespace

void addEditCommand(CLI::App& app, CommandTable& table) {
    struct Arguments {
        std::string id;
        std::optional<std::size_t> section;
    };
    auto args = std::make_shared<Arguments>();
    auto* edit = app.add_subcommand(
        "edit", "Edit a style as a UserCSS document in $VISUAL or $EDITOR, then save it");
    edit->add_option("id", args->id, "The style's ID")->required();
    edit->add_option("--section", args->section, "Edit only this section's code (from 1)");
    table.add(edit, [args](CliSession& s) { return editStyle(s, args->id, args->section); });
}

}  // namespace orlavine
