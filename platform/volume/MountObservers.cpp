#include "platform/volume/MountObservers.h"

#include "platform/TaskReceiver.h"

#include <QCoreApplication>

int MountObservers::add(VolumeTable::MountObserver observer) {
  if (QCoreApplication::instance() != nullptr) {
    TaskReceiver::main();
  }
  const std::lock_guard guard(state_->mutex);
  const int token = state_->nextToken++;
  state_->observers.emplace(
      token, std::make_shared<const VolumeTable::MountObserver>(std::move(observer)));
  return token;
}

bool MountObservers::remove(int token) {
  const std::lock_guard guard(state_->mutex);
  return state_->observers.erase(token) > 0;
}

bool MountObservers::empty() const {
  const std::lock_guard guard(state_->mutex);
  return state_->observers.empty();
}

void MountObservers::post(std::vector<MountedVolume> volumes) {
  if (volumes.empty()) {
    return;
  }
  int lastToken = 0;
  {
    const std::lock_guard guard(state_->mutex);
    if (state_->observers.empty()) {
      return;
    }
    lastToken = state_->nextToken - 1;
  }
  TaskReceiver::postToMain(
      [weakState = std::weak_ptr(state_), volumes = std::move(volumes), lastToken] {
        if (const auto state = weakState.lock()) {
          deliver(state, volumes, lastToken);
        }
      });
}

void MountObservers::deliver(const std::shared_ptr<State>& state,
                             const std::vector<MountedVolume>& volumes, int lastToken) {
  for (const MountedVolume& volume : volumes) {
    std::vector<int> tokens;
    {
      const std::lock_guard guard(state->mutex);
      for (auto entry = state->observers.begin();
           entry != state->observers.end() && entry->first <= lastToken; ++entry) {
        tokens.push_back(entry->first);
      }
    }
    // An observer may add or remove observers, itself included; each is looked up again
    // just before its call, and called outside the lock.
    for (const int token : tokens) {
      std::shared_ptr<const VolumeTable::MountObserver> observer;
      {
        const std::lock_guard guard(state->mutex);
        const auto found = state->observers.find(token);
        if (found == state->observers.end()) {
          continue;
        }
        observer = found->second;
      }
      (*observer)(volume);
    }
  }
}
