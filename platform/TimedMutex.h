#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A mutex whose acquisition can give up after a while. std::timed_mutex would do, but
// libstdc++ implements it with pthread_mutex_clocklock, which the thread sanitizer of this
// toolchain does not see, so every unlock would be reported as a fault.
class TimedMutex final {
 public:
  void lock() {
    std::unique_lock guard(mutex_);
    released_.wait(guard, [this] { return !locked_; });
    locked_ = true;
  }

  template <class Rep, class Period>
  bool try_lock_for(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock guard(mutex_);
    if (!released_.wait_for(guard, timeout, [this] { return !locked_; })) {
      return false;
    }
    locked_ = true;
    return true;
  }

  void unlock() {
    {
      const std::lock_guard guard(mutex_);
      locked_ = false;
    }
    released_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool locked_ = false;
};
