#include "meshing/JoinedFaces.h"

#include <algorithm>
#include <functional>

namespace {

bool drawKeyLess(const JoinedFaces::Key& a, const JoinedFaces::Key& b) {
  if (a.look != b.look) return std::less<const void*>()(a.look, b.look);
  if (a.texture != b.texture) return a.texture < b.texture;
  return a.isShadowed < b.isShadowed;
}

bool isSameDrawKey(const JoinedFaces::Key& a, const JoinedFaces::Key& b) {
  return a.look == b.look && a.texture == b.texture && a.isShadowed == b.isShadowed;
}

size_t hashOfDrawKey(const JoinedFaces::Key& key) {
  uint64_t h = (uint64_t)reinterpret_cast<uintptr_t>(key.look);
  h ^= (((uint64_t)(uint32_t)key.texture << 1) | key.isShadowed) * 0x9E3779B97F4A7C15ull;
  h *= 0xC2B2AE3D27D4EB4Full;
  return (size_t)(h ^ (h >> 29));
}

/// The slot of `key` in an open-addressing table of indices into `keys` (-1 free), or the
/// free slot where it goes.
size_t slotOf(const JoinedFaces::Key& key, const std::vector<JoinedFaces::Key>& keys,
              const std::vector<int32_t>& slots) {
  const size_t mask = slots.size() - 1;
  size_t slot = hashOfDrawKey(key) & mask;
  while (slots[slot] >= 0 && !isSameDrawKey(keys[(size_t)slots[slot]], key)) slot = (slot + 1) & mask;
  return slot;
}

/// Calls f(word, mask) for the words of a row that hold bits [from, to), with the mask of
/// those bits in each.
template <typename F>
void forBits(size_t from, size_t to, F f) {
  if (to <= from) return;
  const size_t first = from >> 6, last = (to - 1) >> 6;
  for (size_t w = first; w <= last; ++w) {
    uint64_t mask = ~0ull;
    if (w == first) mask &= ~0ull << (from & 63);
    if (w == last) mask &= ~0ull >> (63 - ((to - 1) & 63));
    f(w, mask);
  }
}

bool areAllSet(const uint64_t* row, size_t from, size_t to) {
  bool all = true;
  forBits(from, to, [&](size_t w, uint64_t mask) { all = all && (row[w] & mask) == mask; });
  return all;
}

/// The first bit at or after `from` of row[0, words) that is set (with `findClear`, that is
/// clear), or words * 64.
size_t nextBit(const uint64_t* row, size_t from, size_t words, bool findClear) {
  const uint64_t flip = findClear ? ~0ull : 0ull;
  size_t w = from >> 6;
  if (w >= words) return words * 64;
  uint64_t bits = (row[w] ^ flip) & (~0ull << (from & 63));
  while (bits == 0) {
    if (++w == words) return words * 64;
    bits = row[w] ^ flip;
  }
  return w * 64 + (size_t)__builtin_ctzll(bits);
}

}  // namespace

uint32_t JoinedFaces::findDrawKey(const Key& key) {
  if (drawKeySlots.empty()) drawKeySlots.assign(64, -1);
  size_t slot = slotOf(key, drawKeys, drawKeySlots);
  if (drawKeySlots[slot] < 0) {
    if (2 * (drawKeys.size() + 1) > drawKeySlots.size()) {
      // Kept at most half full: twice the slots, every key placed again.
      drawKeySlots.assign(2 * drawKeySlots.size(), -1);
      for (size_t k = 0; k < drawKeys.size(); ++k)
        drawKeySlots[slotOf(drawKeys[k], drawKeys, drawKeySlots)] = (int32_t)k;
      slot = slotOf(key, drawKeys, drawKeySlots);
    }
    drawKeySlots[slot] = (int32_t)drawKeys.size();
    drawKeys.push_back(key);
  }
  lastOfFace[key.face & 7] = (uint32_t)drawKeySlots[slot];
  return (uint32_t)drawKeySlots[slot];
}

JoinedFaces::Rect JoinedFaces::rectOf(const Face& face, int32_t u0, int32_t v0, int32_t u1, int32_t v1) const {
  const Key& drawKey = drawKeys[face.drawKey];
  return Rect{Key{drawKey.look, drawKey.texture, face.layer, face.face, drawKey.isShadowed}, u0, v0, u1, v1};
}

void JoinedFaces::sortByKey() {
  // Draw key index (order of first appearance) -> rank in key order.
  order.resize(drawKeys.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = (uint32_t)k;
  std::sort(order.begin(), order.end(),
            [this](uint32_t a, uint32_t b) { return drawKeyLess(drawKeys[a], drawKeys[b]); });
  rankOfDrawKey.resize(drawKeys.size());
  for (size_t r = 0; r < order.size(); ++r) rankOfDrawKey[order[r]] = (uint32_t)r;

  const size_t n = faces.size();
  int32_t minLayer = faces[0].layer, maxLayer = minLayer;
  size_t maxFace = 0;
  for (const Face& face : faces) {
    minLayer = std::min(minLayer, face.layer);
    maxLayer = std::max(maxLayer, face.layer);
    maxFace = std::max(maxFace, (size_t)face.face);
  }
  const uint64_t nbLayers = (uint64_t)((int64_t)maxLayer - (int64_t)minLayer) + 1;
  const uint64_t nbPlanes = (maxFace + 1) * nbLayers;
  const uint64_t nbDrawKeys = drawKeys.size();
  // The counts of a counting sort stay within a few per face (and their keys within 32 bits).
  const uint64_t maxKeys = std::min<uint64_t>(4 * (uint64_t)n + 4096, UINT32_MAX - 1);
  order.resize(n);
  if (nbPlanes > maxKeys || nbDrawKeys > maxKeys / nbPlanes) {
    // Planes far apart or many looks for few faces: compared field by field.
    for (size_t f = 0; f < n; ++f) order[f] = (uint32_t)f;
    std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
      const Face& fa = faces[a];
      const Face& fb = faces[b];
      if (fa.face != fb.face) return fa.face < fb.face;
      if (fa.layer != fb.layer) return fa.layer < fb.layer;
      return rankOfDrawKey[fa.drawKey] < rankOfDrawKey[fb.drawKey];
    });
    return;
  }
  // One counting pass over the keys numbered in their order.
  keyNumbers.resize(n);
  counts.assign((size_t)(nbPlanes * nbDrawKeys) + 1, 0);
  for (size_t f = 0; f < n; ++f) {
    const Face& face = faces[f];
    const uint64_t plane = face.face * nbLayers + (uint64_t)((int64_t)face.layer - (int64_t)minLayer);
    keyNumbers[f] = (uint32_t)(plane * nbDrawKeys + rankOfDrawKey[face.drawKey]);
    ++counts[keyNumbers[f] + 1];
  }
  for (size_t k = 1; k < counts.size(); ++k) counts[k] += counts[k - 1];
  for (size_t f = 0; f < n; ++f) order[counts[keyNumbers[f]]++] = (uint32_t)f;
}

