#include "app/service/FirmwareDemand.h"

#include "app/service/ApplicationVersionCode.h"
#include "app/service/KvoIBProtocolDecoder.h"
#include "app/service/UpdateXmlTag.h"

#include <array>

namespace {

using Tag = UpdateXmlTag;

KvoIBProtocolNodePtr element(Tag tag, const QString& text) {
  return KvoIBProtocolNode::nodeWithName(tagName(tag), text);
}

// Optional sign, then digits only, within the signed 64-bit range; anything else gives 0.
int64_t fileSizeValue(const QString& text) {
  QStringView digits(text);
  if (digits.startsWith(u'+') || digits.startsWith(u'-')) {
    digits = digits.mid(1);
  }
  if (digits.isEmpty() ||
      !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
    return 0;
  }
  bool ok = false;
  const qlonglong value = text.toLongLong(&ok);
  return ok ? value : 0;
}

}  // namespace

FirmwareDemand::FirmwareDemand() : FirmwareDemand(applicationVersionCode()) {}

FirmwareDemand::FirmwareDemand(QString versionCode) : applicationVersion(std::move(versionCode)) {}

KvoIBProtocolNodePtr FirmwareDemand::makeDemandNode(const QString& language,
                                                    const QString& countryCode,
                                                    const QString& modelCode,
                                                    const QString& firmwareVersion,
                                                    const QDateTime& now) const {
  auto root = KvoIBProtocolNode::nodeWithName(tagName(Tag::firmwareDemand));
  root->addChildNode(element(Tag::revision, revision));
  root->addChildNode(element(Tag::macAddress, macAddress));
  // Digits only, whatever the user's locale writes numbers with.
  root->addChildNode(
      element(Tag::time, QLocale::c().toString(now, QStringLiteral("yyyyMMddHHmmss"))));
  root->addChildNode(element(Tag::language, language));
  root->addChildNode(element(Tag::application, application));
  root->addChildNode(element(Tag::type, type));
  root->addChildNode(element(Tag::version, applicationVersion));
  root->addChildNode(element(Tag::os, os));
  root->addChildNode(element(Tag::countryCode, countryCode));

  auto hardwares = KvoIBProtocolNode::nodeWithName(tagName(Tag::hardwares));
  hardwares->addChildNode(element(Tag::firmupMode, firmupMode));
  auto hardwareInfo = KvoIBProtocolNode::nodeWithName(tagName(Tag::hardwareInfo));
  hardwareInfo->addChildNode(
      element(Tag::hardCode, QStringLiteral("KVOE") + modelCode + QStringLiteral("00000000")));
  hardwareInfo->addChildNode(element(
      Tag::firmwareVersion,
      firmwareVersion.size() == 4 ? QStringLiteral("0000") + firmwareVersion : firmwareVersion));
  hardwareInfo->addChildNode(
      KvoIBProtocolNode::nodeWithName(tagName(Tag::serialNo), QStringLiteral("000000000"), true));
  hardwares->addChildNode(hardwareInfo);
  root->addChildNode(hardwares);
  return root;
}

std::optional<FirmwareInfo> FirmwareDemand::parseFirmwareResult(const QByteArray& data) const {
  KvoIBProtocolDecoder decoder;
  const KvoIBProtocolNodePtr root = decoder.rootNodeWithXMLData(data);
  if (!root || root->name() != tagName(Tag::firmwareResult)) {
    return std::nullopt;
  }
  const KvoIBProtocolNodePtr firmwares = root->childNodeWithName(tagName(Tag::firmwares));
  if (!firmwares) {
    return std::nullopt;
  }
  // Only the first offer of an answer is read.
  const KvoIBProtocolNodePtr info = firmwares->childNodeWithName(tagName(Tag::firmwareInfo));
  if (!info) {
    return std::nullopt;
  }
  const auto text = [&info](Tag tag) {
    const KvoIBProtocolNodePtr child = info->childNodeWithName(tagName(tag));
    return child ? child->text().value_or(QString()) : QString();
  };

  FirmwareInfo result;
  result.makerCode = text(Tag::makerCode);
  result.modelName = text(Tag::modelName);
  result.modelID = text(Tag::modelID);
  result.hardwareKind = text(Tag::hardwareKind);
  result.version = text(Tag::version);
  if (result.version.size() > 4) {
    result.version = result.version.right(4);
  }
  result.fileName = text(Tag::fileName);
  result.fileSize = fileSizeValue(text(Tag::fileSize));
  result.fileURL = text(Tag::url);
  result.updateDate = text(Tag::upDate);
  result.comment = text(Tag::comment);
  result.detailURL = text(Tag::detailURL);
  result.extensionComment = text(Tag::extensionComment);
  return result;
}
