#include "meshing/CubeZoneVertices.h"

#include <string>

#include "meshing/CubesTable.h"
#include "Assert.h"

namespace {

constexpr unsigned char flatPixels[4 * 4 * 3] = {
    128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
    128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,
    128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128};

const Bumpmap flatBumpmap{flatPixels, 4, 4, 3};

/// Corner order of a small quad per face, as (u step, v step) from corner (i, j); every quad
/// runs counter-clockwise seen from outside.
constexpr int cornerOrder[6][4][2] = {
    {{0, 0}, {0, 1}, {1, 1}, {1, 0}},  // top
    {{0, 0}, {1, 0}, {1, 1}, {0, 1}},  // bottom
    {{0, 0}, {1, 0}, {1, 1}, {0, 1}},  // front
    {{0, 0}, {0, 1}, {1, 1}, {1, 0}},  // back
    {{0, 0}, {1, 0}, {1, 1}, {0, 1}},  // left
    {{0, 0}, {0, 1}, {1, 1}, {1, 0}},  // right
};

}  // namespace

constexpr int CubeZoneVertices::faceAxisU[6];
constexpr int CubeZoneVertices::faceAxisV[6];
constexpr int CubeZoneVertices::faceAxisNormal[6];
constexpr float CubeZoneVertices::faceSign[6];

const Bumpmap* CubeZoneVertices::getDefaultBumpmap() { return &flatBumpmap; }

