#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "ZoneTestHelpers.h"

using namespace zonetest;

namespace {

Float3 cellMiddle(int x, int y, int z) { return Float3(x + 0.5f, y + 0.5f, z + 0.5f); }

std::set<std::tuple<int, int, int>> shadowCells(const CubesTable& table) {
  std::set<std::tuple<int, int, int>> cells;
  const Int3 n = table.getSizeTableCubes();
  for (int z = 0; z < n.z(); ++z)
    for (int y = 0; y < n.y(); ++y)
      for (int x = 0; x < n.x(); ++x)
        if (table.isShadowCell(Int3(x, y, z))) cells.insert(std::make_tuple(x, y, z));
  return cells;
}

}  // namespace

TEST(CubesTableFilling, EmptyZoneListHasNoArrays) {
  std::vector<CubeZone> none;
  CubesTable table(regionCentre, 1.f, regionSize, none);
  EXPECT_FALSE(table.hasCubes());
  EXPECT_FALSE(table.hasShadows());
  EXPECT_EQ(table.getSizeTableCubes(), Int3(16, 16, 16));
  EXPECT_EQ(table.getCubeIdAt(cellMiddle(3, 3, 3)), -1);
  EXPECT_FALSE(table.isCubeAt(cellMiddle(3, 3, 3)));
  Int3 size;
  EXPECT_EQ(table.copyCubes(size), nullptr);
}

TEST(CubesTableFilling, CellsOfAZoneAndTheGridBounds) {
  std::vector<CubeZone> zones{zoneOfCells(4, Int3(2, 3, 4), Int3(3, 1, 2))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  int filled = 0;
  for (int z = 0; z < 16; ++z)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool inside = x >= 2 && x < 5 && y == 3 && z >= 4 && z < 6;
        EXPECT_EQ(table.getCubeIdAt(cellMiddle(x, y, z)), inside ? 4 : -1) << x << " " << y << " " << z;
        filled += inside;
      }
  EXPECT_EQ(filled, 6);
  EXPECT_EQ(table.getCellOf(Float3(-0.5f, 0.f, 15.99f)), Int3(-1, 0, 15));
  // The region's upper face belongs to cell 16, outside the grid.
  EXPECT_EQ(table.getCellOf(Float3(16.f, 16.f, 16.f)), Int3(16, 16, 16));
  EXPECT_FALSE(table.isInRange(Int3(16, 0, 0)));
  EXPECT_FALSE(table.isInRange(Int3(0, -1, 0)));
  EXPECT_TRUE(table.isInRange(Int3(15, 15, 15)));
  EXPECT_EQ(table.getCubeIdAt(Float3(16.f, 3.5f, 4.5f)), -1);
  EXPECT_FALSE(table.isCubeAt(Float3(-0.1f, 3.5f, 4.5f)));
  EXPECT_TRUE(table.isCubeAt(Float3(2.f, 3.f, 4.f)));
}

