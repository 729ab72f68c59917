#pragma once
// One desktop program per user: the first one listens on a local socket in the user's runtime
// folder; a later launch hands its arguments over and ends. The socket is the user's alone
// (mode 0600 in a folder of mode 0700), and connections from other users are refused.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace orlavine::gui {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QObject* parent = nullptr);

    // $XDG_RUNTIME_DIR/orlavine/instance, or a folder of the user's own in the temporary folder.
    static QString socketPath();
    // Gives `arguments` to the program listening at `path`; true once it has taken them.
    static bool handOver(const QStringList& arguments, const QString& path = socketPath());
    // Listens at `path`, replacing a socket nobody answers at. False when that fails.
    bool listen(const QString& path = socketPath());

  signals:
    // The arguments of a later launch, on the main thread.
    void received(const QStringList& arguments);

  private:
    void accept();

    QLocalServer server_;
};

}  // namespace orlavine::gui
