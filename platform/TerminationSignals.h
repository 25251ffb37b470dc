#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP as a Qt signal on the main thread. The handler only writes the
// signal's number into a pipe, which a socket notifier reads. A signal
// that reaches another thread is passed on to the main thread, and the handler is installed
// without SA_RESTART, so that a blocking read there ends with EINTR and the reader can look.
// One object per process, made on the main thread; going, it puts the default handling
// back.
class TerminationSignals final : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Readable while a signal waits to be handled, for code that blocks outside the event loop.
  static int pendingFd();
  // Ends the process by `signal` as if it had not been handled: its parent sees it.
  [[noreturn]] static void endBy(int signal);

 Q_SIGNALS:
  void received(int signal);

 private:
  void readPending();

  QSocketNotifier* notifier_ = nullptr;
};
