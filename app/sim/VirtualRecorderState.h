#pragma once

#include <QString>
#include <QVariantList>

#include <optional>

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
  // Why the state stored in `folder` cannot be loaded (it would be replaced, and the record
  // of applied updates lost), or nothing when it can or there is none.
  static std::optional<QString> problem(const QString& folder);
  bool save(const QString& folder) const;
};
