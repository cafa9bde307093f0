#include "meshing/JoinedFaces.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

bool keyLess(const JoinedFaces::Key& a, const JoinedFaces::Key& b) {
  if (a.face != b.face) return a.face < b.face;
  if (a.layer != b.layer) return a.layer < b.layer;
  if (a.look != b.look) return std::less<const void*>()(a.look, b.look);
  if (a.texture != b.texture) return a.texture < b.texture;
  return a.isShadowed < b.isShadowed;
}

bool isSameKey(const JoinedFaces::Key& a, const JoinedFaces::Key& b) {
  return a.face == b.face && a.layer == b.layer && a.look == b.look && a.texture == b.texture &&
         a.isShadowed == b.isShadowed;
}

/// The first non-zero byte of row[from, to), or `to`; skips empty stretches a word at a time
/// (a key's faces are often few in a wide plane).
size_t nextSet(const uint8_t* row, size_t from, size_t to) {
  for (uint64_t word = 0; from + 8 <= to; from += 8) {
    std::memcpy(&word, row + from, 8);
    if (word != 0) break;
  }
  while (from < to && row[from] == 0) ++from;
  return from;
}

}  // namespace

void JoinedFaces::merge(std::vector<Rect>& out) {
  std::sort(faces.begin(), faces.end(), [](const Rect& a, const Rect& b) { return keyLess(a.key, b.key); });
  size_t first = 0;
  while (first < faces.size()) {
    const Key& key = faces[first].key;
    int32_t minU = faces[first].u0, minV = faces[first].v0, maxU = faces[first].u1, maxV = faces[first].v1;
    size_t end = first + 1;
    for (; end < faces.size() && isSameKey(faces[end].key, key); ++end) {
      minU = std::min(minU, faces[end].u0);
      minV = std::min(minV, faces[end].v0);
      maxU = std::max(maxU, faces[end].u1);
      maxV = std::max(maxV, faces[end].v1);
    }
    if (end == first + 1) {
      // A face alone in its plane has nothing to join.
      out.push_back(faces[first]);
      first = end;
      continue;
    }

    const size_t width = (size_t)(maxU - minU);
    const size_t height = (size_t)(maxV - minV);
    cells.assign(width * height, 0);
    for (size_t f = first; f < end; ++f) {
      const Rect& face = faces[f];
      for (int32_t v = face.v0; v < face.v1; ++v) {
        uint8_t* row = cells.data() + (size_t)(v - minV) * width;
        std::fill(row + (face.u0 - minU), row + (face.u1 - minU), (uint8_t)1);
      }
    }

    for (size_t v = 0; v < height; ++v) {
      uint8_t* row = cells.data() + v * width;
      for (size_t u = nextSet(row, 0, width); u < width; u = nextSet(row, u, width)) {
        size_t uEnd = u + 1;
        while (uEnd < width && row[uEnd] != 0) ++uEnd;
        size_t vEnd = v + 1;
        for (; vEnd < height; ++vEnd) {
          const uint8_t* next = cells.data() + vEnd * width;
          if (std::find(next + u, next + uEnd, (uint8_t)0) != next + uEnd) break;
        }
        for (size_t w = v; w < vEnd; ++w) {
          uint8_t* taken = cells.data() + w * width;
          std::fill(taken + u, taken + uEnd, (uint8_t)0);
        }
        out.push_back(Rect{key, minU + (int32_t)u, minV + (int32_t)v, minU + (int32_t)uEnd, minV + (int32_t)vEnd});
        u = uEnd;
      }
    }
    first = end;
  }
  faces.clear();
}
