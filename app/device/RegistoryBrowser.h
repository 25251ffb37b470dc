#pragma once

#include "app/device/IOObject.h"

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// Walks the device registry below an entry in the service plane.
class RegistoryBrowser final {
 public:
  using Predicate = std::function<bool(const IOObject&)>;

  RegistoryBrowser() = default;

  // The registry a scan works on, taken from Registry::shared() when the scan starts; while
  // unset, searches use the process's registry, as a zero master port means the default.
  std::shared_ptr<Registry> masterPort;

  // Every entry below `entry` that `predicate` accepts, in pre-order (an entry before its
  // descendants, siblings in registry order).
  std::vector<IOObjectPtr> findChildren(const IOObject& entry, const Predicate& predicate) const;
  // The entries below `entry` whose class name equals `className`, ignoring ASCII case.
  std::vector<IOObjectPtr> findDriverEntries(const IOObject& entry,
                                             std::string_view className) const;

  static bool classNameMatches(std::string_view name, std::string_view className);

 private:
  static void collect(const std::shared_ptr<Registry>& registry, const RegistryEntryRef& entry,
                      const Predicate& predicate, std::vector<IOObjectPtr>& found);
};
