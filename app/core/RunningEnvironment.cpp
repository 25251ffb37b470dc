#include "app/core/RunningEnvironment.h"

#include "platform/Bundle.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <string>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

int64_t RunningEnvironmentReal::instanceCount() const {
  if (Bundle::main().identifier().isEmpty()) {
    return 0;
  }
  return countProcesses(QStringLiteral("/proc"),
                        QFile::symLinkTarget(QStringLiteral("/proc/self/exe")), getuid());
}

int64_t RunningEnvironmentReal::countProcesses(const QString& procRoot,
                                               const QString& executablePath, unsigned uid) {
  // Plain system calls: a desktop runs hundreds of processes, and this runs before the
  // first page is shown.
  const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir(QFile::encodeName(procRoot).constData()),
                                                 ::closedir);
  if (!proc) {
    return 0;
  }
  const QByteArray wanted = QFile::encodeName(executablePath);
  const int procFd = ::dirfd(proc.get());
  int64_t count = 0;
  while (const dirent* entry = ::readdir(proc.get())) {
    const std::string_view name(entry->d_name);
    if (name.empty() ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    struct stat info {};
    if (::fstatat(procFd, entry->d_name, &info, 0) != 0 || info.st_uid != uid) {
      continue;
    }
    const std::string exe = std::string(name) + "/exe";
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlinkat(procFd, exe.c_str(), target.data(), target.size());
    if (length > 0 && QByteArrayView(target.data(), length) == wanted) {
      ++count;
    }
  }
  return count;
}
