#include "formats/usercss_reader.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "formats/moz_document_reader.h"
#include "formats/variable_declaration_reader.h"
#include "model/style_factory.h"
#include "text/text.h"

namespace orlavine {
namespace {

constexpr std::string_view kMetadataStart = "==UserStyle==";
constexpr std::string_view kMetadataEnd = "==/UserStyle== */";

struct Metadata {
    std::optional<std::string> name;
    std::optional<std::string> version;
    std::optional<std::string> namespace_;
    std::optional<std::string> description;
    std::optional<std::string> author;
    std::optional<std::string> homepageURL;
    std::optional<std::string> supportURL;
    std::optional<std::string> updateURL;
    std::optional<std::string> license;
    std::optional<std::string> preprocessor;
};

enum class KeyKind { field, description, variable };

struct MetadataKey {
    std::string_view key;
    KeyKind kind;
    std::optional<std::string> Metadata::*field;
};

// Tested in this order, exactly and case-sensitively; the first that matches decides.
constexpr std::array<MetadataKey, 12> kKeys{{
    {"@name", KeyKind::field, &Metadata::name},
    {"@version", KeyKind::field, &Metadata::version},
    {"@namespace", KeyKind::field, &Metadata::namespace_},
    {"@description", KeyKind::description, &Metadata::description},
    {"@var", KeyKind::variable, nullptr},
    {"@advanced", KeyKind::variable, nullptr},
    {"@author", KeyKind::field, &Metadata::author},
    {"@homepageURL", KeyKind::field, &Metadata::homepageURL},
    {"@supportURL", KeyKind::field, &Metadata::supportURL},
    {"@updateURL", KeyKind::field, &Metadata::updateURL},
    {"@license", KeyKind::field, &Metadata::license},
    {"@preprocessor", KeyKind::field, &Metadata::preprocessor},
}};

constexpr std::array<std::string_view, 12> kLowerCaseKeys = {
    "@name",       "@version",   "@namespace", "@description",  "@author", "@homepageurl",
    "@supporturl", "@updateurl", "@license",   "@preprocessor", "@var",    "@advanced"};

const MetadataKey* matchKey(std::string_view line, std::string_view trimmedLine) {
    for (const MetadataKey& k : kKeys) {
        if (!trimmedLine.starts_with(k.key)) {
            continue;
        }
        if (k.key == "@name" && text::contains(line, "@namespace")) {
            continue;
        }
        return &k;
    }
    return nullptr;
}

// Reads the metadata comment line by line up to the line that closes it. Descriptions and
// variable declarations may go on over the following lines that are not key lines.
void readMetadataLines(std::string_view chunk, Metadata& md, std::vector<userVariable>& variables,
                       Reporter* console) {
    const std::string lines = text::joinLineEnds(chunk);
    bool inDescription = false;
    bool inVariable = false;
    std::string pendingVariable;
    VariableDeclarationScan pendingScan;
    std::size_t pos = 0;
    while (pos <= lines.size()) {
        std::size_t end = lines.find('\n', pos);
        if (end == std::string::npos) {
            end = lines.size();
        }
        const std::string_view line = std::string_view(lines).substr(pos, end - pos);
        pos = end + 1;

        if (inVariable) {
            if (!isMetadataKeyLine(line) && !text::contains(line, kMetadataEnd)) {
                // A line belongs to the declaration only while the declaration is incomplete;
                // free text between declarations (separator lines, headings) is skipped.
                if (pendingScan.continuesWith(line)) {
                    pendingVariable += '\n';
                    pendingVariable += line;
                    pendingScan.feed("\n");
                    pendingScan.feed(line);
                }
                continue;
            }
            if (auto v = parseVariableDeclaration(pendingVariable, console)) {
                variables.push_back(std::move(*v));
            }
            pendingVariable.clear();
            inVariable = false;
        }
        if (text::contains(line, kMetadataEnd)) {
            break;
        }
        const std::string_view trimmedLine = text::trimmed(line);
        if (const MetadataKey* key = matchKey(line, trimmedLine)) {
            std::string value(text::trimmed(trimmedLine.substr(key->key.size())));
            inDescription = key->kind == KeyKind::description;
            inVariable = key->kind == KeyKind::variable;
            if (key->kind == KeyKind::variable) {
                pendingVariable = std::move(value);
                pendingScan = VariableDeclarationScan();
                pendingScan.feed(pendingVariable);
            } else {
                md.*(key->field) = std::move(value);
            }
            continue;
        }
        if (isMetadataKeyLine(line)) {
            // A key in another letter case ends a running description and is ignored.
            inDescription = false;
            inVariable = false;
        } else if (inDescription) {
            *md.description += '\n';
            *md.description += line;
        }
    }
    // A declaration still being collected when the lines run out is dropped.
}

styleSection sectionWithoutRules(std::string_view code) {
    styleSection s;
    s.code = std::string(text::trimmed(text::joinLineEnds(code)));
    return s;
}

enum class Variant { forLibrary, compilerOutput };

std::optional<styleContainer> readDocument(std::string_view text, Variant variant,
                                           const UserCSSReadHooks& hooks) {
    const std::vector<std::string_view> chunks = splitMozDocumentChunkViews(text);
    Metadata md;
    std::vector<userVariable> variables;
    std::vector<styleSection> sections;

    std::size_t next = 0;
    const std::string_view first = chunks.front();
    const bool comment = first.starts_with("/*") || first.starts_with("//");
    if (comment && text::contains(first, kMetadataStart)) {
        readMetadataLines(first, md, variables, hooks.console);
        const std::size_t end = first.find(kMetadataEnd);
        if (end != std::string_view::npos) {
            styleSection after = sectionWithoutRules(first.substr(end + kMetadataEnd.size()));
            if (!after.code.empty()) {
                sections.push_back(std::move(after));
            }
        }
        next = 1;
    } else if (first.empty()) {
        next = 1;
    } else if (!comment && !first.starts_with(kMozDocument)) {
        // CSS before the first block. A leading comment without the metadata marker is read
        // as a block instead, like any other chunk.
        sections.push_back(sectionWithoutRules(first));
        next = 1;
    }

    const std::string preprocessor = md.preprocessor.value_or("");
    const CodeLineEnds lineEnds =
        variant == Variant::forLibrary ? CodeLineEnds::joinCrLf : CodeLineEnds::eachCrIsLf;
    std::optional<std::string> pendingComment;
    for (std::size_t i = next; i < chunks.size(); ++i) {
        MozDocumentBlock block =
            readMozDocumentBlock(chunks[i], preprocessor, std::move(pendingComment), lineEnds);
        for (styleSection& s : block.sections) {
            sections.push_back(std::move(s));
        }
        pendingComment = std::move(block.pendingComment);
    }
    if (sections.empty()) {
        return std::nullopt;
    }

    styleContainer style;
    if (variant == Variant::forLibrary) {
        style.uniqueID = hooks.newUniqueID ? hooks.newUniqueID() : randomUInt32();
    }
    style.styleData.name = md.name.value_or(kUnnamedUserCSSStyle);
    style.styleData.sections = std::move(sections);
    style.isEnabled = true;
    style.source = "usercss";
    style.userstyleID = -1;
    style.version = md.version.value_or("");
    style.namespace_ = md.namespace_.value_or("");
    style.description = md.description.value_or("");
    style.author = md.author.value_or("");
    style.homepageURL = md.homepageURL.value_or("");
    style.supportURL = md.supportURL.value_or("");
    style.license = md.license.value_or("");
    style.preprocessor = preprocessor;
    style.updateURL = md.updateURL;
    style.allowIframe = true;
    style.userVariables = std::move(variables);
    style.dateModified = Date::now();
    return style;
}

}  // namespace

bool needsCompiling(const styleContainer& style) {
    return (style.userVariables && !style.userVariables->empty()) ||
           style.preprocessor == "stylus" || style.preprocessor == "less";
}

std::optional<styleContainer> readUserCSS(std::string_view text, const UserCSSReadHooks& hooks) {
    return readDocument(text, Variant::forLibrary, hooks);
}

std::optional<styleContainer> rereadUserCSS(std::string_view text, Reporter* console) {
    UserCSSReadHooks hooks;
    hooks.console = console;
    return readDocument(text, Variant::compilerOutput, hooks);
}

bool isUserCSSDocument(std::string_view text) {
    if (text::contains(text, kMozDocument)) {
        return true;
    }
    const std::string_view t = text::trimmed(text::withoutByteOrderMark(text));
    return (t.starts_with("/*") || t.starts_with("//")) && text::contains(t, kMetadataStart);
}

bool isMetadataKeyLine(std::string_view line) {
    const std::string_view t = text::trimmed(line);
    const std::string head = text::asciiLower(t.substr(0, 16));
    for (std::string_view key : kLowerCaseKeys) {
        if (std::string_view(head).starts_with(key)) {
            return true;
        }
    }
    return false;
}

}  // namespace orlavine