namespace {

/// What the walk over a face's cubes needs, worked out once per face.
struct FaceGrid {
  const Bumpmap* bumpmap;
  int W, Hh, nu, nv;
  int U, V, N;
  float sign, hu, hv, hn;
};

/// The bump map, axes and grid size of one face; nu or nv is 0 or less when it has no quads.
FaceGrid gridOf(const Float3& halfSize, int face, const Bumpmap* bumpmap, float s, const CubesTable& table,
                const Bumpmap* defaultBumpmap) {
  if (face < 0 || face > 5) assert(false, "CubeZoneVertices::getFaceVertices : no face " + std::to_string(face));
  FaceGrid grid;
  const Bumpmap* bumpmapTexture = bumpmap;
  // Maps of 4 x 2 (or 2 x 4) pixels are usable; only a map small on both sides is replaced.
  if (bumpmapTexture == nullptr || bumpmapTexture->pixels == nullptr ||
      (bumpmapTexture->getWidth() < 3 && bumpmapTexture->getHeight() < 3)) {
    assert(defaultBumpmap != NULL);
    bumpmapTexture = defaultBumpmap;
  }
  assert(bumpmapTexture->getWidth()==4 || bumpmapTexture->getHeight()==4);
  grid.bumpmap = bumpmapTexture;
  grid.W = bumpmapTexture->getWidth();
  grid.Hh = bumpmapTexture->getHeight();
  grid.U = CubeZoneVertices::faceAxisU[face];
  grid.V = CubeZoneVertices::faceAxisV[face];
  grid.N = CubeZoneVertices::faceAxisNormal[face];
  grid.sign = CubeZoneVertices::faceSign[face];
  grid.hu = halfSize[grid.U];
  grid.hv = halfSize[grid.V];
  grid.hn = halfSize[grid.N];
  grid.nu = CubesTable::wholeCells(grid.W * (2.f * grid.hu) / s);
  grid.nv = CubesTable::wholeCells(grid.Hh * (2.f * grid.hv) / s);
  // A map with a non-positive side has no pixel to read: nothing to draw with it. A face
  // wider than the region is no zone of it (a damaged size): it would not fit in memory.
  const Int3& cellsPerAxis = table.getSizeTableCubes();
  if (grid.W <= 0 || grid.Hh <= 0 || grid.nu > grid.W * cellsPerAxis[grid.U] ||
      grid.nv > grid.Hh * cellsPerAxis[grid.V])
    grid.nu = grid.nv = 0;
  return grid;
}

/// One cube of a face and its surroundings in the table.
struct FaceCube {
  bool isHidden;
  bool isOutsideSolid;
  /// The outside neighbour is empty and inside the table: the zone's border slopes down.
  bool withBevel;
  /// The cell beside the cube at -u, +u, -v, +v is inside the table and empty.
  bool borderMinusU, borderPlusU, borderMinusV, borderPlusV;
};

FaceCube faceCubeAt(const FaceGrid& g, const Float3& centre, int cu, int cv, float s, const CubesTable& table) {
  auto isSolid = [&table](const Int3& cell) { return table.getCubeIdAtCell(cell) != -1; };
  auto isInsideAndEmpty = [&table](const Int3& cell) {
    return table.isInRange(cell) && table.getCubeIdAtCell(cell) == -1;
  };
  auto shifted = [](Int3 cell, int axis, int by) {
    cell[axis] += by;
    return cell;
  };
  // The cube's middle on the outermost layer of the face, and its outside neighbour.
  Float3 cube;
  cube[g.U] = centre[g.U] + (2.f * (cu + g.W / 2) / g.nu - 1.f) * g.hu;
  cube[g.V] = centre[g.V] + (2.f * (cv + g.Hh / 2) / g.nv - 1.f) * g.hv;
  cube[g.N] = centre[g.N] + g.sign * (g.hn - s / 2.f);
  // The neighbours are whole cells away from the cube's middle: found on the grid.
  const Int3 cubeCell = table.getCellOf(cube);
  const Int3 outside = shifted(cubeCell, g.N, (int)g.sign);
  FaceCube result;
  result.isOutsideSolid = isSolid(outside);
  result.isHidden = result.isOutsideSolid && isSolid(shifted(outside, g.U, -1)) && isSolid(shifted(outside, g.U, 1)) &&
                    isSolid(shifted(outside, g.V, -1)) && isSolid(shifted(outside, g.V, 1));
  result.withBevel = !result.isOutsideSolid && table.isInRange(outside);
  result.borderMinusU = isInsideAndEmpty(shifted(cubeCell, g.U, -1));
  result.borderPlusU = isInsideAndEmpty(shifted(cubeCell, g.U, 1));
  result.borderMinusV = isInsideAndEmpty(shifted(cubeCell, g.V, -1));
  result.borderPlusV = isInsideAndEmpty(shifted(cubeCell, g.V, 1));
  return result;
}

/// A cube under a solid neighbour keeps only the outer ring of its small quads, where the
/// neighbour's own bevel may leave a gap, and not the corners where the face's border turns.
bool isQuadDrawn(const FaceGrid& g, const FaceCube& cube, int i, int j) {
  if (!cube.isOutsideSolid) return true;
  const bool onRing = i % g.W == 0 || i % g.W == g.W - 1 || j % g.Hh == 0 || j % g.Hh == g.Hh - 1;
  if (!onRing) return false;
  const bool bu = (i == 0 && cube.borderMinusU) || (i == g.nu - 1 && cube.borderPlusU);
  const bool bv = (j == 0 && cube.borderMinusV) || (j == g.nv - 1 && cube.borderPlusV);
  return !(bu && bv);
}

/// Whether every pixel of the map gives the same height.
bool isWithoutRelief(const Bumpmap& bumpmap) {
  for (int y = 0; y < bumpmap.getHeight(); ++y)
    for (int x = 0; x < bumpmap.getWidth(); ++x)
      if (bumpmap.heightAt(x, y) != bumpmap.heightAt(0, 0)) return false;
  return true;
}

/// Sides of a small quad that slope down toward an empty neighbour (a zone's bevel).
enum BevelSide : unsigned { minusU = 1, plusU = 2, minusV = 4, plusV = 8 };
/// What a small quad waiting to be joined is, by its code in the scratch: 0 for none, else
/// 1 + its shadow flag + 2 * its shape, the shape being flat or bevelled on one side
/// (BevelSide, in this order). Neighbours of one code lie in one plane: a flat face, or the
/// slope of a straight bevel.
constexpr unsigned bevelOfShape[5] = {0, minusU, plusU, minusV, plusV};

uint8_t joinCodeOf(unsigned bevels, bool shadowed) {
  for (uint8_t shape = 0; shape < 5; ++shape)
    if (bevelOfShape[shape] == bevels) return (uint8_t)(1 + (shadowed ? 1 : 0) + 2 * shape);
  return 0;
}

/// Joins the small quads the scratch holds into rectangles, row by row: each grows along u as
/// far as the quads have its code, then along v while whole rows do.
template <typename Emit>
void joinQuads(std::vector<uint8_t>& codes, int nu, int nv, Emit& emit) {
  for (int j = 0; j < nv; ++j) {
    for (int i = 0; i < nu; ++i) {
      const uint8_t code = codes[i + (size_t)j * nu];
      if (code == 0) continue;
      int i1 = i + 1;
      while (i1 < nu && codes[i1 + (size_t)j * nu] == code) ++i1;
      int j1 = j + 1;
      for (; j1 < nv; ++j1) {
        int k = i;
        while (k < i1 && codes[k + (size_t)j1 * nu] == code) ++k;
        if (k < i1) break;
      }
      for (int b = j; b < j1; ++b)
        for (int a = i; a < i1; ++a) codes[a + (size_t)b * nu] = 0;
      emit(i, i1, j, j1, bevelOfShape[(code - 1) / 2], (code - 1) % 2 == 1);
    }
  }
}

}  // namespace

