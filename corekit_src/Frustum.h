#ifndef COREKIT_FRUSTUM_H
#define COREKIT_FRUSTUM_H

#include "BasicVector.h"

/// The six planes of what a camera sees, taken from an OpenGL projection and modelview (world
/// space), for rejecting boxes that cannot show on the screen. The test is conservative: a box
/// it keeps may still be off screen near a corner of the view, a box it rejects never shows.
class Frustum {
 public:
  /// Sees everything until set.
  Frustum() = default;
  /// Column-major matrices as glGetFloatv answers them.
  Frustum(const float projection[16], const float modelview[16]);

  /// True when the axis-aligned box lies wholly on the outer side of one of the planes.
  bool isBoxOutside(const Float3& boxMin, const Float3& boxMax) const;

 private:
  /// a x + b y + c z + d >= 0 inside.
  float planes[6][4] = {};
};

#endif
