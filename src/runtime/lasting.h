// Storage for a process-wide object that lasts until the process ends.
//
// The object is built before main like any global, but no destructor is
// registered for it at exit. Each such object belongs to a module that
// releases what it holds during the program's own shutdown; a destructor run
// by the C library's exit would find it empty and only cost every run the
// registration and the call.
#pragma once

#include <new>

namespace clockcast::runtime {

template <class T>
class Lasting {
 public:
  Lasting() { ::new (static_cast<void*>(storage_)) T(); }
  Lasting(const Lasting&) = delete;
  Lasting& operator=(const Lasting&) = delete;

  T& operator*() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return &**this; }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace clockcast::runtime
