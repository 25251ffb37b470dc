#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

// One flash area of a processor: where UpdateFirmwareStart must point and how long it is.
struct FlashArea {
  uint32_t address = 0;
  uint32_t length = 0;
};

// A fault the recorder injects on request.
struct VirtualRecorderFault {
  enum class Kind {
    checkCondition,    // the `occurrence`-th `command` answers CHECK CONDITION
    vanish,            // the recorder disappears after answering `count` commands
    risingBlockCount,  // AreYouReady answers a count above the first
    verifyMismatch,    // the read-back differs at byte `offset`
    refuseFinish,      // UpdateFirmwareFinish answers CHECK CONDITION `count` times
    noRemount,         // after a mode change no volume is mounted again
    latency,           // `seconds` before every answer
    rate,              // data phases move at `bytesPerSecond`
  };

  Kind kind = Kind::checkCondition;
  QString command;     // checkCondition: a vendor command's name
  int64_t count = 0;   // checkCondition: occurrence; vanish: afterCommands; refuseFinish: times
  int64_t offset = 0;  // verifyMismatch
  double seconds = 0;  // latency
  double bytesPerSecond = 0;  // rate
};

// What a virtual recorder is, read from the recorder.plist of its folder. Every key is
// checked; an unknown key is an error, so a misspelt fault never silently does nothing.
struct VirtualRecorderConfig {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint32_t deviceId = 0;
  QByteArray modelName;  // up to 8 bytes
  QString firmwareVersion;
  QString subFirmwareVersion;
  uint16_t musicCodecFile = 0;
  QString serialNumber;
  QStringList productInformation;
  bool needsModeChange = false;
  double restartSeconds = 0;
  std::optional<FlashArea> dspArea;
  std::optional<FlashArea> subArea;
  uint16_t prepareBlocks = 0;
  std::vector<std::optional<uint64_t>> volumeFreeBytes;  // one per partition
  QString firmwareVersionAfterUpdate;
  std::vector<VirtualRecorderFault> faults;

  // Names of the vendor commands as faults name them.
  static const QStringList& commandNames();

  // The configuration in `folder`/recorder.plist, or a message saying what is wrong.
  static std::variant<VirtualRecorderConfig, QString> read(const QString& folder);
  static std::variant<VirtualRecorderConfig, QString> fromMap(const QVariantMap& map);
};
