#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "meshing/CubeTypeLook.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "ZoneTestHelpers.h"

using namespace zonetest;

namespace {

size_t quadVertices(const MeshGroupMap& groups, int texture) {
  auto it = groups.find(texture);
  return it == groups.end() ? 0 : it->second.verticesQuadVect.size();
}

size_t allQuadVertices(const MeshGroupMap& groups) {
  size_t total = 0;
  for (const auto& entry : groups) {
    EXPECT_EQ(entry.second.verticesQuadVect.size(), entry.second.texCoordQuadVect.size());
    total += entry.second.verticesQuadVect.size();
  }
  return total;
}

MeshGroupMap buildFarAll(const std::vector<CubeZone>& zones, const CubesTable& table, const CubeTypeLook& look,
                         bool shadows = true) {
  MeshGroupMap groups;
  for (const CubeZone& zone : zones) zone.buildFar(groups, table, look, shadows);
  return groups;
}

void expectNear(const Float3& actual, const Float3& expected) {
  for (int a = 0; a < 3; ++a) EXPECT_NEAR(actual[a], expected[a], 1e-5f) << "component " << a;
}

}  // namespace

TEST(CubeZoneFarBuild, LoneZoneGivesSixQuadsWithTheirFaceTextures) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  MeshGroupMap groups = buildFarAll(zones, table, testLook());
  EXPECT_EQ(allQuadVertices(groups), 24u);
  for (int face = 0; face < 6; ++face) EXPECT_EQ(quadVertices(groups, 10 + face), 4u) << face;
  const std::vector<Float3>& top = groups[10].verticesQuadVect;
  EXPECT_EQ(top[0], Float3(5.f, 6.f, 5.f));
  EXPECT_EQ(top[1], Float3(5.f, 6.f, 6.f));
  EXPECT_EQ(top[2], Float3(6.f, 6.f, 6.f));
  EXPECT_EQ(top[3], Float3(6.f, 6.f, 5.f));
  const std::vector<Float3>& right = groups[15].verticesQuadVect;
  for (const Float3& v : right) EXPECT_EQ(v.x(), 6.f);
}

TEST(CubeZoneFarBuild, TouchingFacesAreCulledOnlyWhenWhollyCovered) {
  // A is two cubes long in x; B sits on A's +x end face; C covers half of A's top.
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(4, 5, 5), Int3(2, 1, 1)), zoneOfCells(1, Int3(6, 5, 5), Int3(1, 1, 1)),
                              zoneOfCells(2, Int3(4, 6, 5), Int3(1, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  const CubeTypeLook look = testLook();

  MeshGroupMap a;
  zones[0].buildFar(a, table, look, true);
  EXPECT_EQ(quadVertices(a, 15), 0u);  // right: covered by B
  ASSERT_EQ(quadVertices(a, 10), 4u);  // top: half covered, drawn whole
  EXPECT_EQ(a[10].verticesQuadVect[0], Float3(4.f, 6.f, 5.f));
  EXPECT_EQ(a[10].verticesQuadVect[2], Float3(6.f, 6.f, 6.f));
  EXPECT_EQ(allQuadVertices(a), 20u);

  MeshGroupMap b;
  zones[1].buildFar(b, table, look, true);
  EXPECT_EQ(quadVertices(b, 14), 0u);  // left: covered by A
  EXPECT_EQ(allQuadVertices(b), 20u);

  MeshGroupMap c;
  zones[2].buildFar(c, table, look, true);
  EXPECT_EQ(quadVertices(c, 11), 0u);  // bottom: lies on A
  EXPECT_EQ(allQuadVertices(c), 20u);
}

TEST(CubeZoneFarBuild, FacesOnTheRegionBorderAreKept) {
  // The whole region is full: only the six outer faces of the big zone remain, since the
  // layer beyond them lies outside the table.
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(0, 0, 0), Int3(16, 16, 16)), zoneOfCells(1, Int3(15, 15, 15), Int3(1, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  MeshGroupMap groups = buildFarAll(zones, table, testLook());
  EXPECT_EQ(allQuadVertices(groups), 24u + 12u);
}

TEST(CubeZoneFarBuild, CubesSmallerThanHalfAUnitStillCullTheirNeighbourLayer) {
  const float s = 0.25f;
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(4, 4, 4), Int3(1, 1, 1), s), zoneOfCells(0, Int3(5, 4, 4), Int3(1, 1, 1), s)};
  CubesTable table(Float3(2.f, 2.f, 2.f), s, 4.f, zones);
  MeshGroupMap groups = buildFarAll(zones, table, testLook());
  EXPECT_EQ(quadVertices(groups, 15), 4u);  // only the outer right face
  EXPECT_EQ(quadVertices(groups, 14), 4u);
  EXPECT_EQ(allQuadVertices(groups), 40u);
}

