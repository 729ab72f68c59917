#include "app/gui/browser_setup_window.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/browser_setup.h"

namespace orlavine::gui {

BrowserSetupWindow::BrowserSetupWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Welcome to Orlavine"));
    setObjectName(QStringLiteral("browserSetup"));
    build();
}

void BrowserSetupWindow::build() {
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        tr("<h2>Welcome to Orlavine</h2>"
           "<p>Orlavine keeps your user styles. A small extension in your browser applies them "
           "to the pages you visit, and talks to Orlavine through a helper program.</p>"
           "<p><b>1.</b> Connect each browser you use to the helper:</p>"));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* grid = new QGridLayout;
    int row = 0;
    for (const BrowserState& state : browserStates()) {
        grid->addWidget(new QLabel(QString::fromStdString(state.place.browser)), row, 0);
        grid->addWidget(new QLabel(state.installed ? tr("installed") : tr("not found")), row, 1);
        auto* button = new QPushButton(state.connected ? tr("Connected") : tr("Connect"));
        button->setEnabled(!state.connected);
        const BrowserManifestPlace place = state.place;
        connect(button, &QPushButton::clicked, this, [button, place] {
            const Status done = connectBrowser(place);
            button->setText(done ? tr("Connected")
                                 : tr("Failed: %1").arg(QString::fromStdString(done.error())));
            button->setEnabled(!done);
        });
        grid->addWidget(button, row, 2);
        ++row;
    }
    layout->addLayout(grid);

    const QString folder = extensionFolder();
    auto* load = new QLabel(
        tr("<p><b>2.</b> Load the extension from the folder <code>%1</code>:</p>"
           "<ul><li>Chromium, Google Chrome, Brave, Vivaldi, Microsoft Edge: open the "
           "extensions page, turn on developer mode, choose <i>Load unpacked</i> and pick the "
           "folder.</li>"
           "<li>Firefox: open <code>about:debugging</code>, choose <i>This Firefox</i>, then "
           "<i>Load Temporary Add-on</i> and pick <code>manifest.json</code> in the folder.</li>"
           "</ul><p>More in the <a href='https://orlavine.org/readme#browser-extension'>README"
           "</a>.</p>")
            .arg(folder.isEmpty() ? tr("webext (in the sources)") : folder.toHtmlEscaped()));
    load->setWordWrap(true);
    load->setOpenExternalLinks(true);
    load->setTextInteractionFlags(Qt::TextBrowserInteraction);
    layout->addWidget(load);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace orlavine::gui
