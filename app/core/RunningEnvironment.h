#pragma once

#include <QString>

#include <cstdint>

// Tells how many instances of the application run, this one included, so that a second
// one can step aside.
class RunningEnvironment {
 public:
  virtual ~RunningEnvironment() = default;
  virtual int64_t instanceCount() const = 0;
};

// Counts this user's processes whose executable is the same file as ours; 0 when the
// bundle has no identifier.
class RunningEnvironmentReal final : public RunningEnvironment {
 public:
  int64_t instanceCount() const override;

  // The processes under procRoot owned by uid whose executable is executablePath.
  static int64_t countProcesses(const QString& procRoot, const QString& executablePath,
                                unsigned uid);
};

class RunningEnvironmentMock final : public RunningEnvironment {
 public:
  explicit RunningEnvironmentMock(int64_t count) : count_(count) {}
  int64_t instanceCount() const override { return count_; }

 private:
  int64_t count_;
};
