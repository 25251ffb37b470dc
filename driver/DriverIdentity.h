#pragma once

#include "driver/RecorderCommandLayout.h"

#include <cstdint>
#include <string_view>

// What identifies the pass-through driver: its bundle, its class names and the recorders it
// claims (the maker's vendor IDs, from the command layout, and a range of product IDs).
namespace DriverIdentity {

inline constexpr std::string_view kBundleVersion = "3.4.0";
inline constexpr std::string_view kBundleIdentifier = "com.korvane.driver.DSSBlockCommandsDevice";
inline constexpr std::string_view kBundleName = "KorvaneDSSDriver";
inline constexpr std::string_view kDeviceClassName = "com_korvane_DSSBlockCommandsDevice";
inline constexpr std::string_view kUserClientClassName =
    "com_korvane_KorvaneDSSSCSIBlockUserClient";

inline constexpr uint16_t kFirstProductID = 0x020A;
inline constexpr uint16_t kLastProductID = 0x02FF;

// The udev property that the driver's rule sets on a recorder's SCSI device; its value is
// the device class name.
inline constexpr std::string_view kClaimProperty = "KORVANE_DSS_DRIVER";
inline constexpr std::string_view kRulesFileName = "70-korvane-dss.rules";

using RecorderCommandLayout::isMakerVendorID;

constexpr bool isClaimedProductID(int64_t productID) {
  return productID >= kFirstProductID && productID <= kLastProductID;
}

}  // namespace DriverIdentity
