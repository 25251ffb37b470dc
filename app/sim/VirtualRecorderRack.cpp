#include "app/sim/VirtualRecorderRack.h"

#include "platform/volume/InMemoryVolumeTable.h"

VirtualRecorderRack::VirtualRecorderRack()
    : registry_(std::make_shared<InMemoryRegistry>()),
      volumes_(std::make_shared<InMemoryVolumeTable>()) {}

std::variant<std::unique_ptr<VirtualRecorderRack>, QString> VirtualRecorderRack::install(
    const QStringList& folders) {
  std::unique_ptr<VirtualRecorderRack> rack(new VirtualRecorderRack);
  for (const QString& folder : folders) {
    auto opened = VirtualRecorder::open(folder, static_cast<int>(rack->recorders_.size()),
                                        rack->registry_, rack->volumes_);
    if (auto* error = std::get_if<QString>(&opened)) {
      return *error;
    }
    rack->recorders_.push_back(std::get<std::unique_ptr<VirtualRecorder>>(std::move(opened)));
  }
  Registry::setShared(rack->registry_);
  VolumeTable::setShared(rack->volumes_);
  for (const auto& recorder : rack->recorders_) {
    recorder->plugIn();
  }
  return rack;
}

VirtualRecorderRack::~VirtualRecorderRack() {
  recorders_.clear();
  Registry::setShared(nullptr);
  VolumeTable::setShared(nullptr);
}
