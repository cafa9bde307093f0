#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "meshing/CubeTypeLook.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "meshing/JoinedFaces.h"
#include "ZoneTestHelpers.h"

using namespace zonetest;

namespace {

/// A flat field of count x count single cubes on layer y = 5, from cell (2, 5, 2).
std::vector<CubeZone> flatField(int count, int id = 0) {
  std::vector<CubeZone> zones;
  for (int z = 0; z < count; ++z)
    for (int x = 0; x < count; ++x) zones.push_back(zoneOfCells(id, Int3(2 + x, 5, 2 + z), Int3(1, 1, 1)));
  return zones;
}

MeshGroupMap buildRange(const std::vector<CubeZone>& zones, const std::vector<CubeTypeLook>& looks,
                        const CubesTable& table, bool joinFaces, bool shadowTriangles = false, bool isOpaque = true) {
  std::vector<CubeZone::DrawLook> drawLooks;
  for (const CubeZone& zone : zones)
    drawLooks.push_back(CubeZone::DrawLook{&looks[zone.id], shadowTriangles, isOpaque});
  MeshGroupMap groups;
  CubeZone::buildFar(zones.data(), drawLooks.data(), zones.size(), groups, table, nullptr, joinFaces);
  return groups;
}

size_t quadsOf(const MeshGroupMap& groups, int texture) {
  const auto it = groups.find(texture);
  return it == groups.end() ? 0 : it->second.verticesQuadVect.size() / 4;
}

size_t allQuads(const MeshGroupMap& groups) {
  size_t quads = 0;
  for (const auto& entry : groups) quads += entry.second.verticesQuadVect.size() / 4;
  return quads;
}

/// Summed area of the quads of a group (each quad an axis-aligned rectangle).
float areaOf(const MeshGroup& group) {
  float area = 0.f;
  const std::vector<Float3>& v = group.verticesQuadVect;
  for (size_t q = 0; q + 4 <= v.size(); q += 4) {
    float extent[3];
    for (int a = 0; a < 3; ++a) extent[a] = std::fabs(v[q + 2][a] - v[q][a]);
    area += extent[0] * extent[1] + extent[1] * extent[2] + extent[0] * extent[2];
  }
  return area;
}

/// The texture coordinates of every corner of the separate faces, by texture and place.
using CornerMap = std::map<std::tuple<int, float, float, float>, Float2>;
CornerMap cornersOf(const MeshGroupMap& groups) {
  CornerMap corners;
  for (const auto& entry : groups)
    for (size_t k = 0; k < entry.second.verticesQuadVect.size(); ++k) {
      const Float3& p = entry.second.verticesQuadVect[k];
      corners[std::make_tuple(entry.first, p.x(), p.y(), p.z())] = entry.second.texCoordQuadVect[k];
    }
  return corners;
}

/// Every corner of a joined quad maps the texture as the separate face at that place did:
/// the coordinates differ by whole repeats only.
void expectSameTexels(const MeshGroupMap& separate, const MeshGroupMap& joined) {
  const CornerMap corners = cornersOf(separate);
  for (const auto& entry : joined)
    for (size_t k = 0; k < entry.second.verticesQuadVect.size(); ++k) {
      const Float3& p = entry.second.verticesQuadVect[k];
      const auto found = corners.find(std::make_tuple(entry.first, p.x(), p.y(), p.z()));
      ASSERT_NE(found, corners.end()) << "texture " << entry.first << " corner " << k;
      const Float2 t = entry.second.texCoordQuadVect[k];
      for (int c = 0; c < 2; ++c) {
        const float difference = t[c] - found->second[c];
        EXPECT_NEAR(difference, std::round(difference), 1e-5f) << "texture " << entry.first << " corner " << k;
      }
    }
}

}  // namespace

