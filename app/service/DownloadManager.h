#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/device/AudioDevice.h"
#include "app/service/NetworkError.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The role through which all network traffic goes: the connection check, the
// update-information request, the package download, and the local-mode files that stand in
// for the server. The asynchronous operations return at once and call their completion
// later on the implementation's own queue; callers switch threads themselves.
class DownloadManager {
 public:
  using ConnectionCompletion = std::function<void(bool connected)>;
  using DataCompletion =
      std::function<void(std::optional<QByteArray> data, std::optional<NetworkError> error)>;

  virtual ~DownloadManager() = default;

  // Bytes the running (or last) download expects in total, -1 when the server sends no
  // length, and bytes received so far; safe to read from any thread.
  virtual int64_t firmwareSizeAct() const = 0;
  virtual int64_t downloadedSizeAct() const = 0;
  virtual std::optional<QDateTime> startDate() const = 0;

  // The settings file's "dvr_update_model_id", else the model number as "%04d".
  virtual QString requestModelCode(const AudioDevice& device) const;
  // The settings file's "dvr_update_fwver", else the recorder's version code.
  virtual QString requestFirmwareVersion(const AudioDevice& device) const;
  // "Response.xml" in the local-mode data directory's "%X" subdirectory of the device ID.
  virtual std::optional<QByteArray> localUpdateResponse(const AudioDevice& device) const;
  // The package that answer names, in the same subdirectory.
  virtual std::optional<QByteArray> localUpdateFirmware(const AudioDevice& device) const;

  virtual void checkConnection(ConnectionCompletion completion) = 0;
  virtual void requestUpdateInfo(const QByteArray& body, DataCompletion completion) = 0;
  // Does nothing at all while a download is running.
  virtual void downloadFirmware(const FirmwareInfo& firmwareInfo, DataCompletion completion) = 0;
  virtual void cancelDownload() = 0;

 protected:
  DownloadManager() = default;
  DownloadManager(const DownloadManager&) = default;
  DownloadManager& operator=(const DownloadManager&) = default;
};
