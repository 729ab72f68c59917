#include "app/gui/paste_import_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace orlavine::gui {

PasteImportWindow::PasteImportWindow(const LibraryServices& services,
                                     const editor::Settings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window),
      services_(services),
      editor_(new CodeEditor(this)),
      importButton_(new QPushButton(tr("Import"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Import CSS"));
    auto* cancel = new QPushButton(tr("Cancel"), this);
    importButton_->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(importButton_, &QPushButton::clicked, this, &PasteImportWindow::import);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(importButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_, 1);
    layout->addLayout(buttons);
    connect(editor_, &CodeEditor::ready, this, [this, settings] {
        editor_->applySettings(settings, editor::Owner::importSheet, QStringLiteral("css"), false);
    });
    resize(760, 560);
}

void PasteImportWindow::import() {
    importButton_->setEnabled(false);
    const std::string text = editor_->text().toStdString();
    const LibraryServices services = services_;
    work_.run([this, text, services] {
        const ImportOutcome outcome = importPastedText(text, services);
        work_.onMain([this, outcome] {
            importButton_->setEnabled(true);
            emit imported(outcome);
            if (outcome.result != ImportResult::invalid) {
                close();
            }
        });
    });
}

}  // namespace orlavine::gui
