#ifndef SHAREDRANGE_H
#define SHAREDRANGE_H

#include <atomic>
#include <cstdint>

/// A range of indices [0, size) that one thread, its owner, works through in order, while
/// another thread may take over the upper half of what the owner has not reached yet. Both
/// go through one atomic word holding (next, end), so every index is handed out exactly once
/// whatever the interleaving, and the owner never waits for the other.
class SharedRange {
 public:
  /// Not to be called while another thread uses the range.
  void reset(uint32_t size);
  /// Owner: the next indices to work on, [from, to) with at most `count` of them; false once
  /// none is left (the rest was taken over).
  bool claimNext(uint32_t& from, uint32_t& to, uint32_t count = 1);
  /// Another thread: takes [from, to), the upper half of the indices not claimed yet, when at
  /// least `minimum` of them are left; false otherwise.
  bool takeUpperHalf(uint32_t& from, uint32_t& to, uint32_t minimum = 2);

 private:
  static uint64_t pack(uint32_t next, uint32_t end) { return (uint64_t)next << 32 | end; }

  std::atomic<uint64_t> nextAndEnd{0};
};

#endif
