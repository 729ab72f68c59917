#include "app/code_editor/find_bar.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include "app/code_editor/code_editor.h"

namespace orlavine::gui {

FindBar::FindBar(CodeEditor* editor)
    : QWidget(editor),
      editor_(editor),
      find_(new QLineEdit(this)),
      replace_(new QLineEdit(this)),
      replaceButton_(new QPushButton(tr("Replace"), this)),
      replaceAllButton_(new QPushButton(tr("Replace All"), this)),
      status_(new QLabel(this)) {
    find_->setPlaceholderText(tr("Find"));
    replace_->setPlaceholderText(tr("Replace with"));
    auto* previous = new QPushButton(tr("Previous"), this);
    auto* next = new QPushButton(tr("Next"), this);
    auto* done = new QPushButton(tr("Done"), this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w :
         {static_cast<QWidget*>(find_), static_cast<QWidget*>(previous),
          static_cast<QWidget*>(next), static_cast<QWidget*>(replace_),
          static_cast<QWidget*>(replaceButton_), static_cast<QWidget*>(replaceAllButton_),
          static_cast<QWidget*>(status_), static_cast<QWidget*>(done)}) {
        layout->addWidget(w);
    }
    connect(find_, &QLineEdit::textEdited, this, [this] {
        matchStart_ = -1;
        find(true);
    });
    connect(find_, &QLineEdit::returnPressed, this, &FindBar::findNext);
    connect(next, &QPushButton::clicked, this, &FindBar::findNext);
    connect(previous, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(replaceButton_, &QPushButton::clicked, this, &FindBar::replaceCurrent);
    connect(replaceAllButton_, &QPushButton::clicked, this, [this] { replaceAll(); });
    connect(done, &QPushButton::clicked, this, [this] {
        hide();
        editor_->focusEditor();
    });

    const auto shortcut = [editor](const QKeySequence& keys, auto slot) {
        auto* s = new QShortcut(keys, editor);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(s, &QShortcut::activated, slot);
    };
    shortcut(QKeySequence::Find, [this] { showFind(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_H), [this] { showReplace(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] { findNext(); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findPrevious(); });
    shortcut(QKeySequence(Qt::Key_Escape), [this] {
        if (isVisible()) {
            hide();
            editor_->focusEditor();
        }
    });
    hide();
}

void FindBar::showFind() {
    replace_->hide();
    replaceButton_->hide();
    replaceAllButton_->hide();
    show();
    find_->setFocus();
    find_->selectAll();
}

void FindBar::showReplace() {
    if (!replaceAllowed_) {
        showFind();
        return;
    }
    show();
    replace_->show();
    replaceButton_->show();
    replaceAllButton_->show();
    find_->setFocus();
    find_->selectAll();
}

void FindBar::setReplaceAllowed(bool allowed) {
    replaceAllowed_ = allowed;
    if (!allowed) {
        replace_->hide();
        replaceButton_->hide();
        replaceAllButton_->hide();
    }
}

void FindBar::select(qsizetype at) {
    matchStart_ = at;
    if (at < 0) {
        status_->setText(find_->text().isEmpty() ? QString() : tr("Not found"));
        return;
    }
    status_->clear();
    editor_->selectRange(at, find_->text().size());
}

void FindBar::find(bool forward) {
    const QString needle = find_->text();
    const QString& text = editor_->text();
    if (needle.isEmpty()) {
        select(-1);
        return;
    }
    qsizetype at = -1;
    if (forward) {
        const qsizetype from = matchStart_ < 0 ? 0 : matchStart_ + 1;
        at = text.indexOf(needle, from, Qt::CaseInsensitive);
        if (at < 0) {
            at = text.indexOf(needle, 0, Qt::CaseInsensitive);  // wraps around
        }
    } else {
        const qsizetype from = matchStart_ <= 0 ? -1 : matchStart_ - 1;
        at = from < 0 ? -1 : text.lastIndexOf(needle, from, Qt::CaseInsensitive);
        if (at < 0) {
            at = text.lastIndexOf(needle, -1, Qt::CaseInsensitive);
        }
    }
    select(at);
}

void FindBar::findNext() {
    find(true);
}

void FindBar::findPrevious() {
    find(false);
}

void FindBar::textChanged() {
    const QString& text = editor_->text();
    if (matchStart_ >= 0 &&
        text.mid(matchStart_, find_->text().size()).compare(find_->text(), Qt::CaseInsensitive) !=
            0) {
        matchStart_ = -1;
    }
}

void FindBar::replaceCurrent() {
    if (!replaceAllowed_) {
        return;
    }
    if (matchStart_ < 0) {
        find(true);
        return;
    }
    const qsizetype at = matchStart_;
    editor_->replaceRange(at, find_->text().size(), replace_->text());
    matchStart_ = at + replace_->text().size() - 1;
    find(true);
}

int FindBar::replaceAll() {
    const QString needle = find_->text();
    if (!replaceAllowed_ || needle.isEmpty()) {
        return 0;
    }
    QString text = editor_->text();
    const int count = static_cast<int>(text.count(needle, Qt::CaseInsensitive));
    if (count > 0) {
        text.replace(needle, replace_->text(), Qt::CaseInsensitive);
        editor_->replaceRange(0, editor_->text().size(), text);
    }
    status_->setText(tr("%n replaced", nullptr, count));
    matchStart_ = -1;
    return count;
}

}  // namespace orlavine::gui
