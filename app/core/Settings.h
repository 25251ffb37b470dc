#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The machine-wide settings file "Velmora/UseTestServer.plist" under the first system
// configuration folder. Every key is optional and a value of the wrong type counts as
// absent. The file is read afresh at each use and never written.
class Settings final {
 public:
  static constexpr auto kEnableLog = "dvr_update_enable_log";
  static constexpr auto kServer = "dvr_update_server";
  static constexpr auto kModelID = "dvr_update_model_id";
  static constexpr auto kFirmwareVersion = "dvr_update_fwver";
  static constexpr auto kLocalModeDataDir = "dvr_update_localmode_data_dir";
  // Our own: the connection-check page, and extra trusted CA certificates (PEM) for a
  // private update server.
  static constexpr auto kCheckURL = "dvr_update_check_url";
  static constexpr auto kCAFile = "dvr_update_ca_file";

  explicit Settings(QVariantMap values = {}) : values_(std::move(values)) {}

  static QString filePath();
  // No settings (empty) when the file is missing, unreadable or not a dictionary.
  static Settings read();
  static Settings read(const QString& path);

  bool isEmpty() const { return values_.isEmpty(); }
  std::optional<bool> enableLog() const;
  std::optional<QString> server() const { return string(kServer); }
  std::optional<QString> modelID() const { return string(kModelID); }
  std::optional<QString> firmwareVersion() const { return string(kFirmwareVersion); }
  std::optional<QString> checkURL() const { return string(kCheckURL); }
  // Paths with a leading "~" expanded to the user's home folder.
  std::optional<QString> localModeDataDir() const { return path(kLocalModeDataDir); }
  std::optional<QString> caFile() const { return path(kCAFile); }

 private:
  std::optional<QString> string(const char* key) const;
  std::optional<QString> path(const char* key) const;

  QVariantMap values_;
};
