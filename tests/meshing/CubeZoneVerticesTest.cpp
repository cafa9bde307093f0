#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "meshing/CubeTypeLook.h"
#include "meshing/CubeZone.h"
#include "meshing/CubeZoneVertices.h"
#include "meshing/CubesTable.h"
#include "ZoneTestHelpers.h"

using namespace zonetest;

namespace {

struct FaceQuads {
  std::vector<Float3> vertices;
  std::vector<Float2> texCoord;
  std::vector<uint8_t> areShadowedQuad;
};

FaceQuads faceOf(const CubeZone& zone, int face, const CubesTable& table, const Bumpmap* bumpmap = nullptr,
                 CubeZoneVertices::JoinScratch* join = nullptr) {
  FaceQuads quads;
  Float3 low, high, low2, high2;
  const bool options[3] = {true, true, true};
  zone.computeTextureBounds(options, 1.f, low, high, low2, high2);
  const bool second = face == 0 || face == 3 || face == 5;
  CubeZoneVertices::getFaceVertices(zone.centre, zone.size / 2.f, face, second ? low2 : low, second ? high2 : high,
                                    bumpmap, 1.f, table, CubeZoneVertices::getDefaultBumpmap(), quads.vertices,
                                    quads.texCoord, quads.areShadowedQuad, join);
  EXPECT_EQ(quads.vertices.size(), quads.texCoord.size());
  EXPECT_EQ(quads.vertices.size(), quads.areShadowedQuad.size() * 4);
  return quads;
}

bool isOneOf(float v, std::initializer_list<float> values) {
  for (float w : values)
    if (std::fabs(v - w) < 1e-5f) return true;
  return false;
}

/// Bump map pixels with height 128 + 8 * (x + width * y) in the red byte.
std::vector<unsigned char> rampPixels(int width, int height) {
  std::vector<unsigned char> pixels((size_t)width * height * 3, 0);
  for (int i = 0; i < width * height; ++i) pixels[(size_t)i * 3] = (unsigned char)(128 + 8 * i % 120);
  return pixels;
}

}  // namespace

TEST(CubeZoneNearBuild, LoneCubeHasSixteenQuadsPerFaceAndABevel) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  FaceQuads top = faceOf(zones[0], 0, table);
  ASSERT_EQ(top.areShadowedQuad.size(), 16u);
  for (const Float3& v : top.vertices) {
    const bool onEdge = isOneOf(v.x(), {5.125f, 5.875f}) || isOneOf(v.z(), {5.125f, 5.875f});
    EXPECT_TRUE(isOneOf(v.x(), {5.125f, 5.25f, 5.5f, 5.75f, 5.875f})) << v;
    EXPECT_TRUE(isOneOf(v.z(), {5.125f, 5.25f, 5.5f, 5.75f, 5.875f})) << v;
    EXPECT_FLOAT_EQ(v.y(), onEdge ? 5.875f : 6.f) << v;
  }
  // First small quad: corners (0,0), (0,1), (1,1), (1,0); v is mirrored.
  EXPECT_EQ(top.vertices[0], Float3(5.125f, 5.875f, 5.125f));
  EXPECT_EQ(top.vertices[2], Float3(5.25f, 6.f, 5.25f));
  EXPECT_EQ(top.texCoord[0], Float2(0.f, 1.f));
  EXPECT_EQ(top.texCoord[2], Float2(0.25f, 0.75f));

  MeshGroupMap groups;
  zones[0].buildNear(groups, table, testLook());
  for (int face = 0; face < 6; ++face) EXPECT_EQ(groups[10 + face].verticesQuadVect.size(), 64u) << face;
  // Every quad of the bottom face lies at or above y = 5 and turns its bevel upward.
  for (const Float3& v : groups[11].verticesQuadVect) EXPECT_TRUE(isOneOf(v.y(), {5.f, 5.125f})) << v;
}

