#include "app/gui/sync_account_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/gui/prompter.h"
#include "sync/account_setup.h"

namespace orlavine::gui {

SyncAccountDialog::SyncAccountDialog(SettingsStores& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), settings_(settings), prompter_(prompter) {
    setWindowTitle(tr("Sync Account"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        tr("Keep the library in step with your other computers through a WebDAV server or a "
           "folder that is kept in step by other means."),
        this));
    webdav_ = new QRadioButton(tr("A WebDAV server"), this);
    folder_ = new QRadioButton(tr("A synced folder"), this);
    webdav_->setChecked(true);
    layout->addWidget(webdav_);

    webdavFields_ = new QWidget(this);
    auto* form = new QFormLayout(webdavFields_);
    address_ = new QLineEdit(webdavFields_);
    address_->setPlaceholderText(
        QStringLiteral("https://dav.example.org/remote.php/dav/files/me/"));
    user_ = new QLineEdit(webdavFields_);
    password_ = new QLineEdit(webdavFields_);
    password_->setEchoMode(QLineEdit::Password);
    form->addRow(tr("Address:"), address_);
    form->addRow(tr("User name:"), user_);
    form->addRow(tr("Password:"), password_);
    layout->addWidget(webdavFields_);

    layout->addWidget(folder_);
    folderFields_ = new QWidget(this);
    auto* folderRow = new QHBoxLayout(folderFields_);
    folderPath_ = new QLineEdit(folderFields_);
    chooseFolder_ = new QPushButton(tr("Choose…"), folderFields_);
    folderRow->addWidget(folderPath_);
    folderRow->addWidget(chooseFolder_);
    layout->addWidget(folderFields_);

    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    use_ = buttons->addButton(tr("Use This Account"), QDialogButtonBox::AcceptRole);
    use_->setDefault(true);
    layout->addWidget(buttons);

    connect(webdav_, &QRadioButton::toggled, this, [this] { showKind(); });
    connect(chooseFolder_, &QPushButton::clicked, this, [this] {
        const QString chosen = prompter_.chooseFolder(tr("Choose the Synced Folder"));
        if (!chosen.isEmpty()) {
            folderPath_->setText(chosen);
        }
    });
    connect(use_, &QPushButton::clicked, this, [this] { useAccount(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &SyncAccountDialog::reject);
    showKind();
}

SyncAccountDialog::~SyncAccountDialog() {
    if (setup_) {
        setup_->cancel();
    }
}

void SyncAccountDialog::showKind() {
    webdavFields_->setEnabled(webdav_->isChecked());
    folderFields_->setEnabled(folder_->isChecked());
}

void SyncAccountDialog::setBusy(bool busy) {
    for (QWidget* w : {static_cast<QWidget*>(webdav_), static_cast<QWidget*>(folder_),
                       webdavFields_, folderFields_, static_cast<QWidget*>(use_)}) {
        w->setEnabled(!busy);
    }
    if (!busy) {
        showKind();
    }
}

void SyncAccountDialog::useAccount() {
    if (setup_) {
        return;
    }
    const bool webdav = webdav_->isChecked();
    sync::AccountDetails details;
    if (webdav) {
        details.server = address_->text().trimmed().toStdString();
        details.user = user_->text().toStdString();
        details.password = password_->text().toStdString();
        if (details.server.empty() || details.user.empty()) {
            status_->setText(tr("Give the server's address and your user name."));
            return;
        }
    } else {
        details.server = folderPath_->text().trimmed().toStdString();
        if (details.server.empty()) {
            status_->setText(tr("Choose the folder."));
            return;
        }
    }
    setup_ = std::make_shared<sync::AccountSetup>(settings_, std::move(details));
    setBusy(true);
    status_->setText(tr("Checking the account…"));
    work_.run([this, setup = setup_, webdav] {
        sync::AccountSetupOutcome outcome = setup->run();
        const bool failed = outcome.error.has_value();
        std::string message =
            failed ? sync::describeAccountError(*outcome.error, webdav) : std::string();
        for (const std::string& line : outcome.lines) {
            message += (message.empty() ? "" : "\n") + line;
        }
        work_.onMain([this, failed, message] {
            setup_.reset();
            setBusy(false);
            status_->setText(QString::fromStdString(message));
            if (!failed) {
                accept();
            }
            emit testEnded();
        });
    });
}

void SyncAccountDialog::reject() {
    if (setup_) {
        setup_->cancel();
    }
    QDialog::reject();
}

}  // namespace orlavine::gui
