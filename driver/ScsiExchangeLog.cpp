#include "driver/ScsiExchangeLog.h"

#include <scsi/sg_lib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace {

// Fixed and descriptor format alike, as libsgutils2 reads them.
std::optional<sg_scsi_sense_hdr> normalized(std::span<const uint8_t> sense) {
  sg_scsi_sense_hdr header{};
  if (sense.empty() ||
      !sg_scsi_normalize_sense(sense.data(), static_cast<int>(sense.size()), &header)) {
    return std::nullopt;
  }
  return header;
}

std::string outcome(const ScsiTask& task) {
  std::array<char, 32> text{};
  if (task.serviceResponse() == ScsiServiceResponse::taskComplete) {
    if (task.taskStatus() == ScsiTaskStatus::kGood) {
      return "GOOD";
    }
    const auto header = normalized(std::span(task.autoSenseData()).first(task.autoSenseLength()));
    if (task.taskStatus() == ScsiTaskStatus::kCheckCondition && header) {
      std::snprintf(text.data(), text.size(), "CHECK CONDITION %02X/%02X/%02X", header->sense_key,
                    header->asc, header->ascq);
      return text.data();
    }
  } else if (task.taskStatus() == ScsiTaskStatus::kDeviceNotPresent) {
    return "NO DEVICE";
  }
  std::snprintf(text.data(), text.size(), "STATUS %02X", task.taskStatus());
  return text.data();
}

}  // namespace

std::string ScsiExchangeLog::transcriptLine(const ScsiTask& task) {
  // A shorter command block is written padded with zeros to the 16 bytes of the layout.
  std::array<uint8_t, 16> block{};
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  std::copy(cdb.begin(), cdb.end(), block.begin());
  std::string line;
  std::array<char, 4> byte{};
  for (const uint8_t value : block) {
    std::snprintf(byte.data(), byte.size(), "%02X ", value);
    line += byte.data();
  }
  switch (task.dataTransferDirection()) {
    case ScsiDataTransferDirection::none:
      line += "none";
      break;
    case ScsiDataTransferDirection::fromTargetToInitiator:
      line += "in";
      break;
    case ScsiDataTransferDirection::fromInitiatorToTarget:
      line += "out";
      break;
  }
  line += ' ' + std::to_string(task.requestedDataTransferCount()) + ' ' + outcome(task);
  return line;
}

std::string ScsiExchangeLog::senseText(std::span<const uint8_t> sense) {
  const auto header = normalized(sense);
  if (!header) {
    return {};
  }
  std::array<char, 128> key{};
  std::array<char, 256> additional{};
  sg_get_sense_key_str(header->sense_key, static_cast<int>(key.size()), key.data());
  sg_get_asc_ascq_str(header->asc, header->ascq, static_cast<int>(additional.size()),
                      additional.data());
  return std::string(key.data()) + ", " + additional.data();
}
