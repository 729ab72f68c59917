#include "app/code_editor/code_editor.h"

#include <QFontDatabase>
#include <QUndoCommand>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "app/code_editor/editor_page_profile.h"
#include "app/code_editor/find_bar.h"

namespace orlavine::gui {

// The object the page posts its messages to, named "callback" on the web channel.
class EditorCallback : public QObject {
    Q_OBJECT

  public:
    explicit EditorCallback(CodeEditor* editor) : QObject(editor), editor_(editor) {}
    Q_INVOKABLE void postMessage(const QString& body) { editor_->pageMessage(body); }

  private:
    CodeEditor* editor_;
};

namespace {

QString statement(const std::string& s) {
    return QString::fromStdString(s);
}

// Puts the text before a beautify back on undo, and the beautified one on redo.
class BeautifyCommand : public QUndoCommand {
  public:
    BeautifyCommand(CodeEditor* editor, QString before)
        : QUndoCommand(QStringLiteral("Beautify")), editor_(editor), before_(std::move(before)) {}
    void setAfter(QString after) { after_ = std::move(after); }
    void undo() override { put(before_); }
    void redo() override {
        if (!first_) {
            put(after_);
        }
        first_ = false;
    }

  private:
    void put(const QString& text) {
        if (editor_ != nullptr) {
            editor_->setText(text);
            emit editor_->textChanged();
        }
    }
    QPointer<CodeEditor> editor_;
    QString before_;
    QString after_;
    bool first_ = true;
};

}  // namespace

CodeEditor::CodeEditor(QWidget* parent, const QString& pageFolder)
    : QWidget(parent), view_(new QWebEngineView(this)), findBar_(new FindBar(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    layout->addWidget(findBar_);

    const QString folder = pageFolder.isEmpty() ? defaultEditorPageFolder() : pageFolder;
    auto* page = new QWebEnginePage(editorPageProfile(folder), view_);
    page->setBackgroundColor(Qt::transparent);
    page->settings()->setAttribute(QWebEngineSettings::LinksIncludedInFocusChain, false);
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("callback"), new EditorCallback(this));
    page->setWebChannel(channel);
    view_->setPage(page);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->load(QUrl(QStringLiteral("%1://page/index.html").arg(kEditorScheme)));
}

// The page runs its pending result callbacks as it goes; it goes first, while this control is
// still whole, and the callbacks see `closing_` and do nothing.
CodeEditor::~CodeEditor() {
    closing_ = true;
    delete view_;
}

void CodeEditor::run(const QString& s) {
    if (closing_) {
        return;
    }
    view_->page()->runJavaScript(s);
}

void CodeEditor::pageMessage(const QString& body) {
    if (body == QLatin1String("pageReady")) {
        if (!ready_) {
            ready_ = true;
            emit ready();
        }
    } else if (body == QLatin1String("stringChanged")) {
        fetchText();
    }
}

void CodeEditor::fetchText() {
    QPointer<CodeEditor> self(this);
    view_->page()->runJavaScript(editor::kGetValue, [self](const QVariant& value) {
        if (self == nullptr || self->closing_ || !value.canConvert<QString>()) {
            return;
        }
        self->text_ = value.toString();
        self->findBar_->textChanged();
        emit self->textChanged();
    });
}

// The value and what follows it go in one evaluation: a statement sent in between (a selection
// made right after setting the text) would otherwise be undone by the clearing that follows.
void CodeEditor::setText(const QString& text) {
    text_ = text;
    std::string script = editor::kStopReporting;
    script += editor::setValueStatement(text.toStdString());
    for (const std::string& s : editor::afterSetValueStatements()) {
        script += s;
    }
    run(statement(script));
    findBar_->textChanged();
}

QString CodeEditor::installedFontFamily(const QString& wanted) {
    if (!wanted.isEmpty() && QFontDatabase::families().contains(wanted, Qt::CaseInsensitive)) {
        return wanted;
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

void CodeEditor::applySettings(editor::Settings settings, editor::Owner owner, const QString& mode,
                               bool readOnly) {
    settings.fontFamily =
        installedFontFamily(QString::fromStdString(settings.fontFamily)).toStdString();
    readOnly_ = readOnly || owner == editor::Owner::exportSheet ||
                owner == editor::Owner::preferencePreview;
    for (const std::string& s :
         editor::settingsStatements(settings, owner, mode.toStdString(), readOnly)) {
        run(statement(s));
    }
    findBar_->setReplaceAllowed(!readOnly_);
}

void CodeEditor::beautify(QUndoStack* undo) {
    QPointer<CodeEditor> self(this);
    QPointer<QUndoStack> stack(undo);
    const QString before = text_;
    view_->page()->runJavaScript(editor::kBeautify, [self, stack, before](const QVariant& v) {
        if (self == nullptr || self->closing_ || !v.canConvert<QString>()) {
            return;
        }
        const QString beautified = v.toString();
        if (stack != nullptr) {
            auto* command = new BeautifyCommand(self, before);
            command->setAfter(beautified);
            stack->push(command);
        }
        self->setText(beautified);
        emit self->textChanged();
    });
}

void CodeEditor::selectRange(qsizetype location, qsizetype length) {
    const std::u16string_view text(reinterpret_cast<const char16_t*>(text_.utf16()),
                                   static_cast<std::size_t>(text_.size()));
    const auto [start, end] = editor::rangePositions(text, static_cast<std::size_t>(location),
                                                     static_cast<std::size_t>(length));
    run(statement(editor::selectRangeScript(start, end)));
}

void CodeEditor::replaceRange(qsizetype location, qsizetype length, const QString& with) {
    if (readOnly_ || location < 0 || location > text_.size()) {
        return;
    }
    QString replaced = text_;
    replaced.replace(location, std::min(length, text_.size() - location), with);
    setText(replaced);
    emit textChanged();
}

void CodeEditor::goToLine() {
    run(editor::kGoToLine);
}

void CodeEditor::focusEditor() {
    view_->setFocus();
    run(editor::kFocus);
}

}  // namespace orlavine::gui

#include "code_editor.moc"
