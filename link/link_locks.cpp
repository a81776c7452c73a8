// The link library's process-wide locks, each created at its first use.
#include "link_locks.h"

std::recursive_mutex& LinkRegistryLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::mutex& LinkSerialLock() {
  static std::mutex lock;
  return lock;
}

std::mutex& LinkQueueLock() {
  static std::mutex lock;
  return lock;
}

std::mutex& LinkRecordLock() {
  static std::mutex lock;
  return lock;
}
