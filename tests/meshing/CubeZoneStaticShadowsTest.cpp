#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "meshing/CubeZone.h"
#include "meshing/CubeZoneStaticShadows.h"

namespace {

/// The light of the shadow commands, from a region centred at the origin.
const Float3 commandLight(-3000.f, 10000.f, -3000.f);

/// In-plane axes (horizontal, vertical) of the sides of each axis.
constexpr int hAxisOf[3] = {1, 0, 0};
constexpr int vAxisOf[3] = {2, 2, 1};

float cross2(float ax, float ay, float bx, float by) { return ax * by - ay * bx; }

/// Total area of a side's triangles, checking on the way that every triangle lies on the
/// side's plane, inside the side, and faces outward.
float checkedArea(const CubeZone& zone, int side) {
  const int a = side / 2;
  const float sign = side % 2 == 1 ? 1.f : -1.f;
  const std::vector<Float3>& list = zone.shadowTriangles[side];
  EXPECT_EQ(list.size() % 3, 0u);
  float area = 0.f;
  for (size_t k = 0; k + 2 < list.size(); k += 3) {
    for (size_t p = k; p < k + 3; ++p) {
      EXPECT_FLOAT_EQ(list[p][a], sign * zone.size[a] / 2.f);
      for (int b = 0; b < 3; ++b) {
        EXPECT_LE(std::fabs(list[p][b]), zone.size[b] / 2.f + 1e-4f);
        EXPECT_TRUE(std::isfinite(list[p][b]));
      }
    }
    const Float3 e1 = list[k + 1] - list[k];
    const Float3 e2 = list[k + 2] - list[k];
    // The normal's component on the side's axis (cross product e1 x e2).
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    const float normal = e1[b] * e2[c] - e1[c] * e2[b];
    EXPECT_GE(normal * sign, 0.f) << "triangle " << k / 3 << " of side " << side << " faces inward";
    area += std::fabs(normal) / 2.f;
  }
  return area;
}

/// Whether a point of the side (in-plane coordinates relative to the centre) is covered by
/// one of its triangles.
bool isCovered(const CubeZone& zone, int side, float h, float v) {
  const int a = side / 2;
  const int hAxis = hAxisOf[a], vAxis = vAxisOf[a];
  const std::vector<Float3>& list = zone.shadowTriangles[side];
  for (size_t k = 0; k + 2 < list.size(); k += 3) {
    float d[3];
    for (int i = 0; i < 3; ++i) {
      const Float3& p = list[k + i];
      const Float3& q = list[k + (i + 1) % 3];
      d[i] = cross2(q[hAxis] - p[hAxis], q[vAxis] - p[vAxis], h - p[hAxis], v - p[vAxis]);
    }
    if ((d[0] >= 0 && d[1] >= 0 && d[2] >= 0) || (d[0] <= 0 && d[1] <= 0 && d[2] <= 0)) return true;
  }
  return false;
}

}  // namespace

TEST(CubeZoneStaticShadows, CommandLightFlagsTheFacesTurnedAwayAndShadesNothingThere) {
  CubeZone zone(1, Float3(0.f, 0.f, 0.f), Float3(40.f, 10.f, 40.f));
  // A slab over the whole region, overhanging on every side.
  CubeZone slab(1, Float3(0.f, 30.f, 0.f), Float3(200.f, 4.f, 200.f));
  std::vector<const CubeZone*> casters{&zone, &slab};
  zone.shadowTriangles[5].push_back(Float3(1.f, 1.f, 1.f));  // stale data goes
  CubeZoneStaticShadows shadows;
  shadows.calculateZoneShadows(casters, zone, commandLight);

  // Sides -x, +x, -y, +y, -z, +z flagged (0, 1, 1, 0, 0, 1): bottom, front and right dark.
  const bool expected[6] = {false, true, true, false, false, true};  // top, bottom, front, back, left, right
  for (int face = 0; face < 6; ++face) EXPECT_EQ(zone.isFaceShadowed[face], expected[face]) << face;
  for (int side : {1, 2, 5}) EXPECT_TRUE(zone.shadowTriangles[side].empty()) << side;
  // The lit top is wholly under the slab's shadow.
  EXPECT_NEAR(checkedArea(zone, 3), 1600.f, 1e-2f);
}

TEST(CubeZoneStaticShadows, NoOtherCasterMeansEmptyLists) {
  CubeZone zone(1, Float3(5.f, 5.f, 5.f), Float3(10.f, 10.f, 10.f));
  std::vector<CubeZone*> casters{&zone};
  CubeZoneStaticShadows shadows;
  shadows.calculateZoneShadows(casters, zone, Float3(5.f, 5.f, 5.f) + commandLight);
  for (const std::vector<Float3>& list : zone.shadowTriangles) EXPECT_TRUE(list.empty());

  // A caster below the zone casts nothing on it.
  CubeZone below(1, Float3(5.f, -50.f, 5.f), Float3(10.f, 10.f, 10.f));
  shadows.calculateZoneShadows(std::vector<const CubeZone*>{&below, &zone}, zone, Float3(5.f, 5.f, 5.f) + commandLight);
  for (const std::vector<Float3>& list : zone.shadowTriangles) EXPECT_TRUE(list.empty());
}

TEST(CubeZoneStaticShadows, WholeSideCoveredGivesTwoTrianglesPerTile) {
  // Top of 20 x 20: four 10 x 10 tiles.
  CubeZone zone(1, Float3(0.f, 0.f, 0.f), Float3(20.f, 10.f, 20.f));
  CubeZone slab(1, Float3(0.f, 20.f, 0.f), Float3(100.f, 2.f, 100.f));
  std::vector<const CubeZone*> casters{&slab};
  CubeZoneStaticShadows shadows;
  shadows.calculateZoneShadows(casters, zone, commandLight);
  EXPECT_EQ(zone.shadowTriangles[3].size(), 4u * 2u * 3u);
  EXPECT_NEAR(checkedArea(zone, 3), 400.f, 1e-3f);
}

