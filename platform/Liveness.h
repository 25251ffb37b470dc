#pragma once

#include "platform/TaskReceiver.h"

#include <chrono>
#include <functional>
#include <memory>

// What an object of the main thread keeps for as long as it lives, so that work handed back
// to it from other threads reaches it only while it does. The object holds its Liveness as a
// member and gives its workers a Ref; a task posted through the Ref runs with the object on
// the main thread, or is dropped when the object has gone first.
template <typename Owner>
class Liveness final {
 public:
  // A copyable reference for other threads, which may outlive the owner.
  class Ref final {
   public:
    // Callable from any thread: runs `task` with the owner on the main thread, after
    // `delay`, if the owner still lives then.
    void postToMain(std::function<void(Owner&)> task,
                    std::chrono::milliseconds delay = std::chrono::milliseconds(0)) const {
      TaskReceiver::postToMain(
          [weak = weak_, task = std::move(task)] {
            if (const std::shared_ptr<Owner*> alive = weak.lock()) {
              task(**alive);
            }
          },
          delay);
    }

   private:
    friend class Liveness;
    explicit Ref(std::weak_ptr<Owner*> weak) : weak_(std::move(weak)) {}
    std::weak_ptr<Owner*> weak_;
  };

  explicit Liveness(Owner& owner) : token_(std::make_shared<Owner*>(&owner)) {}
  Liveness(const Liveness&) = delete;
  Liveness& operator=(const Liveness&) = delete;

  // On the main thread.
  Ref ref() const { return Ref(token_); }

 private:
  std::shared_ptr<Owner*> token_;
};
