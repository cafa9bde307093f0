#include "SharedRange.h"

void SharedRange::reset(uint32_t size) { nextAndEnd.store(pack(0, size), std::memory_order_relaxed); }

bool SharedRange::claimNext(uint32_t& index) {
  uint64_t word = nextAndEnd.load(std::memory_order_relaxed);
  for (;;) {
    const uint32_t next = (uint32_t)(word >> 32);
    const uint32_t end = (uint32_t)word;
    if (next >= end) return false;
    if (nextAndEnd.compare_exchange_weak(word, pack(next + 1, end), std::memory_order_relaxed)) {
      index = next;
      return true;
    }
  }
}

bool SharedRange::takeUpperHalf(uint32_t& from, uint32_t& to, uint32_t minimum) {
  uint64_t word = nextAndEnd.load(std::memory_order_relaxed);
  for (;;) {
    const uint32_t next = (uint32_t)(word >> 32);
    const uint32_t end = (uint32_t)word;
    if (next >= end || end - next < minimum || end - next < 2) return false;
    const uint32_t middle = next + (end - next) / 2;
    if (nextAndEnd.compare_exchange_weak(word, pack(next, middle), std::memory_order_relaxed)) {
      from = middle;
      to = end;
      return true;
    }
  }
}