size_t CubeZoneVertices::countFaceQuads(const Float3& centre, const Float3& halfSize, int face, const Bumpmap* bumpmap,
                                        float sizeOneCube, const CubesTable& table, const Bumpmap* defaultBumpmap) {
  const float s = sizeOneCube;
  const FaceGrid g = gridOf(halfSize, face, bumpmap, s, table, defaultBumpmap);
  if (g.nu <= 0 || g.nv <= 0) return 0;
  size_t count = 0;
  for (int cu = 0; cu < g.nu; cu += g.W) {
    for (int cv = 0; cv < g.nv; cv += g.Hh) {
      const FaceCube cube = faceCubeAt(g, centre, cu, cv, s, table);
      if (cube.isHidden) continue;
      if (!cube.isOutsideSolid) {
        count += (size_t)g.W * g.Hh;
        continue;
      }
      for (int i = cu; i < cu + g.W; ++i)
        for (int j = cv; j < cv + g.Hh; ++j) count += isQuadDrawn(g, cube, i, j) ? 1 : 0;
    }
  }
  return count;
}

void CubeZoneVertices::getFaceVertices(const Float3& centre, const Float3& halfSize, int face,
                                       const Float3& texLow, const Float3& texHigh, const Bumpmap* bumpmap,
                                       float sizeOneCube, const CubesTable& table,
                                       const Bumpmap* defaultBumpmap, std::vector<Float3>& vertices,
                                       std::vector<Float2>& texCoord, std::vector<uint8_t>& areShadowedQuad,
                                       JoinScratch* join) {
  const float s = sizeOneCube;
  const FaceGrid g = gridOf(halfSize, face, bumpmap, s, table, defaultBumpmap);
  if (g.nu <= 0 || g.nv <= 0) return;
  const int W = g.W, Hh = g.Hh, nu = g.nu, nv = g.nv, U = g.U, V = g.V, N = g.N;
  const float sign = g.sign, hu = g.hu, hv = g.hv;
  const Bumpmap* bumpmapTexture = g.bumpmap;
  vertices.reserve(vertices.size() + 4 * (size_t)nu * nv);
  texCoord.reserve(texCoord.size() + 4 * (size_t)nu * nv);
  areShadowedQuad.reserve(areShadowedQuad.size() + (size_t)nu * nv);
  // Only a face without relief joins: on a bumped one, the few small quads that happen to lie
  // flat would gain little and put T-junctions along the relief.
  if (join != nullptr && !isWithoutRelief(*bumpmapTexture)) join = nullptr;
  if (join != nullptr) join->quads.assign((size_t)nu * nv, 0);

  const bool withShadows = table.hasShadows();
  // Half a small quad along each axis: with maps that are not square, the u half would fold
  // the quads along v over.
  const float bevelU = s / W / 2.f;
  const float bevelV = s / Hh / 2.f;
  const float facePlane = sign * g.hn;
  const float tLow = texLow[U], tSpan = texHigh[U] - texLow[U];
  const float sLow = texLow[V], sSpan = texHigh[V] - texLow[V];
  auto bumpHeight = [&](int a, int b) {
    return bumpmapTexture->heightAt(a % W, b % Hh) * s / 256.f - s / 2.f;
  };
  // The quad over small quads [i0, i1) x [j0, j1): its corners raised by the bump heights
  // (i0, j0), (i0, j1), (i1, j0), (i1, j1), and on the `bevels` sides sloping down toward
  // the empty cell beside the zone (on both sides when a face is one small quad wide).
  auto emit = [&](int i0, int i1, int j0, int j1, unsigned bevels, bool shadowed) {
    float posU[2] = {(2.f * i0 / nu - 1.f) * hu, (2.f * i1 / nu - 1.f) * hu};
    float posV[2] = {(2.f * j0 / nv - 1.f) * hv, (2.f * j1 / nv - 1.f) * hv};
    float height[2][2] = {{bumpHeight(i0, j0), bumpHeight(i0, j1)}, {bumpHeight(i1, j0), bumpHeight(i1, j1)}};
    // Side (axis, end) is BevelSide 1 << (2 * axis + end): axis 0 is u, end 0 the minus side.
    for (int axis = 0; axis < 2; ++axis)
      for (int end = 0; end < 2; ++end) {
        if ((bevels & (1u << (2 * axis + end))) == 0) continue;
        const float bevel = axis == 0 ? bevelU : bevelV;
        (axis == 0 ? posU : posV)[end] += end == 0 ? bevel : -bevel;
        for (int k = 0; k < 2; ++k) (axis == 0 ? height[end][k] : height[k][end]) = -bevel;
      }
    const float texU[2] = {tLow + tSpan * i0 / nu, tLow + tSpan * i1 / nu};
    const float texV[2] = {sLow + sSpan * j0 / nv, sLow + sSpan * j1 / nv};
    for (const auto& corner : cornerOrder[face]) {
      const int a = corner[0];
      const int b = corner[1];
      Float3 p;
      p[U] = centre[U] + posU[a];
      p[V] = centre[V] + posV[b];
      p[N] = centre[N] + facePlane + sign * height[a][b];
      vertices.push_back(p);
      texCoord.push_back(Float2(texU[a], 1.f - texV[b]));
    }
    areShadowedQuad.push_back(shadowed ? 1 : 0);
  };

  for (int cu = 0; cu < nu; cu += W) {
    for (int cv = 0; cv < nv; cv += Hh) {
      const FaceCube cube = faceCubeAt(g, centre, cu, cv, s, table);
      if (cube.isHidden) continue;
      for (int i = cu; i < cu + W; ++i) {
        for (int j = cv; j < cv + Hh; ++j) {
          if (!isQuadDrawn(g, cube, i, j)) continue;
          unsigned bevels = 0;
          if (cube.withBevel) {
            if (i == 0 && cube.borderMinusU) bevels |= minusU;
            if (i == nu - 1 && cube.borderPlusU) bevels |= plusU;
            if (j == 0 && cube.borderMinusV) bevels |= minusV;
            if (j == nv - 1 && cube.borderPlusV) bevels |= plusV;
          }
          bool shadowed = false;
          if (withShadows) {
            Float3 middle;
            middle[U] = centre[U] + (2.f * i + 1.f) / nu * hu - hu;
            middle[V] = centre[V] + (2.f * j + 1.f) / nv * hv - hv;
            middle[N] = centre[N] + facePlane + sign * 0.1f;
            shadowed = table.isShadowedAt(middle, face);
          }
          if (join != nullptr) {
            const uint8_t code = joinCodeOf(bevels, shadowed);
            join->quads[i + (size_t)j * nu] = code;
            if (code != 0) continue;
          }
          emit(i, i + 1, j, j + 1, bevels, shadowed);
        }
      }
    }
  }
  if (join != nullptr) joinQuads(join->quads, nu, nv, emit);
}
