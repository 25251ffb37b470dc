// Uploads a 32 MiB image through the transport, the registry's user client, the
// pass-through driver, its SCSI task and the virtual recorder's target, as the firmware
// transfer sends it.
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/sim/VirtualRecorderRack.h"
#include "driver/DriverIdentity.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kImageSize = 32U << 20U;
constexpr uint32_t kPiece = 65536;

class Uploader final {
 public:
  explicit Uploader(double bytesPerSecond) {
    QVariantList faults;
    if (bytesPerSecond > 0) {
      faults.append(QVariantMap{{QStringLiteral("kind"), QStringLiteral("rate")},
                                {QStringLiteral("bytesPerSecond"), bytesPerSecond}});
    }
    const QVariantMap config{
        {QStringLiteral("vendorId"), qint64{0xF7A1}},
        {QStringLiteral("productId"), qint64{0x0210}},
        {QStringLiteral("deviceId"), qint64{0x5A10}},
        {QStringLiteral("modelName"), QStringLiteral("BENCH")},
        {QStringLiteral("firmwareVersion"), QStringLiteral("Ver 1.00")},
        {QStringLiteral("serialNumber"), QStringLiteral("1")},
        {QStringLiteral("flashAreas"),
         QVariantMap{
             {QStringLiteral("dsp"), QVariantMap{{QStringLiteral("address"), qint64{0}},
                                                 {QStringLiteral("length"), qint64{kImageSize}}}}}},
        {QStringLiteral("faults"), faults},
    };
    QFile file(QDir(folder_.path()).filePath(QStringLiteral("recorder.plist")));
    if (file.open(QIODevice::WriteOnly)) {
      file.write(PropertyList::toXml(config));
    }
    file.close();
    auto installed = VirtualRecorderRack::install({folder_.path()});
    if (auto* rack = std::get_if<std::unique_ptr<VirtualRecorderRack>>(&installed)) {
      rack_ = std::move(*rack);
      const auto registry = Registry::shared();
      const auto usb = registry->matchingServices("IOUSBHostDevice");
      const auto drivers = registry->matchingServices(DriverIdentity::kDeviceClassName);
      if (usb.size() == 1 && drivers.size() == 1) {
        device_.serviceEntry = std::make_shared<IOObject>(registry, usb.front());
        device_.driverEntry = std::make_shared<IOObject>(registry, drivers.front());
        device_.driverEntry->open();
      }
      interface_ = std::make_unique<AudioDeviceInterfaceReal>();
    }
  }

  bool upload(std::vector<uint8_t>& image) {
    std::vector<uint8_t> answer(kPiece);
    if (interface_ == nullptr ||
        interface_->executeCommand(device_, ScsiDataDirection::dataIn,
                                   ScsiCdb::updateFirmwareStart(0, kImageSize, 0), answer.data(),
                                   kPiece) != 0) {
      return false;
    }
    for (uint32_t offset = 0; offset < kImageSize; offset += kPiece) {
      if (interface_->executeCommand(device_, ScsiDataDirection::dataOut,
                                     ScsiCdb::updateFirmwareUploadFirmware(kPiece, 0),
                                     image.data() + offset, kPiece) != 0) {
        return false;
      }
    }
    return true;
  }

 private:
  QTemporaryDir folder_;
  std::unique_ptr<VirtualRecorderRack> rack_;
  AudioDevice device_{0xF7A1, 0x0210};
  std::unique_ptr<AudioDeviceInterfaceReal> interface_;
};

void uploadImage(benchmark::State& state, double bytesPerSecond) {
  Uploader uploader(bytesPerSecond);
  std::vector<uint8_t> image(kImageSize, 0x5A);
  for (auto _ : state) {
    if (!uploader.upload(image)) {
      state.SkipWithError("the upload failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageSize);
  if (bytesPerSecond > 0) {
    state.counters["configured_MBps"] = bytesPerSecond / 1e6;
  }
}

void BM_UploadWithoutLatency(benchmark::State& state) { uploadImage(state, 0); }
void BM_UploadAt35MBps(benchmark::State& state) { uploadImage(state, 35e6); }

}  // namespace

BENCHMARK(BM_UploadWithoutLatency)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UploadAt35MBps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
