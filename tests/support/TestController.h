#pragma once

#include "app/service/DownloadManagerReal.h"
#include "app/update/FWUpdaterController.h"
#include "tests/support/TestHttpsServer.h"

#include <QString>
#include <QVariantMap>

#include <memory>

// A controller with the real roles and no fixed pauses (procedure steps, the check's waits,
// the detection delay), for update runs on virtual recorders; `service` says where the
// update service is (none: local mode only).
std::unique_ptr<FWUpdaterController> makeTestController(
    const DownloadManagerReal::Configuration& service = {});

// The local server as the update service: a controller's configuration, and the values of
// the settings file that point the application at it.
DownloadManagerReal::Configuration serviceOf(const TestHttpsServer& server);
QVariantMap serviceSettingsOf(const TestHttpsServer& server);
// Writes `values` as the settings file below the configuration folder `configFolder`.
bool writeSettingsFile(const QString& configFolder, const QVariantMap& values);

// Copies the example recorder `example` into `folder`, with `changes` made to its
// recorder.plist; false when it could not.
bool copyExampleRecorder(const QString& example, const QString& folder,
                         const QVariantMap& changes = {});
// The path of a file of an example recorder.
QString exampleFile(const QString& example, const QString& name);

// The text of the message `messageId` as the string table gives it, its "%d" or "%s"
// replaced by what follows the first space ("ID_ERR_SERVER_COMMUNICATION HTTP 404").
QString messageText(const QString& messageId);

// The names of the files of every update the file-copy recorder in `folder` applied.
QStringList appliedFiles(const QString& folder);
// True when the recorder in `folder` took the package at `package` whole: its flash begins
// with the image, or it applied one update carrying all of the archive's bytes.
bool recorderTookPackage(const QString& folder, const QString& package);