TEST(CubeZoneNearBuild, BuriedCubesEmitNothingAndHalfBuriedOnlyTheirRing) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1)), zoneOfCells(0, Int3(4, 6, 4), Int3(3, 1, 3))};
  CubesTable buried(regionCentre, 1.f, regionSize, zones);
  EXPECT_TRUE(faceOf(zones[0], 0, buried).vertices.empty());

  // Only the cell above is solid: the cube keeps the outer ring of its face, without the
  // four corner quads (border on both axes), flat and without bevel.
  std::vector<CubeZone> zones2{zones[0], zoneOfCells(0, Int3(5, 6, 5), Int3(1, 1, 1))};
  CubesTable covered(regionCentre, 1.f, regionSize, zones2);
  FaceQuads ring = faceOf(zones2[0], 0, covered);
  EXPECT_EQ(ring.areShadowedQuad.size(), 8u);
  for (const Float3& v : ring.vertices) EXPECT_FLOAT_EQ(v.y(), 6.f);

  // Along a longer zone under a full slab, every cube's top is buried.
  std::vector<CubeZone> zones3{zoneOfCells(0, Int3(3, 5, 5), Int3(3, 1, 1)), zoneOfCells(0, Int3(2, 6, 4), Int3(5, 1, 3))};
  CubesTable slab(regionCentre, 1.f, regionSize, zones3);
  EXPECT_TRUE(faceOf(zones3[0], 0, slab).vertices.empty());
  EXPECT_EQ(faceOf(zones3[0], 2, slab).areShadowedQuad.size(), 48u);
}

TEST(CubeZoneNearBuild, BevelOnlyOnTheZoneBorder) {
  // A 3-cube zone: the middle cube's top has no bevel along x (its neighbours are the zone).
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(3, 5, 5), Int3(3, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  FaceQuads top = faceOf(zones[0], 0, table);
  ASSERT_EQ(top.areShadowedQuad.size(), 48u);
  for (const Float3& v : top.vertices) {
    const bool onEdge = isOneOf(v.x(), {3.125f, 5.875f}) || isOneOf(v.z(), {5.125f, 5.875f});
    EXPECT_FLOAT_EQ(v.y(), onEdge ? 5.875f : 6.f) << v;
    EXPECT_FALSE(isOneOf(v.x(), {3.f, 6.f})) << v;
  }
}

TEST(CubeZoneNearBuild, BumpMapHeightsAndSizeRules) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(2, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);

  std::vector<unsigned char> pixels44 = rampPixels(4, 4);
  Bumpmap ramp{pixels44.data(), 4, 4, 3};
  FaceQuads top = faceOf(zones[0], 0, table, &ramp);
  ASSERT_EQ(top.areShadowedQuad.size(), 32u);
  // Interior corner at u index 6, v index 2 (x = 5 + 6/4, z = 5 + 2/4) takes pixel (2, 2).
  const float expected = 6.f + pixels44[(2 + 4 * 2) * 3] / 256.f - 0.5f;
  bool found = false;
  for (const Float3& v : top.vertices) {
    if (isOneOf(v.x(), {6.5f}) && isOneOf(v.z(), {5.5f})) {
      EXPECT_FLOAT_EQ(v.y(), expected);
      found = true;
    }
  }
  EXPECT_TRUE(found);

  std::vector<unsigned char> pixels42 = rampPixels(4, 2);
  Bumpmap wide{pixels42.data(), 4, 2, 3};
  FaceQuads flatter = faceOf(zones[0], 0, table, &wide);
  EXPECT_EQ(flatter.areShadowedQuad.size(), 16u);

  std::vector<unsigned char> pixels22 = rampPixels(2, 2);
  Bumpmap tiny{pixels22.data(), 2, 2, 3};
  FaceQuads replaced = faceOf(zones[0], 0, table, &tiny);
  EXPECT_EQ(replaced.areShadowedQuad.size(), 32u);

  // One pixel wide: a lone cube's face is one small quad wide, so both its sides slope
  // (half that quad each, meeting in the middle); along v the bevel is half a quad of v.
  std::vector<CubeZone> lone{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  CubesTable loneTable(regionCentre, 1.f, regionSize, lone);
  std::vector<unsigned char> pixels14(1 * 4 * 3, 128);
  Bumpmap narrow{pixels14.data(), 1, 4, 3};
  FaceQuads strips = faceOf(lone[0], 0, loneTable, &narrow);
  ASSERT_EQ(strips.areShadowedQuad.size(), 4u);
  for (const Float3& v : strips.vertices) {
    EXPECT_FLOAT_EQ(v.x(), 5.5f) << v;
    EXPECT_TRUE(isOneOf(v.z(), {5.125f, 5.25f, 5.5f, 5.75f, 5.875f})) << v;
  }

  // Alpha bump maps: 4 bytes per pixel, only the first one counts.
  std::vector<unsigned char> pixelsAlpha(4 * 4 * 4, 128);
  Bumpmap alpha{pixelsAlpha.data(), 4, 4, 4};
  for (const Float3& v : faceOf(zones[0], 0, table, &alpha).vertices) EXPECT_LE(v.y(), 6.f);
}

TEST(CubeZoneNearBuildDeathTest, BumpMapOfEightByEightStops) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  std::vector<unsigned char> pixels(8 * 8 * 3, 128);
  Bumpmap big{pixels.data(), 8, 8, 3};
  EXPECT_EXIT(faceOf(zones[0], 0, table, &big), testing::ExitedWithCode(1),
              "bumpmapTexture->getWidth\\(\\)==4 \\|\\| bumpmapTexture->getHeight\\(\\)==4");
  EXPECT_EXIT(faceOf(zones[0], 6, table), testing::ExitedWithCode(1), "false");
}

