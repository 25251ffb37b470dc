#pragma once

#include <QString>

// The error of the update service client.
class NetworkError final {
 public:
  enum class Kind {
    generalError,  // text
    httpError,     // HTTP status
    nsError,       // transport error: domain, code and description
    notConnected,
    userCancelled,
    localUpdateFirmwareNotFound,
  };

  static NetworkError generalError(const QString& text) {
    NetworkError error(Kind::generalError);
    error.text_ = text;
    return error;
  }
  static NetworkError httpError(int status) {
    NetworkError error(Kind::httpError);
    error.status_ = status;
    return error;
  }
  static NetworkError nsError(const QString& domain, int code, const QString& description) {
    NetworkError error(Kind::nsError);
    error.domain_ = domain;
    error.code_ = code;
    error.text_ = description;
    return error;
  }
  static NetworkError notConnected() { return NetworkError(Kind::notConnected); }
  static NetworkError userCancelled() { return NetworkError(Kind::userCancelled); }
  static NetworkError localUpdateFirmwareNotFound() {
    return NetworkError(Kind::localUpdateFirmwareNotFound);
  }

  Kind kind() const { return kind_; }
  // The text of generalError, the localised description of nsError.
  QString text() const { return text_; }
  int status() const { return status_; }
  QString domain() const { return domain_; }
  int code() const { return code_; }

  // "generalError", "httpError", ...
  QString kindName() const;
  // The detail an alert shows for it; empty for the cases that show no server alert.
  QString detail() const;

  friend bool operator==(const NetworkError&, const NetworkError&) = default;

 private:
  explicit NetworkError(Kind kind) : kind_(kind) {}

  Kind kind_;
  QString text_;
  int status_ = 0;
  QString domain_;
  int code_ = 0;
};
