#pragma once

#include "app/device/AudioDevice.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <chrono>

class IOObject;

// The recorder's mounted volumes, as the mode change and both update procedures find them:
// the partitions below its mass-storage interface, matched by BSD name against the mount
// table of VolumeTable::shared().
namespace RecorderVolumes {

// The recorder's mounted volumes, in the volume table's order.
QList<QUrl> find(const AudioDevice& device);
// Appends the BSD names of the active partitions below `entry` when it is a mass-storage
// interface.
void appendBSDNames(const IOObject& entry, QStringList& names);
// Unmounts each volume without user interface, waiting up to `wait` for each; failures are
// logged.
void unmount(const QList<QUrl>& volumes, std::chrono::milliseconds wait);

}  // namespace RecorderVolumes
