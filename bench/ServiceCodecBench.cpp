#include "app/service/FirmwareDemand.h"
#include "app/service/KvoIBProtocolEncoder.h"

#include <benchmark/benchmark.h>

#include <QFile>

namespace {

void encodeDemand(benchmark::State& state) {
  const FirmwareDemand demand(QStringLiteral("00001000"));
  for (auto _ : state) {
    const auto root = demand.makeDemandNode(QStringLiteral("ENU"), QStringLiteral("0049"),
                                            QStringLiteral("0007"), QStringLiteral("1230"));
    QByteArray bytes = KvoIBProtocolEncoder().xmlDataWithRootNode(*root);
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(encodeDemand)->Unit(benchmark::kMicrosecond);

void parseAnswer(benchmark::State& state) {
  QFile file(QStringLiteral(TARNWELL_TEST_DATA_DIR "/service/answer.xml"));
  const QByteArray answer = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  const FirmwareDemand demand(QStringLiteral("00001000"));
  for (auto _ : state) {
    auto info = demand.parseFirmwareResult(answer);
    benchmark::DoNotOptimize(info);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * answer.size());
}
BENCHMARK(parseAnswer)->Unit(benchmark::kMicrosecond);

}  // namespace
