#pragma once

#include "app/service/DownloadManagerReal.h"
#include "app/update/FWUpdaterController.h"

#include <QString>
#include <QVariantMap>

#include <memory>

// A controller with the real roles and no fixed pauses (procedure steps, the check's waits,
// the detection delay), for update runs on virtual recorders; `service` says where the
// update service is (none: local mode only).
std::unique_ptr<FWUpdaterController> makeTestController(
    const DownloadManagerReal::Configuration& service = {});

// Copies the example recorder `example` into `folder`, with `changes` made to its
// recorder.plist; false when it could not.
bool copyExampleRecorder(const QString& example, const QString& folder,
                         const QVariantMap& changes = {});
