#include "app/gui/recovery_window.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace orlavine::gui {

RecoveryWindow::RecoveryWindow(sync::SyncEngine& engine, NotificationCenter& notifications,
                               QWidget* parent)
    : QDialog(parent), engine_(engine), bridge_(notifications, {"deletedStylesChanged"}) {
    setWindowTitle(tr("Recover Deleted Styles"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(tr("Styles that syncing removed from this computer since "
                      "Orlavine started:")));
    list_ = new QListWidget;
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    recover_ = buttons->addButton(tr("Recover"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(recover_, &QPushButton::clicked, this, &RecoveryWindow::recoverSelected);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { recover_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(&bridge_, &NoticeBridge::notice, this, &RecoveryWindow::reload);
    reload();
}

void RecoveryWindow::reload() {
    list_->clear();
    for (const styleContainer& style : engine_.deletedStyles()) {
        list_->addItem(QString::fromStdString(style.styleData.name));
    }
    recover_->setEnabled(false);
}

void RecoveryWindow::recoverSelected() {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    if (rows.empty()) {
        return;
    }
    recover_->setEnabled(false);
    // Saving uploads the library, so it runs off the main thread.
    work_.run([this, rows] {
        engine_.recover(rows);
        work_.onMain([this] { reload(); });
    });
}

}  // namespace orlavine::gui
