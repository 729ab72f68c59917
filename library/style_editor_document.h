#pragma once
// What the style editor window edits, without the window: a working copy of one style shown a
// section at a time, the section commands (add, duplicate, delete, previous/next), the rule and
// metadata sheets, the section export's file name, the dirty state and the questions the window
// asks. Saving goes through the store (StyleStore::saveEditedStyle) with style().

#include <cstddef>
#include <string>
#include <vector>

#include "model/records.h"
#include "model/rule_rows.h"

namespace orlavine {

inline constexpr const char* kCannotDeleteSectionTitle = "Cannot Delete Section";
inline constexpr const char* kCannotDeleteSectionText =
    "A custom style must have at least one section.";
inline constexpr const char* kDeleteSectionText =
    "You cannot undo this action, though you can choose not to save changes to the document "
    "afterwards.";
inline constexpr const char* kCloseUnsavedText =
    "If you close without saving, any unsaved changes will be lost.";
inline constexpr const char* kReadOnlyStyleTitle = "Style is Read-Only";
inline constexpr const char* kReadOnlyStyleText =
    "Styles imported from a URL are read-only. To modify an imported style, please make a "
    "duplicate from the Style List (Right-click \u2192 \"Duplicate\"). Please note that the "
    "duplicate will not be able to automatically update.";
inline constexpr const char* kExportSectionTitle = "Export Section as CSS File";

// The preprocessor menu of the metadata editor, in item order.
inline constexpr const char* kPreprocessorMenu[] = {"default", "uso", "stylus", "less"};

// Whether the editor opens `style` read-only: styles installed from an address.
bool opensReadOnly(const styleContainer& style);

class StyleEditorDocument {
  public:
    StyleEditorDocument(styleContainer style, bool readOnly);

    const styleContainer& style() const { return style_; }
    bool isReadOnly() const { return readOnly_; }
    bool isDirty() const { return dirty_; }
    // A rename made elsewhere (the list) while the window is open: the working copy follows
    // without counting as an edit, so a save does not put the old name back.
    void takeName(std::string name) { style_.styleData.name = std::move(name); }
    // After a save: the working copy is what the library holds.
    void markSaved() { dirty_ = false; }

    // The section picker: one title per section, "Section N" for a blank name.
    std::vector<std::string> pickerTitles() const;
    std::size_t currentSection() const { return current_; }
    const styleSection& section() const { return style_.styleData.sections[current_]; }
    void selectSection(std::size_t index);
    void previousSection();
    void nextSection();

    // The editor's text for the current section; a different text marks the document dirty.
    void setCode(std::string code);

    // The new-section sheet: with `copyRules` (and a current section) the new section takes its
    // rules, else the one rule of `ruleKind` ("Domain", "URL is", ...) with `ruleText`. The new
    // section comes last and is selected. False (nothing changes) for a read-only style.
    struct NewSection {
        std::string name;
        std::string ruleKind = kRowDomain;
        std::string ruleText;
        bool copyRules = false;
    };
    bool addSection(const NewSection& sheet);
    bool duplicateSection();

    // What deleting the current section needs first.
    enum class DeleteStep { refused, onlySection, deleteAtOnce, askFirst };
    DeleteStep deleteStep() const;
    // "Are you sure you want to delete " + the picker title + "?"
    std::string deleteQuestion() const;
    // Deletes the current section and selects the one before it (or the first).
    void deleteCurrentSection();

    // The file name the section export proposes: the style name, " - " and the section name
    // when it has one, ".css"; characters a file name cannot hold become "-".
    std::string exportFileName() const;

    // The metadata editor's fields; a preprocessor outside the menu shows as "default".
    struct Metadata {
        std::string author;
        std::string version;
        std::string license;
        std::string namespace_;
        std::string description;
        std::size_t preprocessor = 0;  // index into kPreprocessorMenu

        bool operator==(const Metadata&) const = default;
    };
    Metadata metadata() const;
    // Takes the sheet's values unless read-only; false when nothing could change.
    bool setMetadata(const Metadata& sheet);

    // The rule editor's rows and section name for the current section.
    ruleDictionary rules() const;
    bool setRules(const ruleDictionary& rows);

    // "Would you like to save changes to " + the style name + "?"
    std::string closeQuestion() const;

  private:
    void changed() { dirty_ = true; }

    styleContainer style_;
    bool readOnly_;
    bool dirty_ = false;
    std::size_t current_ = 0;
};

}  // namespace orlavine
