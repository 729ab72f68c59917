#include "app/gui/prompter.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace orlavine::gui {

void DialogPrompter::alert(const QString& message, const QString& informative) {
    QMessageBox box(QMessageBox::Warning, message, message, QMessageBox::Ok, parent_);
    box.setInformativeText(informative);
    box.exec();
}

bool DialogPrompter::confirm(const QString& message, const QString& informative) {
    QMessageBox box(QMessageBox::Information, message, message, QMessageBox::NoButton, parent_);
    box.setInformativeText(informative);
    QPushButton* yes = box.addButton(QObject::tr("Yes"), QMessageBox::YesRole);
    box.addButton(QObject::tr("No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

void DialogPrompter::beep() {
    QApplication::beep();
}

Prompter::Choice DialogPrompter::choose(const QString& message, const QString& informative,
                                        const QStringList& buttons) {
    QMessageBox box(QMessageBox::Warning, message, message, QMessageBox::NoButton, parent_);
    box.setInformativeText(informative);
    QList<QAbstractButton*> added;
    for (const QString& text : buttons) {
        added << box.addButton(text, QMessageBox::AcceptRole);
    }
    if (!added.isEmpty()) {
        box.setDefaultButton(static_cast<QPushButton*>(added.front()));
    }
    auto* suppress = new QCheckBox(QObject::tr("Do not show this message again"));
    box.setCheckBox(suppress);
    box.exec();
    return Choice{static_cast<int>(added.indexOf(box.clickedButton())), suppress->isChecked()};
}

QString DialogPrompter::saveFile(const QString& title, const QString& proposedName,
                                 const QStringList& suffixes) {
    QStringList patterns;
    for (const QString& suffix : suffixes) {
        patterns << QStringLiteral("*.") + suffix;
    }
    QFileDialog dialog(parent_, title, QDir::home().filePath(proposedName),
                       QObject::tr("Style files (%1)").arg(patterns.join(' ')));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!suffixes.isEmpty()) {
        dialog.setDefaultSuffix(suffixes.last());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

QString DialogPrompter::openFile(const QString& title, const QStringList& suffixes) {
    QStringList patterns;
    for (const QString& suffix : suffixes) {
        patterns << QStringLiteral("*.") + suffix;
    }
    return QFileDialog::getOpenFileName(parent_, title, QDir::homePath(),
                                        QObject::tr("Files (%1)").arg(patterns.join(' ')));
}

QString DialogPrompter::chooseFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(parent_, title, QDir::homePath());
}

QColor DialogPrompter::chooseColour(const QColor& initial, const QString& title) {
    return QColorDialog::getColor(initial, parent_, title, QColorDialog::ShowAlphaChannel);
}

}  // namespace orlavine::gui