TEST(CubeZoneFarBuild, TextureCoordinatesOfTheThreeByOneByTwoExample) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(2, 5, 4), Int3(3, 1, 2))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  CubeTypeLook look = testLook();

  MeshGroupMap whole = buildFarAll(zones, table, look);
  const std::vector<Float2>& top = whole[10].texCoordQuadVect;
  // Vertices: (-x,-z), (-x,+z), (+x,+z), (+x,-z).
  EXPECT_EQ(top[0], Float2(-2.f, 2.f));
  EXPECT_EQ(top[1], Float2(-2.f, 0.f));
  EXPECT_EQ(top[2], Float2(1.f, 0.f));
  EXPECT_EQ(top[3], Float2(1.f, 2.f));

  look.textureOptions[0] = false;  // stretched once over the zone
  MeshGroupMap stretched = buildFarAll(zones, table, look);
  const std::vector<Float2>& top2 = stretched[10].texCoordQuadVect;
  EXPECT_EQ(top2[0], Float2(0.f, 1.f));
  EXPECT_EQ(top2[2], Float2(1.f, 0.f));

  look.textureOptions[0] = true;
  look.textureOptions[1] = false;  // divided by 8, anchored to the world grid
  Float3 low, high, low2, high2;
  zones[0].computeTextureBounds(look.textureOptions, 1.f, low, high, low2, high2);
  EXPECT_EQ(low, Float3(0.25f, 0.625f, 0.5f));
  EXPECT_EQ(high, Float3(0.625f, 0.75f, 0.75f));
  EXPECT_EQ(low2, Float3(0.375f, 0.25f, 0.25f));
  EXPECT_EQ(high2, Float3(0.75f, 0.375f, 0.5f));
  MeshGroupMap divided = buildFarAll(zones, table, look);
  EXPECT_EQ(divided[10].texCoordQuadVect[0], Float2(1.f - 0.75f, 0.5f));
  EXPECT_EQ(divided[11].texCoordQuadVect[0], Float2(1.f - 0.25f, 0.5f));  // bottom: (L.x, L.z)
  // Back: u = 1 - H2.x before the mirroring.
  EXPECT_EQ(divided[13].texCoordQuadVect[0], Float2(0.75f, 0.375f));
}

TEST(CubeZoneFarBuild, NegativeZoneCornersGiveNegativeFractions) {
  CubeZone zone(0, Float3(-3.f, 0.5f, 0.5f), Float3(2.f, 1.f, 1.f));
  const bool options[3] = {true, false, true};
  Float3 low, high, low2, high2;
  zone.computeTextureBounds(options, 1.f, low, high, low2, high2);
  EXPECT_FLOAT_EQ(low.x(), -0.5f);   // frac(-4 / 8)
  EXPECT_FLOAT_EQ(low2.x(), 1.25f);  // 1 - frac(-2 / 8)
}

