#include "platform/PropertyList.h"

#include "platform/BoundedRead.h"
#include "platform/PropertyListShape.h"

#include <QDateTime>
#include <QTimeZone>

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Seconds between the Unix epoch and the property-list epoch, 2001-01-01 00:00:00 UTC.
constexpr qint64 kPlistEpochOffset = 978307200;

QString takeString(char* text) {
  QString result = QString::fromUtf8(text);
  std::free(text);
  return result;
}

std::optional<QVariant> toVariant(plist_t node, int depth);

std::optional<QVariant> dictionaryToVariant(plist_t node, int depth) {
  QVariantMap map;
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(node, &it);
  bool ok = true;
  while (ok) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(node, it, &key, &value);
    if (key == nullptr) {
      break;
    }
    const QString name = takeString(key);
    const auto converted = toVariant(value, depth + 1);
    ok = converted.has_value();
    if (ok) {
      map.insert(name, *converted);
    }
  }
  std::free(it);
  if (!ok) {
    return std::nullopt;
  }
  return QVariant(map);
}

// Deeply nested documents are refused instead of exhausting the stack.
constexpr int kMaxDepth = 64;

std::optional<QVariant> toVariant(plist_t node, int depth) {
  if (node == nullptr || depth > kMaxDepth) {
    return std::nullopt;
  }
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return QVariant(value != 0);
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      // libplist 2.2 keeps negative integers as their two's complement.
      return QVariant(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return QVariant(value);
    }
    case PLIST_STRING: {
      // plist_get_string_val aborts on a binary list's string that holds a NUL byte.
      uint64_t length = 0;
      const char* value = plist_get_string_ptr(node, &length);
      return QVariant(QString::fromUtf8(value, static_cast<qsizetype>(length)));
    }
    case PLIST_DATA: {
      char* value = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &value, &length);
      QByteArray bytes(value, static_cast<qsizetype>(length));
      std::free(value);
      return QVariant(bytes);
    }
    case PLIST_DATE: {
      int32_t seconds = 0;
      int32_t micros = 0;
      plist_get_date_val(node, &seconds, &micros);
      const qint64 msecs = (kPlistEpochOffset + seconds) * 1000 + micros / 1000;
      return QVariant(QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc()));
    }
    case PLIST_ARRAY: {
      QVariantList list;
      const uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) {
        auto item = toVariant(plist_array_get_item(node, i), depth + 1);
        if (!item) {
          return std::nullopt;
        }
        list.append(*item);
      }
      return QVariant(list);
    }
    case PLIST_DICT:
      return dictionaryToVariant(node, depth);
    default:
      return std::nullopt;
  }
}

PlistPtr fromVariant(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      return PlistPtr(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
      return PlistPtr(plist_new_uint(static_cast<uint64_t>(value.toLongLong())));
    case QMetaType::Double:
      return PlistPtr(plist_new_real(value.toDouble()));
    case QMetaType::QByteArray: {
      const QByteArray bytes = value.toByteArray();
      return PlistPtr(plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size())));
    }
    case QMetaType::QVariantList: {
      PlistPtr array(plist_new_array());
      for (const QVariant& item : value.toList()) {
        plist_array_append_item(array.get(), fromVariant(item).release());
      }
      return array;
    }
    case QMetaType::QVariantMap: {
      PlistPtr dict(plist_new_dict());
      const QVariantMap map = value.toMap();
      for (auto it = map.cbegin(); it != map.cend(); ++it) {
        plist_dict_set_item(dict.get(), it.key().toUtf8().constData(),
                            fromVariant(it.value()).release());
      }
      return dict;
    }
    default:
      return PlistPtr(plist_new_string(value.toString().toUtf8().constData()));
  }
}

}  // namespace

namespace PropertyList {

std::optional<QVariant> fromData(const QByteArray& data) {
  if (data.isEmpty() || data.size() > kMaxFileSize) {
    return std::nullopt;
  }
  // A binary list made only of distinct values holds fewer nodes than bytes; one that
  // shares its containers may describe far more, which libplist would copy out.
  const PropertyListShape::Limits limits{
      kMaxDepth + 1, std::max<uint64_t>(uint64_t{1} << 16U, static_cast<uint64_t>(data.size()))};
  if (!PropertyListShape::isParseable(data, limits)) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
  const PlistPtr owner(root);
  return toVariant(root, 0);
}

std::optional<QVariant> readFile(const QString& path) {
  const auto data = readFileAtMost(path, kMaxFileSize);
  return data ? fromData(*data) : std::nullopt;
}

std::optional<QVariantMap> readDictionaryFile(const QString& path) {
  const auto value = readFile(path);
  if (!value || value->typeId() != QMetaType::QVariantMap) {
    return std::nullopt;
  }
  return value->toMap();
}

QByteArray toXml(const QVariant& value) {
  const PlistPtr root = fromVariant(value);
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root.get(), &xml, &length);
  QByteArray result(xml, static_cast<qsizetype>(length));
  std::free(xml);
  return result;
}

}  // namespace PropertyList