TEST(JoinedFaces, FlatFieldBecomesOneQuadPerSideWithTheSameAreaAndTexels) {
  const std::vector<CubeZone> zones = flatField(8);
  const std::vector<CubeTypeLook> looks{testLook()};
  const CubesTable table(regionCentre, 1.f, regionSize, zones);

  // Off: the bytes of today's build, zone after zone.
  MeshGroupMap zoneByZone;
  for (const CubeZone& zone : zones) zone.buildFar(zoneByZone, table, looks[0], false);
  const MeshGroupMap separate = buildRange(zones, looks, table, false);
  ASSERT_EQ(separate.size(), zoneByZone.size());
  for (const auto& entry : separate) {
    EXPECT_EQ(entry.second.verticesQuadVect, zoneByZone[entry.first].verticesQuadVect) << entry.first;
    EXPECT_EQ(entry.second.texCoordQuadVect, zoneByZone[entry.first].texCoordQuadVect) << entry.first;
  }
  EXPECT_EQ(allQuads(separate), 64u + 64u + 4u * 8u);

  const MeshGroupMap joined = buildRange(zones, looks, table, true);
  EXPECT_EQ(allQuads(joined), 6u);
  for (int face = 0; face < 6; ++face) {
    ASSERT_EQ(quadsOf(joined, 10 + face), 1u) << face;
    EXPECT_FLOAT_EQ(areaOf(joined.at(10 + face)), areaOf(separate.at(10 + face))) << face;
    // Counted exactly: the lists were sized once.
    EXPECT_EQ(joined.at(10 + face).verticesQuadVect.capacity(), 4u);
  }
  // A tiled texture runs once per cube: the top spans 8 repeats both ways, a side 8 by 1.
  const std::vector<Float2>& top = joined.at(10).texCoordQuadVect;
  EXPECT_FLOAT_EQ(std::fabs(top[2].x() - top[0].x()), 8.f);
  EXPECT_FLOAT_EQ(std::fabs(top[2].y() - top[0].y()), 8.f);
  const std::vector<Float2>& front = joined.at(12).texCoordQuadVect;
  EXPECT_FLOAT_EQ(std::fabs(front[2].x() - front[0].x()), 8.f);
  EXPECT_FLOAT_EQ(std::fabs(front[2].y() - front[0].y()), 1.f);
  expectSameTexels(separate, joined);

  // Anchored to the world grid every 8 cubes (textureOptions[1] off): the same texels too.
  std::vector<CubeTypeLook> anchored{testLook()};
  anchored[0].textureOptions[1] = false;
  const MeshGroupMap anchoredJoined = buildRange(zones, anchored, table, true);
  EXPECT_EQ(allQuads(anchoredJoined), 6u);
  expectSameTexels(buildRange(zones, anchored, table, false), anchoredJoined);
}

TEST(JoinedFaces, NeverAcrossTypesFacesShadowStatesPlanesOrLooksThatDoNotRepeat) {
  // Two halves of one field, of two types drawn with the same textures.
  std::vector<CubeZone> zones = flatField(4);
  for (size_t k = 0; k < zones.size(); ++k) zones[k].id = k % 4 < 2 ? 0 : 1;
  std::vector<CubeTypeLook> looks{testLook(), testLook()};
  {
    const CubesTable table(regionCentre, 1.f, regionSize, zones);
    const MeshGroupMap joined = buildRange(zones, looks, table, true);
    EXPECT_EQ(quadsOf(joined, 10), 2u);  // one top per type
    EXPECT_EQ(quadsOf(joined, 11), 2u);
    expectSameTexels(buildRange(zones, looks, table, false), joined);
  }

  // One type; a shadowed column of tops joins on its own, with the shadowed texture.
  for (CubeZone& zone : zones) zone.id = 0;
  for (size_t k = 0; k < zones.size(); k += 4) zones[k].isFaceShadowed[0] = true;
  {
    const CubesTable table(regionCentre, 1.f, regionSize, zones);
    const MeshGroupMap joined = buildRange(zones, looks, table, true);
    EXPECT_EQ(quadsOf(joined, 20), 1u);
    EXPECT_EQ(quadsOf(joined, 10), 1u);
    EXPECT_EQ(quadsOf(joined, 11), 1u);  // the bottoms stay lit: one quad
  }
  for (CubeZone& zone : zones) zone.isFaceShadowed[0] = false;

  // A step: the raised cubes' tops lie in another plane; their sides stand beside the others'.
  std::vector<CubeZone> steps = zones;
  for (size_t k = 0; k < steps.size(); ++k)
    if (k % 4 >= 2) steps[k].centre = steps[k].centre + Float3(0.f, 1.f, 0.f);
  {
    const CubesTable table(regionCentre, 1.f, regionSize, steps);
    const MeshGroupMap joined = buildRange(steps, looks, table, true);
    EXPECT_EQ(quadsOf(joined, 10), 2u);
    expectSameTexels(buildRange(steps, looks, table, false), joined);
  }

  // Stretched once over each zone, or shifted at random: every face stays its own quad.
  const CubesTable fieldTable(regionCentre, 1.f, regionSize, zones);
  for (int option : {0, 2}) {
    std::vector<CubeTypeLook> own{testLook()};
    own[0].textureOptions[option] = false;
    EXPECT_EQ(allQuads(buildRange(zones, own, fieldTable, true)), allQuads(buildRange(zones, own, fieldTable, false)))
        << option;
  }
  // See-through faces are drawn one by one, in zone order, as without joining.
  const MeshGroupMap seeThrough = buildRange(zones, looks, fieldTable, true, false, false);
  const MeshGroupMap seeThroughSeparate = buildRange(zones, looks, fieldTable, false, false, false);
  for (const auto& entry : seeThroughSeparate)
    EXPECT_EQ(seeThrough.at(entry.first).verticesQuadVect, entry.second.verticesQuadVect) << entry.first;

  // Zones off the cells of the table keep their faces.
  std::vector<CubeZone> shifted = zones;
  for (CubeZone& zone : shifted) zone.centre = zone.centre + Float3(0.25f, 0.f, 0.f);
  const CubesTable table(regionCentre, 1.f, regionSize, shifted);
  EXPECT_EQ(allQuads(buildRange(shifted, looks, table, true)), allQuads(buildRange(shifted, looks, table, false)));
}

