#include "driver/ClientTask.h"

#include <systemd/sd-login.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// libsystemd hands out strings and arrays of strings allocated with malloc.
void freeStrings(char** strings) {
  if (strings != nullptr) {
    for (char** string = strings; *string != nullptr; ++string) {
      std::free(*string);  // NOLINT(cppcoreguidelines-no-malloc)
    }
    std::free(static_cast<void*>(strings));  // NOLINT(cppcoreguidelines-no-malloc)
  }
}

}  // namespace

LoginFacts LoginFacts::of(pid_t pid, uid_t user) {
  LoginFacts facts;
  char* session = nullptr;
  if (sd_pid_get_session(pid, &session) >= 0 && session != nullptr) {
    char* seat = nullptr;
    const bool onSeat = sd_session_get_seat(session, &seat) >= 0 && seat != nullptr;
    std::free(seat);  // NOLINT(cppcoreguidelines-no-malloc)
    facts.processSession =
        Session{sd_session_is_active(session) > 0, sd_session_is_remote(session) > 0, onSeat};
    std::free(session);  // NOLINT(cppcoreguidelines-no-malloc)
  }
  char** seats = nullptr;
  facts.userActiveOnSeat = sd_uid_get_seats(user, /*require_active=*/1, &seats) > 0;
  freeStrings(seats);
  return facts;
}

bool LoginFacts::isLocal() const {
  if (processSession) {
    return processSession->active && !processSession->remote && processSession->onSeat;
  }
  return userActiveOnSeat;
}

std::shared_ptr<ClientTask> ClientTask::current() {
  static const std::shared_ptr<ClientTask> task = std::make_shared<ClientTask>(getpid(), geteuid());
  return task;
}

ClientTask::ClientTask(pid_t pid, uid_t effectiveUser)
    : check_([pid, effectiveUser](std::string_view privilege) -> IOReturn {
        if (privilege == "root") {
          return effectiveUser == 0 ? kIOReturnSuccess : kIOReturnNotPrivileged;
        }
        if (privilege == "local") {
          return LoginFacts::of(pid, effectiveUser).isLocal() ? kIOReturnSuccess
                                                              : kIOReturnNotPrivileged;
        }
        return kIOReturnUnsupported;
      }) {}

ClientTask::ClientTask(PrivilegeCheck check) : check_(std::move(check)) {}

IOReturn ClientTask::clientHasPrivilege(std::string_view privilege) const {
  return check_ ? check_(privilege) : kIOReturnNotPrivileged;
}

ClientTask::Loan ClientTask::lend(std::span<const ClientBuffer> buffers) {
  const std::scoped_lock lock(mutex_);
  const uint64_t id = nextLoanID_++;
  for (const ClientBuffer& buffer : buffers) {
    lent_.push_back({buffer, id});
  }
  return {this, id};
}

ClientTask::Loan::~Loan() {
  const std::scoped_lock lock(task_->mutex_);
  std::erase_if(task_->lent_, [this](const Lent& lent) { return lent.loanID == loanID_; });
}

std::optional<ClientBuffer> ClientTask::lentBufferHolding(uint64_t address, uint64_t length) const {
  const std::scoped_lock lock(mutex_);
  for (const Lent& lent : lent_) {
    const ClientBuffer& buffer = lent.buffer;
    // Written to stay clear of overflow for any address and length a record may carry.
    if (address >= buffer.address && address - buffer.address <= buffer.length &&
        length <= buffer.length - (address - buffer.address)) {
      return buffer;
    }
  }
  return std::nullopt;
}