TEST(CubeZoneNearBuild, ShadowFlagsChooseTheShadowedTexture) {
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
  // A caster at (6, 7, 6) shades the cell above the cube, (5, 6, 5), but not the cube.
  CubeZone caster = zoneOfCells(0, Int3(6, 7, 6), Int3(1, 1, 1));
  std::vector<const CubeZone*> casters{&caster};
  CubesTable shaded(regionCentre, 1.f, regionSize, zones, &casters);
  FaceQuads top = faceOf(zones[0], 0, shaded);
  ASSERT_EQ(top.areShadowedQuad.size(), 16u);
  for (uint8_t flag : top.areShadowedQuad) EXPECT_EQ(flag, 1);
  FaceQuads front = faceOf(zones[0], 2, shaded);
  for (uint8_t flag : front.areShadowedQuad) EXPECT_EQ(flag, 0);

  MeshGroupMap groups;
  zones[0].buildNear(groups, shaded, testLook());
  EXPECT_EQ(groups[20].verticesQuadVect.size(), 64u);
  EXPECT_EQ(groups[10].verticesQuadVect.size(), 0u);
  EXPECT_EQ(groups[12].verticesQuadVect.size(), 64u);

  // Without a shadow grid the flags are not consulted; a face flagged dark uses the
  // shadowed texture anyway.
  CubesTable lit(regionCentre, 1.f, regionSize, zones);
  zones[0].isFaceShadowed[0] = true;
  MeshGroupMap litGroups;
  zones[0].buildNear(litGroups, lit, testLook());
  EXPECT_EQ(litGroups[20].verticesQuadVect.size(), 64u);
  EXPECT_EQ(litGroups[10].verticesQuadVect.size(), 0u);
  EXPECT_EQ(litGroups[11].verticesQuadVect.size(), 64u);
}

