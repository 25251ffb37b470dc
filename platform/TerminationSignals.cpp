#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

// The handler's state: plain values, as nothing else is safe to touch in a handler.
std::array<int, 2> wakeUp{-1, -1};
pthread_t mainThread;

void handle(int signal) {
  const int savedErrno = errno;
  if (pthread_equal(pthread_self(), mainThread) == 0) {
    // The main thread is the one that may be blocked in a read.
    pthread_kill(mainThread, signal);
  } else {
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[1], &byte, 1);
  }
  errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: see the class comment
  for (const int signal : kSignals) {
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (wakeUp[0] >= 0 || pipe2(wakeUp.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  mainThread = pthread_self();
  notifier_ = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
  setHandler(handle);
}

TerminationSignals::~TerminationSignals() {
  if (notifier_ == nullptr) {
    return;
  }
  setHandler(SIG_DFL);
  delete notifier_;
  ::close(wakeUp[0]);
  ::close(wakeUp[1]);
  wakeUp = {-1, -1};
}

int TerminationSignals::pendingFd() { return wakeUp[0]; }

void TerminationSignals::endBy(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

void TerminationSignals::readPending() {
  unsigned char byte = 0;
  while (::read(wakeUp[0], &byte, 1) == 1) {
    Q_EMIT received(byte);
  }
}
