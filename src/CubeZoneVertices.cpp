#include "CubeZoneVertices.h"

#include <string>

#include "CubesTable.h"
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

void CubeZoneVertices::getFaceVertices(const Float3& centre, const Float3& halfSize, int face,
                                       const Float3& texLow, const Float3& texHigh, const Bumpmap* bumpmap,
                                       float sizeOneCube, const CubesTable& table,
                                       const Bumpmap* defaultBumpmap, std::vector<Float3>& vertices,
                                       std::vector<Float2>& texCoord, std::vector<uint8_t>& areShadowedQuad) {
  if (face < 0 || face > 5) assert(false, "CubeZoneVertices::getFaceVertices : no face " + std::to_string(face));
  const float s = sizeOneCube;
  const Bumpmap* bumpmapTexture = bumpmap;
  // Maps of 4 x 2 (or 2 x 4) pixels are usable; only a map small on both sides is replaced.
  if (bumpmapTexture == nullptr || bumpmapTexture->pixels == nullptr ||
      (bumpmapTexture->getWidth() < 3 && bumpmapTexture->getHeight() < 3)) {
    assert(defaultBumpmap != NULL);
    bumpmapTexture = defaultBumpmap;
  }
  assert(bumpmapTexture->getWidth()==4 || bumpmapTexture->getHeight()==4);
  const int W = bumpmapTexture->getWidth();
  const int Hh = bumpmapTexture->getHeight();

  const int U = faceAxisU[face];
  const int V = faceAxisV[face];
  const int N = faceAxisNormal[face];
  const float sign = faceSign[face];
  const float hu = halfSize[U];
  const float hv = halfSize[V];
  const float hn = halfSize[N];

  const int nu = CubesTable::wholeCells(W * (2.f * hu) / s);
  const int nv = CubesTable::wholeCells(Hh * (2.f * hv) / s);
  if (nu <= 0 || nv <= 0) return;
  vertices.reserve(vertices.size() + 4 * (size_t)nu * nv);
  texCoord.reserve(texCoord.size() + 4 * (size_t)nu * nv);
  areShadowedQuad.reserve(areShadowedQuad.size() + (size_t)nu * nv);

  const bool withShadows = table.hasShadows();
  const float bevel = s / W / 2.f;
  const float facePlane = sign * hn;
  const float tLow = texLow[U], tSpan = texHigh[U] - texLow[U];
  const float sLow = texLow[V], sSpan = texHigh[V] - texLow[V];

  auto isSolid = [&table](const Int3& cell) { return table.getCubeIdAtCell(cell) != -1; };
  auto isInsideAndEmpty = [&table](const Int3& cell) {
    return table.isInRange(cell) && table.getCubeIdAtCell(cell) == -1;
  };
  auto shifted = [](Int3 cell, int axis, int by) {
    cell[axis] += by;
    return cell;
  };
  auto bumpHeight = [&](int a, int b) {
    return bumpmapTexture->heightAt(a % W, b % Hh) * s / 256.f - s / 2.f;
  };

  for (int cu = 0; cu < nu; cu += W) {
    for (int cv = 0; cv < nv; cv += Hh) {
      // The cube's middle on the outermost layer of the face, and its outside neighbour.
      Float3 cube;
      cube[U] = centre[U] + (2.f * (cu + W / 2) / nu - 1.f) * hu;
      cube[V] = centre[V] + (2.f * (cv + Hh / 2) / nv - 1.f) * hv;
      cube[N] = centre[N] + sign * (hn - s / 2.f);
      // The neighbours are whole cells away from the cube's middle: found on the grid.
      const Int3 cubeCell = table.getCellOf(cube);
      const Int3 outside = shifted(cubeCell, N, (int)sign);
      const bool outsideSolid = isSolid(outside);
      if (outsideSolid && isSolid(shifted(outside, U, -1)) && isSolid(shifted(outside, U, 1)) &&
          isSolid(shifted(outside, V, -1)) && isSolid(shifted(outside, V, 1)))
        continue;
      const bool outsideInTable = table.isInRange(outside);
      const bool borderMinusU = isInsideAndEmpty(shifted(cubeCell, U, -1));
      const bool borderPlusU = isInsideAndEmpty(shifted(cubeCell, U, 1));
      const bool borderMinusV = isInsideAndEmpty(shifted(cubeCell, V, -1));
      const bool borderPlusV = isInsideAndEmpty(shifted(cubeCell, V, 1));
      const bool withBevel = !outsideSolid && outsideInTable;

      for (int i = cu; i < cu + W; ++i) {
        const bool atMinusU = i == 0 && borderMinusU;
        const bool atPlusU = i == nu - 1 && borderPlusU;
        const bool bu = atMinusU || atPlusU;
        for (int j = cv; j < cv + Hh; ++j) {
          const bool atMinusV = j == 0 && borderMinusV;
          const bool atPlusV = j == nv - 1 && borderPlusV;
          const bool bv = atMinusV || atPlusV;
          if (outsideSolid) {
            const bool onRing = i % W == 0 || i % W == W - 1 || j % Hh == 0 || j % Hh == Hh - 1;
            if (!onRing || (bu && bv)) continue;
          }

          float posU[2] = {(2.f * i / nu - 1.f) * hu, (2.f * (i + 1) / nu - 1.f) * hu};
          float posV[2] = {(2.f * j / nv - 1.f) * hv, (2.f * (j + 1) / nv - 1.f) * hv};
          float height[2][2] = {{bumpHeight(i, j), bumpHeight(i, j + 1)},
                                {bumpHeight(i + 1, j), bumpHeight(i + 1, j + 1)}};
          if (withBevel) {
            // The zone's edge slopes down toward the empty cell beside it.
            if (atMinusU) {
              posU[0] += bevel;
              height[0][0] = height[0][1] = -bevel;
            } else if (atPlusU) {
              posU[1] -= bevel;
              height[1][0] = height[1][1] = -bevel;
            }
            if (atMinusV) {
              posV[0] += bevel;
              height[0][0] = height[1][0] = -bevel;
            } else if (atPlusV) {
              posV[1] -= bevel;
              height[0][1] = height[1][1] = -bevel;
            }
          }
          const float texU[2] = {tLow + tSpan * i / nu, tLow + tSpan * (i + 1) / nu};
          const float texV[2] = {sLow + sSpan * j / nv, sLow + sSpan * (j + 1) / nv};
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

          bool shadowed = false;
          if (withShadows) {
            Float3 middle;
            middle[U] = centre[U] + (2.f * i + 1.f) / nu * hu - hu;
            middle[V] = centre[V] + (2.f * j + 1.f) / nv * hv - hv;
            middle[N] = centre[N] + facePlane + sign * 0.1f;
            shadowed = table.isShadowedAt(middle, face);
          }
          areShadowedQuad.push_back(shadowed ? 1 : 0);
        }
      }
    }
  }
}
