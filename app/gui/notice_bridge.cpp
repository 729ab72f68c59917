#include "app/gui/notice_bridge.h"

namespace orlavine::gui {

NoticeBridge::NoticeBridge(NotificationCenter& center, std::initializer_list<const char*> names,
                           QObject* parent)
    : QObject(parent), center_(center) {
    for (const char* name : names) {
        tokens_.push_back(center_.addObserver(name, [this](const Notification& n) {
            QMetaObject::invokeMethod(
                this, [this, n] { emit notice(n); }, Qt::QueuedConnection);
        }));
    }
}

NoticeBridge::~NoticeBridge() {
    for (NotificationCenter::Token token : tokens_) {
        center_.removeObserver(token);
    }
}

}  // namespace orlavine::gui
