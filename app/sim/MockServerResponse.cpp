#include "app/sim/MockServerResponse.h"

#include "app/service/ServiceLimits.h"
#include "platform/BoundedRead.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>
#include <limits>

namespace {

const QLatin1String kFileScheme("file://");

bool isFileAddress(const QString& address) {
  return address.startsWith(kFileScheme, Qt::CaseInsensitive);
}

}  // namespace

std::optional<MockServerResponse> MockServerResponse::fromVariant(const QVariant& value) {
  if (value.typeId() != QMetaType::QVariantMap) {
    return std::nullopt;
  }
  const QVariantMap map = value.toMap();
  auto info = FirmwareInfo::fromKeyedArchive(map.value(QStringLiteral("firmwareInfo")));
  const QVariant status = map.value(QStringLiteral("httpStatusCode"));
  if (!info || status.typeId() != QMetaType::LongLong) {
    return std::nullopt;
  }
  const qlonglong code = status.toLongLong();
  if (code < std::numeric_limits<int>::min() || code > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return MockServerResponse{std::move(*info), static_cast<int>(code)};
}

std::optional<MockServerResponse> MockServerResponse::readFile(const QString& path) {
  const std::optional<QVariant> root = PropertyList::readFile(path);
  if (!root) {
    return std::nullopt;
  }
  auto response = fromVariant(*root);
  if (!response) {
    return std::nullopt;
  }
  QString& address = response->firmwareInfo.fileURL;
  if (isFileAddress(address)) {
    // "file://firmware.zip" reads as a host name to a URL parser; the text after the scheme
    // is the path, percent-encoded as in any file address.
    const QString rest = QUrl::fromPercentEncoding(address.mid(kFileScheme.size()).toUtf8());
    if (!rest.startsWith(QLatin1Char('/'))) {
      const QString folder = QFileInfo(path).absolutePath();
      address = QUrl::fromLocalFile(QDir::cleanPath(QDir(folder).filePath(rest))).toString();
    }
  }
  return response;
}

std::optional<QString> MockServerResponse::packagePath() const {
  if (!isFileAddress(firmwareInfo.fileURL)) {
    return std::nullopt;
  }
  const QUrl url(firmwareInfo.fileURL);
  if (!url.isLocalFile()) {
    return std::nullopt;
  }
  return url.toLocalFile();
}

std::optional<QByteArray> MockServerResponse::packageData() const {
  if (httpStatusCode != 200) {
    return std::nullopt;
  }
  if (const std::optional<QString> path = packagePath()) {
    return readFileAtMost(*path, ServiceLimits::kMaxPackageSize);
  }
  if (firmwareInfo.fileSize > ServiceLimits::kMaxPackageSize) {
    return std::nullopt;
  }
  return QByteArray(std::max<qsizetype>(firmwareInfo.fileSize, 0), '\0');
}
