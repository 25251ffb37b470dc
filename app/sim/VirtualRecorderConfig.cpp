#include "app/sim/VirtualRecorderConfig.h"

#include "platform/PropertyList.h"

#include <QDir>

#include <limits>
#include <map>
#include <utility>

namespace {

// Bounds that keep a recorder folder from making a run wait or allocate without end.
constexpr double kLongestWait = 300;   // seconds: a restart, a command's latency
constexpr double kSlowestRate = 1024;  // bytes per second
constexpr int64_t kLargestArea = int64_t{64} << 20;

using Error = QString;

// Reads typed values out of one dictionary and remembers the first problem.
class Reader final {
 public:
  Reader(const QVariantMap& map, QString where) : map_(map), where_(std::move(where)) {}

  bool has(const QString& key) const { return map_.contains(key); }

  std::optional<int64_t> integer(const QString& key, int64_t lowest, int64_t highest,
                                 std::optional<int64_t> fallback = std::nullopt) {
    const QVariant value = map_.value(key);
    if (!value.isValid()) {
      return missing(key, fallback);
    }
    if (value.typeId() != QMetaType::LongLong || value.toLongLong() < lowest ||
        value.toLongLong() > highest) {
      fail(QStringLiteral("\"%1\" must be an integer from %2 to %3")
               .arg(key)
               .arg(lowest)
               .arg(highest));
      return std::nullopt;
    }
    return value.toLongLong();
  }

  std::optional<double> real(const QString& key, double lowest, double highest,
                             std::optional<double> fallback = std::nullopt) {
    const QVariant value = map_.value(key);
    if (!value.isValid()) {
      return missing(key, fallback);
    }
    if ((value.typeId() != QMetaType::Double && value.typeId() != QMetaType::LongLong) ||
        !(value.toDouble() >= lowest && value.toDouble() <= highest)) {
      fail(QStringLiteral("\"%1\" must be a number from %2 to %3")
               .arg(key)
               .arg(lowest)
               .arg(highest));
      return std::nullopt;
    }
    return value.toDouble();
  }

  std::optional<QString> string(const QString& key,
                                std::optional<QString> fallback = std::nullopt) {
    const QVariant value = map_.value(key);
    if (!value.isValid()) {
      return missing(key, std::move(fallback));
    }
    if (value.typeId() != QMetaType::QString) {
      fail(QStringLiteral("\"%1\" must be a string").arg(key));
      return std::nullopt;
    }
    return value.toString();
  }

  std::optional<bool> boolean(const QString& key, bool fallback) {
    const QVariant value = map_.value(key);
    if (!value.isValid()) {
      return fallback;
    }
    if (value.typeId() != QMetaType::Bool) {
      fail(QStringLiteral("\"%1\" must be a boolean").arg(key));
      return std::nullopt;
    }
    return value.toBool();
  }

  std::optional<QVariantList> list(const QString& key) {
    const QVariant value = map_.value(key);
    if (!value.isValid()) {
      return QVariantList{};
    }
    if (value.typeId() != QMetaType::QVariantList) {
      fail(QStringLiteral("\"%1\" must be an array").arg(key));
      return std::nullopt;
    }
    return value.toList();
  }

  std::optional<QVariantMap> dictionary(const QVariant& value, const QString& what) {
    if (value.typeId() != QMetaType::QVariantMap) {
      fail(QStringLiteral("%1 must be a dictionary").arg(what));
      return std::nullopt;
    }
    return value.toMap();
  }

  // Fails on the first key that is not among `known`.
  void onlyKeys(const QStringList& known) {
    for (auto it = map_.keyBegin(); it != map_.keyEnd(); ++it) {
      if (!known.contains(*it)) {
        fail(QStringLiteral("unknown key \"%1\"").arg(*it));
        return;
      }
    }
  }

  void fail(const QString& message) {
    if (error_.isEmpty()) {
      error_ = where_.isEmpty() ? message : where_ + QStringLiteral(": ") + message;
    }
  }
  // Takes over the first problem of a nested reader.
  void adopt(const Reader& other) {
    if (error_.isEmpty()) {
      error_ = other.error_;
    }
  }
  const QString& error() const { return error_; }

