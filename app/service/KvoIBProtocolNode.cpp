#include "app/service/KvoIBProtocolNode.h"

#include "app/localize/CMStringUtility.h"
#include "platform/PropertyList.h"

#include <limits>

namespace {

// strtol-like: leading white space, an optional sign, then digits up to the first other
// character; saturates at the limits of T and gives 0 without digits.
template <typename T>
T scanDecimal(QStringView text) {
  qsizetype at = 0;
  while (at < text.size() && text[at].isSpace()) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
    negative = text[at] == u'-';
    ++at;
  }
  // Accumulate towards the sign's own limit so that the minimum is reachable.
  T value = 0;
  constexpr T kMax = std::numeric_limits<T>::max();
  constexpr T kMin = std::numeric_limits<T>::min();
  for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
    const T digit = static_cast<T>(text[at].unicode() - u'0');
    if (negative) {
      if (value < (kMin + digit) / 10) {
        return kMin;
      }
      value = static_cast<T>(value * 10 - digit);
    } else {
      if (value > (kMax - digit) / 10) {
        return kMax;
      }
      value = static_cast<T>(value * 10 + digit);
    }
  }
  return value;
}

QVariantMap stringMapToVariant(const QMap<QString, QString>& map) {
  QVariantMap result;
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    result.insert(it.key(), it.value());
  }
  return result;
}

}  // namespace

KvoIBProtocolNodePtr KvoIBProtocolNode::nodeWithName(const QString& name) {
  auto node = std::make_shared<KvoIBProtocolNode>();
  node->name_ = name;
  return node;
}

KvoIBProtocolNodePtr KvoIBProtocolNode::nodeWithName(const QString& name, const QString& text,
                                                     bool escapeCharacters) {
  auto node = nodeWithName(name);
  node->text_ =
      escapeCharacters ? CMStringUtility::stringByReplacingHTMLSpecialCharacters(text) : text;
  return node;
}

void KvoIBProtocolNode::addChildNode(const KvoIBProtocolNodePtr& node) {
  if (!node) {
    return;
  }
  childNodeArray_.append(node);
  node->parentNode_ = weak_from_this();
}

KvoIBProtocolNodePtr KvoIBProtocolNode::childNodeWithName(const QString& name) const {
  for (const KvoIBProtocolNodePtr& child : childNodeArray_) {
    if (child->name_ == name) {
      return child;
    }
  }
  return nullptr;
}

QList<KvoIBProtocolNodePtr> KvoIBProtocolNode::childNodeArrayWithName(const QString& name) const {
  QList<KvoIBProtocolNodePtr> result;
  for (const KvoIBProtocolNodePtr& child : childNodeArray_) {
    if (child->name_ == name) {
      result.append(child);
    }
  }
  return result;
}

QList<KvoIBProtocolNodePtr> KvoIBProtocolNode::childNodeArrayWithName(
    const QString& name, const QString& attributeName, const QString& attributeValue) const {
  QList<KvoIBProtocolNodePtr> result;
  for (const KvoIBProtocolNodePtr& child : childNodeArrayWithName(name)) {
    const auto it = child->attributes_.constFind(attributeName);
    if (it != child->attributes_.cend() && *it == attributeValue) {
      result.append(child);
    }
  }
  return result;
}

int32_t KvoIBProtocolNode::intValue() const { return text_ ? scanDecimal<int32_t>(*text_) : 0; }

int64_t KvoIBProtocolNode::int64Value() const { return text_ ? scanDecimal<int64_t>(*text_) : 0; }

