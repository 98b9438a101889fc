#include "devicegate.h"

namespace kpxapp {

DeviceGate::Done *DeviceGate::findDone(int job) {
  for (Done &d : done_)
    if (d.job == job) return &d;
  return nullptr;
}

DeviceGate::Entry DeviceGate::enter(int job) {
  std::unique_lock<std::mutex> lock(mutex_);
  freed_.wait(lock, [&] { return owner_ != job && (owner_ == 0 || findDone(job) != nullptr); });
  if (const Done *d = findDone(job)) return {false, d->ok};
  owner_ = job;
  done_.push_back({job, false});
  if (done_.size() > 256) done_.pop_front();
  return {true, false};
}

bool DeviceGate::knows(int job) {
  std::lock_guard<std::mutex> lock(mutex_);
  return findDone(job) != nullptr;
}

void DeviceGate::leave(int job, bool ok) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (owner_ != job) return;
  if (Done *d = findDone(job)) d->ok = ok;
  owner_ = 0;
  freed_.notify_all();
}

}  // namespace kpxapp
