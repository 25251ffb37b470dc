#include "app/service/NetworkError.h"

QString NetworkError::kindName() const {
  switch (kind_) {
    case Kind::generalError:
      return QStringLiteral("generalError");
    case Kind::httpError:
      return QStringLiteral("httpError");
    case Kind::nsError:
      return QStringLiteral("nsError");
    case Kind::notConnected:
      return QStringLiteral("notConnected");
    case Kind::userCancelled:
      return QStringLiteral("userCancelled");
    case Kind::localUpdateFirmwareNotFound:
      return QStringLiteral("localUpdateFirmwareNotFound");
  }
  return {};
}

QString NetworkError::detail() const {
  switch (kind_) {
    case Kind::generalError:
      return text_;
    case Kind::httpError:
      return status_ == 200 ? QStringLiteral("Unknown") : QStringLiteral("HTTP %1").arg(status_);
    case Kind::nsError:
      return domain_ + QLatin1Char(',') + QString::number(code_);
    case Kind::localUpdateFirmwareNotFound:
      return QStringLiteral("The firmware is not found.");
    case Kind::notConnected:
    case Kind::userCancelled:
      break;
  }
  return {};
}
