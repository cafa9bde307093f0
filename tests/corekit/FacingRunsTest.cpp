#include <gtest/gtest.h>

#include <array>
#include <random>

#include "FacingRuns.h"

namespace {

/// A quad on the face of direction `r` (0 to 5: +X, -X, +Y, -Y, +Z, -Z) of a unit square at
/// `at`, counter-clockwise seen from that side, its corners raised off the face by `heights`.
std::array<Float3, 4> faceQuad(int r, const Float3& at, const std::array<float, 4>& heights) {
  const int n = r / 2;
  const float sign = r % 2 == 0 ? 1.f : -1.f;
  const int u = (n + 1) % 3, v = (n + 2) % 3;
  // (u, v, n) is right-handed: counter-clockwise in (u, v) is seen from +n.
  const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  std::array<Float3, 4> quad;
  for (int c = 0; c < 4; ++c) {
    const int k = sign > 0 ? c : 3 - c;
    Float3 p = at;
    p[u] += corners[k][0];
    p[v] += corners[k][1];
    p[n] += sign * heights[c];
    quad[c] = p;
  }
  return quad;
}

}  // namespace

TEST(FacingRuns, QuadsGoToTheRunOfTheSideTheyShowAndToACellOfTheGrid) {
  float lean = -1.f;
  for (int r = 0; r < 6; ++r) {
    EXPECT_EQ(FacingRuns::classify(faceQuad(r, Float3(3, 4, 5), {0, 0, 0, 0}).data(), lean), r) << r;
    EXPECT_EQ(lean, 0.f);
  }
  // A bumped quad leans; a quad folded over itself, one standing past 45 degrees and a
  // degenerate one go to the runs of any direction.
  EXPECT_EQ(FacingRuns::classify(faceQuad(2, Float3(0, 0, 0), {0.f, 0.5f, 0.f, 0.f}).data(), lean), 2);
  EXPECT_GT(lean, 0.f);
  EXPECT_LE(lean, 1.f);
  EXPECT_EQ(FacingRuns::classify(faceQuad(2, Float3(0, 0, 0), {0.f, 3.f, 0.f, 0.f}).data(), lean),
            FacingRuns::anyDirection);
  const Float3 folded[4] = {Float3(0, 0, 0), Float3(1, 0, 0), Float3(0, 0, 1), Float3(1, 0, 1)};
  EXPECT_EQ(FacingRuns::classify(folded, lean), FacingRuns::anyDirection);
  const Float3 point[4] = {Float3(1, 1, 1), Float3(1, 1, 1), Float3(1, 1, 1), Float3(1, 1, 1)};
  EXPECT_EQ(FacingRuns::classify(point, lean), FacingRuns::anyDirection);

  // Cells by the quad's middle, x slowest; the box's far side is in the last cell.
  const Float3 low(0, 0, 0), high(8, 8, 8);
  EXPECT_EQ(FacingRuns::cellOf(faceQuad(0, Float3(0, 0, 0), {0, 0, 0, 0}).data(), low, high), 0);
  EXPECT_EQ(FacingRuns::cellOf(faceQuad(2, Float3(7, 7, 7), {0, 0, 0, 0}).data(), low, high), FacingRuns::nbCells - 1);
  EXPECT_EQ(FacingRuns::cellOf(faceQuad(2, Float3(2.5f, 0, 0), {0, 0, 0, 0}).data(), low, high),
            FacingRuns::cellsPerAxis * FacingRuns::cellsPerAxis);
  EXPECT_EQ(FacingRuns::cellOf(point, low, low), 0);
}

TEST(FacingRuns, ARunLeftOutHasNoTriangleFacingTheEye) {
  // Bumped quads in runs, eyes all around: whenever a run is said to face away, every
  // triangle any renderer may cut its quads into faces away; and flat runs are left out as
  // soon as the eye is behind their plane.
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-20.f, 20.f), bump(0.f, 0.4f);
  static constexpr int triangles[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 1, 3}, {1, 2, 3}};
  int leftOut = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const bool flat = trial % 3 == 0;
    std::vector<std::array<Float3, 4>> quads;
    std::vector<FacingRuns::Run> runs;
    for (int r = 0; r < 6; ++r) runs.push_back(FacingRuns::emptyRun(r));
    for (int q = 0; q < 6; ++q) {
      const int r = (trial + q) % 6;
      std::array<float, 4> heights{};
      if (!flat)
        for (float& h : heights) h = bump(random);
      quads.push_back(faceQuad(r, Float3(coordinate(random), coordinate(random), coordinate(random)) / 4.f, heights));
      float lean = 0.f;
      ASSERT_EQ(FacingRuns::classify(quads.back().data(), lean), r);
      FacingRuns::widen(runs[r], quads.back().data(), lean);
      runs[r].count += 4;
    }
    for (int e = 0; e < 20; ++e) {
      const Float3 eye(coordinate(random), coordinate(random), coordinate(random));
      for (const std::array<Float3, 4>& quad : quads) {
        float lean = 0.f;
        const FacingRuns::Run& run = runs[FacingRuns::classify(quad.data(), lean)];
        const int axis = run.direction / 2;
        if (!FacingRuns::isFacingAway(run, eye)) {
          // A flat run is drawn only when the eye is in front of some quad's plane.
          if (flat) {
            EXPECT_GT(run.direction % 2 == 0 ? eye[axis] - run.low[axis] : run.high[axis] - eye[axis], -1e-2f);
          }
          continue;
        }
        ++leftOut;
        for (const auto& t : triangles) {
          const Float3 normal = cross(quad[t[1]] - quad[t[0]], quad[t[2]] - quad[t[0]]);
          EXPECT_LE(dot(eye - quad[t[0]], normal), 0.f) << "trial " << trial << " eye " << eye;
        }
      }
    }
  }
  EXPECT_GT(leftOut, 3000);
  EXPECT_FALSE(FacingRuns::isFacingAway(FacingRuns::emptyRun(FacingRuns::anyDirection), Float3(0, 0, 0)));
}
