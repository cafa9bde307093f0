#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "meshing/CubeZone.h"
#include "meshing/CubeZoneFastShadows.h"
#include "meshing/CubesTable.h"
#include "ZoneTestHelpers.h"

using namespace zonetest;

namespace {

/// Single-cube casters one cell up the light's diagonal from each target cell, so that each
/// target cell is shadowed (with the rest of its diagonal below it).
std::vector<CubeZone> castersShadowing(const std::vector<Int3>& cells) {
  std::vector<CubeZone> casters;
  for (const Int3& c : cells) casters.push_back(zoneOfCells(1, c + Int3(1, 1, 1), Int3(1, 1, 1)));
  return casters;
}

std::vector<const CubeZone*> pointersTo(const std::vector<CubeZone>& zones) {
  std::vector<const CubeZone*> pointers;
  for (const CubeZone& z : zones) pointers.push_back(&z);
  return pointers;
}

/// The cells of the layer y = layer with x in [x0, x1) and z in [z0, z1).
std::vector<Int3> layerY(int layer, int x0, int x1, int z0, int z1) {
  std::vector<Int3> cells;
  for (int x = x0; x < x1; ++x)
    for (int z = z0; z < z1; ++z) cells.push_back(Int3(x, layer, z));
  return cells;
}

void expectPoints(const std::vector<Float3>& actual, const std::vector<Float3>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t k = 0; k < actual.size(); ++k)
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(actual[k][a], expected[k][a], 1e-5f) << "point " << k << " axis " << a;
}

/// A table of the 16-cube test region holding `zones`, shadowed by `casters`.
struct ShadowedRegion {
  ShadowedRegion(std::vector<CubeZone> parZones, std::vector<CubeZone> parCasters)
      : zones(std::move(parZones)), casters(std::move(parCasters)), casterPointers(pointersTo(casters)),
        table(regionCentre, 1.f, regionSize, zones, &casterPointers) {}
  std::vector<CubeZone> zones;
  std::vector<CubeZone> casters;
  std::vector<const CubeZone*> casterPointers;
  CubesTable table;
};

}  // namespace

TEST(CubeZoneFastShadows, ShadowedTopLayerBecomesOneRectangleAboveTheFace) {
  // A 4 x 1 x 4 zone at y = 2 whose whole top layer (y = 3) is shadowed.
  ShadowedRegion region({zoneOfCells(1, Int3(2, 2, 2), Int3(4, 1, 4))}, castersShadowing(layerY(3, 0, 8, 0, 8)));
  CubeZone& zone = region.zones[0];
  zone.shadowTriangles[2].push_back(Float3(1.f, 1.f, 1.f));  // stale data is cleared
  CubeZoneFastShadows::computeFastShadows(region.table, zone);

  // Centre (4, 2.5, 4): the face is 4 x 4 at y = 3 + 0.2, the second and third point of
  // each triangle swapped on this face.
  const float y = 3.2f - 2.5f;
  expectPoints(zone.shadowTriangles[1], {Float3(-2.f, y, -2.f), Float3(2.f, y, 2.f), Float3(2.f, y, -2.f),
                                         Float3(-2.f, y, -2.f), Float3(-2.f, y, 2.f), Float3(2.f, y, 2.f)});
  for (int list : {2, 3, 4}) EXPECT_TRUE(zone.shadowTriangles[list].empty()) << list;
}

TEST(CubeZoneFastShadows, AllThreeLitFacesInTheirListsAndOrders) {
  // A 2 x 2 x 2 zone at cells 4..5 with its +x, +y and +z neighbour layers all shadowed.
  std::vector<Int3> targets;
  for (int a = 0; a < 4; ++a) {
    const int p = 4 + a / 2, q = 4 + a % 2;
    targets.push_back(Int3(6, p, q));
    targets.push_back(Int3(p, 6, q));
    targets.push_back(Int3(p, q, 6));
  }
  ShadowedRegion region({zoneOfCells(1, Int3(4, 4, 4), Int3(2, 2, 2))}, castersShadowing(targets));
  CubeZone& zone = region.zones[0];
  CubeZoneFastShadows shadows(region.table);
  shadows.computeFastShadows(zone);

  const float f = 1.2f;  // centre 5, face at 6 + 0.2
  // +z (list 5) and +x (list 0) in the plain order: (U, V), (U', V), (U', V'), (U, V), (U', V'), (U, V').
  expectPoints(zone.shadowTriangles[5], {Float3(-1.f, -1.f, f), Float3(1.f, -1.f, f), Float3(1.f, 1.f, f),
                                         Float3(-1.f, -1.f, f), Float3(1.f, 1.f, f), Float3(-1.f, 1.f, f)});
  expectPoints(zone.shadowTriangles[0], {Float3(f, -1.f, -1.f), Float3(f, 1.f, -1.f), Float3(f, 1.f, 1.f),
                                         Float3(f, -1.f, -1.f), Float3(f, 1.f, 1.f), Float3(f, -1.f, 1.f)});
  expectPoints(zone.shadowTriangles[1], {Float3(-1.f, f, -1.f), Float3(1.f, f, 1.f), Float3(1.f, f, -1.f),
                                         Float3(-1.f, f, -1.f), Float3(-1.f, f, 1.f), Float3(1.f, f, 1.f)});
  for (int list : {2, 3, 4}) EXPECT_TRUE(zone.shadowTriangles[list].empty()) << list;
}

