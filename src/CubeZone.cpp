#include "CubeZone.h"

#include <cmath>
#include <cstdlib>

#include "CubeTypeLook.h"
#include "CubeTypeManager.h"
#include "CubeZoneVertices.h"
#include "CubesTable.h"
#include "Assert.h"

bool shadowsEnabled = true;

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

/// Where a zone lies in the cells of a table: per axis the cell of its first cube's middle,
/// the number of cubes, and the cells of the layers just outside its lower and upper sides.
struct ZoneCells {
  int first[3];
  int count[3];
  int outside[3][2];
};

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
    cells.first[a] = (int)std::floor((lo + s / 2.f) * inverse);
    cells.count[a] = (int)std::ceil(zone.size[a] * inverse - 0.5f);
    cells.outside[a][0] = (int)std::floor((lo - outward) * inverse);
    cells.outside[a][1] = (int)std::floor((hi + outward) * inverse);
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
  if (countU > 0 && (cells.first[U] < 0 || cells.first[U] + countU > sizeTable[U])) return false;
  if (countV > 0 && (cells.first[V] < 0 || cells.first[V] + countV > sizeTable[V])) return false;

  const size_t stride[3] = {1, (size_t)sizeTable[0], (size_t)sizeTable[0] * sizeTable[1]};
  const int32_t* start = cubes + (size_t)cellN * stride[N] + (size_t)cells.first[U] * stride[U] +
                         (size_t)cells.first[V] * stride[V];
  for (int j = 0; j < countV; ++j) {
    const int32_t* row = start + (size_t)j * stride[V];
    for (int i = 0; i < countU; ++i)
      if (row[(size_t)i * stride[U]] == -1) return false;
  }
  return true;
}

}  // namespace

void CubeZone::computeTextureBounds(const bool textureOptions[3], float sizeOneCube, Float3& low, Float3& high,
                                    Float3& low2, Float3& high2) const {
  for (int a = 0; a < 3; ++a) {
    low[a] = 0.f;
    high[a] = size[a] / sizeOneCube;
    low2[a] = 0.f;
    high2[a] = high[a];
    if (!textureOptions[0]) high[a] = high2[a] = 1.f;
    if (!textureOptions[1]) {
      high[a] /= 8.f;
      high2[a] /= 8.f;
      low[a] = frac((centre[a] - size[a] / 2.f) / (8.f * sizeOneCube));
      low2[a] = 1.f - frac((centre[a] + size[a] / 2.f) / (8.f * sizeOneCube));
      high[a] += low[a];
      high2[a] += low2[a];
    }
  }
}

void CubeZone::buildFar(MeshGroupMap& groups, const CubesTable& table) const {
  CubeTypeManager* manager = CubeTypeManager::getInstance();
  CubeType* cubeType = manager->getCubeTypeForDrawing(id);
  cubeType->loadTextures();
  buildFar(groups, table, cubeType->getLook(), manager->isValidId(id) && shadowsEnabled);
}

void CubeZone::buildNear(MeshGroupMap& groups, const CubesTable& table) const {
  CubeType* cubeType = CubeTypeManager::getInstance()->getCubeTypeForDrawing(id);
  cubeType->loadTextures();
  buildNear(groups, table, cubeType->getLook());
}

void CubeZone::buildFar(MeshGroupMap& groups, const CubesTable& table, const CubeTypeLook& look,
                        bool drawShadowTriangles) const {
  const float s = table.getCellSize();
  Float3 bounds[4];
  computeTextureBounds(look.textureOptions, s, bounds[Low], bounds[High], bounds[Low2], bounds[High2]);

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

  const Float3 half = size / 2.f;
  // Faces of a type usually share a texture: look the group up only when it changes.
  int lastTexture = 0;
  MeshGroup* lastGroup = nullptr;
  const ZoneCells cells = cellsOf(*this, table);
  for (int face = 0; face < 6; ++face) {
    if (isFaceHidden(cells, face, table)) continue;
    const int texture = isFaceShadowed[face] ? look.textureFaceShadowed[face] : look.textureFace[face];
    if (lastGroup == nullptr || texture != lastTexture) {
      lastTexture = texture;
      lastGroup = &groups[texture];
    }
    MeshGroup& group = *lastGroup;
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
    const std::vector<Float3>& triangles = shadowTriangles[list];
    if (triangles.empty()) continue;
    if (shadowGroup == nullptr) shadowGroup = &groups[look.textureShadow];
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

void CubeZone::buildNear(MeshGroupMap& groups, const CubesTable& table, const CubeTypeLook& look) const {
  const float s = table.getCellSize();
  Float3 low, high, low2, high2;
  computeTextureBounds(look.textureOptions, s, low, high, low2, high2);
  const Float3 half = size / 2.f;
  const bool withShadowGrid = table.hasShadows();

  std::vector<Float3> vertices;
  std::vector<Float2> texCoord;
  std::vector<uint8_t> areShadowedQuad;
  for (int face = 0; face < 6; ++face) {
    vertices.clear();
    texCoord.clear();
    areShadowedQuad.clear();
    const bool usesSecondBounds = face == 0 || face == 3 || face == 5;
    const Bumpmap* bumpmap = look.bumpmaps[face].pixels != nullptr ? &look.bumpmaps[face] : nullptr;
    CubeZoneVertices::getFaceVertices(centre, half, face, usesSecondBounds ? low2 : low,
                                      usesSecondBounds ? high2 : high, bumpmap, s, table,
                                      CubeZoneVertices::getDefaultBumpmap(), vertices, texCoord, areShadowedQuad);
    assert(vertices.size() == texCoord.size());
    assert(vertices.size() == areShadowedQuad.size()*4);
    if (areShadowedQuad.empty()) continue;

    const int shadowedTexture = look.textureFaceShadowed[face];
    const int litTexture = isFaceShadowed[face] ? shadowedTexture : look.textureFace[face];
    MeshGroup& litGroup = groups[litTexture];
    MeshGroup* shadowedGroup = withShadowGrid ? &groups[shadowedTexture] : &litGroup;
    for (size_t k = 0; k < areShadowedQuad.size(); ++k) {
      MeshGroup& group = areShadowedQuad[k] ? *shadowedGroup : litGroup;
      group.verticesQuadVect.insert(group.verticesQuadVect.end(), vertices.begin() + 4 * k,
                                    vertices.begin() + 4 * k + 4);
      group.texCoordQuadVect.insert(group.texCoordQuadVect.end(), texCoord.begin() + 4 * k,
                                    texCoord.begin() + 4 * k + 4);
    }
  }
}

bool CubeZone::contains(const Float3& point) const {
  assert(id >= 0);
  // Fetching by id checks "id < cubeTypes.size()" and marks the type used.
  const CubeType* cubeType = CubeTypeManager::getInstance()->getCubeType(id);
  if (!cubeType->collidable) return false;
  for (int a = 0; a < 3; ++a) {
    if (point[a] < centre[a] - size[a] / 2.f || point[a] > centre[a] + size[a] / 2.f) return false;
  }
  return true;
}
