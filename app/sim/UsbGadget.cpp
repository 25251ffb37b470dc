#include "app/sim/UsbGadget.h"

#include "app/sim/BulkOnlyTransport.h"
#include "app/sim/GadgetDisk.h"
#include "app/sim/GadgetImage.h"
#include "app/sim/VirtualRecorderConfig.h"
#include "app/sim/VirtualRecorderTarget.h"

#include <QDir>
#include <QFile>

#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace {

const QString kGadgets = QStringLiteral("/sys/kernel/config/usb_gadget");
constexpr uint8_t kGetMaxLun = 0xFE;
constexpr uint8_t kBulkOnlyReset = 0xFF;
constexpr char kInterfaceName[] = "Mass Storage";
constexpr std::chrono::milliseconds kLeaveBusAfter{200};

// The interface and its two bulk endpoints, for full and for high speed.
struct __attribute__((packed)) EndpointSet {
  usb_interface_descriptor interface;
  usb_endpoint_descriptor_no_audio in;
  usb_endpoint_descriptor_no_audio out;
};

struct __attribute__((packed)) Descriptors {
  usb_functionfs_descs_head_v2 header;
  __le32 fullSpeedCount;
  __le32 highSpeedCount;
  EndpointSet fullSpeed;
  EndpointSet highSpeed;
};

struct __attribute__((packed)) Strings {
  usb_functionfs_strings_head header;
  __le16 language;
  char interfaceName[sizeof(kInterfaceName)];
};

EndpointSet endpointSet(uint16_t packetSize) {
  EndpointSet set{};
  set.interface = {
      USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_MASS_STORAGE, 0x06, 0x50, 1};
  set.in = {USB_DT_ENDPOINT_SIZE,   USB_DT_ENDPOINT,     1 | USB_DIR_IN,
            USB_ENDPOINT_XFER_BULK, htole16(packetSize), 0};
  set.out = {USB_DT_ENDPOINT_SIZE,   USB_DT_ENDPOINT,     2 | USB_DIR_OUT,
             USB_ENDPOINT_XFER_BULK, htole16(packetSize), 0};
  return set;
}

// Unbuffered: configfs refuses a value (an unknown UDC, say) in the write itself.
bool writeFile(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(text) == text.size();
}

void interrupted(int /*signal*/) {}

