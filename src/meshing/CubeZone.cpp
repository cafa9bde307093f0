#include "meshing/CubeZone.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "meshing/CubeTypeLook.h"
#include "meshing/CubeZoneVertices.h"
#include "meshing/CubesTable.h"
#include "meshing/JoinedFaces.h"
#include "meshing/SharedRange.h"
#include "Assert.h"

namespace {

enum BoundSet { Low = 0, High = 1, Low2 = 2, High2 = 3 };

/// One corner of a zone face: the signs of its offset from the centre and where its
/// texture coordinates come from (bound set and component).
struct BoxCorner {
  float sx, sy, sz;
  int uSet, uComp, vSet, vComp;
};

/// Each face is one quad running counter-clockwise seen from outside.
constexpr BoxCorner boxCorners[6][4] = {
    // top
    {{-1, +1, -1, High2, 0, High2, 2}, {-1, +1, +1, High2, 0, Low2, 2},
     {+1, +1, +1, Low2, 0, Low2, 2}, {+1, +1, -1, Low2, 0, High2, 2}},
    // bottom
    {{-1, -1, -1, Low, 0, Low, 2}, {+1, -1, -1, High, 0, Low, 2},
     {+1, -1, +1, High, 0, High, 2}, {-1, -1, +1, Low, 0, High, 2}},
    // front
    {{-1, -1, +1, Low, 0, Low, 1}, {+1, -1, +1, High, 0, Low, 1},
     {+1, +1, +1, High, 0, High, 1}, {-1, +1, +1, Low, 0, High, 1}},
    // back (its u is 1 - the bound)
    {{-1, +1, -1, High2, 0, High2, 1}, {+1, +1, -1, Low2, 0, High2, 1},
     {+1, -1, -1, Low2, 0, Low2, 1}, {-1, -1, -1, High2, 0, Low2, 1}},
    // left
    {{-1, -1, -1, Low, 2, Low, 1}, {-1, -1, +1, High, 2, Low, 1},
     {-1, +1, +1, High, 2, High, 1}, {-1, +1, -1, Low, 2, High, 1}},
    // right
    {{+1, -1, -1, High2, 2, Low2, 1}, {+1, +1, -1, High2, 2, High2, 1},
     {+1, +1, +1, Low2, 2, High2, 1}, {+1, -1, +1, Low2, 2, Low2, 1}},
};
constexpr int backFace = 3;

/// Outward direction of shadow triangle list i: -x, +x, -y, +y, -z, +z.
constexpr float shadowListDirection[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
constexpr float shadowPushOut = 0.1f;

float frac(float v) { return v - std::trunc(v); }

/// Divides by multiples of the cube size. With a cube size that is a power of two (as it
/// usually is) its inverse is exact, so a product rounds the same quotient as the division.
class CubeDivisor {
 public:
  explicit CubeDivisor(float parS) : s(parS), inverse(1.f / parS) {
    int exponent = 0;
    isExact = std::isfinite(inverse) && inverse != 0.f && std::frexp(s, &exponent) == 0.5f;
  }
  /// x / (k * s), for k 1 or 8.
  float operator()(float x, float k) const { return isExact ? x * (inverse / k) : x / (k * s); }

 private:
  float s;
  float inverse;
  bool isExact;
};

/// CubeZone::computeTextureBounds along one axis, for a box of `size` around `centre`;
/// divide(x, k) gives x / (k * cube size).
template <typename Divide>
void axisTextureBounds(const bool textureOptions[3], const Divide& divide, float centre, float size, float& low,
                       float& high, float& low2, float& high2) {
  low = 0.f;
  high = divide(size, 1.f);
  low2 = 0.f;
  high2 = high;
  if (!textureOptions[0]) high = high2 = 1.f;
  if (!textureOptions[1]) {
    high /= 8.f;
    high2 /= 8.f;
    low = frac(divide(centre - size / 2.f, 8.f));
    low2 = 1.f - frac(divide(centre + size / 2.f, 8.f));
    high += low;
    high2 += low2;
  }
}

/// Where a zone lies in the cells of a table: per axis the cell of its first cube's middle,
/// the number of cubes, and the cells of the layers just outside its lower and upper sides.
struct ZoneCells {
  int first[3];
  int count[3];
  int outside[3][2];
};

/// floor(v) kept clear of int overflow (a damaged zone may be huge or not a number): far
/// outside any table either way.
int cellFloor(float v) {
  const float cell = std::floor(v);
  if (!(cell > -1e9f)) return -1000000000;
  if (cell > 1e9f) return 1000000000;
  return (int)cell;
}

ZoneCells cellsOf(const CubeZone& zone, const CubesTable& table) {
  ZoneCells cells;
  const float s = table.getCellSize();
  const float inverse = 1.f / s;
  const Float3& cornerMin = table.getCornerMin();
  // Half a cube outward lands in the neighbouring layer whatever the cube size; half a unit
  // would jump past it with cubes under half a unit.
  const float outward = s < 1.f ? s / 2.f : 0.5f;
  for (int a = 0; a < 3; ++a) {
    const float lo = zone.centre[a] - zone.size[a] / 2.f - cornerMin[a];
    const float hi = zone.centre[a] + zone.size[a] / 2.f - cornerMin[a];
    // The middles of the cubes: from half a cube inside the lower corner, one cube apart,
    // below the upper corner.
    cells.first[a] = cellFloor((lo + s / 2.f) * inverse);
    cells.count[a] = -cellFloor(0.5f - zone.size[a] * inverse);  // ceil(size / s - 0.5)
    cells.outside[a][0] = cellFloor((lo - outward) * inverse);
    cells.outside[a][1] = cellFloor((hi + outward) * inverse);
  }
  return cells;
}

/// Whether the layer just outside face `face` is solid over the whole face: every cube of the
/// face has a non-empty cell of the table beside it. A sample outside the table shows the face.
bool isFaceHidden(const ZoneCells& cells, int face, const CubesTable& table) {
  const int32_t* cubes = table.getCubes();
  if (cubes == nullptr) return false;
  const Int3& sizeTable = table.getSizeTableCubes();
  const int U = CubeZoneVertices::faceAxisU[face];
  const int V = CubeZoneVertices::faceAxisV[face];
  const int N = CubeZoneVertices::faceAxisNormal[face];
  const int cellN = cells.outside[N][CubeZoneVertices::faceSign[face] > 0.f ? 1 : 0];
  if (cellN < 0 || cellN >= sizeTable[N]) return false;
  const int countU = cells.count[U];
  const int countV = cells.count[V];
  // A face without a cube has no sample, and none that shows it.
  if (countU <= 0 || countV <= 0) return true;
  if (cells.first[U] < 0 || cells.first[U] + countU > sizeTable[U]) return false;
  if (cells.first[V] < 0 || cells.first[V] + countV > sizeTable[V]) return false;

  const size_t stride[3] = {1, (size_t)sizeTable[0], (size_t)sizeTable[0] * sizeTable[1]};
  const int32_t* start = cubes + (size_t)cellN * stride[N] + (size_t)cells.first[U] * stride[U] +
                         (size_t)cells.first[V] * stride[V];
  // Buried faces are scanned whole: walk the axis of the smaller stride in the inner loop.
  const bool uInner = stride[U] < stride[V];
  const size_t innerStride = uInner ? stride[U] : stride[V];
  const size_t outerStride = uInner ? stride[V] : stride[U];
  const int innerCount = uInner ? countU : countV;
  const int outerCount = uInner ? countV : countU;
  for (int j = 0; j < outerCount; ++j) {
    const int32_t* row = start + (size_t)j * outerStride;
    for (int i = 0; i < innerCount; ++i)
      if (row[(size_t)i * innerStride] == -1) return false;
  }
  return true;
}

/// Bit `face` set: the face is drawn.
uint8_t visibleFacesOf(const CubeZone& zone, const CubesTable& table) {
  const ZoneCells cells = cellsOf(zone, table);
  uint8_t visible = 0;
  for (int face = 0; face < 6; ++face)
    if (!isFaceHidden(cells, face, table)) visible |= (uint8_t)(1u << face);
  return visible;
}

/// Grows a list so that `extra` more elements fit: exactly on the first call of a fresh
/// list, geometrically afterwards, so that repeated calls stay linear.
template <typename T>
void reserveMore(std::vector<T>& list, size_t extra) {
  const size_t needed = list.size() + extra;
  if (needed > list.capacity()) list.reserve(std::max(needed, 2 * list.capacity()));
}

/// Quads and triangles counted per texture before a range build sizes its groups, then the
/// group of each texture for the fill. GL texture names are small numbers, so they index a
/// slot table directly; other keys fall back to a search.
class GroupCounts {
 public:
  GroupCounts() { counts.reserve(64); }
  void add(int texture, size_t quads, size_t triangles) {
    Count& count = countOf(texture);
    count.quads += quads;
    count.triangles += triangles;
  }
  /// Creates the counted groups and sizes their lists for what is to come.
  void reserveIn(MeshGroupMap& parGroups) {
    groups = &parGroups;
    for (Count& count : counts) {
      count.group = &parGroups[count.texture];
      reserveMore(count.group->verticesQuadVect, 4 * count.quads);
      reserveMore(count.group->texCoordQuadVect, 4 * count.quads);
      reserveMore(count.group->verticesTriVect, 3 * count.triangles);
      reserveMore(count.group->texCoordTriVect, 3 * count.triangles);
    }
  }
  /// After reserveIn: the group of a texture (one not counted is created then).
  MeshGroup& operator()(int texture) {
    Count& count = countOf(texture);
    if (count.group == nullptr) count.group = &(*groups)[texture];
    return *count.group;
  }

 private:
  struct Count {
    int texture;
    size_t quads;
    size_t triangles;
    MeshGroup* group;
  };
  static constexpr int directLimit = 1 << 16;

  Count& countOf(int texture) {
    if (texture >= 0 && texture < directLimit) {
      if ((size_t)texture >= slotOf.size()) slotOf.resize((size_t)texture + 1, -1);
      int& slot = slotOf[(size_t)texture];
      if (slot < 0) {
        slot = (int)counts.size();
        counts.push_back(Count{texture, 0, 0, nullptr});
      }
      return counts[(size_t)slot];
    }
    for (Count& count : counts)
      if (count.texture == texture) return count;
    counts.push_back(Count{texture, 0, 0, nullptr});
    return counts.back();
  }

  std::vector<Count> counts;
  std::vector<int> slotOf;
  MeshGroupMap* groups = nullptr;
};

/// The group of a texture in a map, remembering the last one: the faces of a type usually
/// share a texture. For builds without a count.
class MapGroups {
 public:
  explicit MapGroups(MeshGroupMap& parGroups) : groups(parGroups) {}
  MeshGroup& operator()(int texture) {
    if (last == nullptr || texture != lastTexture) {
      lastTexture = texture;
      last = &groups[texture];
    }
    return *last;
  }

 private:
  MeshGroupMap& groups;
  int lastTexture = 0;
  MeshGroup* last = nullptr;
};

int faceTextureOf(const CubeZone& zone, const CubeTypeLook& look, int face) {
  return zone.isFaceShadowed[face] ? look.textureFaceShadowed[face] : look.textureFace[face];
}

size_t nbShadowTriangles(const CubeZone& zone) {
  size_t triangles = 0;
  for (const std::vector<Float3>& list : zone.shadowTriangles) triangles += list.size() / 3;
  return triangles;
}

/// Quads and shadow triangles of one zone appended to the groups; `visible` from
/// visibleFacesOf.
template <typename GroupOf>
void appendFar(const CubeZone& zone, GroupOf& groupOf, float s, const CubeTypeLook& look, bool drawShadowTriangles,
               uint8_t visible) {
  Float3 bounds[4];
  zone.computeTextureBounds(look.textureOptions, s, bounds[Low], bounds[High], bounds[Low2], bounds[High2]);

  // One offset per pair of opposite faces (top/bottom, front/back, left/right).
  float offsetU[3] = {0.f, 0.f, 0.f};
  float offsetV[3] = {0.f, 0.f, 0.f};
  if (!look.textureOptions[2]) {
    const int pairAxisU[3] = {0, 0, 2};
    const int pairAxisV[3] = {2, 1, 1};
    for (int pair = 0; pair < 3; ++pair) {
      const float r1 = (float)rand() / (float)RAND_MAX;
      const float r2 = (float)rand() / (float)RAND_MAX;
      offsetV[pair] = bounds[High][pairAxisV[pair]] * r1;
      offsetU[pair] = bounds[High][pairAxisU[pair]] * r2;
    }
  }

  const Float3& centre = zone.centre;
  const Float3 half = zone.size / 2.f;
  for (int face = 0; face < 6; ++face) {
    if ((visible & (1u << face)) == 0) continue;
    MeshGroup& group = groupOf(faceTextureOf(zone, look, face));
    const int pair = face / 2;
    for (const BoxCorner& corner : boxCorners[face]) {
      group.verticesQuadVect.push_back(Float3(centre.x() + corner.sx * half.x(), centre.y() + corner.sy * half.y(),
                                              centre.z() + corner.sz * half.z()));
      float u = bounds[corner.uSet][corner.uComp];
      if (face == backFace) u = 1.f - u;
      u += offsetU[pair];
      const float v = bounds[corner.vSet][corner.vComp] + offsetV[pair];
      group.texCoordQuadVect.push_back(Float2(1.f - u, v));
    }
  }

  if (!drawShadowTriangles) return;
  MeshGroup* shadowGroup = nullptr;
  for (int list = 0; list < 6; ++list) {
    const std::vector<Float3>& triangles = zone.shadowTriangles[list];
    if (triangles.size() < 3) continue;
    if (shadowGroup == nullptr) shadowGroup = &groupOf(look.textureShadow);
    const Float3 shift(centre.x() + shadowListDirection[list][0] * shadowPushOut,
                       centre.y() + shadowListDirection[list][1] * shadowPushOut,
                       centre.z() + shadowListDirection[list][2] * shadowPushOut);
    const size_t nbPoints = triangles.size() - triangles.size() % 3;
    for (size_t p = 0; p < nbPoints; p += 3) {
      for (size_t k = 0; k < 3; ++k) shadowGroup->verticesTriVect.push_back(triangles[p + k] + shift);
      shadowGroup->texCoordTriVect.push_back(Float2(0.f, 0.f));
      shadowGroup->texCoordTriVect.push_back(Float2(1.f, 0.f));
      shadowGroup->texCoordTriVect.push_back(Float2(0.f, 1.f));
    }
  }
}

const Bumpmap* bumpmapOf(const CubeTypeLook& look, int face) {
  return look.bumpmaps[face].pixels != nullptr ? &look.bumpmaps[face] : nullptr;
}

/// The three lists one face's small quads are first written to, reused face after face.
struct FaceLists {
  std::vector<Float3> vertices;
  std::vector<Float2> texCoord;
  std::vector<uint8_t> areShadowedQuad;
  /// Set in a joining build.
  CubeZoneVertices::JoinScratch* join = nullptr;
};

template <typename GroupOf>
void appendNear(const CubeZone& zone, GroupOf& groupOf, const CubesTable& table, const CubeTypeLook& look,
                FaceLists& lists) {
  const float s = table.getCellSize();
  Float3 low, high, low2, high2;
  zone.computeTextureBounds(look.textureOptions, s, low, high, low2, high2);
  const Float3 half = zone.size / 2.f;
  const bool withShadowGrid = table.hasShadows();

  std::vector<Float3>& vertices = lists.vertices;
  std::vector<Float2>& texCoord = lists.texCoord;
  std::vector<uint8_t>& areShadowedQuad = lists.areShadowedQuad;
  for (int face = 0; face < 6; ++face) {
    vertices.clear();
    texCoord.clear();
    areShadowedQuad.clear();
    const bool usesSecondBounds = face == 0 || face == 3 || face == 5;
    CubeZoneVertices::getFaceVertices(zone.centre, half, face, usesSecondBounds ? low2 : low,
                                      usesSecondBounds ? high2 : high, bumpmapOf(look, face), s, table,
                                      CubeZoneVertices::getDefaultBumpmap(), vertices, texCoord, areShadowedQuad,
                                      lists.join);
    assert(vertices.size() == texCoord.size());
    assert(vertices.size() == areShadowedQuad.size()*4);
    if (areShadowedQuad.empty()) continue;

    const int shadowedTexture = look.textureFaceShadowed[face];
    const int litTexture = faceTextureOf(zone, look, face);
    MeshGroup& litGroup = groupOf(litTexture);
    MeshGroup* shadowedGroup = withShadowGrid ? &groupOf(shadowedTexture) : &litGroup;
    for (size_t k = 0; k < areShadowedQuad.size(); ++k) {
      MeshGroup& group = areShadowedQuad[k] ? *shadowedGroup : litGroup;
      group.verticesQuadVect.insert(group.verticesQuadVect.end(), vertices.begin() + 4 * k,
                                    vertices.begin() + 4 * k + 4);
      group.texCoordQuadVect.insert(group.texCoordQuadVect.end(), texCoord.begin() + 4 * k,
                                    texCoord.begin() + 4 * k + 4);
    }
  }
}

/// Fills the zones of a range build: all in order, or those claimed from a shared range,
/// `batch` at a time (a far zone costs less than a claim would if claimed one by one).
template <class Fill>
void fillZones(size_t nbZones, SharedRange* claims, uint32_t batch, Fill fill) {
  if (claims == nullptr) {
    for (size_t k = 0; k < nbZones; ++k) fill(k);
    return;
  }
  uint32_t from = 0, to = 0;
  while (claims->claimNext(from, to, batch))
    for (uint32_t k = from; k < to; ++k) fill(k);
}

/// How far a zone bound may lie from a cell boundary (in cells) and still count as on it.
constexpr float joinTolerance = 1e-3f;

/// Whether the faces of a zone may be joined with others, and then the cells [lo, hi) it
/// covers: its type's texture repeats once per cube without random offset, so that a texel
/// depends only on where it lies on the cube grid, and the zone's bounds lie on whole cells of
/// the table.
bool joinableCells(const CubeZone& zone, const CubeTypeLook& look, const CubesTable& table, const CubeDivisor& divide,
                   int lo[3], int hi[3]) {
  if (!look.textureOptions[0] || !look.textureOptions[2]) return false;
  const Int3& sizeTable = table.getSizeTableCubes();
  const Float3& cornerMin = table.getCornerMin();
  for (int a = 0; a < 3; ++a) {
    const float min = divide(zone.centre[a] - zone.size[a] / 2.f - cornerMin[a], 1.f);
    const float max = divide(zone.centre[a] + zone.size[a] / 2.f - cornerMin[a], 1.f);
    // Also false for a bound that is not a number.
    if (!(min >= -0.5f && max <= (float)sizeTable[a] + 0.5f)) return false;
    // The nearest whole cell (min + 0.5 >= 0 here; a max this rounds wrongly is below the min).
    lo[a] = (int)(min + 0.5f);
    hi[a] = (int)(max + 0.5f);
    if (!(std::fabs(min - (float)lo[a]) <= joinTolerance && std::fabs(max - (float)hi[a]) <= joinTolerance))
      return false;
    if (lo[a] < 0 || hi[a] > sizeTable[a] || hi[a] <= lo[a]) return false;
  }
  return true;
}

/// One joined quad appended to its group: corners on the table's cell boundaries, texture
/// coordinates those of a zone covering the rectangle.
template <typename GroupOf>
void appendJoined(const JoinedFaces::Rect& rect, GroupOf& groupOf, const CubesTable& table, const CubeDivisor& divide) {
  const CubeTypeLook& look = *static_cast<const CubeTypeLook*>(rect.key.look);
  const int face = rect.key.face;
  const int U = CubeZoneVertices::faceAxisU[face];
  const int V = CubeZoneVertices::faceAxisV[face];
  const int N = CubeZoneVertices::faceAxisNormal[face];
  const float s = table.getCellSize();
  const Float3& cornerMin = table.getCornerMin();
  Float3 lo, hi;
  lo[U] = cornerMin[U] + (float)rect.u0 * s;
  hi[U] = cornerMin[U] + (float)rect.u1 * s;
  lo[V] = cornerMin[V] + (float)rect.v0 * s;
  hi[V] = cornerMin[V] + (float)rect.v1 * s;
  lo[N] = hi[N] = cornerMin[N] + (float)rect.key.layer * s;
  // The bounds of a zone covering the rectangle, along the face's two axes (all it uses).
  Float3 bounds[4] = {};
  for (const int a : {U, V})
    axisTextureBounds(look.textureOptions, divide, (lo[a] + hi[a]) / 2.f, hi[a] - lo[a], bounds[Low][a],
                      bounds[High][a], bounds[Low2][a], bounds[High2][a]);

  MeshGroup& group = groupOf(rect.key.texture);
  for (const BoxCorner& corner : boxCorners[face]) {
    group.verticesQuadVect.push_back(Float3(corner.sx > 0 ? hi.x() : lo.x(), corner.sy > 0 ? hi.y() : lo.y(),
                                            corner.sz > 0 ? hi.z() : lo.z()));
    float u = bounds[corner.uSet][corner.uComp];
    if (face == backFace) u = 1.f - u;
    group.texCoordQuadVect.push_back(Float2(1.f - u, bounds[corner.vSet][corner.vComp]));
  }
}

/// The joined far build of CubeZone::buildFar: the faces of joinable zones are collected and
/// joined, then every list is counted and sized once and filled: the other zones' faces and
/// every zone's shadow triangles in zone order, then the joined quads.
void buildFarJoined(const CubeZone* zones, const CubeZone::DrawLook* looks, size_t nbZones, MeshGroupMap& groups,
                    const CubesTable& table, SharedRange* claims) {
  // The zones this build fills: all, or those claimed. Their faces are joined only once all
  // are known, so they are claimed first.
  std::vector<size_t> mine;
  mine.reserve(claims == nullptr ? nbZones : 0);
  fillZones(nbZones, claims, 32, [&mine](size_t k) { mine.push_back(k); });

  // Per zone filled: the faces laid on their own (those of joined zones go to `joined`).
  std::vector<uint8_t> alone(mine.size());
  const CubeDivisor divide(table.getCellSize());
  GroupCounts counts;
  std::vector<JoinedFaces::Rect> rects;
  {
    // Freed before the groups are sized, which may then take its memory. At most six faces a
    // zone: its list never grows in the loop (pages not written are never touched).
    JoinedFaces joined;
    joined.reserve(6 * mine.size());
    for (size_t i = 0; i < mine.size(); ++i) {
      const CubeZone& zone = zones[mine[i]];
      const CubeTypeLook& look = *looks[mine[i]].look;
      uint8_t visible = visibleFacesOf(zone, table);
      const size_t triangles = looks[mine[i]].drawShadowTriangles ? nbShadowTriangles(zone) : 0;
      if (triangles > 0) counts.add(look.textureShadow, 0, triangles);
      // Shadow triangles float just in front of their zone's faces, so close that which of them
      // pass the depth test depends on how the face under them is cut: such a zone keeps its own
      // faces, and its shadows look as without joining.
      int lo[3], hi[3];
      if (visible != 0 && triangles == 0 && looks[mine[i]].isOpaque &&
          joinableCells(zone, look, table, divide, lo, hi)) {
        for (int face = 0; face < 6; ++face) {
          if ((visible & (1u << face)) == 0) continue;
          const int U = CubeZoneVertices::faceAxisU[face];
          const int V = CubeZoneVertices::faceAxisV[face];
          const int N = CubeZoneVertices::faceAxisNormal[face];
          const int layer = CubeZoneVertices::faceSign[face] > 0.f ? hi[N] : lo[N];
          const JoinedFaces::Key key{&look, faceTextureOf(zone, look, face), layer, (uint8_t)face,
                                     (uint8_t)(zone.isFaceShadowed[face] ? 1 : 0)};
          joined.add(key, lo[U], lo[V], hi[U], hi[V]);
        }
        visible = 0;
      }
      alone[i] = visible;
      for (int face = 0; face < 6; ++face)
        if (visible & (1u << face)) counts.add(faceTextureOf(zone, look, face), 1, 0);
    }
    rects.reserve(joined.getNbFaces());
    joined.merge(rects);
  }
  for (const JoinedFaces::Rect& rect : rects) counts.add(rect.key.texture, 1, 0);
  counts.reserveIn(groups);

  const float s = table.getCellSize();
  for (size_t i = 0; i < mine.size(); ++i)
    appendFar(zones[mine[i]], counts, s, *looks[mine[i]].look, looks[mine[i]].drawShadowTriangles, alone[i]);
  for (const JoinedFaces::Rect& rect : rects) appendJoined(rect, counts, table, divide);
}

}  // namespace

void CubeZone::computeTextureBounds(const bool textureOptions[3], float sizeOneCube, Float3& low, Float3& high,
                                    Float3& low2, Float3& high2) const {
  const auto divide = [sizeOneCube](float x, float k) { return x / (k * sizeOneCube); };
  for (int a = 0; a < 3; ++a)
    axisTextureBounds(textureOptions, divide, centre[a], size[a], low[a], high[a], low2[a], high2[a]);
}

void CubeZone::buildFar(MeshGroupMap& groups, const CubesTable& table, const CubeTypeLook& look,
                        bool drawShadowTriangles) const {
  MapGroups groupOf(groups);
  appendFar(*this, groupOf, table.getCellSize(), look, drawShadowTriangles, visibleFacesOf(*this, table));
}

void CubeZone::buildNear(MeshGroupMap& groups, const CubesTable& table, const CubeTypeLook& look) const {
  FaceLists lists;
  MapGroups groupOf(groups);
  appendNear(*this, groupOf, table, look, lists);
}

void CubeZone::buildFar(const CubeZone* zones, const DrawLook* looks, size_t nbZones, MeshGroupMap& groups,
                        const CubesTable& table, SharedRange* claims, bool joinFaces) {
  if (joinFaces) {
    buildFarJoined(zones, looks, nbZones, groups, table, claims);
    return;
  }
  // The culling is the costly part of counting: keep its answer for the fill.
  std::vector<uint8_t> visible(nbZones);
  GroupCounts counts;
  for (size_t k = 0; k < nbZones; ++k) {
    const CubeZone& zone = zones[k];
    const CubeTypeLook& look = *looks[k].look;
    visible[k] = visibleFacesOf(zone, table);
    for (int face = 0; face < 6; ++face)
      if (visible[k] & (1u << face)) counts.add(faceTextureOf(zone, look, face), 1, 0);
    if (looks[k].drawShadowTriangles) {
      const size_t triangles = nbShadowTriangles(zone);
      if (triangles > 0) counts.add(look.textureShadow, 0, triangles);
    }
  }
  counts.reserveIn(groups);

  const float s = table.getCellSize();
  fillZones(nbZones, claims, 32, [&](size_t k) {
    appendFar(zones[k], counts, s, *looks[k].look, looks[k].drawShadowTriangles, visible[k]);
  });
}

void CubeZone::buildNear(const CubeZone* zones, const DrawLook* looks, size_t nbZones, MeshGroupMap& groups,
                         const CubesTable& table, SharedRange* claims, bool joinFaces) {
  const float s = table.getCellSize();
  const bool withShadowGrid = table.hasShadows();
  const Bumpmap* defaultBumpmap = CubeZoneVertices::getDefaultBumpmap();
  GroupCounts counts;
  size_t largestFace = 0;
  for (size_t k = 0; k < nbZones; ++k) {
    const CubeZone& zone = zones[k];
    const CubeTypeLook& look = *looks[k].look;
    const Float3 half = zone.size / 2.f;
    for (int face = 0; face < 6; ++face) {
      const size_t quads =
          CubeZoneVertices::countFaceQuads(zone.centre, half, face, bumpmapOf(look, face), s, table, defaultBumpmap);
      if (quads == 0) continue;
      largestFace = std::max(largestFace, quads);
      // Which quads are shadowed is only known while filling: each of the two groups is
      // sized for all of them (pages never written are never touched).
      const int litTexture = faceTextureOf(zone, look, face);
      counts.add(litTexture, quads, 0);
      if (withShadowGrid && look.textureFaceShadowed[face] != litTexture)
        counts.add(look.textureFaceShadowed[face], quads, 0);
    }
  }
  counts.reserveIn(groups);

  FaceLists lists;
  lists.vertices.reserve(4 * largestFace);
  lists.texCoord.reserve(4 * largestFace);
  lists.areShadowedQuad.reserve(largestFace);
  CubeZoneVertices::JoinScratch join;
  if (joinFaces) lists.join = &join;
  fillZones(nbZones, claims, 1, [&](size_t k) { appendNear(zones[k], counts, table, *looks[k].look, lists); });
}

bool CubeZone::isInBox(const Float3& point) const {
  for (int a = 0; a < 3; ++a) {
    if (point[a] < centre[a] - size[a] / 2.f || point[a] > centre[a] + size[a] / 2.f) return false;
  }
  return true;
}
