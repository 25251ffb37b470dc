#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>

class KvoIBProtocolNode;
using KvoIBProtocolNodePtr = std::shared_ptr<KvoIBProtocolNode>;

// One element of an update-service document: children, attributes and text. A node owns its
// children; a child refers to its parent without owning it.
class KvoIBProtocolNode final : public std::enable_shared_from_this<KvoIBProtocolNode> {
 public:
  // Deeper trees are refused when read, so that neither reading nor releasing a tree can
  // exhaust the stack.
  static constexpr int kMaxDepth = 256;

  KvoIBProtocolNode() = default;
  KvoIBProtocolNode(const KvoIBProtocolNode&) = delete;
  KvoIBProtocolNode& operator=(const KvoIBProtocolNode&) = delete;

  static KvoIBProtocolNodePtr nodeWithName(const QString& name);
  static KvoIBProtocolNodePtr nodeWithName(const QString& name, const QString& text,
                                           bool escapeCharacters = false);

  // Appends the node and makes the receiver its parent; none is ignored.
  void addChildNode(const KvoIBProtocolNodePtr& node);
  KvoIBProtocolNodePtr childNodeWithName(const QString& name) const;
  QList<KvoIBProtocolNodePtr> childNodeArrayWithName(const QString& name) const;
  QList<KvoIBProtocolNodePtr> childNodeArrayWithName(const QString& name,
                                                     const QString& attributeName,
                                                     const QString& attributeValue) const;

  // The text as a decimal number, saturating at the type's limits; 0 without digits.
  int32_t intValue() const;
  int64_t int64Value() const;
  // "yyyyMMdd[ HH[:mm[:ss]]]" in local time, or none.
  std::optional<QDateTime> dateValue() const;

  KvoIBProtocolNodePtr parentNode() const { return parentNode_.lock(); }
  void setParentNode(const KvoIBProtocolNodePtr& parent) { parentNode_ = parent; }
  const QList<KvoIBProtocolNodePtr>& childNodeArray() const { return childNodeArray_; }
  void setChildNodeArray(QList<KvoIBProtocolNodePtr> children) {
    childNodeArray_ = std::move(children);
  }
  const QMap<QString, QString>& attributes() const { return attributes_; }
  QMap<QString, QString>& attributes() { return attributes_; }
  void setAttributes(QMap<QString, QString> attributes) { attributes_ = std::move(attributes); }
  const std::optional<QString>& name() const { return name_; }
  void setName(std::optional<QString> name) { name_ = std::move(name); }
  const std::optional<QString>& text() const { return text_; }
  void setText(std::optional<QString> text) { text_ = std::move(text); }
  const std::optional<QByteArray>& CDATA() const { return cdata_; }
  void setCDATA(std::optional<QByteArray> data) { cdata_ = std::move(data); }
  const std::optional<QStringList>& attributesOrder() const { return attributesOrder_; }
  void setAttributesOrder(std::optional<QStringList> order) { attributesOrder_ = std::move(order); }

  // The keyed archive form: a dictionary with "childNodeArray", "attributes", "name", "text"
  // and, when present, "CDATA" and "attributesOrder". Property lists hold no null value, so an
  // absent name or text is left out rather than written.
  QVariantMap keyedArchive() const;
  static KvoIBProtocolNodePtr nodeWithKeyedArchive(const QVariant& archive);
  QByteArray keyedArchiveData() const;
  static KvoIBProtocolNodePtr nodeWithKeyedArchiveData(const QByteArray& data);

 private:
  static KvoIBProtocolNodePtr nodeWithKeyedArchive(const QVariant& archive, int depth);

  std::weak_ptr<KvoIBProtocolNode> parentNode_;
  QList<KvoIBProtocolNodePtr> childNodeArray_;
  QMap<QString, QString> attributes_;
  std::optional<QString> name_;
  std::optional<QString> text_;
  std::optional<QByteArray> cdata_;
  std::optional<QStringList> attributesOrder_;
};
