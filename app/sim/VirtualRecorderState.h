#pragma once

#include <QString>
#include <QVariantList>

struct VirtualRecorderConfig;

// What a virtual recorder remembers between runs, kept in state.plist of its folder: its
// current firmware labels, the mode it was last in and every update it applied.
struct VirtualRecorderState {
  QString firmwareVersion;
  QString subFirmwareVersion;
  bool updateMode = false;
  QVariantList applied;  // one dictionary per applied update, oldest first

  // The state stored in `folder`, or the configuration's labels when there is none yet. A
  // recorder is plugged in afresh on every run, so it starts in its normal mode.
  static VirtualRecorderState load(const QString& folder, const VirtualRecorderConfig& config);
  bool save(const QString& folder) const;
};
