#include "app/localize/CMLocalize.h"
#include "app/service/CountryCode.h"
#include "app/service/DownloadManagerReal.h"
#include "app/service/FirmwareDemand.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/LanguageCode.h"
#include "app/service/ServiceLimits.h"
#include "app/tool/ToolCommand.h"
#include "app/update/DownloadFWInteractor.h"
#include "app/update/DownloadProgressText.h"
#include "platform/BoundedRead.h"
#include "platform/Bundle.h"
#include "platform/TaskReceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <unistd.h>

#include <cstdio>

namespace {

// "--name VALUE" options after the positional arguments they may be mixed with.
struct Options {
  QStringList positional;
  QMap<QString, QString> named;
};

std::optional<Options> parseOptions(const QStringList& arguments, const QStringList& names) {
  Options options;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    if (names.contains(arguments[i])) {
      if (i + 1 >= arguments.size()) {
        return std::nullopt;
      }
      options.named.insert(arguments[i], arguments[i + 1]);
      ++i;
    } else if (arguments[i].startsWith(QLatin1String("--"))) {
      return std::nullopt;
    } else {
      options.positional << arguments[i];
    }
  }
  return options;
}

void printFirmwareInfo(const std::optional<FirmwareInfo>& info) {
  if (!info) {
    Tool::printLine(QStringLiteral("none"));
    return;
  }
  for (const auto& [name, value] : info->fields()) {
    Tool::printField(name, value);
  }
}

void loadStringTable() {
  const QString table =
      Bundle::main().resourcePath(QStringLiteral("Localizable"), QStringLiteral("olc"));
  if (!table.isEmpty() && !CMLocalize::shared()) {
    CMLocalize::initializeSharedWithFilePath(table);
  }
}

// The recorder the request speaks of, from --model-code, --version and --device-id.
std::optional<AudioDevice> deviceFromOptions(const Options& options) {
  bool modelOk = false;
  bool idOk = true;
  AudioDevice device(0, 0);
  device.modelID = options.named.value(QStringLiteral("--model-code")).toULongLong(&modelOk);
  device.version = options.named.value(QStringLiteral("--version"));
  if (options.named.contains(QStringLiteral("--device-id"))) {
    device.deviceID = options.named.value(QStringLiteral("--device-id")).toULongLong(&idOk, 0);
  }
  if (!modelOk || !idOk || !options.named.contains(QStringLiteral("--version"))) {
    return std::nullopt;
  }
  return device;
}

QByteArray demandDocument(const DownloadManager& manager, const AudioDevice& device) {
  const auto root = FirmwareDemand().makeDemandNode(
      LanguageCode::text(LanguageCode::currentLanguageCode()), CountryCode::currentCountryCode(),
      manager.requestModelCode(device), manager.requestFirmwareVersion(device));
  return KvoIBProtocolEncoder().xmlDataWithRootNode(*root);
}

const QString kDeviceUsage =
    QStringLiteral("expected --model-code CODE --version VERSION [--device-id N], CODE a number");

int demand(const QStringList& arguments) {
  const auto options =
      parseOptions(arguments, {QStringLiteral("--model-code"), QStringLiteral("--version")});
  const auto device =
      options && options->positional.isEmpty() ? deviceFromOptions(*options) : std::nullopt;
  if (!device) {
    return Tool::usageError(QStringLiteral("expected --model-code CODE --version VERSION"));
  }
  const QByteArray document = demandDocument(DownloadManagerReal(), *device);
  std::fwrite(document.constData(), 1, static_cast<size_t>(document.size()), stdout);
  return Tool::kSuccess;
}

int parseAnswer(const QStringList& arguments) {
  if (arguments.size() != 1) {
    return Tool::usageError(QStringLiteral("expected FILE"));
  }
  const auto data = readFileAtMost(arguments[0], ServiceLimits::kMaxAnswerSize);
  if (!data) {
    return Tool::failure(
        QStringLiteral("cannot read \"%1\" (or it is larger than 1 MiB)").arg(arguments[0]));
  }
  printFirmwareInfo(FirmwareDemand().parseFirmwareResult(*data));
  return Tool::kSuccess;
}

void printError(const NetworkError& error) {
  Tool::printField(QStringLiteral("error"), error.kindName());
  if (!error.detail().isEmpty()) {
    Tool::printField(QStringLiteral("detail"), error.detail());
  }
}

