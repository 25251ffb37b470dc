#pragma once

#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/sim/VirtualRecorderRack.h"
#include "platform/SerialQueue.h"

#include <QStringList>

#include <memory>
#include <optional>

// What the recorder commands share: the options --virtual and --log, a detector, the
// device queue and interface, and the steps of the update check up to the device status.
class RecorderSession final {
 public:
  // Takes --virtual FOLDER (repeatable) and --log out of `arguments`; on a bad option it
  // prints the error and sets *exitStatus.
  RecorderSession(QStringList& arguments, int* exitStatus);
  ~RecorderSession();
  RecorderSession(const RecorderSession&) = delete;
  RecorderSession& operator=(const RecorderSession&) = delete;

  // One detection; the error, or none with the detector's arrays filled.
  std::optional<AudioDeviceError> detect();
  // The one supported recorder, as the update check chooses it; otherwise prints why not
  // and returns null.
  AudioDevicePtr chooseRecorder();
  // Switches the recorder into its update mode and detects it again, when it needs that.
  // Null after printing what went wrong.
  AudioDevicePtr prepareForUpdate(AudioDevicePtr device);

  AudioDeviceDetectorReal& detector() { return *detector_; }
  AudioDeviceInterfaceReal& deviceInterface() { return *interface_; }
  SerialQueue& deviceQueue() { return queue_; }

  // Prints an AudioDeviceError as error= and code= lines and the message on stderr.
  static int reportError(const AudioDeviceError& error);

 private:
  std::unique_ptr<VirtualRecorderRack> recorders_;
  std::unique_ptr<AudioDeviceDetectorReal> detector_;
  std::unique_ptr<AudioDeviceInterfaceReal> interface_;
  SerialQueue queue_{"device"};
};