void JoinedFaces::mergeKey(size_t first, size_t end, std::vector<Rect>& out) {
  const Face& head = faces[order[first]];
  int32_t minU = head.u0, minV = head.v0, maxU = head.u1, maxV = head.v1;
  for (size_t i = first + 1; i < end; ++i) {
    const Face& face = faces[order[i]];
    minU = std::min(minU, face.u0);
    minV = std::min(minV, face.v0);
    maxU = std::max(maxU, face.u1);
    maxV = std::max(maxV, face.v1);
  }
  const size_t width = maxU > minU ? (size_t)(maxU - minU) : 0;
  const size_t height = maxV > minV ? (size_t)(maxV - minV) : 0;
  const size_t words = (width + 63) / 64;
  cells.assign(words * height, 0);
  for (size_t i = first; i < end; ++i) {
    const Face& face = faces[order[i]];
    const size_t from = (size_t)(face.u0 - minU), to = (size_t)(face.u1 - minU);
    if (face.u1 <= face.u0) continue;
    if (words == 1) {
      const uint64_t bits = (~0ull << from) & (~0ull >> (63 - (to - 1)));
      for (int32_t v = face.v0; v < face.v1; ++v) cells[(size_t)(v - minV)] |= bits;
      continue;
    }
    for (int32_t v = face.v0; v < face.v1; ++v) {
      uint64_t* row = cells.data() + (size_t)(v - minV) * words;
      forBits(from, to, [row](size_t w, uint64_t mask) { row[w] |= mask; });
    }
  }

  if (words == 1) {
    // A plane up to 64 cells wide (a region's always is): one word per row. The same pass; a
    // row's bits before a run are all taken, so its lowest bit left starts the next run.
    uint64_t* rows = cells.data();
    for (size_t v = 0; v < height; ++v) {
      while (rows[v] != 0) {
        const size_t u = (size_t)__builtin_ctzll(rows[v]);
        const uint64_t clearAfter = ~(rows[v] >> u);
        const size_t length = clearAfter == 0 ? 64 : (size_t)__builtin_ctzll(clearAfter);
        const uint64_t run = (length == 64 ? ~0ull : (1ull << length) - 1) << u;
        size_t vEnd = v + 1;
        while (vEnd < height && (rows[vEnd] & run) == run) ++vEnd;
        for (size_t w = v; w < vEnd; ++w) rows[w] &= ~run;
        out.push_back(rectOf(head, minU + (int32_t)u, minV + (int32_t)v, minU + (int32_t)(u + length),
                             minV + (int32_t)vEnd));
      }
    }
    return;
  }
  for (size_t v = 0; v < height; ++v) {
    uint64_t* row = cells.data() + v * words;
    // Bits past the width are never set, so a run ends at the width at the latest.
    for (size_t u = nextBit(row, 0, words, false); u < width; u = nextBit(row, u, words, false)) {
      const size_t uEnd = nextBit(row, u, words, true);
      size_t vEnd = v + 1;
      while (vEnd < height && areAllSet(cells.data() + vEnd * words, u, uEnd)) ++vEnd;
      for (size_t w = v; w < vEnd; ++w) {
        uint64_t* taken = cells.data() + w * words;
        forBits(u, uEnd, [taken](size_t word, uint64_t mask) { taken[word] &= ~mask; });
      }
      out.push_back(rectOf(head, minU + (int32_t)u, minV + (int32_t)v, minU + (int32_t)uEnd, minV + (int32_t)vEnd));
      u = uEnd;
    }
  }
}

void JoinedFaces::merge(std::vector<Rect>& out) {
  if (!faces.empty()) {
    sortByKey();
    const size_t n = faces.size();
    for (size_t first = 0, end = 0; first < n; first = end) {
      const Face& head = faces[order[first]];
      for (end = first + 1; end < n; ++end) {
        const Face& face = faces[order[end]];
        if (face.face != head.face || face.layer != head.layer || face.drawKey != head.drawKey) break;
      }
      if (end == first + 1) {
        // A face alone in its plane has nothing to join.
        out.push_back(rectOf(head, head.u0, head.v0, head.u1, head.v1));
      } else {
        mergeKey(first, end, out);
      }
    }
  }
  faces.clear();
  drawKeys.clear();
  std::fill(drawKeySlots.begin(), drawKeySlots.end(), -1);
  std::fill(std::begin(lastOfFace), std::end(lastOfFace), 0u);
}
