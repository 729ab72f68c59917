#include "app/gui/import_url_sheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orlavine::gui {

ImportURLSheet::ImportURLSheet(LibraryServices services, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Import from URL"));
    run_ = std::make_unique<URLImportRun>(services, work_.mainThread());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        tr("The address of a catalogue style, or of a .css, .user.css, .styl or .less file:")));
    address_ = new QLineEdit;
    layout->addWidget(address_);
    spinner_ = new QProgressBar;
    spinner_->setRange(0, 0);
    spinner_->hide();
    layout->addWidget(spinner_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    import_ = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &ImportURLSheet::startImport);
}

bool ImportURLSheet::busy() const {
    return run_->running();
}

void ImportURLSheet::startImport() {
    const std::string address = address_->text().trimmed().toStdString();
    if (address.empty()) {
        return;
    }
    const bool started = run_->start(address, [this](const URLImportOutcome& outcome) {
        import_->setEnabled(true);
        address_->setEnabled(true);
        spinner_->hide();
        emit finished(outcome);
        if (closesImportSheet(outcome.result)) {
            accept();
        }
    });
    if (started) {
        import_->setEnabled(false);
        address_->setEnabled(false);
        spinner_->show();
    }
}

}  // namespace orlavine::gui