TEST(CubeZoneFastShadows, OneCubeInTheNeighbourLayerCoversTheWholeSide) {
  // As the first case, plus one cube at (5, 3, 5) in the (shadowed) top layer.
  ShadowedRegion region({zoneOfCells(1, Int3(2, 2, 2), Int3(4, 1, 4)), zoneOfCells(2, Int3(5, 3, 5), Int3(1, 1, 1))},
                        castersShadowing(layerY(3, 0, 8, 0, 8)));
  CubeZone& zone = region.zones[0];
  zone.shadowTriangles[1].push_back(Float3(0.f, 0.f, 0.f));
  CubeZoneFastShadows::computeFastShadows(region.table, zone);
  EXPECT_TRUE(zone.shadowTriangles[1].empty());
}

TEST(CubeZoneFastShadows, UpperBorderOfTheRegionGetsNothingOnThatSide) {
  // The zone's top is the region's top face: its neighbour layer is outside the table.
  std::vector<Int3> targets = layerY(15, 0, 16, 0, 16);
  for (int y = 12; y < 16; ++y)
    for (int z = 4; z < 8; ++z) targets.push_back(Int3(8, y, z));  // its +x layer is shadowed
  ShadowedRegion region({zoneOfCells(1, Int3(4, 12, 4), Int3(4, 4, 4))}, castersShadowing(targets));
  CubeZone& zone = region.zones[0];
  CubeZoneFastShadows::computeFastShadows(region.table, zone);
  EXPECT_TRUE(zone.shadowTriangles[1].empty());
  EXPECT_EQ(zone.shadowTriangles[0].size(), 6u);
}

TEST(CubeZoneFastShadows, LitCellBetweenShadowedNeighboursGetsHalfCellTriangle) {
  // Zone cell (5, 5, 5); its top neighbour (5, 6, 5) is lit, (6, 6, 5) and (5, 6, 4) are in
  // shadow: triangle T1 on +y, from (U, V) over the diagonal (swapped order on this face).
  ShadowedRegion region({zoneOfCells(1, Int3(5, 5, 5), Int3(1, 1, 1))},
                        castersShadowing({Int3(6, 6, 5), Int3(5, 6, 4)}));
  CubeZone& zone = region.zones[0];
  CubeZoneFastShadows::computeFastShadows(region.table, zone);
  const float y = 0.7f;
  expectPoints(zone.shadowTriangles[1], {Float3(-0.5f, y, -0.5f), Float3(0.5f, y, 0.5f), Float3(0.5f, y, -0.5f)});

  // The mirror pattern, -x and +z shadowed, gives T2.
  ShadowedRegion mirror({zoneOfCells(1, Int3(5, 5, 5), Int3(1, 1, 1))},
                        castersShadowing({Int3(4, 6, 5), Int3(5, 6, 6)}));
  CubeZone& other = mirror.zones[0];
  CubeZoneFastShadows::computeFastShadows(mirror.table, other);
  expectPoints(other.shadowTriangles[1], {Float3(-0.5f, y, -0.5f), Float3(-0.5f, y, 0.5f), Float3(0.5f, y, 0.5f)});
}

