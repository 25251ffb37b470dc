#include "app/device/ScsiTransport.h"
#include "app/tool/ToolCommand.h"
#include "app/tool/VirtualOption.h"
#include "driver/DriverIdentity.h"
#include "platform/BoundedRead.h"
#include "platform/registry/Registry.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>
#include <variant>

namespace {

constexpr qint64 kLargestTransfer = qint64{16} * 1024 * 1024;

// A driver result or task status, as 32 bits whatever type holds it.
QString code(uint32_t value) { return Tool::hex(value, 2); }

QString propertyText(const RegistryValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) {
    return *flag ? QStringLiteral("true") : QStringLiteral("false");
  }
  if (const auto* number = std::get_if<int64_t>(&value)) {
    return QString::number(*number);
  }
  return QLatin1Char('"') + QString::fromStdString(std::get<std::string>(value)) + QLatin1Char('"');
}

QJsonValue propertyJson(const RegistryValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) {
    return *flag;
  }
  if (const auto* number = std::get_if<int64_t>(&value)) {
    return static_cast<qint64>(*number);
  }
  return QString::fromStdString(std::get<std::string>(value));
}

void printEntry(Registry& registry, const RegistryEntryRef& entry, int depth) {
  const QString indent(static_cast<qsizetype>(depth) * 2, u' ');
  const QString fieldIndent = indent + QStringLiteral("  ");
  Tool::printLine(indent + QStringLiteral("class=") + QString::fromStdString(entry->className()));
  Tool::printLine(fieldIndent + QStringLiteral("name=") +
                  QString::fromStdString(entry->registryName()));
  Tool::printLine(fieldIndent + QStringLiteral("location=") +
                  QString::fromStdString(entry->location()));
  for (const auto& [key, value] : entry->properties()) {
    Tool::printLine(fieldIndent + QString::fromStdString(key) + QLatin1Char('=') +
                    propertyText(value));
  }
  for (const RegistryEntryRef& child : registry.children(entry)) {
    printEntry(registry, child, depth + 1);
  }
}

QJsonObject entryJson(Registry& registry, const RegistryEntryRef& entry) {
  QJsonObject properties;
  for (const auto& [key, value] : entry->properties()) {
    properties.insert(QString::fromStdString(key), propertyJson(value));
  }
  QJsonArray children;
  for (const RegistryEntryRef& child : registry.children(entry)) {
    children.append(entryJson(registry, child));
  }
  return {{QStringLiteral("class"), QString::fromStdString(entry->className())},
          {QStringLiteral("name"), QString::fromStdString(entry->registryName())},
          {QStringLiteral("location"), QString::fromStdString(entry->location())},
          {QStringLiteral("properties"), properties},
          {QStringLiteral("children"), children}};
}

int registryTree(const QStringList& given) {
  QStringList arguments = given;
  int status = Tool::kSuccess;
  const auto recorders = takeVirtualRecorders(arguments, &status);
  if (status != Tool::kSuccess) {
    return status;
  }
  const bool json = arguments == QStringList{QStringLiteral("--json")};
  if (!arguments.isEmpty() && !json) {
    return Tool::usageError(QStringLiteral("registry takes only --json and --virtual FOLDER"));
  }
  Registry& registry = *Registry::shared();
  const std::vector<RegistryEntryRef> devices = registry.matchingServices("IOUSBHostDevice");
  if (json) {
    QJsonArray trees;
    for (const RegistryEntryRef& device : devices) {
      trees.append(entryJson(registry, device));
    }
    Tool::printLine(QString::fromUtf8(QJsonDocument(trees).toJson(QJsonDocument::Indented)));
    return Tool::kSuccess;
  }
  for (const RegistryEntryRef& device : devices) {
    printEntry(registry, device, 0);
  }
  return Tool::kSuccess;
}

struct ScsiRequest {
  QString device;
  QByteArray cdb;
  std::optional<qint64> in;
  std::optional<QByteArray> out;
  std::optional<uint32_t> timeout;
};