TEST(JoinedFaces, ShadowTrianglesAndFacesLeftAloneAreLaidAsWithoutJoining) {
  // The corner cube has shadow triangles over its top.
  std::vector<CubeZone> zones = flatField(3);
  zones[0].shadowTriangles[3] = {Float3(0.f, 0.5f, 0.f), Float3(0.5f, 0.5f, 0.f), Float3(0.f, 0.5f, 0.5f)};
  // A second type that does not repeat per cube stands on the field.
  zones.push_back(zoneOfCells(1, Int3(3, 6, 3), Int3(1, 2, 1)));
  std::vector<CubeTypeLook> looks{testLook(), testLook()};
  looks[1].textureOptions[0] = false;
  for (int i = 0; i < 6; ++i) looks[1].textureFace[i] = 30 + i;
  const CubesTable table(regionCentre, 1.f, regionSize, zones);
  const MeshGroupMap separate = buildRange(zones, looks, table, false, true);
  const MeshGroupMap joined = buildRange(zones, looks, table, true, true);
  ASSERT_EQ(joined.count(99), 1u);
  EXPECT_EQ(joined.at(99).verticesTriVect, separate.at(99).verticesTriVect);
  EXPECT_EQ(joined.at(99).texCoordTriVect, separate.at(99).texCoordTriVect);
  EXPECT_EQ(quadsOf(separate, 31), 0u);  // the tower's bottom lies on the field
  for (int face = 0; face < 6; ++face) {
    ASSERT_EQ(joined.count(30 + face), separate.count(30 + face)) << face;
    if (separate.count(30 + face) == 0) continue;
    EXPECT_EQ(joined.at(30 + face).verticesQuadVect, separate.at(30 + face).verticesQuadVect) << face;
    EXPECT_EQ(joined.at(30 + face).texCoordQuadVect, separate.at(30 + face).texCoordQuadVect) << face;
  }
  // The field's top around the tower's foot (a ring of 8 cubes): the shadowed corner on its
  // own, as without joining (the faces of whole zones come first), and the 7 others joined.
  const std::vector<Float3>& top = joined.at(10).verticesQuadVect;
  ASSERT_GE(top.size(), 4u);
  const std::vector<Float3>& separateTop = separate.at(10).verticesQuadVect;
  EXPECT_EQ(std::vector<Float3>(top.begin(), top.begin() + 4),
            std::vector<Float3>(separateTop.begin(), separateTop.begin() + 4));
  EXPECT_EQ(quadsOf(joined, 10), 1u + 4u);
  EXPECT_FLOAT_EQ(areaOf(joined.at(10)), 8.f);
}

