#include "app/gui/gui_reporter.h"

#include <QString>

namespace orlavine::gui {

void GuiReporter::showAlert(std::string_view message, std::string_view informative) {
    const QString m = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    const QString i =
        QString::fromUtf8(informative.data(), static_cast<qsizetype>(informative.size()));
    Prompter* prompter = &prompter_;
    QMetaObject::invokeMethod(
        context_, [prompter, m, i] { prompter->alert(m, i); }, Qt::QueuedConnection);
}

}  // namespace orlavine::gui