// Parses the scsi command's options; on bad usage returns the message instead.
std::variant<ScsiRequest, QString> parseScsi(const QStringList& arguments) {
  ScsiRequest request;
  for (qsizetype i = 0; i < arguments.size(); i += 2) {
    const QString& option = arguments[i];
    if (i + 1 >= arguments.size()) {
      return QStringLiteral("%1 needs a value").arg(option);
    }
    const QString& value = arguments[i + 1];
    bool ok = true;
    if (option == QLatin1String("--device")) {
      request.device = value;
    } else if (option == QLatin1String("--cdb")) {
      QString digits = value;
      digits.remove(u' ').remove(u':');
      request.cdb = QByteArray::fromHex(digits.toLatin1());
      ok = digits.size() % 2 == 0 && request.cdb.size() * 2 == digits.size() &&
           !request.cdb.isEmpty() && request.cdb.size() <= 16;
    } else if (option == QLatin1String("--in")) {
      request.in = value.toLongLong(&ok);
      ok = ok && *request.in > 0 && *request.in <= kLargestTransfer;
    } else if (option == QLatin1String("--out")) {
      request.out = readFileAtMost(value, kLargestTransfer);
      if (!request.out) {
        return QStringLiteral("cannot read \"%1\" (or it is over 16 MiB)").arg(value);
      }
    } else if (option == QLatin1String("--timeout")) {
      request.timeout = value.toUInt(&ok);
    } else {
      return QStringLiteral("unknown option \"%1\"").arg(option);
    }
    if (!ok) {
      return QStringLiteral("bad value \"%1\" for %2").arg(value, option);
    }
  }
  if (request.cdb.isEmpty()) {
    return QStringLiteral("expected --cdb HEX");
  }
  if (request.in && request.out) {
    return QStringLiteral("--in and --out exclude each other");
  }
  return request;
}

RegistryEntryRef findDriverEntry(Registry& registry, const QString& device) {
  for (const RegistryEntryRef& usb : registry.matchingServices("IOUSBHostDevice")) {
    const auto drivers = registry.findChildren(usb, [](const RegistryEntry& entry) {
      return entry.className() == DriverIdentity::kDeviceClassName;
    });
    for (const RegistryEntryRef& driver : drivers) {
      if (device.isEmpty() || device.toStdString() == usb->location() ||
          device.toStdString() == driver->location()) {
        return driver;
      }
    }
  }
  return nullptr;
}

int scsi(const QStringList& given) {
  QStringList arguments = given;
  int status = Tool::kSuccess;
  const auto recorders = takeVirtualRecorders(arguments, &status);
  if (status != Tool::kSuccess) {
    return status;
  }
  const auto parsed = parseScsi(arguments);
  if (const auto* message = std::get_if<QString>(&parsed)) {
    return Tool::usageError(*message);
  }
  const auto& request = std::get<ScsiRequest>(parsed);
  Registry& registry = *Registry::shared();
  const RegistryEntryRef driver = findDriverEntry(registry, request.device);
  if (driver == nullptr) {
    return Tool::failure(request.device.isEmpty()
                             ? QStringLiteral("no recorder with the pass-through driver")
                             : QStringLiteral("no driver entry at \"%1\"").arg(request.device));
  }
  uint32_t connection = 0;
  if (const IOReturn opened = registry.openUserClient(driver, 0, &connection);
      opened != kIOReturnSuccess) {
    return Tool::failure(
        opened == kIOReturnExclusiveAccess
            ? QStringLiteral("the recorder is in use by another program (%1)").arg(code(opened))
            : QStringLiteral("cannot open the driver (%1)").arg(code(opened)));
  }

  QByteArray data = request.out.value_or(QByteArray(request.in.value_or(0), '\0'));
  const ScsiDataDirection direction =
      request.out ? ScsiDataDirection::dataOut
                  : (request.in ? ScsiDataDirection::dataIn : ScsiDataDirection::noData);
  const ScsiOutcome outcome = sendScsiCommand(
      &registry, connection, direction,
      std::span(reinterpret_cast<const uint8_t*>(request.cdb.constData()),
                static_cast<size_t>(request.cdb.size())),
      std::span(reinterpret_cast<uint8_t*>(data.data()), static_cast<size_t>(data.size())),
      request.timeout);
  registry.closeUserClient(connection);
  const IOReturn result = outcome.result;

  Tool::printField(QStringLiteral("device"), QString::fromStdString(driver->location()));
  Tool::printField(QStringLiteral("result"), code(result));
  Tool::printField(QStringLiteral("status"), code(outcome.status));
  Tool::printField(QStringLiteral("data"),
                   request.in ? QString::fromLatin1(data.toHex().toUpper()) : QString());
  Tool::printField(
      QStringLiteral("sense"),
      result == kIOReturnIOError
          ? QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(outcome.sense.data()),
                                           static_cast<qsizetype>(outcome.sense.size()))
                                    .toHex()
                                    .toUpper())
          : QString());
  return result == kIOReturnSuccess && outcome.status == 0 ? Tool::kSuccess : Tool::kFailure;
}

}  // namespace

QList<ToolCommand> driverCommands() {
  return {
      {QStringLiteral("registry"), QStringLiteral("[--json] [--virtual FOLDER]..."),
       QStringLiteral("the device registry below every USB device, indented by depth"),
       registryTree},
      {QStringLiteral("scsi"),
       QStringLiteral("[--device ENTRY] --cdb HEX [--in N | --out FILE] [--timeout MS] "
                      "[--virtual FOLDER]..."),
       QStringLiteral("sends one command block through the pass-through driver and prints the "
                      "result, the task status, the data read and the sense bytes (hex)"),
       scsi},
  };
}