TEST(CubeZoneFastShadows, GreedyMergeRunsAlongTheFirstAxisThenTakesWholeRows) {
  // Top layer (y = 3) of a 4 x 1 x 4 zone at x, z in 2..5: shadow on x 2..4 at z = 2 and on
  // x 2..3 at z = 3. A run along x first: rows z = 2 (x 2..4), then z = 3 (x 2..3).
  std::vector<Int3> targets = layerY(3, 2, 5, 2, 3);
  for (const Int3& c : layerY(3, 2, 4, 3, 4)) targets.push_back(c);
  ShadowedRegion region({zoneOfCells(1, Int3(2, 2, 2), Int3(4, 1, 4))}, castersShadowing(targets));
  CubeZone& zone = region.zones[0];
  CubeZoneFastShadows::computeFastShadows(region.table, zone);
  const float y = 0.7f;  // centre (4, 2.5, 4)
  // No lit cell of the zone's part of the layer has shadow on both sides of a diagonal, so
  // there are no half-cell triangles.
  expectPoints(zone.shadowTriangles[1],
               {Float3(-2.f, y, -2.f), Float3(1.f, y, -1.f), Float3(1.f, y, -2.f),
                Float3(-2.f, y, -2.f), Float3(-2.f, y, -1.f), Float3(1.f, y, -1.f),
                Float3(-2.f, y, -1.f), Float3(0.f, y, 0.f), Float3(0.f, y, -1.f),
                Float3(-2.f, y, -1.f), Float3(-2.f, y, 0.f), Float3(0.f, y, 0.f)});
}

TEST(CubeZoneFastShadows, TableIsLeftAsBuiltAndZonesSharingALayerBothGetTheShadow) {
  // Two zones side by side under one shadowed layer: the first one's merge must not use up
  // the shadow of the second.
  ShadowedRegion region({zoneOfCells(1, Int3(2, 2, 2), Int3(2, 1, 2)), zoneOfCells(1, Int3(4, 2, 2), Int3(2, 1, 2))},
                        castersShadowing(layerY(3, 0, 8, 0, 8)));
  const size_t nbCells = 16 * 16 * 16;
  std::vector<uint8_t> before(region.table.getShadows(), region.table.getShadows() + nbCells);
  CubeZoneFastShadows shadows(region.table);
  shadows.computeFastShadows(region.zones.data(), region.zones.size());
  EXPECT_EQ(region.zones[0].shadowTriangles[1].size(), 6u);
  EXPECT_EQ(region.zones[1].shadowTriangles[1].size(), 6u);
  EXPECT_EQ(std::memcmp(before.data(), region.table.getShadows(), nbCells), 0);

  // And again, with the same results.
  const std::vector<Float3> first = region.zones[1].shadowTriangles[1];
  shadows.computeFastShadows(region.zones[1]);
  EXPECT_EQ(region.zones[1].shadowTriangles[1], first);
}

TEST(CubeZoneFastShadows, ZoneOutsideTheTableOrWithoutShadowGrid) {
  ShadowedRegion region({zoneOfCells(1, Int3(2, 2, 2), Int3(2, 2, 2))}, castersShadowing(layerY(4, 0, 8, 0, 8)));
  // Reaching past the region's lower corner: nothing happens, the lists stay as they were.
  CubeZone outside = zoneOfCells(1, Int3(-1, 2, 2), Int3(2, 1, 1));
  outside.shadowTriangles[3].push_back(Float3(1.f, 2.f, 3.f));
  CubeZoneFastShadows::computeFastShadows(region.table, outside);
  EXPECT_EQ(outside.shadowTriangles[3].size(), 1u);
  // Not a number as its size: nothing either.
  CubeZone broken = zoneOfCells(1, Int3(2, 2, 2), Int3(2, 2, 2));
  broken.size = Float3(std::nanf(""), 1.f, 1.f);
  broken.shadowTriangles[3].push_back(Float3(1.f, 2.f, 3.f));
  CubeZoneFastShadows::computeFastShadows(region.table, broken);
  EXPECT_EQ(broken.shadowTriangles[3].size(), 1u);

  // A negative size (damaged): lowest and highest cells in range, but no cell between.
  CubeZone inverted = zoneOfCells(1, Int3(2, 2, 2), Int3(2, 2, 2));
  inverted.size = Float3(-2.f, 2.f, 2.f);
  inverted.shadowTriangles[1].push_back(Float3(1.f, 2.f, 3.f));
  CubeZoneFastShadows::computeFastShadows(region.table, inverted);
  for (const std::vector<Float3>& list : inverted.shadowTriangles) EXPECT_TRUE(list.empty());

  // A table built without casters has no grid: the lists are only emptied.
  std::vector<CubeZone> zones{zoneOfCells(1, Int3(2, 2, 2), Int3(2, 2, 2))};
  zones[0].shadowTriangles[1].push_back(Float3(0.f, 0.f, 0.f));
  CubesTable noShadows(regionCentre, 1.f, regionSize, zones);
  CubeZoneFastShadows::computeFastShadows(noShadows, zones[0]);
  for (const std::vector<Float3>& list : zones[0].shadowTriangles) EXPECT_TRUE(list.empty());
  CubeZoneFastShadows::computeFastShadows(noShadows, inverted);
}
