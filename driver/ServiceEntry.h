#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// A registry property value: the registry carries integers, booleans and strings only.
using RegistryValue = std::variant<bool, int64_t, std::string>;
using RegistryProperties = std::map<std::string, RegistryValue, std::less<>>;

// The view of a registry entry that the driver needs: its name, its properties and its
// parent in the service plane. The registry implements it; the driver never owns entries.
class ServiceEntry {
 public:
  ServiceEntry() = default;
  ServiceEntry(const ServiceEntry&) = delete;
  ServiceEntry& operator=(const ServiceEntry&) = delete;
  virtual ~ServiceEntry() = default;

  virtual std::string registryName() const = 0;
  virtual std::optional<RegistryValue> property(std::string_view key) const = 0;
  // Null at the root.
  virtual const ServiceEntry* parentEntry() const = 0;

  std::optional<int64_t> integerProperty(std::string_view key) const {
    const std::optional<RegistryValue> value = property(key);
    if (value && std::holds_alternative<int64_t>(*value)) {
      return std::get<int64_t>(*value);
    }
    return std::nullopt;
  }
};