TEST(JoinedFaces, MergeCoversEachKeysCellsOnceWithGreedyRectangles) {
  JoinedFaces faces;
  const JoinedFaces::Key a{nullptr, 1, 0, 0, 0};
  const JoinedFaces::Key b{nullptr, 2, 0, 0, 0};
  // An L of a: a 3 x 1 run and a 1 x 2 column under its first cell, one cell given twice;
  // b overlapping it in the plane.
  faces.add(a, 0, 0, 3, 1);
  faces.add(a, 0, 1, 1, 3);
  faces.add(a, 0, 2, 1, 3);
  faces.add(b, 0, 0, 2, 2);
  std::vector<JoinedFaces::Rect> out;
  faces.merge(out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].key.texture, 1);
  EXPECT_EQ(std::make_tuple(out[0].u0, out[0].v0, out[0].u1, out[0].v1), std::make_tuple(0, 0, 3, 1));
  EXPECT_EQ(std::make_tuple(out[1].u0, out[1].v0, out[1].u1, out[1].v1), std::make_tuple(0, 1, 1, 3));
  EXPECT_EQ(out[2].key.texture, 2);
  EXPECT_EQ(std::make_tuple(out[2].u0, out[2].v0, out[2].u1, out[2].v1), std::make_tuple(0, 0, 2, 2));
  EXPECT_EQ(faces.getNbFaces(), 0u);
}

namespace {

/// The join as first written, kept as the reference for the faster one: keys sorted field by
/// field, then per key one byte per cell of its bounding box, scanned row after row.
std::vector<JoinedFaces::Rect> referenceMerge(std::vector<JoinedFaces::Rect> faces) {
  const auto keyOf = [](const JoinedFaces::Key& k) {
    return std::make_tuple(k.face, k.layer, reinterpret_cast<uintptr_t>(k.look), k.texture, k.isShadowed);
  };
  std::stable_sort(faces.begin(), faces.end(),
                   [&](const JoinedFaces::Rect& a, const JoinedFaces::Rect& b) { return keyOf(a.key) < keyOf(b.key); });
  std::vector<JoinedFaces::Rect> out;
  for (size_t first = 0, end = 0; first < faces.size(); first = end) {
    int32_t minU = faces[first].u0, minV = faces[first].v0, maxU = faces[first].u1, maxV = faces[first].v1;
    for (end = first + 1; end < faces.size() && keyOf(faces[end].key) == keyOf(faces[first].key); ++end) {
      minU = std::min(minU, faces[end].u0);
      minV = std::min(minV, faces[end].v0);
      maxU = std::max(maxU, faces[end].u1);
      maxV = std::max(maxV, faces[end].v1);
    }
    const int32_t width = maxU - minU, height = maxV - minV;
    std::vector<uint8_t> cells((size_t)(width * height), 0);
    const auto cell = [&](int32_t u, int32_t v) -> uint8_t& { return cells[(size_t)((v - minV) * width + u - minU)]; };
    for (size_t f = first; f < end; ++f)
      for (int32_t v = faces[f].v0; v < faces[f].v1; ++v)
        for (int32_t u = faces[f].u0; u < faces[f].u1; ++u) cell(u, v) = 1;
    for (int32_t v = minV; v < maxV; ++v)
      for (int32_t u = minU; u < maxU; ++u) {
        if (!cell(u, v)) continue;
        int32_t uEnd = u + 1, vEnd = v + 1;
        while (uEnd < maxU && cell(uEnd, v)) ++uEnd;
        for (bool full = true; full && vEnd < maxV; vEnd += full ? 1 : 0)
          for (int32_t w = u; w < uEnd; ++w) full = full && cell(w, vEnd);
        for (int32_t w = v; w < vEnd; ++w)
          for (int32_t x = u; x < uEnd; ++x) cell(x, w) = 0;
        out.push_back(JoinedFaces::Rect{faces[first].key, u, v, uEnd, vEnd});
        u = uEnd - 1;
      }
  }
  return out;
}

/// Fixed-seed faces: few keys with many overlapping faces, or many keys with few; planes
/// wider than a machine word; layers (far apart with odd seeds), textures and faces near and far
/// apart.
std::vector<JoinedFaces::Rect> randomFaces(uint32_t seed, size_t count, uint32_t nbKeys, int32_t maxExtent) {
  static const int looks[3] = {0, 0, 0};
  static const int32_t layers[] = {0, 1, 2, 16, -3, 1 << 20};
  static const int32_t textures[] = {7, 3, -1, 70000};
  std::mt19937 random(seed);
  std::vector<JoinedFaces::Key> keys;
  for (uint32_t k = 0; k < nbKeys; ++k)
    keys.push_back(JoinedFaces::Key{&looks[random() % 3], textures[random() % 4], layers[random() % (seed % 2 ? 6 : 5)],
                                    (uint8_t)(random() % 7 == 6 ? 200 : random() % 6), (uint8_t)(random() % 2)});
  std::vector<JoinedFaces::Rect> faces;
  for (size_t f = 0; f < count; ++f) {
    const int32_t u0 = (int32_t)(random() % 140) - 40, v0 = (int32_t)(random() % 90) - 20;
    faces.push_back(JoinedFaces::Rect{keys[random() % nbKeys], u0, v0, u0 + 1 + (int32_t)(random() % maxExtent),
                                      v0 + 1 + (int32_t)(random() % maxExtent)});
  }
  return faces;
}

/// All the bytes of a build's groups, as one FNV-1a hash.
uint64_t hashOf(const MeshGroupMap& groups) {
  uint64_t hash = 1469598103934665603ull;
  const auto mix = [&hash](const void* data, size_t size) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<const uint8_t*>(data)[i]) * 1099511628211ull;
  };
  for (const auto& entry : groups) {
    mix(&entry.first, sizeof entry.first);
    const MeshGroup& g = entry.second;
    mix(g.verticesQuadVect.data(), g.verticesQuadVect.size() * sizeof(Float3));
    mix(g.texCoordQuadVect.data(), g.texCoordQuadVect.size() * sizeof(Float2));
    mix(g.verticesTriVect.data(), g.verticesTriVect.size() * sizeof(Float3));
    mix(g.texCoordTriVect.data(), g.texCoordTriVect.size() * sizeof(Float2));
  }
  return hash;
}

