#include "app/ui/InstanceChannel.h"

#include "platform/Bundle.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr QByteArrayView kRaise = "raise\n";
constexpr QByteArrayView kRaised = "raised\n";

}  // namespace

InstanceChannel::InstanceChannel(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)) {}

QString InstanceChannel::defaultPath() {
  const QString identifier = Bundle::main().identifier();
  if (identifier.isEmpty()) {
    return {};
  }
  // Qt makes the folder private to the user when XDG_RUNTIME_DIR is not set.
  return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
      .filePath(identifier + QStringLiteral(".instance"));
}

bool InstanceChannel::listen(std::function<void()> raise) {
  if (path_.isEmpty()) {
    return false;
  }
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(path_)) {
    // Only one wizard runs when this is called: a file there is left over.
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_)) {
      return false;
    }
  }
  connect(server_, &QLocalServer::newConnection, this, [this, raise = std::move(raise)] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      connect(client, &QLocalSocket::readyRead, client, [client, raise] {
        if (!client->canReadLine()) {
          return;
        }
        if (client->readLine(64) == kRaise) {
          raise();
          client->write(kRaised.data(), kRaised.size());
        }
        client->disconnectFromServer();
      });
    }
  });
  return true;
}

void InstanceChannel::askToRaise(int timeoutMs) {
  auto* socket = new QLocalSocket(this);
  asking_ = socket;
  auto* timer = new QTimer(socket);
  timer->setSingleShot(true);
  connect(timer, &QTimer::timeout, this, [this] { endAsking(false); });
  connect(socket, &QLocalSocket::connected, socket,
          [socket] { socket->write(kRaise.data(), kRaise.size()); });
  connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
    if (socket->canReadLine()) {
      endAsking(socket->readLine(64) == kRaised);
    }
  });
  connect(socket, &QLocalSocket::errorOccurred, socket, [this] { endAsking(false); });
  // Without a path nobody can be asked: the answer comes at once, but not on this stack.
  timer->start(path_.isEmpty() ? 0 : timeoutMs);
  if (!path_.isEmpty()) {
    socket->connectToServer(path_);
  }
}

void InstanceChannel::endAsking(bool raised) {
  if (asking_ == nullptr) {
    return;
  }
  // Ends every way the exchange could still end.
  asking_->disconnect();
  asking_->deleteLater();
  asking_ = nullptr;
  Q_EMIT asked(raised);
}
