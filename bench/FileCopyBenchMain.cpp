// Puts one package onto a folder standing in for the recorder's mounted volume, as the
// file-copy update does: the package is read into memory (where the download leaves it) and
// FileCopyProcedure::copyFirmwareFile writes it into "System/Update". bench/run-all times the
// whole process against `cp` of the same file.
//
// usage: bench_file_copy PACKAGE VOLUME_DIR
// Prints read_seconds and copy_seconds (name=value lines); exit 1 when a step fails.
#include "app/firmware/FileCopyProcedure.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <chrono>
#include <cstdio>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char* argv[]) {
  const QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 3) {
    std::fprintf(stderr, "bench_file_copy: expected PACKAGE VOLUME_DIR\n");
    return 2;
  }
  const QString& package = arguments[1];

  const auto readStart = std::chrono::steady_clock::now();
  QFile file(package);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "bench_file_copy: cannot read \"%s\"\n", qUtf8Printable(package));
    return 1;
  }
  const QByteArray firmware = file.readAll();
  file.close();
  const double readSeconds = secondsSince(readStart);

  // The recorder's pacing is not what is measured here.
  FileCopyProcedure::Pauses pauses{};
  pauses.sleep = [](std::chrono::milliseconds) {};
  FileCopyProcedure procedure(pauses, nullptr, QString());
  const auto copyStart = std::chrono::steady_clock::now();
  if (!procedure.copyFirmwareFile(firmware, QUrl::fromLocalFile(arguments[2]),
                                  QFileInfo(package).fileName(), {})) {
    std::fprintf(stderr, "bench_file_copy: the copy failed\n");
    return 1;
  }
  const double copySeconds = secondsSince(copyStart);
  std::printf("read_seconds=%.4f\ncopy_seconds=%.4f\n", readSeconds, copySeconds);
  return 0;
}