/// Fixed-seed boxes of three types that never overlap, most on whole cells, some shifted off
/// them, some shadowed, some with shadow triangles, some see-through.
struct RandomRegion {
  std::vector<CubeZone> zones;
  std::vector<CubeTypeLook> looks{testLook(), testLook(), testLook()};
  std::vector<CubeZone::DrawLook> drawLooks;

  RandomRegion(uint32_t seed, float cubeSize) {
    looks[1].textureOptions[1] = false;
    for (int i = 0; i < 6; ++i) looks[2].textureFace[i] = 40 + i;
    std::mt19937 random(seed);
    std::vector<uint8_t> taken(16 * 16 * 16, 0);
    for (int attempt = 0; attempt < 600; ++attempt) {
      int lo[3], count[3];
      for (int a = 0; a < 3; ++a) {
        const uint32_t longest = random() % 4 == 0 ? 8 : 3;
        count[a] = 1 + (int)(random() % longest);
        lo[a] = (int)(random() % (uint32_t)(17 - count[a]));
      }
      bool isFree = true;
      for (int z = lo[2]; z < lo[2] + count[2]; ++z)
        for (int y = lo[1]; y < lo[1] + count[1]; ++y)
          for (int x = lo[0]; x < lo[0] + count[0]; ++x) isFree = isFree && !taken[(size_t)(x + 16 * (y + 16 * z))];
      if (!isFree) continue;
      for (int z = lo[2]; z < lo[2] + count[2]; ++z)
        for (int y = lo[1]; y < lo[1] + count[1]; ++y)
          for (int x = lo[0]; x < lo[0] + count[0]; ++x) taken[(size_t)(x + 16 * (y + 16 * z))] = 1;
      CubeZone zone = zoneOfCells((int)(random() % 3), Int3(lo[0], lo[1], lo[2]), Int3(count[0], count[1], count[2]),
                                  cubeSize);
      if (random() % 20 == 0) zone.centre = zone.centre + Float3(0.25f * cubeSize, 0.f, 0.f);
      for (int face = 0; face < 6; ++face) zone.isFaceShadowed[face] = random() % 4 == 0;
      const bool triangles = random() % 15 == 0;
      if (triangles)
        zone.shadowTriangles[3] = {Float3(0.f, 0.5f, 0.f), Float3(0.5f, 0.5f, 0.f), Float3(0.f, 0.5f, 0.5f)};
      drawLooks.push_back(CubeZone::DrawLook{&looks[(size_t)zone.id], triangles, random() % 10 != 0});
      zones.push_back(std::move(zone));
    }
  }
};

}  // namespace