 private:
  template <typename T>
  std::optional<T> missing(const QString& key, std::optional<T> fallback) {
    if (!fallback) {
      fail(QStringLiteral("\"%1\" is missing").arg(key));
    }
    return fallback;
  }

  const QVariantMap& map_;
  QString where_;
  QString error_;
};

std::optional<FlashArea> readArea(Reader& parent, const QVariant& value, const QString& name) {
  const std::optional<QVariantMap> map =
      parent.dictionary(value, QStringLiteral("flashAreas.") + name);
  if (!map) {
    return std::nullopt;
  }
  Reader reader(*map, QStringLiteral("flashAreas.") + name);
  reader.onlyKeys({QStringLiteral("address"), QStringLiteral("length")});
  constexpr int64_t kMax = std::numeric_limits<uint32_t>::max();
  const auto address = reader.integer(QStringLiteral("address"), 0, kMax);
  // The area is held in memory and in a file of that size.
  const auto length = reader.integer(QStringLiteral("length"), 1, kLargestArea);
  if (address && length && *address + *length > kMax + 1) {
    reader.fail(QStringLiteral("the area ends beyond 4 GiB"));
  }
  parent.adopt(reader);
  if (!reader.error().isEmpty()) {
    return std::nullopt;
  }
  return FlashArea{static_cast<uint32_t>(*address), static_cast<uint32_t>(*length)};
}

std::optional<VirtualRecorderFault> readFault(Reader& parent, const QVariant& value, int index) {
  const QString where = QStringLiteral("faults[%1]").arg(index);
  const std::optional<QVariantMap> map = parent.dictionary(value, where);
  if (!map) {
    return std::nullopt;
  }
  using Kind = VirtualRecorderFault::Kind;
  static const std::map<QString, std::pair<Kind, QStringList>> kinds{
      {QStringLiteral("checkCondition"),
       {Kind::checkCondition, {QStringLiteral("command"), QStringLiteral("occurrence")}}},
      {QStringLiteral("vanish"), {Kind::vanish, {QStringLiteral("afterCommands")}}},
      {QStringLiteral("risingBlockCount"), {Kind::risingBlockCount, {}}},
      {QStringLiteral("verifyMismatch"), {Kind::verifyMismatch, {QStringLiteral("offset")}}},
      {QStringLiteral("refuseFinish"), {Kind::refuseFinish, {QStringLiteral("times")}}},
      {QStringLiteral("noRemount"), {Kind::noRemount, {}}},
      {QStringLiteral("latency"), {Kind::latency, {QStringLiteral("seconds")}}},
      {QStringLiteral("rate"), {Kind::rate, {QStringLiteral("bytesPerSecond")}}},
  };
  Reader reader(*map, where);
  const std::optional<QString> kindName = reader.string(QStringLiteral("kind"));
  VirtualRecorderFault fault;
  if (kindName) {
    const auto found = kinds.find(*kindName);
    if (found == kinds.end()) {
      reader.fail(QStringLiteral("unknown kind \"%1\"").arg(*kindName));
    } else {
      fault.kind = found->second.first;
      reader.onlyKeys(QStringList{QStringLiteral("kind")} + found->second.second);
    }
  }
  constexpr int64_t kMany = std::numeric_limits<int32_t>::max();
  if (reader.error().isEmpty()) {
    switch (fault.kind) {
      case Kind::checkCondition:
        fault.command = reader.string(QStringLiteral("command")).value_or(QString());
        if (reader.error().isEmpty() &&
            !VirtualRecorderConfig::commandNames().contains(fault.command)) {
          reader.fail(QStringLiteral("unknown command \"%1\"").arg(fault.command));
        }
        fault.count = reader.integer(QStringLiteral("occurrence"), 1, kMany, 1).value_or(0);
        break;
      case Kind::vanish:
        fault.count = reader.integer(QStringLiteral("afterCommands"), 0, kMany).value_or(0);
        break;
      case Kind::verifyMismatch:
        fault.offset = reader.integer(QStringLiteral("offset"), 0, kMany).value_or(0);
        break;
      case Kind::refuseFinish:
        fault.count = reader.integer(QStringLiteral("times"), 1, kMany).value_or(0);
        break;
      case Kind::latency:
        fault.seconds = reader.real(QStringLiteral("seconds"), 0, kLongestWait).value_or(0);
        break;
      case Kind::rate:
        fault.bytesPerSecond =
            reader.real(QStringLiteral("bytesPerSecond"), kSlowestRate, 1e12).value_or(0);
        break;
      case Kind::risingBlockCount:
      case Kind::noRemount:
        break;
    }
  }
  parent.adopt(reader);
  if (!reader.error().isEmpty()) {
    return std::nullopt;
  }
  return fault;
}

}  // namespace

