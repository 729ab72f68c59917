#pragma once
// Carries the notices of the process's notification centre, posted on any thread, to the main
// thread as a Qt signal. Removing the observers in the destructor waits for a delivery running
// on another thread, and deliveries still queued die with this object.

#include <QObject>
#include <initializer_list>
#include <vector>

#include "model/notification_center.h"

namespace orlavine::gui {

class NoticeBridge : public QObject {
    Q_OBJECT
  public:
    NoticeBridge(NotificationCenter& center, std::initializer_list<const char*> names,
                 QObject* parent = nullptr);
    ~NoticeBridge() override;

  signals:
    // On the thread this object lives on (the main thread).
    void notice(const orlavine::Notification& notification);

  private:
    NotificationCenter& center_;
    std::vector<NotificationCenter::Token> tokens_;
};

}  // namespace orlavine::gui