TEST(CubeZoneFarBuild, RandomOffsetsOnePerPairOfOppositeFaces) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(2, 5, 4), Int3(3, 1, 2))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  CubeTypeLook look = testLook();
  look.textureOptions[2] = false;
  srand(1234);
  float r[6];
  for (float& value : r) value = (float)rand() / (float)RAND_MAX;
  srand(1234);
  MeshGroupMap groups = buildFarAll(zones, table, look);
  // H = (3, 1, 2): top/bottom du = 3 r2, dv = 2 r1; front/back du = 3 r4, dv = r3;
  // left/right du = 2 r6, dv = r5.
  EXPECT_FLOAT_EQ(groups[10].texCoordQuadVect[0].x(), 1.f - (3.f + 3.f * r[1]));
  EXPECT_FLOAT_EQ(groups[10].texCoordQuadVect[0].y(), 2.f + 2.f * r[0]);
  EXPECT_FLOAT_EQ(groups[11].texCoordQuadVect[0].x(), 1.f - (0.f + 3.f * r[1]));
  EXPECT_FLOAT_EQ(groups[11].texCoordQuadVect[0].y(), 0.f + 2.f * r[0]);
  EXPECT_FLOAT_EQ(groups[12].texCoordQuadVect[0].x(), 1.f - 3.f * r[3]);
  EXPECT_FLOAT_EQ(groups[12].texCoordQuadVect[0].y(), r[2]);
  EXPECT_FLOAT_EQ(groups[14].texCoordQuadVect[0].x(), 1.f - 2.f * r[5]);
  EXPECT_FLOAT_EQ(groups[14].texCoordQuadVect[0].y(), r[4]);
  EXPECT_FLOAT_EQ(groups[15].texCoordQuadVect[0].x(), 1.f - (2.f + 2.f * r[5]));
}

TEST(CubeZoneFarBuild, ShadowedFacesAndShadowTriangles) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  zones[0].isFaceShadowed[0] = true;
  const Float3 a(-0.5f, 0.5f, -0.5f), b(0.5f, 0.5f, -0.5f), c(-0.5f, 0.5f, 0.5f);
  zones[0].shadowTriangles[3] = {a, b, c};  // over the +y side
  zones[0].shadowTriangles[0] = {a, c, b};  // over the -x side
  CubesTable table(regionCentre, 1.f, regionSize, zones);

  MeshGroupMap groups = buildFarAll(zones, table, testLook());
  EXPECT_EQ(quadVertices(groups, 20), 4u);
  EXPECT_EQ(quadVertices(groups, 10), 0u);
  ASSERT_EQ(groups.count(99), 1u);
  const MeshGroup& shadow = groups[99];
  ASSERT_EQ(shadow.verticesTriVect.size(), 6u);
  ASSERT_EQ(shadow.texCoordTriVect.size(), 6u);
  expectNear(shadow.verticesTriVect[0], Float3(4.9f, 6.f, 5.f));  // the -x list comes first
  expectNear(shadow.verticesTriVect[3], Float3(5.f, 6.1f, 5.f));
  expectNear(shadow.verticesTriVect[4], Float3(6.f, 6.1f, 5.f));
  EXPECT_EQ(shadow.texCoordTriVect[3], Float2(0.f, 0.f));
  EXPECT_EQ(shadow.texCoordTriVect[4], Float2(1.f, 0.f));
  EXPECT_EQ(shadow.texCoordTriVect[5], Float2(0.f, 1.f));
  EXPECT_TRUE(shadow.verticesQuadVect.empty());

  MeshGroupMap withoutShadows = buildFarAll(zones, table, testLook(), false);
  for (const auto& entry : withoutShadows) EXPECT_TRUE(entry.second.verticesTriVect.empty());
  EXPECT_EQ(withoutShadows.count(99), 0u);
}