TEST(CubesTableFilling, LaterZoneWinsOnOverlap) {
  std::vector<CubeZone> zones{zoneOfCells(1, Int3(0, 0, 0), Int3(4, 4, 4)), zoneOfCells(2, Int3(2, 2, 2), Int3(4, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  EXPECT_EQ(table.getCubeIdAt(cellMiddle(1, 1, 1)), 1);
  EXPECT_EQ(table.getCubeIdAt(cellMiddle(2, 2, 2)), 2);
  EXPECT_EQ(table.getCubeIdAt(cellMiddle(3, 2, 2)), 2);
  EXPECT_EQ(table.getCubeIdAt(cellMiddle(5, 2, 2)), 2);
  EXPECT_EQ(table.getCubeIdAt(cellMiddle(3, 3, 2)), 1);

  Int3 size;
  std::unique_ptr<int32_t[]> copy(table.copyCubes(size));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(size, Int3(16, 16, 16));
  EXPECT_EQ(copy[2 + (2 + 2 * 16) * 16], 2);
  EXPECT_EQ(copy[1 + (1 + 1 * 16) * 16], 1);
  EXPECT_EQ(copy[15 + (15 + 15 * 16) * 16], -1);
}

TEST(CubesTableFilling, SmallCubesWithInexactEdgesKeepTheirCells) {
  // 0.1 is not exact in binary: sums of it land just beside whole cells, which must neither
  // shift a zone by one cell nor add a cell past its end.
  const float s = 0.1f;
  for (int first = 0; first < 30; ++first) {
    for (int count = 1; count <= 3 && first + count <= 32; ++count) {
      std::vector<CubeZone> zones{zoneOfCells(3, Int3(first, 31 - first, 2), Int3(count, 1, 1), s)};
      CubesTable table(Float3(1.6f, 1.6f, 1.6f), s, 3.2f, zones);
      ASSERT_EQ(table.getSizeTableCubes(), Int3(32, 32, 32));
      for (int x = 0; x < 32; ++x) {
        const bool inside = x >= first && x < first + count;
        EXPECT_EQ(table.getCubeIdAtCell(Int3(x, 31 - first, 2)), inside ? 3 : -1)
            << "zone of " << count << " from " << first << ", cell " << x;
      }
    }
  }
}

TEST(CubesTableFillingDeathTest, ZoneReachingOutsideTheRegionStops) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(14, 0, 0), Int3(3, 1, 1))};
  EXPECT_EXIT(CubesTable(regionCentre, 1.f, regionSize, zones), testing::ExitedWithCode(1),
              "isInRange\\(posIntInRegion\\)");
  // A configured cube edge that gives no sensible grid is reported, not allocated.
  for (float edge : {0.f, -1.f, std::numeric_limits<float>::quiet_NaN(), 1e-6f})
    EXPECT_EXIT(CubesTable(regionCentre, edge, regionSize, zones), testing::ExitedWithCode(1),
                "cubes per region edge")
        << edge;
}

TEST(CubesTableShadows, SingleCubeShadowsItsDiagonalOnly) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  std::vector<const CubeZone*> casters{&zones[0]};
  CubesTable table(regionCentre, 1.f, regionSize, zones, &casters);
  ASSERT_TRUE(table.hasShadows());
  std::set<std::tuple<int, int, int>> expected;
  for (int k = 0; k <= 5; ++k) expected.insert(std::make_tuple(k, k, k));
  EXPECT_EQ(shadowCells(table), expected);
}

TEST(CubesTableShadows, BoxCastsFromItsLowerFacesAndRaysMeetingMarksStop) {
  // Two boxes whose diagonals overlap: the second box's rays run into cells the first one
  // marked and stop there; the union must still be every diagonal of both.
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(6, 6, 6), Int3(2, 2, 2)), zoneOfCells(0, Int3(8, 8, 8), Int3(2, 3, 2))};
  std::vector<CubeZone*> casters{&zones[0], &zones[1]};
  CubesTable table(regionCentre, 1.f, regionSize, zones, &casters);

  std::set<std::tuple<int, int, int>> expected;
  for (const CubeZone& zone : zones) {
    const Int3 lo = table.getCellOf(zone.centre - zone.size / 2.f);
    for (int i = 0; i < (int)zone.size.x(); ++i)
      for (int j = 0; j < (int)zone.size.y(); ++j)
        for (int k = 0; k < (int)zone.size.z(); ++k) {
          if (i != 0 && j != 0 && k != 0) continue;
          for (int x = lo.x() + i, y = lo.y() + j, z = lo.z() + k; x >= 0 && y >= 0 && z >= 0; --x, --y, --z)
            expected.insert(std::make_tuple(x, y, z));
        }
  }
  EXPECT_EQ(shadowCells(table), expected);
  // The far upper corner of the second box is lit: no ray starts from its inner cells.
  EXPECT_FALSE(table.isShadowCell(Int3(9, 10, 9)));
}

