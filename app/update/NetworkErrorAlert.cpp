#include "app/update/NetworkErrorAlert.h"

#include "app/localize/CMLocalize.h"
#include "app/update/UserInterface.h"

void NetworkErrorAlert::report(const NetworkError& error, bool& retry) {
  switch (error.kind()) {
    case NetworkError::Kind::notConnected:
      showInternetError(retry);
      return;
    case NetworkError::Kind::userCancelled:
      return;
    case NetworkError::Kind::generalError:
    case NetworkError::Kind::httpError:
    case NetworkError::Kind::nsError:
    case NetworkError::Kind::localUpdateFirmwareNotFound:
      showServerError(error.detail());
      return;
  }
}

void NetworkErrorAlert::showInternetError(bool& retry) {
  const std::optional<int> code = userInterface_.runAlert(
      {CMLocalize::localizedString(QStringLiteral("ID_ERR_INTERNET_COMMUNICATION")),
       CMLocalize::localizedString(QStringLiteral("ID_RETRY")),
       CMLocalize::localizedString(QStringLiteral("ID_CANCEL")), std::nullopt});
  if (code) {
    retry = *code == 1;
  }
}

void NetworkErrorAlert::showServerError(const QString& detail) {
  const auto table = CMLocalize::shared();
  const QString format = table ? table->getLocalizedStringWithReplaceEscape(
                                     QStringLiteral("ID_ERR_SERVER_COMMUNICATION"))
                               : QString();
  userInterface_.runAlert({CMLocalize::formatWithStrings(format, {detail}),
                           CMLocalize::localizedString(QStringLiteral("ID_OK")), std::nullopt,
                           std::nullopt});
}
