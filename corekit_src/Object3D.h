#ifndef COREKIT_OBJECT3D_H
#define COREKIT_OBJECT3D_H

#include "BasicVector.h"

/// Something placed in the 3D world that can be drawn and asked about collisions: the OBJ
/// models, the animated models and the world scene itself. The position is where the owner
/// draws it; the object's own draw does not move there.
class Object3D {
 public:
  Object3D() = default;

  /// Whether the point lies inside the object; objects without a volume answer false.
  virtual bool testPoint(Float3 point) {
    (void)point;
    return false;
  }
  /// Whether the segment from `start` to `end` hits the object; on a hit `hitPoint` receives
  /// where (what "where" means is the object's own: a model gives the crossing point).
  virtual bool testCollision(Float3 start, Float3 end, Float3& hitPoint) = 0;
  /// A second segment test for objects that offer one (the world scene's ray against cubes).
  virtual bool testSegment(Float3 start, Float3 end, Float3& hitPoint) {
    (void)start;
    (void)end;
    (void)hitPoint;
    return false;
  }
  virtual ~Object3D() = default;
  /// Draws the object in the current model-view frame.
  virtual void draw() = 0;

  Float3 getPosition() const { return position; }
  void setPosition(Float3 parPosition) { position = parPosition; }

 protected:
  Float3 position{0.f, 0.f, 0.f};
};

#endif
