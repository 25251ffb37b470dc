#include "app/localize/CMLocalize.h"

#include <benchmark/benchmark.h>

namespace {

const QString kTable = QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc");

void loadTable(benchmark::State& state) {
  for (auto _ : state) {
    CMLocalize localize({QStringLiteral("ja")});
    localize.setLocalizeCSVFile(kTable);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(loadTable)->Unit(benchmark::kMicrosecond);

void lookUp(benchmark::State& state, const QString& key) {
  CMLocalize localize({QStringLiteral("de")});
  localize.setLocalizeCSVFile(kTable);
  for (auto _ : state) {
    QString text = localize.getLocalizedString(key);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK_CAPTURE(lookUp, shortText, QStringLiteral("ID_OK"));
BENCHMARK_CAPTURE(lookUp, withColon, QStringLiteral("ID_COL_MODEL_NAME:"));
BENCHMARK_CAPTURE(lookUp, missing, QStringLiteral("ID_NOT_THERE"));
BENCHMARK_CAPTURE(lookUp, licence, QStringLiteral("ID_LICENCE_AGREEMENT_ALL"));

}  // namespace
