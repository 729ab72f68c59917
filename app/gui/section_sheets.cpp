#include "app/gui/section_sheets.h"

#include "app/gui/notice_values.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace orlavine::gui {
namespace {

const QStringList& ruleKinds() {
    static const QStringList kinds = {kRowDomain, kRowURL, kRowPrefix, kRowRegExp};
    return kinds;
}

QDialogButtonBox* buttons(QDialog* dialog, const QString& okText, bool readOnly) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    if (!readOnly) {
        box->addButton(okText, QDialogButtonBox::AcceptRole);
    }
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

}  // namespace

NewSectionSheet::NewSectionSheet(QWidget* parent)
    : QDialog(parent),
      name_(new QLineEdit(this)),
      kind_(new QComboBox(this)),
      rule_(new QLineEdit(this)),
      copy_(new QCheckBox(tr("Copy the rules of the current section"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("New Section"));
    kind_->addItems(ruleKinds());
    auto* form = new QFormLayout(this);
    form->addRow(tr("Name:"), name_);
    form->addRow(tr("Applies to:"), kind_);
    form->addRow(tr("Rule:"), rule_);
    form->addRow(copy_);
    form->addRow(buttons(this, tr("Create"), false));
    connect(copy_, &QCheckBox::toggled, this, [this](bool on) {
        kind_->setEnabled(!on);
        rule_->setEnabled(!on);
    });
    connect(this, &QDialog::accepted, this, [this] { emit created(values()); });
}

StyleEditorDocument::NewSection NewSectionSheet::values() const {
    return {name_->text().toStdString(), kind_->currentText().toStdString(),
            rule_->text().toStdString(), copy_->isChecked()};
}

RuleEditorSheet::RuleEditorSheet(const ruleDictionary& rules, bool readOnly, QWidget* parent)
    : QDialog(parent), rows_(new QTableWidget(0, 2, this)), name_(new QLineEdit(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Rule Editor"));
    rows_->setHorizontalHeaderLabels({tr("Applies to"), tr("Rule")});
    rows_->horizontalHeader()->setStretchLastSection(true);
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const RuleRow& row : rules.dictionary) {
        const auto type = row.find("type");
        const auto rule = row.find("rule");
        addRow(type == row.end() ? QString(kRowDomain) : fromStd(type->second),
               rule == row.end() ? QString() : fromStd(rule->second));
    }
    name_->setText(fromStd(rules.sectionName.value_or("")));
    auto* layout = new QVBoxLayout(this);
    auto* nameRow = new QFormLayout;
    nameRow->addRow(tr("Section name:"), name_);
    layout->addLayout(nameRow);
    layout->addWidget(rows_, 1);
    auto* adders = new QHBoxLayout;
    for (const QString& kind : ruleKinds()) {
        auto* add = new QPushButton(tr("Add %1").arg(kind), this);
        connect(add, &QPushButton::clicked, this, [this, kind] { addRow(kind); });
        add->setEnabled(!readOnly);
        adders->addWidget(add);
    }
    auto* remove = new QPushButton(tr("Remove"), this);
    remove->setEnabled(!readOnly);
    connect(remove, &QPushButton::clicked, this, [this] {
        if (rows_->currentRow() >= 0) {
            rows_->removeRow(rows_->currentRow());
        }
    });
    adders->addWidget(remove);
    layout->addLayout(adders);
    layout->addWidget(buttons(this, tr("Save"), readOnly));
    rows_->setEnabled(!readOnly);
    name_->setReadOnly(readOnly);
    connect(this, &QDialog::accepted, this, [this] { emit saved(values()); });
    resize(560, 360);
}

void RuleEditorSheet::addRow(const QString& kind, const QString& rule) {
    const int row = rows_->rowCount();
    rows_->insertRow(row);
    auto* kindBox = new QComboBox(rows_);
    kindBox->addItems(ruleKinds());
    kindBox->setCurrentText(kind);
    rows_->setCellWidget(row, 0, kindBox);
    rows_->setItem(row, 1, new QTableWidgetItem(rule));
    rows_->setCurrentCell(row, 1);
}

ruleDictionary RuleEditorSheet::values() const {
    ruleDictionary rules;
    for (int row = 0; row < rows_->rowCount(); ++row) {
        const auto* kind = qobject_cast<QComboBox*>(rows_->cellWidget(row, 0));
        const QTableWidgetItem* rule = rows_->item(row, 1);
        rules.dictionary.push_back(
            {{"type", kind != nullptr ? kind->currentText().toStdString() : kRowDomain},
             {"rule", rule != nullptr ? rule->text().toStdString() : std::string()}});
    }
    rules.sectionName = name_->text().toStdString();
    return rules;
}

MetadataSheet::MetadataSheet(const StyleEditorDocument::Metadata& metadata, bool readOnly,
                             QWidget* parent)
    : QDialog(parent),
      author_(new QLineEdit(fromStd(metadata.author), this)),
      version_(new QLineEdit(fromStd(metadata.version), this)),
      license_(new QLineEdit(fromStd(metadata.license), this)),
      namespace_(new QLineEdit(fromStd(metadata.namespace_), this)),
      description_(new QPlainTextEdit(fromStd(metadata.description), this)),
      preprocessor_(new QComboBox(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Metadata Editor"));
    for (const char* item : kPreprocessorMenu) {
        preprocessor_->addItem(QString::fromLatin1(item));
    }
    preprocessor_->setCurrentIndex(static_cast<int>(metadata.preprocessor));
    auto* form = new QFormLayout(this);
    form->addRow(tr("Author:"), author_);
    form->addRow(tr("Version:"), version_);
    form->addRow(tr("License:"), license_);
    form->addRow(tr("Namespace:"), namespace_);
    form->addRow(tr("Description:"), description_);
    form->addRow(tr("Preprocessor:"), preprocessor_);
    form->addRow(buttons(this, tr("Save"), readOnly));
    connect(this, &QDialog::accepted, this, [this] { emit saved(values()); });
}

StyleEditorDocument::Metadata MetadataSheet::values() const {
    return {author_->text().toStdString(),
            version_->text().toStdString(),
            license_->text().toStdString(),
            namespace_->text().toStdString(),
            description_->toPlainText().toStdString(),
            static_cast<std::size_t>(std::max(preprocessor_->currentIndex(), 0))};
}

}  // namespace orlavine::gui
