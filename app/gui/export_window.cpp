#include "app/gui/export_window.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/style_editor_window.h"
#include "editor/editor_settings.h"
#include "formats/usercss_writer.h"

namespace orlavine::gui {

ExportWindow::ExportWindow(Session& session, Prompter& prompter, const styleContainer& style,
                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      prompter_(prompter),
      name_(QString::fromStdString(style.styleData.name)),
      text_(QString::fromStdString(writeUserCSS(style))),
      editor_(new CodeEditor(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Exporting ") + name_);
    auto* close = new QPushButton(tr("Close"), this);
    auto* saveButton = new QPushButton(tr("Save"), this);
    saveButton->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(saveButton, &QPushButton::clicked, this, [this] {
        if (save()) {
            this->close();
        }
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    buttons->addWidget(saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_, 1);
    layout->addLayout(buttons);
    const editor::Settings settings = editor::settingsFrom(session.settings().app);
    connect(editor_, &CodeEditor::ready, this, [this, settings] {
        editor_->applySettings(settings, editor::Owner::exportSheet, QStringLiteral("css"), true);
        editor_->setText(text_);
    });
    resize(760, 560);
}

bool ExportWindow::save() {
    const QString path =
        prompter_.saveFile(kExportUserCSSTitle, name_ + QStringLiteral(".user.css"),
                           {QStringLiteral("user.css"), QStringLiteral("css")});
    if (path.isEmpty()) {
        return false;
    }
    QFile file(path);
    const QByteArray bytes = text_.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        prompter_.alert(kSaveErrorTitle, kSaveErrorText);
        return false;
    }
    return true;
}

}  // namespace orlavine::gui
