#include "app/service/DownloadManagerReal.h"

#include "app/core/Logger.h"
#include "app/core/Settings.h"
#include "app/service/ServiceLimits.h"
#include "platform/TaskReceiver.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>
#include <chrono>

struct DownloadManagerReal::Download {
  QNetworkReply* reply = nullptr;
  QByteArray data;
  bool tooLarge = false;
};

namespace {

bool isUsableAddress(const QUrl& url) {
  return url.isValid() && !url.host().isEmpty() &&
         (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

std::optional<QUrl> usableAddress(const std::optional<QString>& text) {
  if (!text) {
    return std::nullopt;
  }
  const QUrl url(*text, QUrl::StrictMode);
  return isUsableAddress(url) ? std::optional(url) : std::nullopt;
}

// A package comes over HTTPS. Plain HTTP only from the host of an update server that the
// settings file itself sets to a plain-HTTP address (a test server the administrator chose):
// anyone on the path could swap a package sent in the clear.
bool isTrustedPackageAddress(const QUrl& url) {
  if (url.scheme() == QLatin1String("https")) {
    return true;
  }
  const std::optional<QUrl> server = usableAddress(Settings::read().server());
  return server && server->scheme() == QLatin1String("http") &&
         server->host().compare(url.host(), Qt::CaseInsensitive) == 0;
}

int httpStatus(const QNetworkReply* reply) {
  return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// Qt reports HTTP error statuses as reply errors too; those are answers, not transport
// failures, and are judged by their status.
bool isTransportError(const QNetworkReply* reply) {
  const int error = reply->error();
  if (error == QNetworkReply::NoError) {
    return false;
  }
  const bool httpLevel =
      (error >= QNetworkReply::ContentAccessDenied &&
       error <= QNetworkReply::UnknownContentError) ||
      error == QNetworkReply::ProtocolInvalidOperationError ||
      (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
  return !httpLevel || httpStatus(reply) == 0;
}

constexpr const char* kDeadlinePassed = "tarnwellDeadlinePassed";

// Ends `reply` as a time-out once `seconds` have passed, however the bytes come: the idle
// limit alone lets a server that trickles a byte now and then hold the exchange for ever.
void limitTo(QNetworkReply* reply, double seconds) {
  auto* deadline = new QTimer(reply);
  deadline->setSingleShot(true);
  QObject::connect(deadline, &QTimer::timeout, reply, [reply] {
    reply->setProperty(kDeadlinePassed, true);
    reply->abort();
  });
  deadline->start(std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000)));
}

bool deadlinePassed(const QNetworkReply* reply) {
  return reply->property(kDeadlinePassed).toBool();
}

NetworkError transportError(const QNetworkReply* reply) {
  if (deadlinePassed(reply)) {
    return NetworkError::nsError(QStringLiteral("QNetworkReply"), QNetworkReply::TimeoutError,
                                 QStringLiteral("The exchange took too long"));
  }
  return NetworkError::nsError(QStringLiteral("QNetworkReply"), static_cast<int>(reply->error()),
                               reply->errorString());
}

bool isSuccess(int status) { return status >= 200 && status <= 299; }

void log(const QString& message) {
  if (Logger::shared().isLoggerEnabled()) {
    Logger::shared().log(message);
  }
}

// Logs "\n" and the text when the bytes are UTF-8.
void logBody(const QByteArray& body) {
  if (!Logger::shared().isLoggerEnabled()) {
    return;
  }
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder.decode(body);
  if (!decoder.hasError()) {
    Logger::shared().log(QLatin1Char('\n') + text);
  }
}

// What Qt may receive ahead of the session thread's reading.
constexpr qint64 kReadAheadBytes = qint64{8} * 1024 * 1024;

// The package is taken from Qt in pieces of at least this size (the rest when the transfer
// ends): Qt hands it over in 4 KiB chunks, and every read sends word back to Qt's network
// thread that room is free, which made two thread hops per chunk.
constexpr qint64 kPackageReadBytes = qint64{1} * 1024 * 1024;

// Appends what the reply has; false when that would pass `limit`.
bool appendAvailable(QNetworkReply* reply, QByteArray& data, qint64 limit) {
  const qint64 available = reply->bytesAvailable();
  const qint64 needed = data.size() + available;
  if (needed > limit) {
    return false;
  }
  if (needed > data.capacity()) {
    data.reserve(std::min(limit, std::max(needed, data.capacity() * 2)));
  }
  const qsizetype old = data.size();
  data.resize(needed);
  const qint64 got = reply->read(data.data() + old, available);
  data.resize(old + std::max<qint64>(got, 0));
  return true;
}

}  // namespace

DownloadManagerReal::Configuration DownloadManagerReal::Configuration::builtIn() {
  Configuration configuration;
  configuration.updateInfoURL =
      QUrl(QStringLiteral("https://" TARNWELL_FIRMWARE_HOST) + QLatin1String(kUpdateInfoPath));
  configuration.connectionCheckURL = QUrl(QStringLiteral("https://" TARNWELL_APPLICATION_HOST) +
                                          QLatin1String(kConnectionCheckPath));
  return configuration;
}

DownloadManagerReal::DownloadManagerReal() : DownloadManagerReal(Configuration::builtIn()) {}

DownloadManagerReal::DownloadManagerReal(Configuration configuration)
    : configuration_(std::move(configuration)), queue_(QStringLiteral("network session")) {
  // Callers hop back to the main thread through its receiver; made here, on the thread that
  // makes the manager, it exists before any completion on the session thread asks for it.
  if (QCoreApplication::instance() != nullptr) {
    TaskReceiver::main();
  }
}

DownloadManagerReal::~DownloadManagerReal() {
  queue_.sync([this] {
    download_.reset();
    // Its replies go with it, without finishing.
    delete session_;
    session_ = nullptr;
    // Session state is released on the session's thread, where it was made and used.
    extraCertificates_.clear();
  });
}

int64_t DownloadManagerReal::firmwareSizeAct() const {
  const std::lock_guard guard(lock_);
  return firmwareSizeAct_;
}

int64_t DownloadManagerReal::downloadedSizeAct() const {
  const std::lock_guard guard(lock_);
  return downloadedSizeAct_;
}

std::optional<QDateTime> DownloadManagerReal::startDate() const {
  const std::lock_guard guard(lock_);
  return startDate_;
}

QList<QUrl> DownloadManagerReal::updateInfoAddresses() const {
  const std::optional<QUrl> server = usableAddress(Settings::read().server());
  return {server.value_or(configuration_.updateInfoURL)};
}

QUrl DownloadManagerReal::connectionCheckURL() const {
  return usableAddress(Settings::read().checkURL()).value_or(configuration_.connectionCheckURL);
}

QNetworkAccessManager& DownloadManagerReal::session() {
  if (session_ == nullptr) {
    session_ = new QNetworkAccessManager;
    // Nothing is kept between runs: no disk cache, and cookies only in memory.
    session_->setCache(nullptr);
  }
  return *session_;
}

void DownloadManagerReal::prepare(QNetworkRequest& request, double timeout) {
  QList<QSslCertificate> extra;
  for (const QString& path :
       {configuration_.caFile, Settings::read().caFile().value_or(QString())}) {
    if (!path.isEmpty()) {
      extra += QSslCertificate::fromPath(path, QSsl::Pem);
    }
  }
  // A kept connection keeps the trust it was opened with.
  if (extra != extraCertificates_) {
    session().clearConnectionCache();
    extraCertificates_ = extra;
  }
  QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
  ssl.addCaCertificates(extra);
  ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
  request.setSslConfiguration(ssl);
  request.setTransferTimeout(static_cast<int>(timeout * 1000));
}

void DownloadManagerReal::checkConnection(ConnectionCompletion completion) {
  const QUrl url = connectionCheckURL();
  queue_.post([this, url, completion = std::move(completion)] {
    QNetworkRequest request(url);
    prepare(request, configuration_.timeout);
    QNetworkReply* reply = session().get(request);
    limitTo(reply, configuration_.timeout);
    // The page's content does not matter.
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [reply] { reply->skip(reply->bytesAvailable()); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, url, completion] {
      reply->deleteLater();
      const bool failed = isTransportError(reply);
      const int status = httpStatus(reply);
      const bool connected = !failed && isSuccess(status);
      log(QStringLiteral("CheckConnection: Status=%1, error=%2, URL=%3")
              .arg(status > 0 ? status : 400)
              .arg(failed ? transportError(reply).text() : QStringLiteral("none"), url.toString()));
      completion(connected);
    });
  });
}

void DownloadManagerReal::requestUpdateInfo(const QByteArray& body, DataCompletion completion) {
  QList<QUrl> addresses = updateInfoAddresses();
  queue_.post([this, addresses = std::move(addresses), body, completion = std::move(completion)] {
    sendRequest(addresses, 0, body, completion);
  });
}

void DownloadManagerReal::sendRequest(QList<QUrl> addresses, qsizetype index, QByteArray body,
                                      DataCompletion completion) {
  const QUrl address = addresses.value(index);
  QNetworkRequest request(address);
  prepare(request, configuration_.requestTimeout);
  request.setRawHeader("User-Agent", "QXSYSTEM");
  request.setRawHeader("Accept", "*/*");
  request.setRawHeader("Content-Type", "text/xml");
  log(QStringLiteral("Request: URL=%1").arg(address.toString()));
  logBody(body);

  QNetworkReply* reply = session().post(request, body);
  limitTo(reply, configuration_.requestTimeout);
  auto answer = std::make_shared<Download>();
  answer->reply = reply;
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [answer] {
    if (!appendAvailable(answer->reply, answer->data, ServiceLimits::kMaxAnswerSize)) {
      answer->tooLarge = true;
      answer->reply->abort();
    }
  });
  QObject::connect(
      reply, &QNetworkReply::finished, reply,
      [this, answer, addresses = std::move(addresses), index, body = std::move(body),
       completion = std::move(completion)] {
        QNetworkReply* done = answer->reply;
        done->deleteLater();
        if (!answer->tooLarge) {
          appendAvailable(done, answer->data, ServiceLimits::kMaxAnswerSize);
        }
        const int status = httpStatus(done);
        std::optional<NetworkError> error;
        QString description = QStringLiteral("none");
        if (answer->tooLarge) {
          error = NetworkError::generalError(QStringLiteral("Answer too large"));
          description = error->text();
        } else if (isTransportError(done)) {
          error = transportError(done);
          description = error->text();
        } else if (!isSuccess(status)) {
          error = NetworkError::httpError(status);
        }
        log(QStringLiteral("Response: HttpStatus=%1, Error=%2").arg(status).arg(description));
        std::optional<QByteArray> received;
        if (!answer->tooLarge && (status > 0 || !answer->data.isEmpty())) {
          received = answer->data;
          logBody(answer->data);
        }
        if (error && index + 1 < addresses.size()) {
          sendRequest(addresses, index + 1, body, completion);
          return;
        }
        completion(received, error);
      });
}

