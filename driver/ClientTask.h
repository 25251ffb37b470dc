#pragma once

#include "driver/IOReturn.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// A range of the client's memory that it hands over for one call.
struct ClientBuffer {
  uint64_t address = 0;
  uint64_t length = 0;
  bool writable = false;

  static ClientBuffer of(void* data, uint64_t length) {
    return {reinterpret_cast<uintptr_t>(data), length, true};
  }
  static ClientBuffer readOnly(const void* data, uint64_t length) {
    return {reinterpret_cast<uintptr_t>(data), length, false};
  }
};

// What logind says about a client, for the "local" privilege: the state of the process's
// own session, if it has one, and whether its user has an active session on a seat.
struct LoginFacts {
  struct Session {
    bool active = false;
    bool remote = false;
    bool onSeat = false;
  };
  std::optional<Session> processSession;
  bool userActiveOnSeat = false;

  static LoginFacts of(pid_t pid, uid_t user);
  // What the desktop's uaccess rule grants: the user at a local seat. The process's own
  // session decides when it has one; a process of the user's service manager (no session
  // of its own) goes by the user's sessions.
  bool isLocal() const;
};

// The client process that owns a user client. Request records name buffers by address;
// only ranges that the client lent for the running call can be described, so a record
// naming anything else is refused instead of being read or written.
class ClientTask final {
 public:
  using PrivilegeCheck = std::function<IOReturn(std::string_view privilege)>;

  // This process, checked against its effective user and its logind session.
  static std::shared_ptr<ClientTask> current();

  ClientTask(pid_t pid, uid_t effectiveUser);
  // A task whose privileges are decided by `check` (tests, the virtual recorder).
  explicit ClientTask(PrivilegeCheck check);
  ClientTask(const ClientTask&) = delete;
  ClientTask& operator=(const ClientTask&) = delete;
  ~ClientTask() = default;

  // "root": effective user 0; "local": see LoginFacts::isLocal.
  IOReturn clientHasPrivilege(std::string_view privilege) const;

  // Lends `buffers` until the returned loan ends.
  class Loan final {
   public:
    Loan(ClientTask* task, uint64_t loanID) : task_(task), loanID_(loanID) {}
    Loan(const Loan&) = delete;
    Loan& operator=(const Loan&) = delete;
    ~Loan();

   private:
    ClientTask* task_;
    uint64_t loanID_;
  };
  [[nodiscard]] Loan lend(std::span<const ClientBuffer> buffers);

  // The lent buffer that holds [address, address + length), if any.
  std::optional<ClientBuffer> lentBufferHolding(uint64_t address, uint64_t length) const;

 private:
  struct Lent {
    ClientBuffer buffer;
    uint64_t loanID = 0;
  };

  PrivilegeCheck check_;
  mutable std::mutex mutex_;
  std::vector<Lent> lent_;
  uint64_t nextLoanID_ = 1;
};
