#include "Frustum.h"

Frustum::Frustum(const float projection[16], const float modelview[16]) {
  // clip = projection x modelview; a point is inside when -w <= x, y, z <= w in clip space,
  // which gives each plane as the last row plus or minus one of the others.
  float clip[16];
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) {
      float sum = 0.f;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + row] * modelview[column * 4 + k];
      clip[column * 4 + row] = sum;
    }
  for (int p = 0; p < 6; ++p) {
    const int row = p / 2;
    const float sign = p % 2 == 0 ? 1.f : -1.f;
    for (int column = 0; column < 4; ++column)
      planes[p][column] = clip[column * 4 + 3] + sign * clip[column * 4 + row];
  }
}

bool Frustum::isBoxOutside(const Float3& boxMin, const Float3& boxMax) const {
  for (const float* plane : planes) {
    // The corner furthest along the plane's normal: if even it is outside, the whole box is.
    float distance = plane[3];
    for (int a = 0; a < 3; ++a) distance += plane[a] * (plane[a] >= 0.f ? boxMax[a] : boxMin[a]);
    if (distance < 0.f) return true;
  }
  return false;
}
