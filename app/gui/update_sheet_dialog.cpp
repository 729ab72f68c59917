#include "app/gui/update_sheet_dialog.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orlavine::gui {

UpdateSheetDialog::UpdateSheetDialog(UpdateContext context, NotificationCenter& notifications,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Updating Styles"));
    auto* layout = new QVBoxLayout(this);
    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    auto* buttons = new QDialogButtonBox;
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    done_ = buttons->addButton(tr("Done"), QDialogButtonBox::AcceptRole);
    done_->setEnabled(false);
    layout->addWidget(log_);
    layout->addWidget(progress_);
    layout->addWidget(buttons);

    UpdateSheetRun::Callbacks callbacks;
    callbacks.logChanged = [this](const std::string& log) {
        log_->setPlainText(QString::fromStdString(log));
    };
    callbacks.progressChanged = [this](double percent) {
        progress_->setValue(static_cast<int>(percent));
    };
    callbacks.finished = [this] {
        done_->setEnabled(true);
        cancel_->setEnabled(false);
        emit runFinished();
    };
    callbacks.dismissed = [this] { accept(); };
    run_ = std::make_unique<UpdateSheetRun>(std::move(context), &notifications,
                                            std::move(callbacks), work_.mainThread());
    connect(cancel_, &QPushButton::clicked, this, [this] { run_->cancel(); });
    connect(done_, &QPushButton::clicked, this, [this] { run_->done(); });
}

QString UpdateSheetDialog::log() const {
    return log_->toPlainText();
}

}  // namespace orlavine::gui
