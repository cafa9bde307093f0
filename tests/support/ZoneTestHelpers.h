#ifndef TESTS_ZONETESTHELPERS_H
#define TESTS_ZONETESTHELPERS_H

#include "BasicVector.h"
#include "meshing/CubeTypeLook.h"
#include "meshing/CubeZone.h"

// Test regions: 16 cubes of edge 1 with the lower corner at the origin, so cell (x, y, z)
// spans [x, x + 1) on each axis.
namespace zonetest {

const Float3 regionCentre(8.f, 8.f, 8.f);
constexpr float regionSize = 16.f;

/// A zone covering the cells [lo, lo + count) of a region whose lower corner is at the
/// origin, for cubes of edge s.
inline CubeZone zoneOfCells(int id, Int3 lo, Int3 count, float s = 1.f) {
  const Float3 size(count.x() * s, count.y() * s, count.z() * s);
  return CubeZone(id, Float3(lo.x() * s + size.x() / 2.f, lo.y() * s + size.y() / 2.f, lo.z() * s + size.z() / 2.f),
                  size);
}

/// Face textures 10..15, shadowed face textures 20..25, shadow texture 99, default options.
inline CubeTypeLook testLook() {
  CubeTypeLook look;
  for (int i = 0; i < 6; ++i) {
    look.textureFace[i] = 10 + i;
    look.textureFaceShadowed[i] = 20 + i;
  }
  look.textureShadow = 99;
  return look;
}

}  // namespace zonetest

#endif
