#pragma once

#include "driver/ScsiTarget.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>

struct VirtualRecorderConfig;

// The one logical unit of the virtual recorder as a USB disk: it answers what a host sends
// to a disk (inquiry, capacity, reads, writes, mode pages, sense) from a disk image and
// hands the recorder's own vendor commands to the recorder's SCSI target. Sense data of a
// failed command is kept for the REQUEST SENSE that follows, as the host's storage driver
// asks for it.
class GadgetDisk final : public ScsiTarget {
 public:
  static constexpr uint32_t kBlockSize = 512;

  // What a command moves, as far as its command block says.
  struct Transfer {
    ScsiDataTransferDirection direction = ScsiDataTransferDirection::none;
    uint64_t length = 0;
  };

  // The INQUIRY texts, space-padded to 8, 16 and 4 bytes.
  struct Identity {
    QByteArray vendor;
    QByteArray product;
    QByteArray revision;
  };
  // The maker, the model name without its zero padding and the number of the firmware label
  // (the recorder's current one: an applied update shows at the next connection).
  static Identity identity(const VirtualRecorderConfig& config, const QString& firmwareLabel);

  // `imageFd` stays the caller's; `beforeUpdateFinish` runs before the recorder sees an
  // UpdateFirmwareFinish, so that it can take in what the host wrote onto the disk.
  GadgetDisk(int imageFd, Identity identity, ScsiTarget& recorder,
             std::function<void()> beforeUpdateFinish = {});

  // The transfer a disk command means; nullopt for the recorder's vendor commands, whose
  // transfer only the host states (the recorder checks it).
  static std::optional<Transfer> intendedTransfer(std::span<const uint8_t> cdb);
  static bool isRecorderCommand(uint8_t operationCode);

  uint64_t blockCount() const { return blockCount_; }
  // What INQUIRY answers from now on (a restarted recorder may run new firmware).
  void setIdentity(Identity identity) { identity_ = std::move(identity); }
  void execute(ScsiTask& task) override;

 private:
  struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
  };

  std::optional<Sense> answer(ScsiTask& task);
  std::optional<Sense> inquiry(ScsiTask& task) const;
  std::optional<Sense> requestSense(ScsiTask& task);
  std::optional<Sense> readCapacity(ScsiTask& task, bool sixteen) const;
  std::optional<Sense> modeSense(ScsiTask& task, bool ten) const;
  std::optional<Sense> readWrite(ScsiTask& task, bool write, bool sixteen) const;
  std::optional<Sense> synchronizeCache() const;
  void passToRecorder(ScsiTask& task);

  const int imageFd_;
  Identity identity_;
  ScsiTarget& recorder_;
  const std::function<void()> beforeUpdateFinish_;
  uint64_t blockCount_ = 0;
  std::array<uint8_t, ScsiTask::kSenseSize> pendingSense_{};
};
