#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

// How a later start of the desktop wizard reaches the running one: a local socket in the
// user's runtime folder, on which the running wizard listens. A later start sends "raise";
// the running one brings its windows forward and answers "raised".
class InstanceChannel final : public QObject {
  Q_OBJECT

 public:
  explicit InstanceChannel(QString path, QObject* parent = nullptr);

  // "<runtime folder>/<bundle identifier>.instance"; empty without an identifier.
  static QString defaultPath();

  // The running wizard: listens, replacing a socket file left by a wizard that ended
  // without removing it; `raise` runs on this thread for each request.
  bool listen(std::function<void()> raise);
  // A later start: asks the running wizard to come forward, and emits `asked` once it has
  // answered, the socket cannot be reached, or `timeoutMs` has passed.
  void askToRaise(int timeoutMs);

 Q_SIGNALS:
  void asked(bool raised);

 private:
  void endAsking(bool raised);

  QString path_;
  QLocalServer* server_ = nullptr;
  QLocalSocket* asking_ = nullptr;
};