// Interrupts a thread's blocking endpoint I/O until it has ended.
void stopThread(std::thread& thread, const std::atomic<bool>& ended) {
  while (thread.joinable() && !ended) {
    pthread_kill(thread.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (thread.joinable()) {
    thread.join();
  }
}

class Gadget final {
 public:
  Gadget(QString folder, VirtualRecorderConfig config, QString controller,
         const UsbGadget::Report& report)
      : folder_(std::move(folder)),
        config_(std::move(config)),
        controller_(std::move(controller)),
        name_(QStringLiteral("tarnwell%1").arg(::getpid())),
        gadget_(QDir(kGadgets).filePath(name_)),
        mountPoint_(QDir::temp().filePath(QStringLiteral("tarnwell-ffs-%1").arg(::getpid()))),
        report_(report) {}
  Gadget(const Gadget&) = delete;
  Gadget& operator=(const Gadget&) = delete;
  ~Gadget() { tearDown(); }

  QString run();

 private:
  QString configure();
  QString openFunction();
  bool bind(bool on) {
    return writeFile(gadget_ + QStringLiteral("/UDC"), on ? controller_.toUtf8() + '\n' : "\n");
  }
  void tearDown();
  void controlLoop();
  void onSetup(const usb_ctrlrequest& request);
  void resetTransport();
  void dataLoop();
  bool receive(std::vector<uint8_t>& data, uint32_t length, uint64_t generation);
  bool send(std::span<const uint8_t> data, uint64_t generation) const;
  void restart(VirtualRecorderTarget::Event event);
  void say(const QString& line) {
    const std::scoped_lock guard(reportMutex_);
    report_(line);
  }

  const QString folder_;
  const VirtualRecorderConfig config_;
  const QString controller_;
  const QString name_;
  const QString gadget_;
  const QString mountPoint_;
  const UsbGadget::Report& report_;
  std::mutex reportMutex_;
  bool mounted_ = false;
  int ep0_ = -1;
  int in_ = -1;
  int out_ = -1;

  std::optional<GadgetImage> image_;
  int imageFd_ = -1;
  std::unique_ptr<VirtualRecorderTarget> target_;
  std::optional<VirtualRecorderTarget::Event> event_;  // data thread only

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool awaitingReset_ = false;
  bool attachedOnce_ = false;
  std::optional<QString> restartLine_;
  // Transport resets so far: a command begun before the last one is dropped, not answered.
  std::atomic<uint64_t> resets_ = 0;
  std::thread control_;
  std::thread data_;
  std::atomic<bool> controlEnded_ = false;
  std::atomic<bool> dataEnded_ = false;
};

QString Gadget::run() {
  // SIGINT and SIGTERM wait for sigwait below, in every thread, so that the gadget is always
  // taken down; SIGUSR1 only breaks a thread's blocking I/O.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  struct sigaction action {};
  action.sa_handler = interrupted;
  sigaction(SIGUSR1, &action, nullptr);
  for (size_t number = 1; number <= config_.volumeFreeBytes.size(); ++number) {
    QDir(folder_).mkpath(QStringLiteral("volume%1").arg(number));
  }
  auto image = GadgetImage::create(folder_, config_);
  if (const auto* error = std::get_if<QString>(&image)) {
    return *error;
  }
  image_ = std::get<GadgetImage>(std::move(image));
  imageFd_ = ::open(QFile::encodeName(image_->path()).constData(), O_RDWR | O_CLOEXEC);
  if (imageFd_ < 0) {
    return QStringLiteral("%1: %2").arg(image_->path(), QString::fromLocal8Bit(strerror(errno)));
  }
  target_ = std::make_unique<VirtualRecorderTarget>(
      folder_, config_, [this](VirtualRecorderTarget::Event event) { event_ = event; });
  if (QString error = configure(); !error.isEmpty()) {
    return error;
  }
  if (QString error = openFunction(); !error.isEmpty()) {
    return error;
  }
  data_ = std::thread([this] {
    dataLoop();
    dataEnded_ = true;
  });
  control_ = std::thread([this] {
    controlLoop();
    controlEnded_ = true;
  });
  if (!bind(true)) {
    return QStringLiteral("cannot bind the gadget to %1").arg(controller_);
  }
  int signal = 0;
  sigwait(&stops, &signal);
  return {};
}

QString Gadget::configure() {
  if (!QDir(kGadgets).exists()) {
    ::mount("none", "/sys/kernel/config", "configfs", 0, nullptr);
  }
  if (!QDir(kGadgets).exists()) {
    return QStringLiteral(
               "%1 is missing: the kernel has no USB gadget support loaded "
               "(libcomposite)")
        .arg(kGadgets);
  }
  const QDir root(kGadgets);
  const QString strings = QStringLiteral("/strings/0x409");
  const QString function = QStringLiteral("/functions/ffs.") + name_;
  const QString configuration = QStringLiteral("/configs/c.1");
  const QByteArray model = GadgetDisk::identity(config_, config_.firmwareVersion).product;
  if (!root.mkpath(name_ + strings) || !root.mkpath(name_ + configuration + strings) ||
      !root.mkpath(name_ + function)) {
    return QStringLiteral("cannot create the gadget under %1 (root is needed)").arg(kGadgets);
  }
  const auto hex = [](uint16_t value) { return "0x" + QByteArray::number(value, 16); };
  const bool written =
      writeFile(gadget_ + QStringLiteral("/idVendor"), hex(config_.vendorId)) &&
      writeFile(gadget_ + QStringLiteral("/idProduct"), hex(config_.productId)) &&
      writeFile(gadget_ + QStringLiteral("/bcdDevice"), "0x0100") &&
      writeFile(gadget_ + QStringLiteral("/bcdUSB"), "0x0200") &&
      writeFile(gadget_ + strings + QStringLiteral("/manufacturer"), "Velmora") &&
      writeFile(gadget_ + strings + QStringLiteral("/product"), model) &&
      writeFile(gadget_ + strings + QStringLiteral("/serialnumber"),
                config_.serialNumber.toUtf8()) &&
      writeFile(gadget_ + configuration + strings + QStringLiteral("/configuration"),
                "Mass storage") &&
      QFile::link(gadget_ + function, gadget_ + configuration + QStringLiteral("/ffs.") + name_);
  return written ? QString() : QStringLiteral("cannot configure the gadget %1").arg(gadget_);
}

QString Gadget::openFunction() {
  if (!QDir().mkpath(mountPoint_) ||
      ::mount(name_.toUtf8().constData(), QFile::encodeName(mountPoint_).constData(), "functionfs",
              0, nullptr) != 0) {
    return QStringLiteral("cannot mount FunctionFS on %1: %2 (usb_f_fs loaded?)")
        .arg(mountPoint_, QString::fromLocal8Bit(strerror(errno)));
  }
  mounted_ = true;
  const auto open = [this](const char* name) {
    return ::open(QFile::encodeName(QDir(mountPoint_).filePath(QLatin1String(name))).constData(),
                  O_RDWR | O_CLOEXEC);
  };
  ep0_ = open("ep0");
  Descriptors descriptors{};
  descriptors.header = {htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2), htole32(sizeof(descriptors)),
                        htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC)};
  descriptors.fullSpeedCount = htole32(3);
  descriptors.highSpeedCount = htole32(3);
  descriptors.fullSpeed = endpointSet(64);
  descriptors.highSpeed = endpointSet(512);
  Strings strings{};
  strings.header = {htole32(FUNCTIONFS_STRINGS_MAGIC), htole32(sizeof(strings)), htole32(1),
                    htole32(1)};
  strings.language = htole16(0x0409);
  std::memcpy(strings.interfaceName, kInterfaceName, sizeof(kInterfaceName));
  if (ep0_ < 0 || ::write(ep0_, &descriptors, sizeof(descriptors)) < 0 ||
      ::write(ep0_, &strings, sizeof(strings)) < 0) {
    return QStringLiteral("FunctionFS refused the descriptors: %1")
        .arg(QString::fromLocal8Bit(strerror(errno)));
  }
  in_ = open("ep1");
  out_ = open("ep2");
  return in_ < 0 || out_ < 0 ? QStringLiteral("cannot open the bulk endpoints") : QString();
}