void DownloadManagerReal::downloadFirmware(const FirmwareInfo& firmwareInfo,
                                           DataCompletion completion) {
  {
    const std::lock_guard guard(lock_);
    if (downloading_) {
      return;
    }
    firmwareSizeAct_ = 0;
    downloadedSizeAct_ = 0;
    isCancelled_ = false;
    startDate_ = QDateTime::currentDateTimeUtc();
    downloadCompletion_ = std::move(completion);
  }
  const QUrl url(firmwareInfo.fileURL, QUrl::StrictMode);
  if (!isUsableAddress(url) || !isTrustedPackageAddress(url)) {
    DataCompletion bad;
    {
      const std::lock_guard guard(lock_);
      bad = std::exchange(downloadCompletion_, nullptr);
    }
    queue_.post([bad = std::move(bad)] {
      bad(std::nullopt, NetworkError::generalError(QStringLiteral("Bad URL")));
    });
    return;
  }
  {
    const std::lock_guard guard(lock_);
    downloading_ = true;
  }
  log(QStringLiteral("Download: Start: URL=%1").arg(url.toString()));
  queue_.post([this, url] { startDownload(url); });
}

void DownloadManagerReal::startDownload(const QUrl& url) {
  QNetworkRequest request(url);
  prepare(request, configuration_.timeout);
  QNetworkReply* reply = session().get(request);
  // Bounds what Qt buffers ahead of the session thread; unbounded, a slow moment of the
  // session thread let the package sit in memory twice.
  reply->setReadBufferSize(kReadAheadBytes);
  download_ = std::make_unique<Download>();
  download_->reply = reply;
  // A reply that has finished (an abort finishes at once) is no longer download_'s.
  const auto current = [this, reply] { return download_ && download_->reply == reply; };
  QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this, reply, current] {
    if (!current()) {
      return;
    }
    const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (length > ServiceLimits::kMaxPackageSize) {
      download_->tooLarge = true;
      reply->abort();
    } else if (length > download_->data.capacity()) {
      download_->data.reserve(length);
    }
  });
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply, current] {
    if (current() && reply->bytesAvailable() >= kPackageReadBytes &&
        !appendAvailable(reply, download_->data, ServiceLimits::kMaxPackageSize)) {
      download_->tooLarge = true;
      reply->abort();
    }
  });
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                   [this](qint64 received, qint64 total) {
                     const std::lock_guard guard(lock_);
                     downloadedSizeAct_ = received;
                     firmwareSizeAct_ = total;
                   });
  QObject::connect(reply, &QNetworkReply::finished, reply,
                   [this, reply] { finishDownload(reply); });
  bool cancelled = false;
  {
    const std::lock_guard guard(lock_);
    cancelled = isCancelled_;
  }
  // Cancelled before the transfer began.
  if (cancelled) {
    reply->abort();
  }
}