TEST(CubeZoneStaticShadows, CasterLyingOnTheZoneShadesWhereItsProjectionFalls) {
  // A 20 x 10 x 20 box standing on the corner x, z in [0, 20] of a 40 x 10 x 40 zone. Its
  // shadow on the top is the hull of its base and of its top moved about 3 units toward +x
  // and +z: within the top, exactly the base, which lies on whole tiles.
  CubeZone zone(1, Float3(0.f, 0.f, 0.f), Float3(40.f, 10.f, 40.f));
  CubeZone box(1, Float3(10.f, 10.f, 10.f), Float3(20.f, 10.f, 20.f));
  std::vector<const CubeZone*> casters{&zone, &box};
  CubeZoneStaticShadows shadows;
  shadows.calculateZoneShadows(casters, zone, commandLight);
  EXPECT_EQ(zone.shadowTriangles[3].size(), 4u * 2u * 3u);
  EXPECT_NEAR(checkedArea(zone, 3), 400.f, 1e-3f);
  EXPECT_TRUE(isCovered(zone, 3, 10.f, 10.f));
  EXPECT_FALSE(isCovered(zone, 3, -5.f, 5.f));

  // A smaller box off the tile grid: a hexagon with diagonal edges, 55 square units
  // (base [0, 5]^2, top moved by d = 3000 * 10 / 9985 on x and z).
  CubeZone small(1, Float3(2.5f, 10.f, 2.5f), Float3(5.f, 10.f, 5.f));
  casters = {&small};
  shadows.calculateZoneShadows(casters, zone, commandLight);
  const float d = 3000.f * 10.f / 9985.f;
  const float exactArea = 25.f + 2.f * 5.f * d;
  // Rectangles with one or two corners in shadow are covered only as far as the straight
  // line between their boundary points: the hexagon's corners inside them are cut off.
  const float area = checkedArea(zone, 3);
  EXPECT_GT(area, 0.75f * exactArea);
  EXPECT_LT(area, exactArea + 0.5f);
  for (float p : {0.5f, 2.5f, 4.f, 6.f}) EXPECT_TRUE(isCovered(zone, 3, p, p)) << p;
  EXPECT_TRUE(isCovered(zone, 3, 6.f, 3.5f));
  for (auto hv : {std::make_pair(7.f, 1.f), std::make_pair(1.f, 7.f), std::make_pair(9.f, 9.f),
                  std::make_pair(-1.f, -1.f), std::make_pair(4.f, -0.5f)})
    EXPECT_FALSE(isCovered(zone, 3, hv.first, hv.second)) << hv.first << " " << hv.second;
}

TEST(CubeZoneStaticShadows, CasterCrossingThePlaneCastsFromThePlaneOn) {
  // A tall wall on the -x side of the zone, from below the top to far above it: the light
  // (from -x, -z, high) throws its shadow over the top toward +x and +z, lit where the light
  // passes the wall's -z end.
  CubeZone zone(1, Float3(0.f, 0.f, 0.f), Float3(40.f, 10.f, 40.f));
  CubeZone wall(1, Float3(-22.5f, 150.f, 0.f), Float3(5.f, 300.f, 40.f));
  std::vector<const CubeZone*> casters{&wall};
  CubeZoneStaticShadows shadows;
  shadows.calculateZoneShadows(casters, zone, commandLight);
  EXPECT_TRUE(isCovered(zone, 3, 0.f, 10.f));
  EXPECT_TRUE(isCovered(zone, 3, 15.f, 18.f));
  EXPECT_FALSE(isCovered(zone, 3, 10.f, -10.f));
  for (int side : {0, 3, 4}) checkedArea(zone, side);
}

TEST(CubeZoneStaticShadows, CornerLevelWithTheLightCastsNothingUnbounded) {
  // The light at the height of the caster's top: those corners have no projection on the
  // top plane, so the caster is left out there instead of giving infinite points.
  CubeZone zone(1, Float3(0.f, 0.f, 0.f), Float3(20.f, 10.f, 20.f));
  CubeZone caster(1, Float3(0.f, 10.f, 0.f), Float3(10.f, 10.f, 10.f));
  std::vector<const CubeZone*> casters{&caster};
  CubeZoneStaticShadows shadows;
  shadows.calculateZoneShadows(casters, zone, Float3(-3000.f, 15.f, -3000.f));
  EXPECT_TRUE(zone.shadowTriangles[3].empty());
  for (int side = 0; side < 6; ++side) checkedArea(zone, side);

  // Not a number as the light: no side is flagged, nothing is cast.
  shadows.calculateZoneShadows(casters, zone, Float3(std::nanf(""), 100.f, 0.f));
  for (int side = 0; side < 6; ++side) EXPECT_TRUE(zone.shadowTriangles[side].empty()) << side;
}

TEST(CubeZoneStaticShadows, HugeSideIsReportedAndLeftUnshaded) {
  CubeZone zone(1, Float3(0.f, 0.f, 0.f), Float3(1e9f, 10.f, 1e9f));
  CubeZone slab(1, Float3(0.f, 20.f, 0.f), Float3(1e10f, 2.f, 1e10f));
  std::vector<const CubeZone*> casters{&slab};
  CubeZoneStaticShadows shadows;
  testing::internal::CaptureStderr();
  shadows.calculateZoneShadows(casters, zone, commandLight);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("ERROR : CubeZoneStaticShadows : a side of"), std::string::npos) << errors;
  EXPECT_TRUE(zone.shadowTriangles[3].empty());
}