TEST(JoinedFaces, MergeGivesTheRectanglesOfTheStraightforwardPass) {
  struct Case {
    uint32_t seed;
    size_t count;
    uint32_t nbKeys;
    int32_t maxExtent;
  };
  for (const Case& c : {Case{1, 400, 3, 12}, Case{2, 2000, 40, 4}, Case{3, 300, 300, 80}, Case{4, 60, 1, 100},
                        Case{5, 1, 1, 3}, Case{6, 0, 1, 1}, Case{7, 5000, 12, 2}}) {
    const std::vector<JoinedFaces::Rect> faces = randomFaces(c.seed, c.count, c.nbKeys, c.maxExtent);
    const auto fieldsOf = [](const std::vector<JoinedFaces::Rect>& rects) {
      using Fields = std::tuple<const void*, int32_t, int32_t, uint8_t, uint8_t, int32_t, int32_t, int32_t, int32_t>;
      std::vector<Fields> fields;
      for (const JoinedFaces::Rect& r : rects)
        fields.emplace_back(r.key.look, r.key.texture, r.key.layer, r.key.face, r.key.isShadowed, r.u0, r.v0, r.u1,
                            r.v1);
      return fields;
    };
    const auto expected = fieldsOf(referenceMerge(faces));
    // Twice with one object, which keeps its lists.
    JoinedFaces joined;
    for (int round = 0; round < 2; ++round) {
      for (const JoinedFaces::Rect& face : faces) joined.add(face.key, face.u0, face.v0, face.u1, face.v1);
      std::vector<JoinedFaces::Rect> out;
      joined.merge(out);
      EXPECT_EQ(fieldsOf(out), expected) << "seed " << c.seed << " round " << round;
    }
  }
}

TEST(JoinedFaces, BuildsWithAndWithoutJoiningKeepTheirBytes) {
  // Hashes of the far builds of fixed-seed regions (16 cubes a side), joined and not, as the
  // first joining code built them: cubes of a unit, of another power of two and of neither.
  struct Recorded {
    uint32_t seed;
    float cubeSize;
    uint64_t joinedHash;
    uint64_t separateHash;
  };
  const Recorded recorded[] = {{11, 1.f, 12963120841808085738ull, 13216934470796608330ull},
                               {12, 1.f, 8137081063359033274ull, 407302422367457962ull},
                               {13, 1.f, 6187229759383478000ull, 10214218537206445200ull},
                               {14, 0.5f, 2839921794294747210ull, 10581762516817594426ull},
                               {15, 0.75f, 5864770532937358158ull, 9340092398967941310ull},
                               {16, 1.3f, 9170427695823981639ull, 16497404922874006283ull}};
  for (const Recorded& entry : recorded) {
    const RandomRegion region(entry.seed, entry.cubeSize);
    const float s = entry.cubeSize;
    const CubesTable table(Float3(8.f * s, 8.f * s, 8.f * s), s, 16.f * s, region.zones);
    MeshGroupMap groups;
    CubeZone::buildFar(region.zones.data(), region.drawLooks.data(), region.zones.size(), groups, table, nullptr, true);
    MeshGroupMap separate;
    CubeZone::buildFar(region.zones.data(), region.drawLooks.data(), region.zones.size(), separate, table);
    EXPECT_NE(hashOf(groups), hashOf(separate)) << "seed " << entry.seed;  // faces were joined
    EXPECT_EQ(hashOf(groups), entry.joinedHash) << "seed " << entry.seed;
    EXPECT_EQ(hashOf(separate), entry.separateHash) << "seed " << entry.seed;
  }
}
