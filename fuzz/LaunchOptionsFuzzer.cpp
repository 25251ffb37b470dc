// The process arguments: the input split at NUL bytes as the kernel hands argv over,
// decoded as Qt decodes it, parsed and resolved. No option's file is read.
#include "app/core/LaunchOptions.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QStringList arguments;
  for (const QByteArray& argument : bytes.split('\0')) {
    arguments.append(QString::fromLocal8Bit(argument));
  }
  const LaunchOptions options = LaunchOptions::parse(arguments);
  (void)options.resolve();
  (void)options.resolve([](const LaunchOption& option) { return option.path.size() % 2 == 0; });
  return 0;
}
