#include "app/gui/style_editor_window.h"

#include "app/gui/notice_values.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QToolBar>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "app/code_editor/find_bar.h"
#include "app/gui/export_window.h"
#include "app/gui/section_sheets.h"
#include "app/gui/style_list_controller.h"
#include "editor/editor_settings.h"
#include "library/library_services.h"
#include "model/settings_keys.h"

namespace orlavine::gui {
StyleEditorWindow::StyleEditorWindow(Session& session, Prompter& prompter, styleContainer style,
                                     std::shared_ptr<LivePreview> preview, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      prompter_(prompter),
      styleID_(style.uniqueID),
      document_(style, opensReadOnly(style)),
      editor_(new CodeEditor(this)),
      preview_(document_.isReadOnly() ? nullptr : std::move(preview)),
      bridge_(session.notifications(), {kCheckIfWindowFocus, notifications::kStyleNameChanged,
                                        notifications::kStylesChangedInCloud}) {
    setAttribute(Qt::WA_DeleteOnClose);
    setCentralWidget(editor_);
    setWindowTitle(fromStd(document_.style().styleData.name) + QStringLiteral("[*]"));
    buildToolbar();
    buildMenus();
    refreshPicker();
    resize(900, 640);

    // Typing reaches the browser within a few hundred milliseconds of the last key.
    previewTimer_.setSingleShot(true);
    previewTimer_.setInterval(kPreviewPause);
    connect(&previewTimer_, &QTimer::timeout, this, [this] {
        if (preview_ == nullptr || !previewSwitch_->isChecked()) {
            return;
        }
        work_.run([preview = preview_, copy = document_.style()] { (void)preview->show(copy); });
    });
    connect(&bridge_, &NoticeBridge::notice, this, &StyleEditorWindow::onNotice);
    connect(editor_, &CodeEditor::textChanged, this, [this] {
        if (!document_.isReadOnly() && document_.section().code != editor_->text().toStdString()) {
            document_.setCode(editor_->text().toStdString());
            markEdited();
        }
    });
    connect(editor_, &CodeEditor::ready, this, [this] {
        editor_->applySettings(
            editor::settingsFrom(session_.settings().app), editor::Owner::styleEditor,
            fromStd(std::string(editor::modeForPreprocessor(document_.style().preprocessor))),
            document_.isReadOnly());
        showSection();
    });
    session_.notifications().post(notifications::kAddToOpenStyles, {{"id", styleID_}});

    if (document_.isReadOnly() && session_.settings().app.boolValue(keys::kWarnReadOnly)) {
        const Prompter::Choice choice =
            prompter_.choose(kReadOnlyStyleTitle, kReadOnlyStyleText, {QStringLiteral("OK")});
        if (choice.suppressed) {
            session_.settings().app.set(keys::kWarnReadOnly, false);
        }
    }
}

StyleEditorWindow::~StyleEditorWindow() {
    if (!told_) {
        session_.notifications().post(kRemoveFromOpenStyles, {{"id", styleID_}});
    }
}

void StyleEditorWindow::buildToolbar() {
    auto* bar = addToolBar(tr("Editor"));
    bar->setObjectName(QStringLiteral("editorToolbar"));
    picker_ = new QComboBox(this);
    picker_->setMinimumContentsLength(16);
    bar->addWidget(picker_);
    connect(picker_, &QComboBox::activated, this, &StyleEditorWindow::selectSection);
    bar->addAction(tr("Previous"), this, &StyleEditorWindow::previousSection);
    bar->addAction(tr("Next"), this, &StyleEditorWindow::nextSection);
    bar->addSeparator();
    bar->addAction(tr("Add"), this, &StyleEditorWindow::openNewSectionSheet);
    bar->addAction(tr("Remove"), this, &StyleEditorWindow::deleteSection);
    bar->addAction(tr("Duplicate Section"), this, &StyleEditorWindow::duplicateSection);
    bar->addSeparator();
    bar->addAction(tr("Rule Editor"), this, &StyleEditorWindow::openRuleEditor);
    bar->addAction(tr("Metadata Editor"), this, &StyleEditorWindow::openMetadataEditor);
    bar->addAction(tr("Beautify"), this, &StyleEditorWindow::beautify);
    bar->addAction(tr("Export"), this, &StyleEditorWindow::openExport);
    if (preview_ != nullptr) {
        bar->addSeparator();
        previewSwitch_ = bar->addAction(tr("Live Preview"));
        previewSwitch_->setCheckable(true);
        previewSwitch_->setChecked(true);
        previewSwitch_->setToolTip(
            tr("Show the code in your browser while you type, without saving it"));
        connect(previewSwitch_, &QAction::toggled, this, [this](bool on) {
            if (on) {
                schedulePreview();
            } else {
                endPreview();
            }
        });
    }
    if (document_.isReadOnly()) {
        readOnlyLabel_ = new QLabel(tr("Read-only"), this);
        bar->addSeparator();
        bar->addWidget(readOnlyLabel_);
    }
}

void StyleEditorWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Save"), QKeySequence::Save, this, [this] { save(); });
    file->addAction(tr("Export Section as CSS File..."), this, &StyleEditorWindow::exportSection);
    file->addAction(tr("&Close"), QKeySequence::Close, this, &QWidget::close);
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(tr("&Undo"), QKeySequence::Undo, this, [this] {
        if (undo_.canUndo()) {
            undo_.undo();
        } else {
            editor_->run(QStringLiteral("editor.undo();"));
        }
    });
    edit->addAction(tr("&Redo"), QKeySequence::Redo, this, [this] {
        if (undo_.canRedo()) {
            undo_.redo();
        } else {
            editor_->run(QStringLiteral("editor.redo();"));
        }
    });
    edit->addSeparator();
    edit->addAction(tr("&Find..."), [this] { editor_->findBar()->showFind(); });
    edit->addAction(tr("Find and &Replace..."), [this] { editor_->findBar()->showReplace(); });
    edit->addAction(tr("&Go to Line..."), QKeySequence(Qt::CTRL | Qt::Key_L), this,
                    [this] { editor_->goToLine(); });
}

void StyleEditorWindow::refreshPicker() {
    picker_->clear();
    for (const std::string& title : document_.pickerTitles()) {
        picker_->addItem(fromStd(title));
    }
    picker_->setCurrentIndex(static_cast<int>(document_.currentSection()));
}

void StyleEditorWindow::showSection() {
    picker_->setCurrentIndex(static_cast<int>(document_.currentSection()));
    editor_->setText(fromStd(document_.section().code));
}

void StyleEditorWindow::markEdited() {
    setWindowModified(document_.isDirty());
    schedulePreview();
}

void StyleEditorWindow::schedulePreview() {
    if (preview_ != nullptr && previewSwitch_->isChecked() && document_.isDirty()) {
        previewTimer_.start();
    }
}

void StyleEditorWindow::endPreview() {
    previewTimer_.stop();
    if (preview_ != nullptr) {
        (void)preview_->end(styleID_);
    }
}

void StyleEditorWindow::withCurrentText(std::function<void()> next) {
    if (!editor_->isReady() || document_.isReadOnly()) {
        next();
        return;
    }
    QPointer<StyleEditorWindow> self(this);
    editor_->view()->page()->runJavaScript(
        QString::fromLatin1(editor::kGetValue), [self, next = std::move(next)](const QVariant& v) {
            if (self == nullptr) {
                return;
            }
            if (v.canConvert<QString>()) {
                self->document_.setCode(v.toString().toStdString());
                self->markEdited();
            }
            next();
        });
}

void StyleEditorWindow::selectSection(int index) {
    withCurrentText([this, index] {
        document_.selectSection(static_cast<std::size_t>(std::max(index, 0)));
        showSection();
    });
}

void StyleEditorWindow::previousSection() {
    selectSection(static_cast<int>(document_.currentSection()) - 1);
}

void StyleEditorWindow::nextSection() {
    selectSection(static_cast<int>(document_.currentSection()) + 1);
}

void StyleEditorWindow::addSection(const StyleEditorDocument::NewSection& sheet) {
    withCurrentText([this, sheet] {
        if (document_.addSection(sheet)) {
            refreshPicker();
            showSection();
            markEdited();
        }
    });
}

void StyleEditorWindow::duplicateSection() {
    withCurrentText([this] {
        if (document_.duplicateSection()) {
            refreshPicker();
            showSection();
            markEdited();
        }
    });
}

void StyleEditorWindow::deleteSection() {
    withCurrentText([this] {
        switch (document_.deleteStep()) {
            case StyleEditorDocument::DeleteStep::refused:
                return;
            case StyleEditorDocument::DeleteStep::onlySection:
                prompter_.alert(kCannotDeleteSectionTitle, kCannotDeleteSectionText);
                return;
            case StyleEditorDocument::DeleteStep::askFirst:
                if (!prompter_.confirm(fromStd(document_.deleteQuestion()), kDeleteSectionText)) {
                    return;
                }
                break;
            case StyleEditorDocument::DeleteStep::deleteAtOnce:
                break;
        }
        document_.deleteCurrentSection();
        refreshPicker();
        showSection();
        markEdited();
    });
}

void StyleEditorWindow::exportSection() {
    withCurrentText([this] {
        const QString path = prompter_.saveFile(
            kExportSectionTitle, fromStd(document_.exportFileName()), {QStringLiteral("css")});
        if (path.isEmpty()) {
            return;
        }
        QFile file(path);
        const std::string& code = document_.section().code;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(code.data(), static_cast<qint64>(code.size())) !=
                static_cast<qint64>(code.size())) {
            prompter_.alert(kSaveErrorTitle, kSaveErrorText);
        }
    });
}