TEST(CubeZoneRangeBuild, SameGroupsAsZoneByZoneWithListsSizedOnceAndSafeOnTwoThreads) {
  // A staircase with a floor, some buried faces, shadow triangles on one zone and a second
  // type, with and without a shadow grid.
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(2, 2, 2), Int3(8, 1, 6)), zoneOfCells(1, Int3(3, 3, 3), Int3(2, 2, 2)),
                              zoneOfCells(0, Int3(5, 3, 3), Int3(1, 1, 1)), zoneOfCells(1, Int3(2, 3, 6), Int3(8, 1, 2))};
  zones[1].shadowTriangles[3] = {Float3(0.f, 1.f, 0.f), Float3(1.f, 1.f, 0.f), Float3(0.f, 1.f, 1.f)};
  CubeTypeLook looks[2] = {testLook(), testLook()};
  for (int i = 0; i < 6; ++i) looks[1].textureFace[i] = 30 + i;
  std::vector<CubeZone::DrawLook> drawLooks;
  for (const CubeZone& zone : zones) drawLooks.push_back(CubeZone::DrawLook{&looks[zone.id], true});
  std::vector<const CubeZone*> casters{&zones[1]};
  CubesTable lit(regionCentre, 1.f, regionSize, zones);
  CubesTable shaded(regionCentre, 1.f, regionSize, zones, &casters);

  auto expectSameGroups = [](const MeshGroupMap& a, const MeshGroupMap& b) {
    ASSERT_EQ(a.size(), b.size());
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
      EXPECT_EQ(i->first, j->first);
      EXPECT_EQ(i->second.verticesQuadVect, j->second.verticesQuadVect) << i->first;
      EXPECT_EQ(i->second.texCoordQuadVect, j->second.texCoordQuadVect) << i->first;
      EXPECT_EQ(i->second.verticesTriVect, j->second.verticesTriVect) << i->first;
      EXPECT_EQ(i->second.texCoordTriVect, j->second.texCoordTriVect) << i->first;
    }
  };
  for (const CubesTable* table : {&lit, &shaded}) {
    MeshGroupMap farOneByOne, nearOneByOne, farRange, nearRange;
    for (const CubeZone& zone : zones) {
      zone.buildFar(farOneByOne, *table, looks[zone.id], true);
      zone.buildNear(nearOneByOne, *table, looks[zone.id]);
    }
    CubeZone::buildFar(zones.data(), drawLooks.data(), zones.size(), farRange, *table);
    CubeZone::buildNear(zones.data(), drawLooks.data(), zones.size(), nearRange, *table);
    expectSameGroups(farRange, farOneByOne);
    expectSameGroups(nearRange, nearOneByOne);
    // Counted exactly: no list was grown while filling.
    for (const auto& entry : farRange) {
      EXPECT_EQ(entry.second.verticesQuadVect.capacity(), entry.second.verticesQuadVect.size()) << entry.first;
      EXPECT_EQ(entry.second.verticesTriVect.capacity(), entry.second.verticesTriVect.size()) << entry.first;
    }
    if (!table->hasShadows()) {
      for (const auto& entry : nearRange)
        EXPECT_EQ(entry.second.verticesQuadVect.capacity(), entry.second.verticesQuadVect.size()) << entry.first;
    }

    // Two halves at once on two threads, each into its own group set.
    MeshGroupMap firstHalf, secondHalf;
    std::thread worker([&] { CubeZone::buildNear(zones.data() + 2, drawLooks.data() + 2, 2, secondHalf, *table); });
    CubeZone::buildNear(zones.data(), drawLooks.data(), 2, firstHalf, *table);
    worker.join();
    size_t halves = 0, whole = 0;
    for (const auto& entry : firstHalf) halves += entry.second.verticesQuadVect.size();
    for (const auto& entry : secondHalf) halves += entry.second.verticesQuadVect.size();
    for (const auto& entry : nearRange) whole += entry.second.verticesQuadVect.size();
    EXPECT_EQ(halves, whole);
  }
}

TEST(CubeZoneFarBuild, ZoneOfDamagedSizeNeitherReadsOutsideTheTableNorExhaustsMemory) {
  // A size that is not a number (a damaged file): the table leaves the zone out, and the
  // builder finds no cell to cull with, so it draws the six faces.
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  zones[0].size = Float3(std::nanf(""), 1.f, 1e30f);
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  MeshGroupMap groups = buildFarAll(zones, table, testLook());
  EXPECT_EQ(allQuadVertices(groups), 24u);
  // The near build would cut the 1e30-wide faces into more quads than memory holds.
  MeshGroupMap near;
  zones[0].buildNear(near, table, testLook());
  EXPECT_EQ(allQuadVertices(near), 0u);
}
