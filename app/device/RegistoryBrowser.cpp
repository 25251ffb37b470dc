#include "app/device/RegistoryBrowser.h"

#include <algorithm>

namespace {

// Without locale, so that a Turkish or other locale cannot change what matches.
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::vector<IOObjectPtr> RegistoryBrowser::findChildren(const IOObject& entry,
                                                        const Predicate& predicate) const {
  std::vector<IOObjectPtr> found;
  const std::shared_ptr<Registry> registry = masterPort ? masterPort : Registry::shared();
  collect(registry, entry.object(), predicate, found);
  return found;
}

std::vector<IOObjectPtr> RegistoryBrowser::findDriverEntries(const IOObject& entry,
                                                             std::string_view className) const {
  return findChildren(entry, [className](const IOObject& child) {
    return classNameMatches(child.className(), className);
  });
}

bool RegistoryBrowser::classNameMatches(std::string_view name, std::string_view className) {
  return std::ranges::equal(name, className,
                            [](char a, char b) { return asciiLower(a) == asciiLower(b); });
}

void RegistoryBrowser::collect(const std::shared_ptr<Registry>& registry,
                               const RegistryEntryRef& entry, const Predicate& predicate,
                               std::vector<IOObjectPtr>& found) {
  for (const RegistryEntryRef& child : registry->children(entry)) {
    auto wrapped = std::make_shared<IOObject>(registry, child);
    if (predicate(*wrapped)) {
      found.push_back(std::move(wrapped));
    }
    collect(registry, child, predicate, found);
  }
}
