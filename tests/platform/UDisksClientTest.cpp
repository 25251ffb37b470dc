// Unmounting through UDisks2: against no bus, a private message bus without UDisks2, and a
// stand-in UDisks2 service on a private bus (the role boundary).
#include "platform/volume/MountTable.h"
#include "platform/volume/UDisksClient.h"
#include "tests/platform/VolumeTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

#include <array>
#include <csignal>

namespace {

const std::string kMountInfo = TARNWELL_TEST_DATA_DIR "/volume/mountinfo";
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
using Interfaces = QMap<QString, QVariantMap>;

// A message bus of the test's own (dbus-daemon with the session configuration). Started
// with posix_spawn: a fork of this threaded process is beyond the thread sanitizer.
class PrivateBus final {
 public:
  PrivateBus() {
    std::array<int, 2> output{-1, -1};
    if (pipe2(output.data(), O_CLOEXEC) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::array<std::string, 4> arguments = {"dbus-daemon", "--session", "--nofork",
                                            "--print-address=1"};
    std::array<char*, 5> argv = {arguments[0].data(), arguments[1].data(), arguments[2].data(),
                                 arguments[3].data(), nullptr};
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    // The address is the first line; a daemon that does not start leaves it empty.
    pollfd readable{output[0], POLLIN, 0};
    std::string line;
    char c = 0;
    while (pid_ > 0 && poll(&readable, 1, 10'000) == 1 && read(output[0], &c, 1) == 1 &&
           c != '\n') {
      line += c;
    }
    close(output[0]);
    address_ = line;
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  ~PrivateBus() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
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
            QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"), fileSystem.refusal));
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
    objects << QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/drives/REC"))
            << Interfaces{{QStringLiteral("org.freedesktop.UDisks2.Drive"),
                           {{QStringLiteral("Removable"), true}}}};
    objects.endMapEntry();
    for (const FileSystem& fileSystem : fileSystems) {
      objects.beginMapEntry();
      objects << QDBusObjectPath(fileSystem.object)
              << Interfaces{
                     {QStringLiteral("org.freedesktop.UDisks2.Block"),
                      {{QStringLiteral("Size"), QVariant::fromValue<qulonglong>(1 << 20)}}},
                     {kFilesystem,
                      {{QStringLiteral("MountPoints"),
                        // UDisks2 sends each mount point with its terminating NUL.
                        QVariant::fromValue(QByteArrayList{fileSystem.mountPoint + '\0',
                                                           QByteArray("/elsewhere\0", 11)})}}}};
      objects.endMapEntry();
    }
    objects.endMap();
    return objects;
  }
};

class UDisksClientTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    qDBusRegisterMetaType<QByteArrayList>();
    qDBusRegisterMetaType<Interfaces>();
  }

  // The table of the recorded mountinfo, unmounting through UDisks2 on `address`.
  static MountTable tableOnBus(const std::string& address) {
    return MountTable(MountTableOptions{kMountInfo, UnmountRoute::udisks, address});
  }
};

TEST_F(UDisksClientTest, WithoutABusTheUnmountFailsAtOnce) {
  const auto error = UDisksClient("unix:path=/nonexistent/bus").unmount("/media/user/REC2");
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->starts_with("Cannot reach UDisks2")) << *error;

  MountTable table = tableOnBus("unix:path=/nonexistent/bus");
  const auto completion = unmountAndWait(table, "/media/user/REC2");
  ASSERT_TRUE(completion);
  EXPECT_TRUE(completion->starts_with("Cannot reach UDisks2")) << *completion;
}

TEST_F(UDisksClientTest, ABusWithoutUDisksGivesTheBussAnswer) {
  const PrivateBus bus;
  if (bus.address().empty()) {
    GTEST_SKIP() << "no dbus-daemon to run a private bus";
  }
  MountTable table = tableOnBus(bus.address());
  const auto error = unmountAndWait(table, "/media/user/REC2");
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("org.freedesktop.UDisks2"), std::string::npos) << *error;
}

TEST_F(UDisksClientTest, UnmountsTheFileSystemMountedThereWithoutAskingTheUser) {
  const PrivateBus bus;
  if (bus.address().empty()) {
    GTEST_SKIP() << "no dbus-daemon to run a private bus";
  }
  FakeUDisks udisks;
  udisks.fileSystems = {
      {QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb1"),
       QByteArray("/media/user/My Recorder"),
       QStringLiteral("Error unmounting /dev/sdb1: target is busy")},
      {QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb2"),
       QByteArray("/media/user/REC2"), QString()},
  };
  QDBusConnection service =
      QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("fake"));
  ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.UDisks2")));
  ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), &udisks,
                                            QDBusConnection::SubPath));
  MountTable table = tableOnBus(bus.address());

  EXPECT_EQ(unmountAndWait(table, "/media/user/REC2"), std::nullopt);
  EXPECT_EQ(udisks.unmounted,
            QStringList{QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb2")});
  EXPECT_EQ(udisks.options, (QVariantMap{{QStringLiteral("auth.no_user_interaction"), true}}));

  EXPECT_EQ(unmountAndWait(table, "/media/user/My Recorder"),
            "Error unmounting /dev/sdb1: target is busy");
  // In the mount table, unknown to UDisks2 (as a tmpfs is).
  EXPECT_EQ(unmountAndWait(table, "/proc"), "UDisks2 knows no file system mounted at /proc");
  EXPECT_EQ(unmountAndWait(table, "/media/user/OTHER"), kNotMountedError);
  EXPECT_EQ(udisks.unmounted.size(), 1);

  service.unregisterObject(QStringLiteral("/org/freedesktop/UDisks2"),
                           QDBusConnection::UnregisterTree);
  QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
}

}  // namespace