const QStringList& VirtualRecorderConfig::commandNames() {
  static const QStringList names{
      QStringLiteral("ReadRecorderItem"),
      QStringLiteral("RecorderModeChange"),
      QStringLiteral("UpdateFirmwareStart"),
      QStringLiteral("UpdateFirmwareAreYouReady"),
      QStringLiteral("UpdateFirmwareUploadFirmware"),
      QStringLiteral("UpdateFirmwareFinish"),
      QStringLiteral("UpdateFirmwareVerifyStart"),
      QStringLiteral("UpdateFirmwareVerify"),
      QStringLiteral("UpdateFirmwareVerifyFinish"),
  };
  return names;
}

std::variant<VirtualRecorderConfig, QString> VirtualRecorderConfig::read(const QString& folder) {
  const QString path = QDir(folder).filePath(QStringLiteral("recorder.plist"));
  const std::optional<QVariantMap> map = PropertyList::readDictionaryFile(path);
  if (!map) {
    return QStringLiteral("%1: not a readable property list with a dictionary").arg(path);
  }
  auto result = fromMap(*map);
  if (auto* error = std::get_if<QString>(&result)) {
    *error = path + QStringLiteral(": ") + *error;
  }
  return result;
}

std::variant<VirtualRecorderConfig, QString> VirtualRecorderConfig::fromMap(
    const QVariantMap& map) {
  Reader reader(map, {});
  reader.onlyKeys({QStringLiteral("vendorId"), QStringLiteral("productId"),
                   QStringLiteral("deviceId"), QStringLiteral("modelName"),
                   QStringLiteral("firmwareVersion"), QStringLiteral("subFirmwareVersion"),
                   QStringLiteral("musicCodecFile"), QStringLiteral("serialNumber"),
                   QStringLiteral("productInformation"), QStringLiteral("needsModeChange"),
                   QStringLiteral("restartSeconds"), QStringLiteral("flashAreas"),
                   QStringLiteral("prepareBlocks"), QStringLiteral("volumes"),
                   QStringLiteral("firmwareVersionAfterUpdate"), QStringLiteral("faults")});
  VirtualRecorderConfig config;
  config.vendorId =
      static_cast<uint16_t>(reader.integer(QStringLiteral("vendorId"), 0, 0xFFFF).value_or(0));
  config.productId =
      static_cast<uint16_t>(reader.integer(QStringLiteral("productId"), 0, 0xFFFF).value_or(0));
  config.deviceId = static_cast<uint32_t>(
      reader.integer(QStringLiteral("deviceId"), 0, std::numeric_limits<uint32_t>::max())
          .value_or(0));
  config.modelName = reader.string(QStringLiteral("modelName")).value_or(QString()).toUtf8();
  if (config.modelName.size() > 8) {
    reader.fail(QStringLiteral("\"modelName\" is longer than 8 bytes"));
  }
  config.firmwareVersion = reader.string(QStringLiteral("firmwareVersion")).value_or(QString());
  config.subFirmwareVersion =
      reader.string(QStringLiteral("subFirmwareVersion"), QString()).value_or(QString());
  for (const QString& label : {config.firmwareVersion, config.subFirmwareVersion}) {
    if (label.toUtf8().size() > 8) {
      reader.fail(QStringLiteral("firmware labels are at most 8 bytes (\"%1\")").arg(label));
    }
  }
  config.musicCodecFile = static_cast<uint16_t>(
      reader.integer(QStringLiteral("musicCodecFile"), 0, 0xFFFF, 0).value_or(0));
  config.serialNumber = reader.string(QStringLiteral("serialNumber")).value_or(QString());
  if (config.serialNumber.toUtf8().size() > 255) {
    reader.fail(QStringLiteral("\"serialNumber\" is longer than 255 bytes"));
  }
  for (const QVariant& text :
       reader.list(QStringLiteral("productInformation")).value_or(QVariantList())) {
    if (text.typeId() != QMetaType::QString || text.toString().size() > 254) {
      reader.fail(QStringLiteral("\"productInformation\" holds texts of at most 254 characters"));
    }
    config.productInformation.append(text.toString());
  }
  config.needsModeChange = reader.boolean(QStringLiteral("needsModeChange"), false).value_or(false);
  config.restartSeconds =
      reader.real(QStringLiteral("restartSeconds"), 0, kLongestWait, 2.0).value_or(0);
  if (reader.has(QStringLiteral("flashAreas"))) {
    if (const auto areas = reader.dictionary(map.value(QStringLiteral("flashAreas")),
                                             QStringLiteral("\"flashAreas\""))) {
      Reader areaReader(*areas, QStringLiteral("flashAreas"));
      areaReader.onlyKeys({QStringLiteral("dsp"), QStringLiteral("sub")});
      reader.adopt(areaReader);
      if (areas->contains(QStringLiteral("dsp"))) {
        config.dspArea =
            readArea(reader, areas->value(QStringLiteral("dsp")), QStringLiteral("dsp"));
      }
      if (areas->contains(QStringLiteral("sub"))) {
        config.subArea =
            readArea(reader, areas->value(QStringLiteral("sub")), QStringLiteral("sub"));
      }
    }
  }
  config.prepareBlocks = static_cast<uint16_t>(
      reader.integer(QStringLiteral("prepareBlocks"), 0, 0xFFFF, 0).value_or(0));
  if (!reader.has(QStringLiteral("volumes"))) {
    config.volumeFreeBytes.emplace_back(uint64_t{1} << 30);
  }
  int index = 0;
  for (const QVariant& volume : reader.list(QStringLiteral("volumes")).value_or(QVariantList())) {
    const QString where = QStringLiteral("volumes[%1]").arg(index++);
    if (const auto entry = reader.dictionary(volume, where)) {
      Reader volumeReader(*entry, where);
      volumeReader.onlyKeys({QStringLiteral("freeBytes")});
      const auto freeBytes =
          volumeReader.integer(QStringLiteral("freeBytes"), 0, std::numeric_limits<int64_t>::max());
      reader.adopt(volumeReader);
      config.volumeFreeBytes.emplace_back(freeBytes ? std::optional(uint64_t(*freeBytes))
                                                    : std::nullopt);
    }
  }
  if (config.volumeFreeBytes.size() > 8) {
    reader.fail(QStringLiteral("a recorder has at most 8 volumes"));
  }
  config.firmwareVersionAfterUpdate =
      reader.string(QStringLiteral("firmwareVersionAfterUpdate"), config.firmwareVersion)
          .value_or(QString());
  if (config.firmwareVersionAfterUpdate.toUtf8().size() > 8) {
    reader.fail(QStringLiteral("firmware labels are at most 8 bytes (\"%1\")")
                    .arg(config.firmwareVersionAfterUpdate));
  }
  index = 0;
  for (const QVariant& fault : reader.list(QStringLiteral("faults")).value_or(QVariantList())) {
    if (auto parsed = readFault(reader, fault, index++)) {
      config.faults.push_back(std::move(*parsed));
    }
  }
  if (!reader.error().isEmpty()) {
    return reader.error();
  }
  return config;
}
