#pragma once

#include "platform/volume/VolumeTable.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The observers of a table's mount notification, called on the main (Qt application)
// thread. A volume goes to the observers registered when it appeared that are still
// registered when it arrives: one removed on the main thread is never called afterwards,
// and one added meanwhile does not hear of a mount from before its time.
class MountObservers final {
 public:
  MountObservers() = default;
  MountObservers(const MountObservers&) = delete;
  MountObservers& operator=(const MountObservers&) = delete;
  ~MountObservers() = default;

  int add(VolumeTable::MountObserver observer);
  // Whether `token` was registered.
  bool remove(int token);
  bool empty() const;
  // From any thread. Without a Qt application there is no main thread to call on, and the
  // volumes are dropped.
  void post(std::vector<MountedVolume> volumes);

 private:
  struct State {
    mutable std::mutex mutex;
    std::map<int, std::shared_ptr<const VolumeTable::MountObserver>> observers;
    int nextToken = 1;
  };

  static void deliver(const std::shared_ptr<State>& state,
                      const std::vector<MountedVolume>& volumes, int lastToken);

  // Posted deliveries hold it weakly, so that they do nothing once the table is gone.
  std::shared_ptr<State> state_ = std::make_shared<State>();
};
