#include "app/service/UpdateXmlTag.h"

#include <array>

QString tagName(UpdateXmlTag tag) {
  static constexpr std::array<const char*, 30> kNames = {"firmware_demand",
                                                         "revision",
                                                         "mac_address",
                                                         "time",
                                                         "language",
                                                         "application",
                                                         "type",
                                                         "version",
                                                         "os",
                                                         "country_code",
                                                         "hardwares",
                                                         "firmup_mode",
                                                         "hardware_info",
                                                         "hard_code",
                                                         "firmware_version",
                                                         "serial_no",
                                                         "firmware_result",
                                                         "firmwares",
                                                         "firmware_info",
                                                         "maker_code",
                                                         "model_name",
                                                         "model_id",
                                                         "hardware_kind",
                                                         "file_name",
                                                         "file_size",
                                                         "url",
                                                         "up_date",
                                                         "comment",
                                                         "detail_url",
                                                         "extension_comment"};
  return QString::fromLatin1(kNames.at(static_cast<size_t>(tag)));
}
