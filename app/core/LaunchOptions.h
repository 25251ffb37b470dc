#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

// The launch options that replace the controller's roles by simulated ones. Every process
// argument, the first included, is examined in order; the first matching prefix decides,
// and an option that takes a value counts only as "<option>=<value>" with exactly one "=".
// Anything else is ignored without a message.
struct LaunchOption {
  enum class Kind {
    instanceCount,
    mockDevices,
    mockResponse,
    mockDeviceFail,
    mockDeviceDiskFull,
    virtualRecorder,  // "--virtual_recorder=<folder>": a recorder behind the real roles
  };

  Kind kind = Kind::instanceCount;
  QString path;  // the file of mockDevices and mockResponse, the folder of virtualRecorder
  int64_t instanceCount = 0;

  friend bool operator==(const LaunchOption&, const LaunchOption&) = default;
};

struct LaunchOptions {
  QList<LaunchOption> options;  // in the order given
  bool mockNoNetwork = false;   // "--mock_nonetwork", matched exactly anywhere

  static LaunchOptions parse(const QStringList& arguments);
  // Whether `argument` begins as a launch option, whether or not it can be used.
  static bool isLaunchOption(const QString& argument);

  // The roles the options replace once applied in order. A simulated interface installed by
  // mockDevices starts without faults, so the fault options act only after it.
  struct Roles {
    std::optional<int64_t> instanceCount;
    std::optional<QString> mockDevicesPath;
    bool mockFailure = false;
    bool mockDiskFullError = false;
    std::optional<QString> mockResponsePath;
    QStringList virtualRecorderFolders;  // every one given, in order
  };
  // `usable` tells whether an option's file can be read and decoded; an option whose file
  // cannot is ignored and the role in place stays.
  Roles resolve(const std::function<bool(const LaunchOption&)>& usable = {}) const;
};
