#pragma once

#include "app/device/AudioDeviceDetector.h"
#include "app/device/RegistoryBrowser.h"
#include "platform/SerialQueue.h"

#include <QStringList>

#include <chrono>
#include <mutex>
#include <string>
#include <variant>

// Finds the maker's recorders in the device registry, opens a connection to the
// pass-through driver of each, and reports them. One scan at a time, on a queue of its
// own; the completion runs on that queue's thread.
class AudioDeviceDetectorReal final : public AudioDeviceDetector {
 public:
  // A recorder that was just attached or restarted needs this long before its driver entry
  // is in the registry.
  static constexpr std::chrono::milliseconds kScanDelay{4000};

  using ScanResult = std::variant<std::vector<AudioDevicePtr>, AudioDeviceError>;

  // `driverRulesDirectories`: where isDriverInstalled() looks for the driver's udev rules.
  explicit AudioDeviceDetectorReal(
      std::chrono::milliseconds scanDelay = kScanDelay,
      QStringList driverRulesDirectories = defaultDriverRulesDirectories());
  ~AudioDeviceDetectorReal() override = default;

  bool running() const override;
  void setRunning(bool running) override;
  Completion completion() const override;
  void setCompletion(Completion completion) override;
  std::vector<AudioDevicePtr> devices() const override;
  std::vector<AudioDevicePtr> supportedDevices() const override;
  void detect() override;

  const std::string& driverClassName() const { return driverClassName_; }

  // One pass over the registry's USB devices: the recorders found, or the error that ends
  // the scan (a recorder whose driver cannot be opened).
  ScanResult scanRegistry() const;
  // The devices with the maker's vendor ID and a product ID of the model table, in order.
  static std::vector<AudioDevicePtr> filterSupported(const std::vector<AudioDevicePtr>& devices);
  // Whether the driver's udev rules file is installed in one of the rules directories.
  bool isDriverInstalled() const;
  // The bundle's own prefix (<folder holding Tarnwell/>/lib/udev/rules.d), then the
  // directories udev reads its rules from.
  static QStringList defaultDriverRulesDirectories();

 private:
  struct Scan {
    RegistoryBrowser browser;
    std::vector<AudioDevicePtr> found;
    std::optional<AudioDeviceError> error;
  };

  // Adds the recorder behind `service` to the scan, if it is one; false ends the scan.
  bool examineUSBDevice(const IOObjectPtr& service, Scan& scan) const;
  void operation();

  bool running_ = false;
  Completion completion_;
  std::vector<AudioDevicePtr> devices_;
  std::vector<AudioDevicePtr> supportedDevices_;
  mutable std::mutex lock_;
  const std::string driverClassName_;
  const std::chrono::milliseconds scanDelay_;
  const QStringList driverRulesDirectories_;
  // Last, so that it is destroyed first: its thread finishes a pending scan, which uses
  // the fields above.
  SerialQueue queue_;
};