void StyleEditorWindow::setMetadata(const StyleEditorDocument::Metadata& sheet) {
    if (document_.setMetadata(sheet)) {
        markEdited();
        editor_->run(QStringLiteral("editor.session.setMode(\"ace/mode/%1\");")
                         .arg(fromStd(std::string(
                             editor::modeForPreprocessor(document_.style().preprocessor)))));
    }
}

void StyleEditorWindow::setRules(const ruleDictionary& rows) {
    if (document_.setRules(rows)) {
        refreshPicker();
        markEdited();
    }
}

void StyleEditorWindow::beautify() {
    if (!document_.isReadOnly()) {
        editor_->beautify(&undo_);
    }
}

void StyleEditorWindow::save(std::function<void(bool)> done) {
    if (document_.isReadOnly()) {
        if (done) {
            done(false);
        }
        return;
    }
    withCurrentText([this, done = std::move(done)] {
        const styleContainer edited = document_.style();
        StyleStore* store = &session_.store();
        const std::int64_t id = styleID_;
        work_.run([this, store, id, edited, done] {
            const Result<bool> stored = store->saveEditedStyle(id, edited);
            work_.onMain([this, stored, edited, done] {
                const bool ok = stored && *stored;
                if (ok && document_.style() == edited) {
                    document_.markSaved();
                    markEdited();
                }
                if (ok) {
                    emit saved();
                } else if (!stored) {
                    prompter_.alert(kSaveErrorTitle, fromStd(stored.error()));
                }
                if (done) {
                    done(ok);
                }
            });
        });
    });
}

