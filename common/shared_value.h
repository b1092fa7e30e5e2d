#pragma once
// A single-width value that one thread writes and others read without a lock.
// Copyable (unlike std::atomic) so records holding it stay plain values.

#include <atomic>

template <typename T>
class SharedValue {
 public:
  SharedValue(T v = T{}) : v_(v) {}
  SharedValue(const SharedValue& o) : v_(o.load()) {}
  SharedValue& operator=(const SharedValue& o) {
    store(o.load());
    return *this;
  }
  SharedValue& operator=(T v) {
    store(v);
    return *this;
  }
  operator T() const { return load(); }
  T load() const { return v_.load(std::memory_order_acquire); }
  void store(T v) { v_.store(v, std::memory_order_release); }

 private:
  std::atomic<T> v_;
};
