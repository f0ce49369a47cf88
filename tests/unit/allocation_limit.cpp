// Allocation functions that refuse once testing::allocationsLeft runs out.
#include <cstdlib>
#include <new>

#include "fake_platform.h"

// The allocation functions are kept out of line: the compiler would
// otherwise pair the malloc() and free() it sees with the new and delete
// expressions of this file and warn of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size) {
  for (int& left = clockcast::testing::allocationsLeft;;) {
    if (left != 0) {
      if (left > 0) --left;
      if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    }
    ++clockcast::testing::allocationsRefused;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
  std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