int check(const QStringList& arguments) {
  const auto options = parseOptions(
      arguments,
      {QStringLiteral("--model-code"), QStringLiteral("--version"), QStringLiteral("--device-id")});
  const auto device =
      options && options->positional.isEmpty() ? deviceFromOptions(*options) : std::nullopt;
  if (!device) {
    return Tool::usageError(kDeviceUsage);
  }
  DownloadManagerReal manager;
  QEventLoop loop;
  std::optional<QByteArray> body;
  std::optional<NetworkError> error;
  // Completions arrive on the manager's queue; the answer is handled back here.
  manager.checkConnection([&](bool connected) {
    if (!connected) {
      error = NetworkError::notConnected();
      TaskReceiver::postToMain([&loop] { loop.quit(); });
      return;
    }
    manager.requestUpdateInfo(demandDocument(manager, *device), [&](auto data, auto failure) {
      body = std::move(data);
      error = std::move(failure);
      TaskReceiver::postToMain([&loop] { loop.quit(); });
    });
  });
  loop.exec();
  if (error) {
    printError(*error);
    return Tool::kFailure;
  }
  std::optional<FirmwareInfo> info =
      FirmwareDemand().parseFirmwareResult(body.value_or(QByteArray()));
  // The local-mode answer, when configured, describes the firmware; the server names the package.
  if (const auto local = manager.localUpdateResponse(*device)) {
    const std::optional<QString> url = info ? std::optional(info->fileURL) : std::nullopt;
    info = FirmwareDemand().parseFirmwareResult(*local);
    if (info && url) {
      info->fileURL = *url;
    }
  }
  printFirmwareInfo(info);
  return Tool::kSuccess;
}

int download(const QStringList& arguments) {
  const auto options = parseOptions(arguments, {QStringLiteral("-o")});
  if (!options || options->positional.size() != 1 ||
      !options->named.contains(QStringLiteral("-o"))) {
    return Tool::usageError(QStringLiteral("expected URL -o FILE"));
  }
  loadStringTable();
  const DownloadProgressText text = DownloadProgressText::fromStringTable();
  DownloadManagerReal manager;
  FirmwareInfo info;
  info.fileURL = options->positional[0];
  QEventLoop loop;
  std::optional<QByteArray> data;
  std::optional<NetworkError> error;
  // From the request to the package in memory: the span a download tool's own speed covers.
  QElapsedTimer transfer;
  qint64 transferNanoseconds = 0;
  transfer.start();
  manager.downloadFirmware(info, [&](auto bytes, auto failure) {
    transferNanoseconds = transfer.nsecsElapsed();
    data = std::move(bytes);
    error = std::move(failure);
    TaskReceiver::postToMain([&loop] { loop.quit(); });
  });

  // The same display as the window's: percent never decreasing, elapsed and remaining time.
  DownloadFWInteractor::ProgressState state;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
    const int64_t total = manager.firmwareSizeAct();
    const int64_t received = manager.downloadedSizeAct();
    std::optional<double> elapsed;
    if (const auto started = manager.startDate()) {
      elapsed = static_cast<double>(started->msecsTo(QDateTime::currentDateTimeUtc())) / 1000.0;
    }
    state = DownloadFWInteractor::progressTick(state, total, received, elapsed).state;
    const QString line = QStringLiteral("\r%1  %2  %3  ")
                             .arg(DownloadProgressText::percentText(state.progressValue), 4)
                             .arg(text.pastTimeText(state.pastTimeInterval),
                                  text.remainTimeText(state.remainTimeInterval));
    std::fputs(line.toUtf8().constData(), stderr);
  });
  ticker.start(isatty(fileno(stderr)) != 0 ? 100 : 1000);
  loop.exec();
  ticker.stop();
  std::fputc('\n', stderr);
  if (error) {
    return Tool::failure(
        QStringLiteral("download failed: %1 %2").arg(error->kindName(), error->detail()));
  }
  // Written as a download tool writes, without forcing it to disk; a failed write leaves no file.
  QFile file(options->named.value(QStringLiteral("-o")));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*data) != data->size() ||
      !file.flush()) {
    file.remove();
    return Tool::failure(QStringLiteral("cannot write \"%1\"").arg(file.fileName()));
  }
  Tool::printField(QStringLiteral("size"), QString::number(data->size()));
  Tool::printField(QStringLiteral("seconds"),
                   QString::number(static_cast<double>(transferNanoseconds) / 1e9, 'f', 3));
  return Tool::kSuccess;
}

}  // namespace

QList<ToolCommand> serviceCommands() {
  return {
      {QStringLiteral("demand"), QStringLiteral("--model-code CODE --version VERSION"),
       QStringLiteral("the update-information request exactly as it would be sent"), demand},
      {QStringLiteral("parse-answer"), QStringLiteral("FILE"),
       QStringLiteral("the firmware an update-service answer offers, or none"), parseAnswer},
      {QStringLiteral("check"),
       QStringLiteral("--model-code CODE --version VERSION [--device-id N]"),
       QStringLiteral("asks the configured update service; prints the offer, none, or the error"),
       check},
      {QStringLiteral("download"), QStringLiteral("URL -o FILE"),
       QStringLiteral("downloads a package with a progress line on stderr"), download},
  };
}