void Gadget::tearDown() {
  {
    const std::scoped_lock guard(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (QFile::exists(gadget_ + QStringLiteral("/UDC"))) {
    bind(false);
  }
  stopThread(control_, controlEnded_);
  stopThread(data_, dataEnded_);
  for (int* fd : {&in_, &out_, &ep0_, &imageFd_}) {
    if (*fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
  }
  if (mounted_) {
    ::umount(QFile::encodeName(mountPoint_).constData());
    mounted_ = false;
  }
  QDir().rmdir(mountPoint_);
  // configfs takes its directories down one by one, innermost first.
  const QDir root(kGadgets);
  QFile::remove(gadget_ + QStringLiteral("/configs/c.1/ffs.") + name_);
  for (const QString& path :
       {QStringLiteral("/configs/c.1/strings/0x409"), QStringLiteral("/configs/c.1"),
        QStringLiteral("/functions/ffs.") + name_, QStringLiteral("/strings/0x409"), QString()}) {
    root.rmdir(name_ + path);
  }
}

void Gadget::controlLoop() {
  std::array<usb_functionfs_event, 4> events{};
  for (;;) {
    {
      const std::scoped_lock guard(mutex_);
      if (stopping_) {
        return;
      }
    }
    const ssize_t length = ::read(ep0_, events.data(), sizeof(events));
    if (length < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    for (size_t index = 0; index < static_cast<size_t>(length) / sizeof(events[0]); ++index) {
      const usb_functionfs_event& event = events.at(index);
      if (event.type == FUNCTIONFS_SETUP) {
        onSetup(event.u.setup);
      } else if (event.type == FUNCTIONFS_DISABLE) {
        // A port reset, a new configuration or a disconnect: the command under way is void.
        resetTransport();
      } else if (event.type == FUNCTIONFS_ENABLE) {
        std::optional<QString> line;
        {
          const std::scoped_lock guard(mutex_);
          if (!attachedOnce_) {
            attachedOnce_ = true;
            line = QStringLiteral("attached=") + controller_;
          } else if (restartLine_) {
            line = std::exchange(restartLine_, std::nullopt);
          }
        }
        if (line) {
          say(*line);
        }
      }
    }
  }
}

void Gadget::onSetup(const usb_ctrlrequest& request) {
  const bool in = (request.bRequestType & USB_DIR_IN) != 0;
  const bool forInterface = (request.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS &&
                            (request.bRequestType & USB_RECIP_MASK) == USB_RECIP_INTERFACE;
  const uint16_t value = le16toh(request.wValue);
  const uint16_t length = le16toh(request.wLength);
  if (forInterface && request.bRequest == kGetMaxLun && in && value == 0 && length == 1) {
    const uint8_t lastUnit = 0;
    ::write(ep0_, &lastUnit, 1);
    return;
  }
  if (forInterface && request.bRequest == kBulkOnlyReset && !in && value == 0 && length == 0) {
    ::read(ep0_, nullptr, 0);  // the status stage
    resetTransport();
    return;
  }
  // Anything else is stalled: FunctionFS stalls ep0 on I/O against the request's direction.
  if (in) {
    ::read(ep0_, nullptr, 0);
  } else {
    ::write(ep0_, nullptr, 0);
  }
}

void Gadget::resetTransport() {
  {
    const std::scoped_lock guard(mutex_);
    awaitingReset_ = false;
  }
  resets_ += 1;
  changed_.notify_all();
  pthread_kill(data_.native_handle(), SIGUSR1);
}

void Gadget::dataLoop() {
  const auto identity = [this] {
    return GadgetDisk::identity(config_, target_->state().firmwareVersion);
  };
  GadgetDisk disk(imageFd_, identity(), *target_, [this] {
    if (const auto error = image_->takeUpdateFiles()) {
      say(QStringLiteral("error=") + *error);
    }
  });
  BulkOnlyTransport transport(disk);
  std::array<uint8_t, 512> block{};
  for (;;) {
    {
      std::unique_lock guard(mutex_);
      changed_.wait(guard, [this] { return stopping_ || !awaitingReset_; });
      if (stopping_) {
        return;
      }
    }
    const uint64_t generation = resets_;
    const ssize_t length = ::read(out_, block.data(), block.size());
    if (length < 0) {
      continue;  // interrupted, or the host went away: wait for the next command
    }
    const auto command =
        BulkOnlyTransport::parse(std::span(block).first(static_cast<size_t>(length)));
    if (!command) {
      // Not a valid command: both endpoints halt until the host resets the transport.
      ::write(out_, nullptr, 0);
      ::read(in_, nullptr, 0);
      const std::scoped_lock guard(mutex_);
      awaitingReset_ = true;
      continue;
    }
    std::vector<uint8_t> dataOut;
    if (!command->dataIn && command->dataTransferLength > 0 &&
        !receive(dataOut, command->dataTransferLength, generation)) {
      continue;
    }
    const BulkOnlyTransport::Reply reply = transport.answer(*command, dataOut);
    if (!reply.dataIn.empty() && !send(reply.dataIn, generation)) {
      continue;
    }
    if (reply.haltIn) {
      ::read(in_, nullptr, 0);
    }
    if (send(reply.status, generation) && event_) {
      restart(*std::exchange(event_, std::nullopt));
      disk.setIdentity(identity());
    }
  }
}

bool Gadget::receive(std::vector<uint8_t>& data, uint32_t length, uint64_t generation) {
  // Beyond the largest data phase served the data is taken and dropped: a phase error.
  data.resize(std::min(length, BulkOnlyTransport::kLargestDataPhase));
  std::vector<uint8_t> dropped(std::min<uint32_t>(length, 65536));
  uint32_t done = 0;
  while (done < length) {
    uint8_t* into = done < data.size() ? data.data() + done : dropped.data();
    const size_t room = done < data.size() ? data.size() - done : dropped.size();
    const ssize_t moved = ::read(out_, into, std::min<size_t>(room, length - done));
    if (moved <= 0 || resets_ != generation) {
      return false;
    }
    done += static_cast<uint32_t>(moved);
  }
  return true;
}

bool Gadget::send(std::span<const uint8_t> data, uint64_t generation) const {
  size_t done = 0;
  while (done < data.size()) {
    // A host that has reset the transport meanwhile (after a time-out) wants none of this.
    if (resets_ != generation) {
      return false;
    }
    const ssize_t moved = ::write(in_, data.data() + done, data.size() - done);
    if (moved <= 0 || resets_ != generation) {
      return false;
    }
    done += static_cast<size_t>(moved);
  }
  return true;
}

void Gadget::restart(VirtualRecorderTarget::Event event) {
  // The status has gone out, but the host's storage driver completes the command a moment
  // later; a recorder leaving the bus at once would fail the command it has just answered.
  std::unique_lock guard(mutex_);
  if (changed_.wait_for(guard, kLeaveBusAfter, [this] { return stopping_; })) {
    return;
  }
  guard.unlock();
  bind(false);
  guard.lock();
  if (event == VirtualRecorderTarget::Event::vanished) {
    guard.unlock();
    say(QStringLiteral("vanished=") + controller_);
    guard.lock();
    changed_.wait(guard, [this] { return stopping_; });
    return;
  }
  const auto back = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(config_.restartSeconds));
  if (changed_.wait_until(guard, back, [this] { return stopping_; })) {
    return;
  }
  restartLine_ = QStringLiteral("restarted=") + (event == VirtualRecorderTarget::Event::modeChanged
                                                     ? QStringLiteral("modeChanged")
                                                     : QStringLiteral("updateApplied"));
  awaitingReset_ = false;
  guard.unlock();
  target_->setPresent(true);
  bind(true);
}

}  // namespace

QStringList UsbGadget::controllers() {
  return QDir(QStringLiteral("/sys/class/udc")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

QString UsbGadget::run(const QString& folder, const QString& controller, const Report& report) {
  auto config = VirtualRecorderConfig::read(folder);
  if (const auto* error = std::get_if<QString>(&config)) {
    return *error;
  }
  Gadget gadget(QDir(folder).absolutePath(), std::get<VirtualRecorderConfig>(std::move(config)),
                controller, report);
  return gadget.run();
}
