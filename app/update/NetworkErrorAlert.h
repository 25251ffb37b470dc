#pragma once

#include "app/service/NetworkError.h"

#include <QString>

class UserInterface;

// The one place where service-client errors become alerts.
class NetworkErrorAlert final {
 public:
  explicit NetworkErrorAlert(UserInterface& userInterface) : userInterface_(userInterface) {}

  // The alert for `error`; `retry` becomes true only when the user chose Retry (the internet
  // alert). A cancelled download shows nothing.
  void report(const NetworkError& error, bool& retry);
  // "ID_ERR_INTERNET_COMMUNICATION" with Retry and Cancel; `retry` is left unchanged when the
  // alert cannot be shown.
  void showInternetError(bool& retry);
  // "ID_ERR_SERVER_COMMUNICATION" filled with the detail, with OK only.
  void showServerError(const QString& detail);

 private:
  UserInterface& userInterface_;
};
