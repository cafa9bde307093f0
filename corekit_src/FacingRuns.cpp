#include "FacingRuns.h"

#include <algorithm>
#include <cmath>
#include <limits>

int FacingRuns::classify(const Float3* quad, float& lean) {
  lean = 0.f;
  // The quad's facing from its diagonals, then every triangle a renderer may cut it into must
  // face the same axis direction, and lean off it by at most 45 degrees.
  const Float3 facing = cross(quad[2] - quad[0], quad[3] - quad[1]);
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (std::fabs(facing[a]) > std::fabs(facing[axis])) axis = a;
  const float sign = facing[axis] > 0.f ? 1.f : -1.f;
  if (!(std::fabs(facing[axis]) > 0.f)) return anyDirection;
  static constexpr int triangles[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 1, 3}, {1, 2, 3}};
  for (const auto& t : triangles) {
    const Float3 normal = cross(quad[t[1]] - quad[t[0]], quad[t[2]] - quad[t[0]]);
    const float along = normal[axis] * sign;
    const float side = std::sqrt(normal[(axis + 1) % 3] * normal[(axis + 1) % 3] +
                                 normal[(axis + 2) % 3] * normal[(axis + 2) % 3]);
    // A triangle of no area draws nothing, whatever it faces.
    if (along == 0.f && side == 0.f) continue;
    if (!(along > 0.f) || !(side <= along)) return anyDirection;
    lean = std::max(lean, side / along);
  }
  return 2 * axis + (sign > 0.f ? 0 : 1);
}

int FacingRuns::cellOf(const Float3* quad, const Float3& low, const Float3& high) {
  int cell = 0;
  for (int a = 0; a < 3; ++a) {
    const float middle = (quad[0][a] + quad[2][a]) / 2.f;
    const float span = high[a] - low[a];
    int c = span > 0.f ? (int)((middle - low[a]) / span * cellsPerAxis) : 0;
    // NaN and rounding land in the grid too.
    if (!(c >= 0)) c = 0;
    if (c >= cellsPerAxis) c = cellsPerAxis - 1;
    cell = cell * cellsPerAxis + c;
  }
  return cell;
}

FacingRuns::Run FacingRuns::emptyRun(int direction) {
  const float inf = std::numeric_limits<float>::infinity();
  Run run;
  run.direction = direction;
  run.isBounded = true;
  run.low = Float3(inf, inf, inf);
  run.high = Float3(-inf, -inf, -inf);
  return run;
}

void FacingRuns::widen(Run& run, const Float3* quad, float lean) {
  for (int v = 0; v < 4; ++v)
    for (int a = 0; a < 3; ++a) {
      run.low[a] = std::min(run.low[a], quad[v][a]);
      run.high[a] = std::max(run.high[a], quad[v][a]);
    }
  run.lean = std::max(run.lean, lean);
}

bool FacingRuns::isFacingAway(const Run& run, const Float3& eye) {
  if (run.direction == anyDirection || !run.isBounded) return false;
  if (run.count == 0) return true;
  const int axis = run.direction / 2;
  const bool positive = run.direction % 2 == 0;
  // A triangle through p with normal n (its axis part along the run's direction, its sideways
  // part at most `lean` times that) faces the eye only if (eye - p) . n > 0, which needs
  //   ahead + lean * sideways > 0,
  // with ahead the eye's height over p along the direction and sideways its distance to p
  // across it: both bounded over the run's box.
  const float ahead = positive ? eye[axis] - run.low[axis] : run.high[axis] - eye[axis];
  float sideways = 0.f;
  for (int k = 1; k < 3; ++k) {
    const int a = (axis + k) % 3;
    const float far = std::max(std::fabs(eye[a] - run.low[a]), std::fabs(eye[a] - run.high[a]));
    sideways += far * far;
  }
  // A margin for the rounding of the renderer's own transform: a face seen exactly edge-on may
  // still be drawn.
  const float scale = std::fabs(eye[axis]) + std::fabs(run.low[axis]) + std::fabs(run.high[axis]) + 1.f;
  return ahead + run.lean * std::sqrt(sideways) < -1e-4f * scale;
}