TEST(CubesTableShadows, CastersOutsideTheRegion) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(0, 0, 0), Int3(1, 1, 1))};
  // Beyond the upper faces: cell (18, 16, 17) enters at (15, 13, 14) along the diagonal.
  CubeZone above = zoneOfCells(0, Int3(18, 16, 17), Int3(1, 1, 1));
  // Below x = 0: its rays never enter.
  CubeZone below = zoneOfCells(0, Int3(-1, 9, 9), Int3(1, 1, 1));
  // Beyond one face and below another: the ray passes outside the grid.
  CubeZone aside = zoneOfCells(0, Int3(20, 2, 8), Int3(1, 1, 1));
  std::vector<const CubeZone*> casters{&above, &below, &aside};
  CubesTable table(regionCentre, 1.f, regionSize, zones, &casters);
  std::set<std::tuple<int, int, int>> expected;
  for (int k = 0; k <= 13; ++k) expected.insert(std::make_tuple(15 - k, 13 - k, 14 - k));
  EXPECT_EQ(shadowCells(table), expected);

  // A caster of 2^26 cubes per edge from cell (4, 0, 0) (a damaged file) must not run a ray
  // per face cell: only the cells its lower faces can reach are tried. Everything is in its
  // shadow but the cells inside it, above its three lower faces. Damaged numbers mark nothing.
  const float big = 67108864.f;
  CubeZone huge(0, Float3(4.f + big / 2.f, big / 2.f, big / 2.f), Float3(big, big, big));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  CubeZone notANumber(0, Float3(nan, 3.f, 3.f), Float3(1.f, 1.f, 1.f));
  CubeZone nanSize(0, Float3(3.5f, 3.5f, 3.5f), Float3(1.f, nan, 1.f));
  std::vector<const CubeZone*> damaged{&huge, &notANumber, &nanSize};
  CubesTable hugeTable(regionCentre, 1.f, regionSize, zones, &damaged);
  expected.clear();
  for (int z = 0; z < 16; ++z)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        if (x <= 4 || y == 0 || z == 0) expected.insert(std::make_tuple(x, y, z));
  EXPECT_EQ(shadowCells(hugeTable), expected);
}

