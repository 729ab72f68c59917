#include "app/gui/new_style_sheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/style_list_controller.h"
#include "library/new_style.h"

namespace orlavine::gui {

NewStyleSheet::NewStyleSheet(LibraryServices services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setWindowTitle(tr("New Style"));
    auto* form = new QFormLayout(this);
    name_ = new QLineEdit;
    ruleType_ = new QComboBox;
    ruleType_->addItems({tr("Domain"), tr("URL"), tr("URL Prefix"), tr("Regular Expression")});
    rule_ = new QLineEdit;
    rule_->setPlaceholderText(tr("Leave empty to style every site"));
    preprocessor_ = new QComboBox;
    preprocessor_->addItems({tr("CSS"), tr("Stylus"), tr("Less")});
    form->addRow(tr("Name:"), name_);
    form->addRow(tr("Applies to:"), ruleType_);
    form->addRow(QString(), rule_);
    form->addRow(tr("Language:"), preprocessor_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    createButton_ = buttons->addButton(tr("Create"), QDialogButtonBox::AcceptRole);
    createButton_->setEnabled(false);
    form->addRow(buttons);
    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        createButton_->setEnabled(canCreateStyle(text.toStdString()));
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (create()) {
            accept();
        }
    });
}

std::optional<std::int64_t> NewStyleSheet::create() {
    NewStyleForm form;
    form.name = name_->text().toStdString();
    form.ruleType = ruleType_->currentIndex();
    form.rule = rule_->text().trimmed().toStdString();
    form.preprocessor = preprocessor_->currentIndex();
    const std::optional<std::int64_t> id = createNewStyle(form, services_);
    if (id) {
        emit created(*id);  // the program opens it in the editor
    }
    return id;
}

}  // namespace orlavine::gui
