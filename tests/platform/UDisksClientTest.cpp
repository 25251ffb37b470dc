// Unmounting through UDisks2: against no bus, a private message bus without UDisks2, and a
// stand-in UDisks2 service on a private bus (the role boundary).
#include "platform/volume/MountTable.h"
#include "tests/platform/VolumeTestSupport.h"
#include "tests/support/ToolProcess.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const std::string kMountInfo = TARNWELL_TEST_DATA_DIR "/volume/mountinfo";
const QString kFilesystem = u"org.freedesktop.UDisks2.Filesystem"_s;
using Interfaces = QMap<QString, QVariantMap>;

// A message bus of the test's own (dbus-daemon with the session configuration).
class PrivateBus final {
 public:
  PrivateBus() {
    const QStringList printed =
        runProgram(u"dbus-daemon"_s,
                   {u"--session"_s, u"--fork"_s, u"--print-address=1"_s, u"--print-pid=1"_s})
            .out.split(u'\n');
    if (printed.size() >= 2) {
      address_ = printed[0].toStdString();
      pid_ = printed[1].toInt();
    }
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  ~PrivateBus() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
    }
  }
  // Empty when dbus-daemon (installed with the build's dependencies) did not start.
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = 0;
  std::string address_;
};

// Serves the UDisks2 calls the client makes: the managed objects and Filesystem.Unmount.
class FakeUDisks final : public QDBusVirtualObject {
 public:
  struct FileSystem {
    QString object;
    QByteArray mountPoint;
    QString refusal;  // the error Unmount answers with, if any
  };

  std::vector<FileSystem> fileSystems;
  QStringList unmounted;
  QVariantMap options;

  QString introspect(const QString& /*path*/) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() == QLatin1String("GetManagedObjects")) {
      return connection.send(message.createReply(QVariant::fromValue(managedObjects())));
    }
    if (message.interface() != kFilesystem || message.member() != QLatin1String("Unmount")) {
      return false;
    }
    options = qdbus_cast<QVariantMap>(message.arguments().value(0));
    for (const FileSystem& fileSystem : fileSystems) {
      if (fileSystem.object == message.path() && !fileSystem.refusal.isEmpty()) {
        return connection.send(message.createErrorReply(
            u"org.freedesktop.UDisks2.Error.DeviceBusy"_s, fileSystem.refusal));
      }
    }
    unmounted.append(message.path());
    return connection.send(message.createReply());
  }

 private:
  QDBusArgument managedObjects() const {
    QDBusArgument objects;
    objects.beginMap(QMetaType::fromType<QDBusObjectPath>(), QMetaType::fromType<Interfaces>());
    // A drive: no file system, skipped.
    objects.beginMapEntry();
    objects << QDBusObjectPath(u"/org/freedesktop/UDisks2/drives/REC"_s)
            << Interfaces{{u"org.freedesktop.UDisks2.Drive"_s, {{u"Removable"_s, true}}}};
    objects.endMapEntry();
    for (const FileSystem& fileSystem : fileSystems) {
      objects.beginMapEntry();
      objects << QDBusObjectPath(fileSystem.object)
              << Interfaces{
                     {u"org.freedesktop.UDisks2.Block"_s,
                      {{u"Size"_s, QVariant::fromValue<qulonglong>(1 << 20)}}},
                     {kFilesystem,
                      {{u"MountPoints"_s,
                        // UDisks2 sends each mount point with its terminating NUL.
                        QVariant::fromValue(QByteArrayList{fileSystem.mountPoint + '\0',
                                                           QByteArray("/elsewhere\0", 11)})}}}};
      objects.endMapEntry();
    }
    objects.endMap();
    return objects;
  }
};

// The table of the recorded mountinfo, unmounting through UDisks2 on `address`.
MountTable tableOnBus(const std::string& address) {
  return MountTable(MountTableOptions{kMountInfo, UnmountRoute::udisks, address});
}

TEST(UDisksClientTest, UnmountsTheFileSystemMountedThereWithoutAskingTheUserOrSaysWhyNot) {
  testApplication();
  qDBusRegisterMetaType<QByteArrayList>();
  qDBusRegisterMetaType<Interfaces>();
  // Without a bus the unmount fails at once.
  MountTable nowhere = tableOnBus("unix:path=/nonexistent/bus");
  const auto completion = unmountAndWait(nowhere, "/media/user/REC2");
  EXPECT_TRUE(completion && completion->starts_with("Cannot reach UDisks2"))
      << completion.value_or("");

  // A bus without UDisks2 gives the bus's answer.
  const PrivateBus bus;
  ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
  MountTable table = tableOnBus(bus.address());
  const auto unserved = unmountAndWait(table, "/media/user/REC2");
  EXPECT_TRUE(unserved && unserved->find("org.freedesktop.UDisks2") != std::string::npos)
      << unserved.value_or("");

  FakeUDisks udisks;
  udisks.fileSystems = {
      {u"/org/freedesktop/UDisks2/block_devices/sdb1"_s, QByteArray("/media/user/My Recorder"),
       u"Error unmounting /dev/sdb1: target is busy"_s},
      {u"/org/freedesktop/UDisks2/block_devices/sdb2"_s, QByteArray("/media/user/REC2"), QString()},
  };
  QDBusConnection service =
      QDBusConnection::connectToBus(QString::fromStdString(bus.address()), u"fake"_s);
  ASSERT_TRUE(service.registerService(u"org.freedesktop.UDisks2"_s));
  ASSERT_TRUE(service.registerVirtualObject(u"/org/freedesktop/UDisks2"_s, &udisks,
                                            QDBusConnection::SubPath));

  EXPECT_EQ(unmountAndWait(table, "/media/user/REC2"), std::nullopt);
  EXPECT_EQ(udisks.unmounted, QStringList{u"/org/freedesktop/UDisks2/block_devices/sdb2"_s});
  EXPECT_EQ(udisks.options, (QVariantMap{{u"auth.no_user_interaction"_s, true}}));

  EXPECT_EQ(unmountAndWait(table, "/media/user/My Recorder"),
            "Error unmounting /dev/sdb1: target is busy");
  // In the mount table, unknown to UDisks2 (as a tmpfs is).
  EXPECT_EQ(unmountAndWait(table, "/proc"), "UDisks2 knows no file system mounted at /proc");
  EXPECT_EQ(unmountAndWait(table, "/media/user/OTHER"), kNotMountedError);
  EXPECT_EQ(udisks.unmounted.size(), 1);

  service.unregisterObject(u"/org/freedesktop/UDisks2"_s, QDBusConnection::UnregisterTree);
  QDBusConnection::disconnectFromBus(u"fake"_s);
}

}  // namespace
