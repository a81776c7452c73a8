// Whole-value access to the connection fields that a link thread and the caller's thread share without a
// lock (runFlag, threadRunning, listenState, status, connectState, the sockets, rxHave): each read and write
// is one atomic access, so neither side ever sees a half-written value.
#pragma once

#include <atomic>
#include <type_traits>

template <typename T>
std::atomic<T>& LinkAtomic(T& field) {
  static_assert(std::is_integral<T>::value, "only integral fields are shared");
  static_assert(sizeof(std::atomic<T>) == sizeof(T) && alignof(std::atomic<T>) == alignof(T),
                "a shared field must have the layout of its atomic form");
  static_assert(std::atomic<T>::is_always_lock_free, "a shared field must be lock-free");
  return reinterpret_cast<std::atomic<T>&>(field);
}

template <typename T>
T LinkLoad(T& field) {
  return LinkAtomic(field).load(std::memory_order_acquire);
}

template <typename T, typename V>
void LinkStore(T& field, V value) {
  LinkAtomic(field).store(static_cast<T>(value), std::memory_order_release);
}
