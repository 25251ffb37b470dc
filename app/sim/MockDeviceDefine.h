#pragma once

#include "app/device/AudioDevice.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

// One simulated recorder of a devices file: the USB identity it enumerates with and what it
// reports about itself. Every key is required with its type; other keys are ignored.
struct MockDeviceDefine {
  int64_t vendorId = 0;
  int64_t usbPid = 0;
  int64_t deviceId = 0;
  QString deviceName;
  QString version;  // a four-character version code, e.g. "1230"

  // None when a key is missing or of the wrong type, and for a negative "deviceId", which
  // no recorder can report.
  static std::optional<MockDeviceDefine> fromVariant(const QVariant& value);
  // An array of records; none when it is not an array or any record does not decode.
  static std::optional<QList<MockDeviceDefine>> listFromVariant(const QVariant& value);
  // A property-list file holding such an array; none when it cannot be read or decoded.
  static std::optional<QList<MockDeviceDefine>> readFile(const QString& path);

  // A recorder record with these five fields and everything else at its initial value; it
  // holds no registry entry, so no driver connection.
  AudioDevicePtr makeAudioDevice() const;

  friend bool operator==(const MockDeviceDefine&, const MockDeviceDefine&) = default;
};
