#include "app/gui/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

namespace orlavine::gui {
namespace {

constexpr qint64 kMaxMessage = 1 << 20;
constexpr int kTimeoutMs = 5000;

// Whether the peer of `socket` runs as this user.
bool sameUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                   &credentials, &size) != 0) {
        return false;
    }
    return credentials.uid == getuid();
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

QString SingleInstance::socketPath() {
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        base = QDir::tempPath() + QStringLiteral("/orlavine-%1").arg(getuid());
    }
    const QString folder = base + QStringLiteral("/orlavine");
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    return folder + QStringLiteral("/instance");
}

bool SingleInstance::handOver(const QStringList& arguments, const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kTimeoutMs)) {
        return false;
    }
    QByteArray message =
        QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact);
    message.append('\n');
    socket.write(message);
    if (!socket.waitForBytesWritten(kTimeoutMs)) {
        return false;
    }
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(kTimeoutMs)) {
        answer += socket.readAll();
    }
    return answer.startsWith("ok\n");
}

bool SingleInstance::listen(const QString& path) {
    if (server_.listen(path)) {
        return true;
    }
    // A socket left by a program that ended without removing it.
    QLocalServer::removeServer(path);
    return server_.listen(path);
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!sameUser(*socket)) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxMessage) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) {
                return;
            }
            const QByteArray line = socket->readLine(kMaxMessage);
            const QJsonDocument document = QJsonDocument::fromJson(line);
            QStringList arguments;
            for (const QJsonValue& value : document.array()) {
                arguments << value.toString();
            }
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            emit received(arguments);
        });
    }
}

}  // namespace orlavine::gui
