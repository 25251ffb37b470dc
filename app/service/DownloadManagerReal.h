#pragma once

#include "app/service/DownloadManager.h"
#include "app/service/SessionQueue.h"

#include <QList>
#include <QSslCertificate>
#include <QUrl>

#include <memory>
#include <mutex>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The update service client over Qt Network. Every transfer runs on the manager's own
// session queue, where every completion is called. Certificates are always verified, against
// the system's trusted authorities plus those of the configuration and of the settings
// file's "dvr_update_ca_file".
class DownloadManagerReal final : public DownloadManager {
 public:
  static constexpr auto kUpdateInfoPath = "/ww_inform/fcache.do";
  static constexpr auto kConnectionCheckPath = "/soft/qx20/check/index.html";

  struct Configuration {
    QUrl updateInfoURL;       // replaced by the settings file's "dvr_update_server"
    QUrl connectionCheckURL;  // replaced by the settings file's "dvr_update_check_url"
    QString caFile;           // extra trusted CA certificates (PEM); empty for none
    // Seconds without progress before a transfer fails, and the whole connection check's limit.
    double timeout = 120.0;
    // The same for the update-information request, and its whole exchange's limit.
    double requestTimeout = 60.0;

    // The built-in service addresses.
    static Configuration builtIn();
  };

  DownloadManagerReal();
  explicit DownloadManagerReal(Configuration configuration);
  DownloadManagerReal(const DownloadManagerReal&) = delete;
  DownloadManagerReal& operator=(const DownloadManagerReal&) = delete;
  // Abandons running transfers; their completions are not called.
  ~DownloadManagerReal() override;

  int64_t firmwareSizeAct() const override;
  int64_t downloadedSizeAct() const override;
  std::optional<QDateTime> startDate() const override;

  void checkConnection(ConnectionCompletion completion) override;
  void requestUpdateInfo(const QByteArray& body, DataCompletion completion) override;
  void downloadFirmware(const FirmwareInfo& firmwareInfo, DataCompletion completion) override;
  void cancelDownload() override;

  // The update-information addresses tried in turn: the settings file's server when it is a
  // usable address, else the configured one.
  QList<QUrl> updateInfoAddresses() const;
  QUrl connectionCheckURL() const;

 private:
  struct Download;

  // On the session queue.
  QNetworkAccessManager& session();
  void prepare(QNetworkRequest& request, double timeout);
  void sendRequest(QList<QUrl> addresses, qsizetype index, QByteArray body,
                   DataCompletion completion);
  void startDownload(const QUrl& url);
  void finishDownload(QNetworkReply* reply);

  Configuration configuration_;
  SessionQueue queue_;
  // Owned by the queue's thread; created there on first use and deleted there.
  QNetworkAccessManager* session_ = nullptr;
  QList<QSslCertificate> extraCertificates_;

  mutable std::mutex lock_;
  int64_t firmwareSizeAct_ = 0;
  int64_t downloadedSizeAct_ = 0;
  std::optional<QDateTime> startDate_;
  bool downloading_ = false;  // from downloadFirmware until its completion is due
  bool isCancelled_ = false;
  DataCompletion downloadCompletion_;
  std::unique_ptr<Download> download_;  // on the queue only
};
