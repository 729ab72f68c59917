#include "app/gui/compiler_error_window.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orlavine::gui {

CompilerErrorWindow::CompilerErrorWindow(const CompilerError& error, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(compilerErrorTitle(error)));
    auto* header = new QLabel(QString::fromUtf8(compilerErrorHeader(error.compiler).data()), this);
    header->setObjectName(QStringLiteral("header"));
    auto* text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("errorText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(11);
    text->setFont(mono);
    text->setPlainText(QString::fromStdString(std::string(shownErrorText(error.text))));
    auto* close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addWidget(text, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(560, 320);
}

QString CompilerErrorWindow::errorText() const {
    return findChild<QPlainTextEdit*>(QStringLiteral("errorText"))->toPlainText();
}

QString CompilerErrorWindow::header() const {
    return findChild<QLabel*>(QStringLiteral("header"))->text();
}

void CompilerErrorWindows::showCompilerError(const CompilerError& error) {
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            auto* window = new CompilerErrorWindow(error);
            window->show();
            emit shown(window);
        },
        Qt::QueuedConnection);
}

}  // namespace orlavine::gui