void DownloadManagerReal::finishDownload(QNetworkReply* reply) {
  reply->deleteLater();
  const std::unique_ptr<Download> download = std::move(download_);
  bool cancelled = false;
  {
    const std::lock_guard guard(lock_);
    cancelled = isCancelled_;
  }
  std::optional<QByteArray> data;
  std::optional<NetworkError> outcome;
  if (cancelled && reply->error() != QNetworkReply::NoError) {
    outcome = NetworkError::userCancelled();
  } else if (download->tooLarge) {
    outcome = NetworkError::generalError(QStringLiteral("Package too large"));
    log(QStringLiteral("Download: Error, Package too large"));
  } else if (isTransportError(reply)) {
    outcome = transportError(reply);
    log(QStringLiteral("Download: Error, %1").arg(reply->errorString()));
  } else {
    log(QStringLiteral("Download: Finish"));
    if (!appendAvailable(reply, download->data, ServiceLimits::kMaxPackageSize)) {
      outcome = NetworkError::generalError(QStringLiteral("Package too large"));
    }
    data = std::move(download->data);
    const int status = httpStatus(reply);
    if (outcome) {
      data.reset();
    } else if (isSuccess(status) && data->isEmpty()) {
      outcome = NetworkError::generalError(QStringLiteral("Bad Data"));
      log(QStringLiteral("Download: Error, Bad Data"));
    } else if (!isSuccess(status)) {
      outcome = NetworkError::httpError(status);
      log(QStringLiteral("Download: Error, HttpStatus=%1").arg(status));
    }
  }
  DataCompletion completion;
  {
    const std::lock_guard guard(lock_);
    completion = std::exchange(downloadCompletion_, nullptr);
    downloading_ = false;
  }
  if (completion) {
    completion(std::move(data), outcome);
  }
}

void DownloadManagerReal::cancelDownload() {
  {
    const std::lock_guard guard(lock_);
    if (!downloading_ || isCancelled_) {
      return;
    }
    isCancelled_ = true;
  }
  log(QStringLiteral("Download: Cancel"));
  queue_.post([this] {
    if (download_) {
      download_->reply->abort();
    }
  });
}
