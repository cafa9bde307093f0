#include <cmath>
#include <limits>

#include "MathManager.h"
#include "Assert.h"

namespace {

// Truncation toward zero into a 32-bit integer, defined for every input: NaN gives 0 and values
// beyond the integer range saturate.
int truncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// The correction is computed in double; the range checks use the bound as a float, so that an
// angle landing on the float nearest to -pi is kept.
float normalizeAngle(float angle, double halfTurn) {
  const double fullTurn = 2.0 * halfTurn;
  const float bound = static_cast<float>(halfTurn);
  if (angle >= bound)
    angle = static_cast<float>(angle - truncateToInt((angle + halfTurn) / fullTurn) * fullTurn);
  else if (angle < -bound)
    angle = static_cast<float>(angle + truncateToInt((angle - halfTurn) / -fullTurn) * fullTurn);
  if (angle >= -bound && angle < bound) return angle;
  return 0.f;
}

}  // namespace

float MathManager::normalizeAngleRadians(float angleInRadians) {
  assert(angleInRadians != std::numeric_limits< float >::infinity() &&
         angleInRadians != -std::numeric_limits< float >::infinity());
  return normalizeAngle(angleInRadians, M_PI);
}

float MathManager::normalizeAngleDegrees(float angleInDegree) {
  assert(angleInDegree != std::numeric_limits< float >::infinity() &&
         angleInDegree != -std::numeric_limits< float >::infinity());
  return normalizeAngle(angleInDegree, 180.0);
}