TEST(CubesTableShadows, ShadowedAtFollowsTheFaceDiagonal) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(0, 0, 0), Int3(1, 1, 1))};
  // Casters one cell beyond (5,5,5)'s +x and -z neighbours mark (6,5,5) and (5,5,4).
  CubeZone plusX = zoneOfCells(0, Int3(6, 5, 5), Int3(1, 1, 1));
  CubeZone minusZ = zoneOfCells(0, Int3(5, 5, 4), Int3(1, 1, 1));
  std::vector<const CubeZone*> casters{&plusX, &minusZ};
  CubesTable table(regionCentre, 1.f, regionSize, zones, &casters);
  ASSERT_FALSE(table.isShadowCell(Int3(5, 5, 5)));
  ASSERT_TRUE(table.isShadowCell(Int3(6, 5, 5)));
  ASSERT_TRUE(table.isShadowCell(Int3(5, 5, 4)));

  // Top face of cell (5, 5, 5) (u along x, w along z).
  EXPECT_TRUE(table.isShadowedAt(Float3(5.7f, 5.5f, 5.2f), 0));
  EXPECT_FALSE(table.isShadowedAt(Float3(5.5f, 5.5f, 5.5f), 0));
  EXPECT_FALSE(table.isShadowedAt(Float3(5.2f, 5.5f, 5.7f), 0));
  EXPECT_TRUE(table.isShadowedAt(Float3(5.7f, 5.5f, 5.2f), 1));
  // The same neighbours mean nothing to the side faces of that cell.
  EXPECT_FALSE(table.isShadowedAt(Float3(5.7f, 5.5f, 5.2f), 2));
  EXPECT_FALSE(table.isShadowedAt(Float3(5.7f, 5.5f, 5.2f), 4));
  EXPECT_FALSE(table.isShadowedAt(Float3(5.7f, 5.5f, 5.2f), 6));
  // A point in a shadow cell is shadowed on any face.
  EXPECT_TRUE(table.isShadowedAt(Float3(6.5f, 5.5f, 5.5f), 3));
  // Cell (6, 5, 4): its -x (5, 5, 4) and +z (6, 5, 5) neighbours are shadowed, so the side
  // where u < w is.
  EXPECT_TRUE(table.isShadowedAt(Float3(6.2f, 5.5f, 4.7f), 0));
  EXPECT_FALSE(table.isShadowedAt(Float3(6.7f, 5.5f, 4.2f), 0));

  // A hair below the region's lower corner the fraction rounds to 1: the point is taken as
  // lying on cell 0's lower side (cell (0, 0, 0) is its own caster's shadow).
  CubeZone corner = zoneOfCells(0, Int3(0, 0, 0), Int3(1, 1, 1));
  std::vector<const CubeZone*> cornerCasters{&corner};
  CubesTable cornerTable(regionCentre, 1.f, regionSize, zones, &cornerCasters);
  EXPECT_TRUE(cornerTable.isShadowedAt(Float3(-1e-9f, 0.5f, 0.5f), 4));
  EXPECT_FALSE(cornerTable.isShadowedAt(Float3(1.5f, -1e-9f, 1.5f), 1));
  // Far outside or not a number: no answer but "lit", and no cell.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(cornerTable.isShadowedAt(Float3(nan, 0.5f, 0.5f), 0));
  EXPECT_FALSE(cornerTable.isShadowedAt(Float3(0.5f, 1e30f, 0.5f), 0));
  EXPECT_FALSE(cornerTable.isShadowedAt(Float3(0.5f, 0.5f, -INFINITY), 0));
  EXPECT_EQ(cornerTable.getCubeIdAt(Float3(nan, 0.5f, 0.5f)), -1);
  EXPECT_EQ(cornerTable.getCubeIdAt(Float3(0.5f, -1e30f, 0.5f)), -1);
  EXPECT_FALSE(cornerTable.isInRange(cornerTable.getCellOf(Float3(1e30f, 1e30f, 1e30f))));
}

TEST(CubesTableShadows, ShadowedAtOnSideFaces) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(0, 0, 0), Int3(1, 1, 1))};
  // Around cell (5, 5, 5): +x (6,5,5) and -y (5,4,5) for the front/back faces,
  // +y (5,6,5) and -z (5,5,4) for the left/right faces.
  CubeZone plusX = zoneOfCells(0, Int3(6, 5, 5), Int3(1, 1, 1));
  CubeZone minusY = zoneOfCells(0, Int3(5, 4, 5), Int3(1, 1, 1));
  std::vector<const CubeZone*> frontCasters{&plusX, &minusY};
  CubesTable front(regionCentre, 1.f, regionSize, zones, &frontCasters);
  EXPECT_TRUE(front.isShadowedAt(Float3(5.7f, 5.2f, 5.5f), 2));
  EXPECT_FALSE(front.isShadowedAt(Float3(5.2f, 5.7f, 5.5f), 3));

  CubeZone plusY = zoneOfCells(0, Int3(5, 6, 5), Int3(1, 1, 1));
  CubeZone minusZ = zoneOfCells(0, Int3(5, 5, 4), Int3(1, 1, 1));
  std::vector<const CubeZone*> sideCasters{&plusY, &minusZ};
  CubesTable side(regionCentre, 1.f, regionSize, zones, &sideCasters);
  EXPECT_TRUE(side.isShadowedAt(Float3(5.5f, 5.2f, 5.7f), 4));
  EXPECT_FALSE(side.isShadowedAt(Float3(5.5f, 5.7f, 5.2f), 5));
}

TEST(CubesTableSizeOneCube, CachedValueSetForTools) {
  CubesTable::setSizeOneCube(0.5f);
  EXPECT_FLOAT_EQ(CubesTable::getSizeOneCube(), 0.5f);
  CubesTable::setSizeOneCube(2.f);
  EXPECT_FLOAT_EQ(CubesTable::getSizeOneCube(), 2.f);
}
