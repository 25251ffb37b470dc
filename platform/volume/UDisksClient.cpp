#include "platform/volume/UDisksClient.h"

#include <QByteArrayList>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

#include <atomic>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");

// Closes the private connection however the call ends.
class BusConnection final {
 public:
  explicit BusConnection(const std::string& address)
      : name_(QStringLiteral("tarnwell-udisks-%1").arg(counter_.fetch_add(1))),
        bus_(address.empty()
                 ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, name_)
                 : QDBusConnection::connectToBus(QString::fromStdString(address), name_)) {}
  BusConnection(const BusConnection&) = delete;
  BusConnection& operator=(const BusConnection&) = delete;
  ~BusConnection() { QDBusConnection::disconnectFromBus(name_); }

  QDBusConnection& bus() { return bus_; }

 private:
  static inline std::atomic<int> counter_{0};
  QString name_;
  QDBusConnection bus_;
};

std::string errorText(const QDBusMessage& reply) {
  const QString message = reply.errorMessage();
  return (message.isEmpty() ? reply.errorName() : message).toStdString();
}

// MountPoints is an array of NUL-terminated byte strings.
QByteArrayList mountPoints(const QVariant& value) {
  QByteArrayList points;
  if (value.canConvert<QDBusArgument>()) {
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() == QLatin1String("aay")) {
      argument >> points;
    }
  } else if (value.canConvert<QByteArrayList>()) {
    points = value.value<QByteArrayList>();
  }
  for (QByteArray& point : points) {
    while (point.endsWith('\0')) {
      point.chop(1);
    }
  }
  return points;
}

// The object whose file system is mounted at `mountPoint`, from GetManagedObjects' answer
// (a{oa{sa{sv}}}); empty if none is.
QString objectMountedAt(const QDBusArgument& objects, const QByteArray& mountPoint) {
  QString found;
  objects.beginMap();
  while (!objects.atEnd()) {
    QDBusObjectPath path;
    objects.beginMapEntry();
    objects >> path;
    objects.beginMap();
    while (!objects.atEnd()) {
      QString interface;
      objects.beginMapEntry();
      objects >> interface;
      objects.beginMap();
      while (!objects.atEnd()) {
        QString property;
        QDBusVariant value;
        objects.beginMapEntry();
        objects >> property >> value;
        objects.endMapEntry();
        if (found.isEmpty() && interface == kFilesystem &&
            property == QLatin1String("MountPoints") &&
            mountPoints(value.variant()).contains(mountPoint)) {
          found = path.path();
        }
      }
      objects.endMap();
      objects.endMapEntry();
    }
    objects.endMap();
    objects.endMapEntry();
  }
  objects.endMap();
  return found;
}

}  // namespace

UDisksClient::UDisksClient(std::string busAddress) : busAddress_(std::move(busAddress)) {}

std::optional<std::string> UDisksClient::unmount(const std::string& mountPoint) const {
  BusConnection connection(busAddress_);
  QDBusConnection& bus = connection.bus();
  if (!bus.isConnected()) {
    return "Cannot reach UDisks2 on the D-Bus system bus: " +
           bus.lastError().message().toStdString();
  }
  const QDBusMessage reply =
      bus.call(QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2"),
                                              QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                              QStringLiteral("GetManagedObjects")),
               QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    return errorText(reply);
  }
  if (reply.signature() != QLatin1String("a{oa{sa{sv}}}")) {
    return "UDisks2 answered GetManagedObjects with \"" + reply.signature().toStdString() + '"';
  }
  const QString object = objectMountedAt(reply.arguments().constFirst().value<QDBusArgument>(),
                                         QByteArray::fromStdString(mountPoint));
  if (object.isEmpty()) {
    return "UDisks2 knows no file system mounted at " + mountPoint;
  }
  QDBusMessage request =
      QDBusMessage::createMethodCall(kService, object, kFilesystem, QStringLiteral("Unmount"));
  request << QVariantMap{{QStringLiteral("auth.no_user_interaction"), true}};
  const QDBusMessage answer = bus.call(request, QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage) {
    return errorText(answer);
  }
  return std::nullopt;
}