TEST(CubeZoneNearBuild, JoiningMergesPlanesOfSmallQuadsAndKeepsTheSurfaceAndTexels) {
  // A 4 x 1 x 3 zone alone (its border bevelled) with a cube on it (only the ring of small
  // quads under it is drawn), part of its top in the shadow of a caster.
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(4, 5, 4), Int3(4, 1, 3)), zoneOfCells(0, Int3(6, 6, 5), Int3(1, 1, 1))};
  CubeZone caster = zoneOfCells(0, Int3(6, 7, 5), Int3(2, 1, 2));
  std::vector<const CubeZone*> casters{&caster};
  CubesTable table(regionCentre, 1.f, regionSize, zones, &casters);
  CubeZoneVertices::JoinScratch scratch;
  const FaceQuads separate = faceOf(zones[0], 0, table);
  const FaceQuads joined = faceOf(zones[0], 0, table, nullptr, &scratch);
  ASSERT_NE(std::count(separate.areShadowedQuad.begin(), separate.areShadowedQuad.end(), 1), 0);
  ASSERT_NE(std::count(separate.areShadowedQuad.begin(), separate.areShadowedQuad.end(), 0), 0);

  // Every corner of a joined quad is a corner of the small quads, with its texture coordinates.
  std::map<std::tuple<float, float, float>, Float2> corners;
  for (size_t k = 0; k < separate.vertices.size(); ++k) {
    const Float3& v = separate.vertices[k];
    corners[std::make_tuple(v.x(), v.y(), v.z())] = separate.texCoord[k];
  }
  for (size_t k = 0; k < joined.vertices.size(); ++k) {
    const Float3& v = joined.vertices[k];
    const auto found = corners.find(std::make_tuple(v.x(), v.y(), v.z()));
    ASSERT_NE(found, corners.end()) << v;
    EXPECT_EQ(found->second, joined.texCoord[k]) << v;
  }
  // Each small quad lies in exactly one joined quad of its shadow flag: its middle inside the
  // joined one seen from above, its corners on the joined one's plane. The area seen from above
  // is the same for each flag, so no joined quad covers more.
  float area[2] = {0.f, 0.f};
  const auto addArea = [&area](const FaceQuads& quads, size_t q, float sign) {
    const Float3 extent = quads.vertices[4 * q + 2] - quads.vertices[4 * q];
    area[quads.areShadowedQuad[q]] += sign * std::fabs(extent.x() * extent.z());
  };
  // The height of joined quad q above (x, z): its corners run (0, 0), (0, 1), (1, 1), (1, 0)
  // in (x, z) on a top face.
  const auto heightIn = [&joined](size_t q, float x, float z) {
    const Float3* c = &joined.vertices[4 * q];
    const float fx = (x - c[0].x()) / (c[2].x() - c[0].x());
    const float fz = (z - c[0].z()) / (c[2].z() - c[0].z());
    return (1 - fx) * ((1 - fz) * c[0].y() + fz * c[1].y()) + fx * ((1 - fz) * c[3].y() + fz * c[2].y());
  };
  for (size_t q = 0; q < joined.areShadowedQuad.size(); ++q) addArea(joined, q, 1.f);
  for (size_t p = 0; p < separate.areShadowedQuad.size(); ++p) {
    addArea(separate, p, -1.f);
    const Float3 middle = (separate.vertices[4 * p] + separate.vertices[4 * p + 2]) / 2.f;
    size_t holders = 0;
    for (size_t q = 0; q < joined.areShadowedQuad.size(); ++q) {
      const Float3& a = joined.vertices[4 * q];
      const Float3& c = joined.vertices[4 * q + 2];
      if (!(middle.x() > std::min(a.x(), c.x()) && middle.x() < std::max(a.x(), c.x()) &&
            middle.z() > std::min(a.z(), c.z()) && middle.z() < std::max(a.z(), c.z())))
        continue;
      ++holders;
      EXPECT_EQ(joined.areShadowedQuad[q], separate.areShadowedQuad[p]) << "small quad " << p;
      for (int k = 0; k < 4; ++k) {
        const Float3& v = separate.vertices[4 * p + k];
        EXPECT_NEAR(heightIn(q, v.x(), v.z()), v.y(), 1e-5f) << "small quad " << p << " corner " << k;
      }
    }
    EXPECT_EQ(holders, 1u) << "small quad " << p;
  }
  EXPECT_NEAR(area[0], 0.f, 1e-4f);
  EXPECT_NEAR(area[1], 0.f, 1e-4f);
  // The 192 small quads become the joined interior pieces, the bevel strips cut by the shadow
  // and the ring under the cube, and the four corners where two bevels meet.
  EXPECT_LE(joined.areShadowedQuad.size() * 8, separate.areShadowedQuad.size());

  // A face with relief is left as it was, even where some of its small quads lie flat.
  std::vector<unsigned char> pixels(4 * 4 * 3, 128);
  pixels[15 * 3] = 140;
  Bumpmap oneBump{pixels.data(), 4, 4, 3};
  const FaceQuads bumped = faceOf(zones[0], 0, table, &oneBump);
  const FaceQuads bumpedJoined = faceOf(zones[0], 0, table, &oneBump, &scratch);
  EXPECT_EQ(bumpedJoined.vertices, bumped.vertices);
  EXPECT_EQ(bumpedJoined.texCoord, bumped.texCoord);

  // The range build joins with the switch only; the textures stay those of the small quads.
  const std::vector<CubeTypeLook> looks{testLook()};
  const std::vector<CubeZone::DrawLook> drawLooks(2, CubeZone::DrawLook{&looks[0], false, true});
  MeshGroupMap plain, joinedGroups;
  CubeZone::buildNear(zones.data(), drawLooks.data(), 2, plain, table);
  CubeZone::buildNear(zones.data(), drawLooks.data(), 2, joinedGroups, table, nullptr, true);
  for (const auto& entry : plain) {
    const size_t quads = joinedGroups[entry.first].verticesQuadVect.size();
    if (entry.second.verticesQuadVect.empty()) {
      EXPECT_EQ(quads, 0u) << entry.first;
      continue;
    }
    EXPECT_GT(quads, 0u) << entry.first;
    EXPECT_LT(quads, entry.second.verticesQuadVect.size()) << entry.first;
  }
}
