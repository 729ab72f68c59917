#pragma once
// The new-style sheet: a name, an optional rule and a preprocessor.

#include <QDialog>
#include <cstdint>
#include <optional>

#include "library/library_services.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace orlavine::gui {

class NewStyleSheet : public QDialog {
    Q_OBJECT
  public:
    NewStyleSheet(LibraryServices services, QWidget* parent = nullptr);

    QLineEdit& nameField() { return *name_; }
    QLineEdit& ruleField() { return *rule_; }
    // The Create button: adds the style; nothing when the name is blank.
    std::optional<std::int64_t> create();

  signals:
    void created(std::int64_t uniqueID);

  private:
    LibraryServices services_;
    QLineEdit* name_;
    QComboBox* ruleType_;
    QLineEdit* rule_;
    QComboBox* preprocessor_;
    QPushButton* createButton_;
};

}  // namespace orlavine::gui
