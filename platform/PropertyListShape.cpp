#include "platform/PropertyListShape.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

constexpr QByteArrayView kBinaryMagic("bplist00");
constexpr qsizetype kTrailerSize = 32;

bool isXmlParseable(QByteArrayView data, int maxHeight) {
  // A real XML parser, so that no comment, section or declaration can hide a level.
  QXmlStreamReader reader(QByteArray::fromRawData(data.data(), data.size()));
  int depth = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement:
        // <plist> wraps the root value; the value's levels start below it.
        if (++depth > maxHeight + 1) {
          return false;
        }
        break;
      case QXmlStreamReader::EndElement:
        --depth;
        break;
      default:
        break;
    }
  }
  return !reader.hasError();
}

// The object table of a binary list, read without trusting any number in it.
class BinaryList final {
 public:
  explicit BinaryList(QByteArrayView data) : data_(data) {}

  bool readTrailer() {
    if (data_.size() < kBinaryMagic.size() + kTrailerSize) {
      return false;
    }
    const qsizetype trailer = data_.size() - kTrailerSize;
    offsetSize_ = static_cast<uint8_t>(data_[trailer + 6]);
    refSize_ = static_cast<uint8_t>(data_[trailer + 7]);
    const auto count = number(trailer + 8, 8);
    const auto top = number(trailer + 16, 8);
    const auto table = number(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || !count || !top ||
        !table || *count == 0 || *top >= *count ||
        *count > static_cast<uint64_t>(trailer) / offsetSize_ ||
        *table > static_cast<uint64_t>(trailer) - *count * offsetSize_) {
      return false;
    }
    objectCount_ = *count;
    top_ = *top;
    table_ = static_cast<qsizetype>(*table);
    end_ = trailer;
    return true;
  }

  bool check(const PropertyListShape::Limits& limits) {
    limits_ = limits;
    done_.assign(objectCount_, Visit{});
    const std::optional<Visit> root = visit(top_, 1);
    return root.has_value();
  }

 private:
  struct Visit {
    uint64_t nodes = 0;  // 0 while unvisited
    int height = 0;      // 0 while on the path being visited
  };

  // A big-endian number of `size` bytes at `at`, none past the object area.
  std::optional<uint64_t> number(qsizetype at, qsizetype size) const {
    if (at < 0 || size > 8 || at + size > data_.size()) {
      return std::nullopt;
    }
    uint64_t value = 0;
    for (qsizetype i = 0; i < size; ++i) {
      value = value << 8U | static_cast<uint8_t>(data_[at + i]);
    }
    return value;
  }

  std::optional<qsizetype> offsetOf(uint64_t object) const {
    const auto offset = number(table_ + static_cast<qsizetype>(object) * offsetSize_, offsetSize_);
    if (!offset || *offset < static_cast<uint64_t>(kBinaryMagic.size()) ||
        *offset >= static_cast<uint64_t>(end_)) {
      return std::nullopt;
    }
    return static_cast<qsizetype>(*offset);
  }

  // The element count after a marker: its low nibble, or an integer object after it.
  std::optional<uint64_t> countAt(qsizetype& at) const {
    const uint8_t low = static_cast<uint8_t>(data_[at]) & 0x0FU;
    ++at;
    if (low != 0x0F) {
      return low;
    }
    if (at >= end_ || (static_cast<uint8_t>(data_[at]) & 0xF0U) != 0x10U) {
      return std::nullopt;
    }
    const qsizetype size = qsizetype{1} << (static_cast<uint8_t>(data_[at]) & 0x0FU);
    const auto count = number(at + 1, size);
    at += 1 + size;
    if (at > end_) {
      return std::nullopt;
    }
    return count;
  }

  // A dictionary key that libplist would copy with strlen: no NUL byte allowed.
  bool isUsableKey(uint64_t object) const {
    const auto offset = offsetOf(object);
    if (!offset) {
      return false;
    }
    qsizetype at = *offset;
    const uint8_t type = static_cast<uint8_t>(data_[at]) >> 4U;
    if (type != 0x5 && type != 0x6) {
      return true;  // not a string: libplist refuses it itself
    }
    const auto count = countAt(at);
    const qsizetype unit = type == 0x5 ? 1 : 2;
    if (!count || *count > static_cast<uint64_t>(end_ - at) / unit) {
      return false;
    }
    for (qsizetype i = 0; i < static_cast<qsizetype>(*count); ++i) {
      if (data_[at + unit * i] == 0 && (unit == 1 || data_[at + unit * i + 1] == 0)) {
        return false;
      }
    }
    return true;
  }

  std::optional<Visit> visit(uint64_t object, int depth) {
    if (depth > limits_.maxHeight) {
      return std::nullopt;
    }
    Visit& seen = done_[object];
    if (seen.nodes != 0) {
      // Visited before: a cycle when it is still on the path.
      return seen.height == 0 || depth - 1 + seen.height > limits_.maxHeight ? std::nullopt
                                                                             : std::optional(seen);
    }
    const auto offset = offsetOf(object);
    if (!offset) {
      return std::nullopt;
    }
    seen.nodes = 1;
    qsizetype at = *offset;
    const uint8_t type = static_cast<uint8_t>(data_[at]) >> 4U;
    Visit result{1, 1};
    if (type == 0xA || type == 0xC || type == 0xD) {
      const auto count = countAt(at);
      const uint64_t refs = type == 0xD ? 2 : 1;
      if (!count || *count > static_cast<uint64_t>(end_ - at) / refSize_ / refs) {
        return std::nullopt;
      }
      for (uint64_t i = 0; i < *count * refs; ++i) {
        const auto child = number(at + static_cast<qsizetype>(i) * refSize_, refSize_);
        if (!child || *child >= objectCount_) {
          return std::nullopt;
        }
        if (type == 0xD && i < *count && !isUsableKey(*child)) {
          return std::nullopt;
        }
        const std::optional<Visit> below = visit(*child, depth + 1);
        if (!below) {
          return std::nullopt;
        }
        result.nodes += below->nodes;
        result.height = std::max(result.height, below->height + 1);
        if (result.nodes > limits_.maxNodes) {
          return std::nullopt;
        }
      }
    }
    done_[object] = result;
    return result;
  }

  QByteArrayView data_;
  uint8_t offsetSize_ = 0;
  uint8_t refSize_ = 0;
  uint64_t objectCount_ = 0;
  uint64_t top_ = 0;
  qsizetype table_ = 0;
  qsizetype end_ = 0;
  PropertyListShape::Limits limits_;
  std::vector<Visit> done_;
};

}  // namespace

bool PropertyListShape::isParseable(QByteArrayView data, const Limits& limits) {
  if (!data.startsWith(kBinaryMagic)) {
    return isXmlParseable(data, limits.maxHeight);
  }
  BinaryList list(data);
  return list.readTrailer() && list.check(limits);
}