std::optional<QDateTime> KvoIBProtocolNode::dateValue() const {
  if (!text_) {
    return std::nullopt;
  }
  const QStringList parts = text_->split(QLatin1Char(' '));
  if (parts.isEmpty() || parts.first().size() < 8) {
    return std::nullopt;
  }
  const QStringView day(parts.first());
  const QDate date(scanDecimal<int32_t>(day.mid(0, 4)), scanDecimal<int32_t>(day.mid(4, 2)),
                   scanDecimal<int32_t>(day.mid(6, 2)));
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (parts.size() > 1) {
    const QStringList time = parts[1].split(QLatin1Char(':'));
    hour = scanDecimal<int32_t>(time[0]);
    minute = time.size() > 1 ? scanDecimal<int32_t>(time[1]) : 0;
    second = time.size() > 2 ? scanDecimal<int32_t>(time[2]) : 0;
  }
  const QTime clock(hour, minute, second);
  // Out-of-range components give no date rather than one rolled over into another day.
  if (!date.isValid() || !clock.isValid()) {
    return std::nullopt;
  }
  return QDateTime(date, clock, Qt::LocalTime);
}

QVariantMap KvoIBProtocolNode::keyedArchive() const {
  QVariantList children;
  for (const KvoIBProtocolNodePtr& child : childNodeArray_) {
    children.append(child->keyedArchive());
  }
  QVariantMap archive{{QStringLiteral("childNodeArray"), children},
                      {QStringLiteral("attributes"), stringMapToVariant(attributes_)}};
  if (name_) {
    archive.insert(QStringLiteral("name"), *name_);
  }
  if (text_) {
    archive.insert(QStringLiteral("text"), *text_);
  }
  if (cdata_) {
    archive.insert(QStringLiteral("CDATA"), *cdata_);
  }
  if (attributesOrder_) {
    QVariantList order;
    for (const QString& name : *attributesOrder_) {
      order.append(name);
    }
    archive.insert(QStringLiteral("attributesOrder"), order);
  }
  return archive;
}

KvoIBProtocolNodePtr KvoIBProtocolNode::nodeWithKeyedArchive(const QVariant& archive) {
  return nodeWithKeyedArchive(archive, 0);
}

KvoIBProtocolNodePtr KvoIBProtocolNode::nodeWithKeyedArchive(const QVariant& archive, int depth) {
  if (archive.typeId() != QMetaType::QVariantMap || depth >= kMaxDepth) {
    return nullptr;
  }
  const QVariantMap map = archive.toMap();
  const auto stringValue = [&map](const QString& key) -> std::optional<QString> {
    const QVariant value = map.value(key);
    return value.typeId() == QMetaType::QString ? std::optional(value.toString()) : std::nullopt;
  };
  auto node = std::make_shared<KvoIBProtocolNode>();
  node->name_ = stringValue(QStringLiteral("name"));
  node->text_ = stringValue(QStringLiteral("text"));
  const QVariant cdata = map.value(QStringLiteral("CDATA"));
  if (cdata.typeId() == QMetaType::QByteArray) {
    node->cdata_ = cdata.toByteArray();
  }
  const QVariantMap attributes = map.value(QStringLiteral("attributes")).toMap();
  for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
    if (it.value().typeId() == QMetaType::QString) {
      node->attributes_.insert(it.key(), it.value().toString());
    }
  }
  const QVariant order = map.value(QStringLiteral("attributesOrder"));
  if (order.typeId() == QMetaType::QVariantList || order.typeId() == QMetaType::QStringList) {
    node->attributesOrder_ = order.toStringList();
  }
  for (const QVariant& item : map.value(QStringLiteral("childNodeArray")).toList()) {
    KvoIBProtocolNodePtr child = nodeWithKeyedArchive(item, depth + 1);
    if (!child) {
      return nullptr;
    }
    node->addChildNode(child);
  }
  return node;
}

QByteArray KvoIBProtocolNode::keyedArchiveData() const {
  return PropertyList::toXml(keyedArchive());
}

KvoIBProtocolNodePtr KvoIBProtocolNode::nodeWithKeyedArchiveData(const QByteArray& data) {
  const std::optional<QVariant> archive = PropertyList::fromData(data);
  return archive ? nodeWithKeyedArchive(*archive) : nullptr;
}
