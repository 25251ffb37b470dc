#include "app/firmware/IniFileReader.h"
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/LocalUpdateInfo.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <minizip/zip.h>

#include <random>

namespace {

const QByteArray kDescription =
    "; local firmware\r\n[FIRMWARE]\r\nMode=1\r\nName=fw.bin\r\nVersion=1230\r\n"
    "WriteAddress=0x00040000\r\nTransferLength=1C0000\r\nTargetCPU=SubCPU\r\n";

void readDescription(benchmark::State& state) {
  for (auto _ : state) {
    auto info = LocalUpdateInfo::fromData(kDescription);
    benchmark::DoNotOptimize(info);
  }
}
BENCHMARK(readDescription);

void parseLargeIni(benchmark::State& state) {
  QString text;
  for (int i = 0; i < 20000; ++i) {
    text += QStringLiteral("[S%1]\nkey=value%1\n; comment\nother=0x%1\n").arg(i);
  }
  for (auto _ : state) {
    auto sections = IniFileReader::parse(text);
    benchmark::DoNotOptimize(sections);
  }
  state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(parseLargeIni)->Unit(benchmark::kMillisecond);

// A 32 MiB package, written with minizip's writer: four random (stored) and four text-like
// (deflated) entries of 4 MiB.
QString makePackage(const QTemporaryDir& dir) {
  QString path = dir.filePath(QStringLiteral("package.zip"));
  zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
  std::mt19937 random(7);
  for (int i = 0; i < 8; ++i) {
    const bool stored = i % 2 == 1;
    std::string data(size_t{4} << 20, '\0');
    for (char& byte : data) {
      byte = stored ? static_cast<char>(random()) : static_cast<char>('a' + random() % 8);
    }
    const QByteArray name = QStringLiteral("FW/entry%1.bin").arg(i).toUtf8();
    zipOpenNewFileInZip64(zip, name.constData(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                          stored ? 0 : Z_DEFLATED, stored ? 0 : Z_DEFAULT_COMPRESSION, 0);
    zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  return path;
}

void unpackPackage(benchmark::State& state) {
  const QTemporaryDir dir;
  const QString package = makePackage(dir);
  const QString out = dir.filePath(QStringLiteral("out"));
  LocalFileManager fileManager;
  for (auto _ : state) {
    const QStringList written = KvoUnZip::unzipFileAtPath(package, out, fileManager);
    benchmark::DoNotOptimize(written);
    state.PauseTiming();
    QDir(out).removeRecursively();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * KvoUnZip::totalFileSizeInZipFileAtPath(package));
}
BENCHMARK(unpackPackage)->Unit(benchmark::kMillisecond);

}  // namespace
