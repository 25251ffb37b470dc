#include "app/device/AudioDeviceDetectorReal.h"

#include "app/core/Logger.h"
#include "app/device/AudioDeviceTable.h"
#include "driver/DriverIdentity.h"
#include "platform/Bundle.h"

#include <QDir>
#include <QFileInfo>

#include <exception>
#include <thread>

namespace {

constexpr int64_t kFirstRecorderProductID = 0x0200;
constexpr int64_t kEndRecorderProductID = 0x0300;

std::optional<int64_t> integerProperty(const RegistryProperties& properties, const char* key) {
  const auto found = properties.find(key);
  if (found == properties.end()) {
    return std::nullopt;
  }
  if (const auto* number = std::get_if<int64_t>(&found->second)) {
    return *number;
  }
  return std::nullopt;
}

}  // namespace

AudioDeviceDetectorReal::AudioDeviceDetectorReal(std::chrono::milliseconds scanDelay,
                                                 QStringList driverRulesDirectories)
    : driverClassName_(DriverIdentity::kDeviceClassName),
      scanDelay_(scanDelay),
      driverRulesDirectories_(std::move(driverRulesDirectories)),
      queue_("detector") {}

bool AudioDeviceDetectorReal::running() const {
  const std::scoped_lock guard(lock_);
  return running_;
}

void AudioDeviceDetectorReal::setRunning(bool running) {
  const std::scoped_lock guard(lock_);
  running_ = running;
}

AudioDeviceDetector::Completion AudioDeviceDetectorReal::completion() const {
  const std::scoped_lock guard(lock_);
  return completion_;
}

void AudioDeviceDetectorReal::setCompletion(Completion completion) {
  const std::scoped_lock guard(lock_);
  completion_ = std::move(completion);
}

std::vector<AudioDevicePtr> AudioDeviceDetectorReal::devices() const {
  const std::scoped_lock guard(lock_);
  return devices_;
}

std::vector<AudioDevicePtr> AudioDeviceDetectorReal::supportedDevices() const {
  const std::scoped_lock guard(lock_);
  return supportedDevices_;
}

void AudioDeviceDetectorReal::detect() {
  // A detect() from inside the completion (which runs on the queue) is ignored.
  if (queue_.isCurrent()) {
    return;
  }
  {
    const std::scoped_lock guard(lock_);
    if (running_) {
      return;
    }
    running_ = true;
  }
  queue_.post([this] { operation(); });
}

void AudioDeviceDetectorReal::operation() {
  std::this_thread::sleep_for(scanDelay_);
  ScanResult result;
  try {
    result = scanRegistry();
  } catch (const std::exception&) {
    // Whatever else fails (memory, say) is reported as a failed step, not a dead thread.
    result = AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  std::optional<AudioDeviceError> error;
  if (auto* found = std::get_if<std::vector<AudioDevicePtr>>(&result)) {
    std::vector<AudioDevicePtr> supported = filterSupported(*found);
    // The swap leaves the previous records in `result`, released after the lock.
    const std::scoped_lock guard(lock_);
    devices_.swap(*found);
    supportedDevices_.swap(supported);
  } else {
    error = std::get<AudioDeviceError>(result);
  }
  Completion done;
  {
    const std::scoped_lock guard(lock_);
    done = completion_;
    // Dropped before the completion: the caller it wakes may ask for the next scan at once
    // (Retry), and that request must not find this scan still running and be lost.
    running_ = false;
  }
  if (done) {
    done(error);
  }
}

AudioDeviceDetectorReal::ScanResult AudioDeviceDetectorReal::scanRegistry() const {
  Scan scan;
  scan.browser.masterPort = Registry::shared();
  const std::shared_ptr<Registry>& registry = scan.browser.masterPort;
  for (RegistryEntryRef& service : registry->matchingServices("IOUSBHostDevice")) {
    if (!examineUSBDevice(std::make_shared<IOObject>(registry, std::move(service)), scan)) {
      break;
    }
  }
  if (scan.error) {
    // The recorders opened so far go with the list, which closes their connections.
    return *scan.error;
  }
  return std::move(scan.found);
}

bool AudioDeviceDetectorReal::examineUSBDevice(const IOObjectPtr& service, Scan& scan) const {
  const std::optional<RegistryProperties> properties = service->properties();
  if (!properties) {
    return true;
  }
  const std::optional<int64_t> vendorID = integerProperty(*properties, "idVendor");
  const std::optional<int64_t> productID = integerProperty(*properties, "idProduct");
  if (!vendorID || !productID || !isMakerVendorID(*vendorID) ||
      *productID < kFirstRecorderProductID || *productID >= kEndRecorderProductID) {
    return true;
  }
  Logger& logger = Logger::shared();
  if (logger.isLoggerEnabled()) {
    logger.log(QString::asprintf("Found Recoder: VID=0x%04X, PID=0x%04X",
                                 static_cast<unsigned int>(*vendorID),
                                 static_cast<unsigned int>(*productID)));
  }
  const std::vector<IOObjectPtr> drivers =
      scan.browser.findDriverEntries(*service, driverClassName_);
  if (!drivers.empty() && drivers.front()->open()) {
    auto device = std::make_shared<AudioDevice>(*vendorID, *productID);
    device->serviceEntry = service;
    device->driverEntry = drivers.front();
    scan.found.push_back(std::move(device));
    logger.log(QStringLiteral("Open Driver: OK"));
    return true;
  }
  logger.log(QStringLiteral("Open Driver: Failed"));
  scan.error =
      isDriverInstalled() ? AudioDeviceError::skelError() : AudioDeviceError::driverMissing();
  return false;
}

std::vector<AudioDevicePtr> AudioDeviceDetectorReal::filterSupported(
    const std::vector<AudioDevicePtr>& devices) {
  const AudioDeviceTable table;
  std::vector<AudioDevicePtr> supported;
  for (const AudioDevicePtr& device : devices) {
    if (isMakerVendorID(device->usbVendorID) && table.isSupportedProductID(device->usbPID)) {
      supported.push_back(device);
    }
  }
  return supported;
}

bool AudioDeviceDetectorReal::isDriverInstalled() const {
  const QString rulesFile =
      QString::fromLatin1(DriverIdentity::kRulesFileName.data(),
                          static_cast<qsizetype>(DriverIdentity::kRulesFileName.size()));
  for (const QString& directory : driverRulesDirectories_) {
    if (QFileInfo::exists(QDir(directory).filePath(rulesFile))) {
      return true;
    }
  }
  return false;
}

QStringList AudioDeviceDetectorReal::defaultDriverRulesDirectories() {
  QStringList directories;
  const QString prefix = Bundle::main().containingDirectory();
  if (!prefix.isEmpty()) {
    directories << prefix + QStringLiteral("/lib/udev/rules.d");
  }
  directories << QStringLiteral("/etc/udev/rules.d") << QStringLiteral("/run/udev/rules.d")
              << QStringLiteral("/usr/local/lib/udev/rules.d")
              << QStringLiteral("/usr/lib/udev/rules.d") << QStringLiteral("/lib/udev/rules.d");
  return directories;
}
