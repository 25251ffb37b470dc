#include "app/sim/VirtualRecorder.h"

#include "platform/volume/InMemoryVolumeTable.h"

#include <QDir>

#include <algorithm>

namespace {

bool hasFault(const VirtualRecorderConfig& config, VirtualRecorderFault::Kind kind) {
  return std::any_of(config.faults.begin(), config.faults.end(),
                     [kind](const VirtualRecorderFault& fault) { return fault.kind == kind; });
}

std::string diskNameFor(int index) {
  // vra, vrb, ... vrz, vraa, ...: names no real disk has.
  std::string suffix;
  for (int rest = index;; rest = rest / 26 - 1) {
    suffix.insert(suffix.begin(), static_cast<char>('a' + rest % 26));
    if (rest < 26) {
      break;
    }
  }
  return "vr" + suffix;
}

}  // namespace

std::variant<std::unique_ptr<VirtualRecorder>, QString> VirtualRecorder::open(
    const QString& folder, int index, std::shared_ptr<InMemoryRegistry> registry,
    std::shared_ptr<InMemoryVolumeTable> volumes) {
  auto config = VirtualRecorderConfig::read(folder);
  if (const auto* error = std::get_if<QString>(&config)) {
    return *error;
  }
  if (auto problem = VirtualRecorderState::problem(folder)) {
    return *std::move(problem);
  }
  const QDir dir(folder);
  const auto& read = std::get<VirtualRecorderConfig>(config);
  for (size_t number = 1; number <= read.volumeFreeBytes.size(); ++number) {
    const QString name = QStringLiteral("volume%1").arg(number);
    if (!dir.mkpath(name)) {
      return QStringLiteral("%1: cannot create the folder \"%2\"").arg(folder, name);
    }
  }
  return std::unique_ptr<VirtualRecorder>(new VirtualRecorder(
      dir.absolutePath(), index, std::get<VirtualRecorderConfig>(std::move(config)),
      std::move(registry), std::move(volumes)));
}

VirtualRecorder::VirtualRecorder(QString folder, int index, VirtualRecorderConfig config,
                                 std::shared_ptr<InMemoryRegistry> registry,
                                 std::shared_ptr<InMemoryVolumeTable> volumes)
    : folder_(std::move(folder)),
      config_(std::move(config)),
      location_("1-" + std::to_string(index + 1)),
      diskName_(diskNameFor(index)),
      registry_(std::move(registry)),
      volumes_(std::move(volumes)),
      target_(std::make_shared<VirtualRecorderTarget>(
          folder_, config_, [this](VirtualRecorderTarget::Event event) { onEvent(event); })),
      restarter_([this] { runRestarts(); }) {}

VirtualRecorder::~VirtualRecorder() {
  // A command still with the target must not report to a recorder that is going.
  target_->disconnect();
  {
    const std::scoped_lock guard(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  restarter_.join();
  unplug();
}

void VirtualRecorder::plugIn() {
  {
    const std::scoped_lock guard(mutex_);
    restartAt_.reset();
    attach(true);
  }
  changed_.notify_all();
}

void VirtualRecorder::unplug() {
  const std::scoped_lock guard(mutex_);
  restartAt_.reset();
  detach();
}

bool VirtualRecorder::isPluggedIn() const {
  const std::scoped_lock guard(mutex_);
  return entries_.has_value();
}

bool VirtualRecorder::waitUntilPluggedIn(std::chrono::milliseconds timeout) const {
  std::unique_lock guard(mutex_);
  return changed_.wait_for(guard, timeout, [this] { return entries_.has_value(); });
}

void VirtualRecorder::onEvent(VirtualRecorderTarget::Event event) {
  {
    const std::scoped_lock guard(mutex_);
    detach();
    if (event != VirtualRecorderTarget::Event::vanished) {
      restartAt_ = std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(config_.restartSeconds));
      remountOnRestart_ = event != VirtualRecorderTarget::Event::modeChanged ||
                          !hasFault(config_, VirtualRecorderFault::Kind::noRemount);
    }
  }
  changed_.notify_all();
}

void VirtualRecorder::runRestarts() {
  std::unique_lock guard(mutex_);
  while (!stopping_) {
    if (!restartAt_) {
      changed_.wait(guard);
      continue;
    }
    if (changed_.wait_until(guard, *restartAt_) == std::cv_status::timeout && restartAt_ &&
        std::chrono::steady_clock::now() >= *restartAt_) {
      restartAt_.reset();
      attach(remountOnRestart_);
      changed_.notify_all();
    }
  }
}

// Both run under mutex_.
void VirtualRecorder::attach(bool mountVolumes) {
  if (entries_) {
    return;
  }
  target_->setPresent(true);
  entries_ = registry_->addRecorder(config_.vendorId, config_.productId, target_, location_,
                                    static_cast<int>(config_.volumeFreeBytes.size()), diskName_);
  if (!mountVolumes) {
    return;
  }
  for (size_t number = 1; number <= config_.volumeFreeBytes.size(); ++number) {
    const QString path = volumeFolder(number);
    volumes_->mount(path.toStdString(), "/dev/" + diskName_ + std::to_string(number),
                    config_.volumeFreeBytes[number - 1]);
    mounted_.push_back(path);
  }
}

void VirtualRecorder::detach() {
  target_->setPresent(false);
  if (entries_) {
    registry_->removeEntry(entries_->usbDevice);
    entries_.reset();
  }
  for (const QString& path : mounted_) {
    volumes_->forget(path.toStdString());
  }
  mounted_.clear();
}

QString VirtualRecorder::volumeFolder(size_t number) const {
  return QDir(folder_).filePath(QStringLiteral("volume%1").arg(number));
}
