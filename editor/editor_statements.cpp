#include "editor/editor_statements.h"

#include <array>
#include <utility>

namespace orlavine::editor {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 12> kThemes = {{
    {"light", "xcode"},
    {"dark", "tomorrow_night"},
    {"black", "tomorrow_night_bright"},
    {"blue", "tomorrow_night_blue"},
    {"chrome", "chrome"},
    {"tomorrow", "tomorrow"},
    {"monokai", "monokai"},
    {"iplastic", "iplastic"},
    {"solar", "solarized_dark"},
    {"green", "gob"},
    {"solarlight", "solarized_light"},
    {"nord", "nord_dark"},
}};

std::string option(std::string_view name, bool value) {
    return "editor.setOption(\"" + std::string(name) + "\", " + (value ? "true" : "false") + ")";
}

}  // namespace

std::string scriptLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            case '\'':
                out += "\\'";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        // U+0085 is C2 85; U+2028 and U+2029 are E2 80 A8 and E2 80 A9.
        const auto byte = [&](std::size_t k) {
            return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
        };
        if (byte(i) == 0xC2 && byte(i + 1) == 0x85) {
            out += "\\u{0085}";
            ++i;
        } else if (byte(i) == 0xE2 && byte(i + 1) == 0x80 &&
                   (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9)) {
            out += byte(i + 2) == 0xA8 ? "\\u{2028}" : "\\u{2029}";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string setValueStatement(std::string_view text) {
    return "editor.setValue(\"" + scriptLiteral(text) + "\");";
}

std::vector<std::string> afterSetValueStatements() {
    return {"editor.clearSelection();", "editor.moveCursorTo(0,0);", "reportChanges = true;",
            "editor.getSession().setUndoManager(new ace.UndoManager());"};
}

std::string_view themeForKey(std::string_view key) {
    for (const auto& [k, theme] : kThemes) {
        if (k == key) {
            return theme;
        }
    }
    return "xcode";
}

std::string_view modeForPreprocessor(std::string_view preprocessor) {
    if (preprocessor == "less") {
        return "less";
    }
    if (preprocessor == "stylus") {
        return "stylus";
    }
    return "css";
}

std::vector<std::string> settingsStatements(const Settings& settings, Owner owner,
                                            std::string_view mode, bool readOnly) {
    std::vector<std::string> s;
    s.push_back("editor.setTheme(\"ace/theme/" + std::string(themeForKey(settings.theme)) + "\");");
    s.push_back("editor.session.setMode(\"ace/mode/" + std::string(mode) + "\");");
    s.push_back("editor.setKeyboardHandler(\"ace/keyboard/ace\");");
    s.push_back("editor.setShowPrintMargin(false);");
    s.push_back(option("showInvisibles", false));
    s.push_back(option("useWorker", settings.showErrors));
    s.push_back(option("enableBasicAutocompletion", settings.autocomplete));
    s.push_back(option("enableLiveAutocompletion", settings.autocomplete));
    s.push_back(option("showGutter", settings.showGutter));
    s.push_back(option("enableSnippets", false));
    s.push_back("editor.getSession().setUseSoftTabs(false);");
    s.push_back(option("enableEmmet", false));
    s.push_back(std::string("editor.session.setUseWrapMode(") +
                (settings.wordWrap ? "true" : "false") + ");");
    s.push_back("editor.setOptions({fontFamily: \"" + scriptLiteral(settings.fontFamily) + "\"});");
    s.push_back("editor.setFontSize(" + std::to_string(settings.fontSize) + ");");
    const bool alwaysReadOnly = owner == Owner::exportSheet || owner == Owner::preferencePreview;
    if (readOnly || alwaysReadOnly) {
        s.push_back(kReadOnly);
    } else {
        s.push_back(kFocus);
    }
    return s;
}

std::pair<Position, Position> rangePositions(std::u16string_view text, std::size_t location,
                                             std::size_t length) {
    const std::size_t end = location + length;
    Position start;
    Position finish;
    Position here;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == location) {
            start = here;
        }
        if (i == end) {
            finish = here;
            break;
        }
        if (i == text.size()) {
            finish = here;  // a range past the end stops at the end
            break;
        }
        const char16_t c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++here.column;  // the LF ends the row
        } else if (c == u'\n' || c == u'\r') {
            ++here.row;
            here.column = 0;
        } else {
            ++here.column;
        }
    }
    if (location > text.size()) {
        start = finish;
    }
    return {start, finish};
}

std::string selectRangeScript(Position start, Position end) {
    return "editor.session.selection.clearSelection();"
           "editor.session.selection.setRange(new Range(" +
           std::to_string(start.row) + ", " + std::to_string(start.column) + ", " +
           std::to_string(end.row) + ", " + std::to_string(end.column) +
           "));"
           "editor.centerSelection();";
}

}  // namespace orlavine::editor