void StyleEditorWindow::closeEvent(QCloseEvent* event) {
    if (!closeWithoutAsking_ && document_.isDirty()) {
        const Prompter::Choice choice = prompter_.choose(
            fromStd(document_.closeQuestion()), kCloseUnsavedText,
            {QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't Save")});
        if (choice.button == 1) {
            event->ignore();
            return;
        }
        if (choice.button == 0) {
            event->ignore();
            save([this](bool ok) {
                if (ok) {
                    closeWithoutAsking_ = true;
                    close();
                }
            });
            return;
        }
    }
    told_ = true;
    // Pages show the saved style again (with the changes, when they were saved).
    endPreview();
    session_.notifications().post(kRemoveFromOpenStyles, {{"id", styleID_}});
    emit closing(styleID_);
    event->accept();
}

void StyleEditorWindow::onNotice(const Notification& n) {
    if (n.name == kCheckIfWindowFocus && noticeID(n) == styleID_) {
        show();
        raise();
        activateWindow();
    } else if (n.name == notifications::kStyleNameChanged && noticeID(n) == styleID_) {
        if (const std::optional<std::string> name = noticeText(n, "newname")) {
            document_.takeName(*name);
            setWindowTitle(fromStd(*name) + QStringLiteral("[*]"));
        }
    } else if (n.name == notifications::kStylesChangedInCloud) {
        const auto it = n.userInfo.find("changedIDs");
        const auto* ids =
            it == n.userInfo.end() ? nullptr : std::get_if<std::vector<std::int64_t>>(&it->second);
        if (ids != nullptr && std::find(ids->begin(), ids->end(), styleID_) != ids->end()) {
            // The library changed underneath the window: what it holds is out of date.
            closeWithoutAsking_ = true;
            close();
        }
    }
}

void StyleEditorWindow::openNewSectionSheet() {
    if (document_.isReadOnly()) {
        return;
    }
    auto* sheet = new NewSectionSheet(this);
    connect(sheet, &NewSectionSheet::created, this, &StyleEditorWindow::addSection);
    sheet->open();
}

void StyleEditorWindow::openRuleEditor() {
    auto* sheet = new RuleEditorSheet(document_.rules(), document_.isReadOnly(), this);
    connect(sheet, &RuleEditorSheet::saved, this, &StyleEditorWindow::setRules);
    sheet->open();
}

void StyleEditorWindow::openMetadataEditor() {
    auto* sheet = new MetadataSheet(document_.metadata(), document_.isReadOnly(), this);
    connect(sheet, &MetadataSheet::saved, this, &StyleEditorWindow::setMetadata);
    sheet->open();
}

void StyleEditorWindow::openExport() {
    withCurrentText([this] {
        auto* window = new ExportWindow(session_, prompter_, document_.style(), this);
        window->show();
    });
}

}  // namespace orlavine::gui
