#include "meshing/SharedRange.h"

#include <algorithm>

void SharedRange::reset(uint32_t size) { nextAndEnd.store(pack(0, size), std::memory_order_relaxed); }

bool SharedRange::claimNext(uint32_t& from, uint32_t& to, uint32_t count) {
  uint64_t word = nextAndEnd.load(std::memory_order_relaxed);
  for (;;) {
    const uint32_t next = (uint32_t)(word >> 32);
    const uint32_t end = (uint32_t)word;
    if (next >= end) return false;
    const uint32_t claimed = next + std::min(std::max(count, 1u), end - next);
    if (nextAndEnd.compare_exchange_weak(word, pack(claimed, end), std::memory_order_relaxed)) {
      from = next;
      to = claimed;
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
