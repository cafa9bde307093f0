#ifndef COREKIT_MATHMANAGER_H
#define COREKIT_MATHMANAGER_H

/// Angle helpers.
class MathManager {
 public:
  /// The angle brought into [-pi, pi); an infinite angle is a fatal report.
  static float normalizeAngleRadians(float angleInRadians);
  /// The angle brought into [-180, 180); an infinite angle is a fatal report.
  static float normalizeAngleDegrees(float angleInDegree);
};

#endif
