#pragma once
// The style editor's sheets: a new section (name, one rule or the current section's rules), the
// rule editor (the section's rules as rows, and its name) and the metadata editor. Each hands
// its values to the window on save; read-only sheets save nothing.

#include <QDialog>

#include "library/style_editor_document.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace orlavine::gui {

class NewSectionSheet : public QDialog {
    Q_OBJECT
  public:
    explicit NewSectionSheet(QWidget* parent);
    StyleEditorDocument::NewSection values() const;

  signals:
    void created(const orlavine::StyleEditorDocument::NewSection& sheet);

  private:
    QLineEdit* name_;
    QComboBox* kind_;
    QLineEdit* rule_;
    QCheckBox* copy_;
};

class RuleEditorSheet : public QDialog {
    Q_OBJECT
  public:
    RuleEditorSheet(const ruleDictionary& rules, bool readOnly, QWidget* parent);
    ruleDictionary values() const;
    void addRow(const QString& kind, const QString& rule = {});

  signals:
    void saved(const orlavine::ruleDictionary& rules);

  private:
    QTableWidget* rows_;
    QLineEdit* name_;
};

class MetadataSheet : public QDialog {
    Q_OBJECT
  public:
    MetadataSheet(const StyleEditorDocument::Metadata& metadata, bool readOnly, QWidget* parent);
    StyleEditorDocument::Metadata values() const;

  signals:
    void saved(const orlavine::StyleEditorDocument::Metadata& metadata);

  private:
    QLineEdit* author_;
    QLineEdit* version_;
    QLineEdit* license_;
    QLineEdit* namespace_;
    QPlainTextEdit* description_;
    QComboBox* preprocessor_;
};

}  // namespace orlavine::gui
