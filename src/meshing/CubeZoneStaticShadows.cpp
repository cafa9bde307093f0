#include "meshing/CubeZoneStaticShadows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "meshing/CubeZone.h"
#include "Assert.h"

namespace {

/// Signs of the eight corners of a caster, numbered as the face table below expects.
constexpr float cornerSigns[8][3] = {
    {+1, +1, +1}, {-1, +1, +1}, {+1, -1, +1}, {+1, +1, -1},
    {-1, -1, +1}, {+1, -1, -1}, {-1, +1, -1}, {-1, -1, -1},
};

/// The six faces of a projected box, two triangles each, as indices of its eight corners.
constexpr int projectedFaces[36] = {
    1, 7, 4, 1, 6, 7,  // -x
    0, 2, 5, 0, 5, 3,  // +x
    2, 4, 7, 2, 7, 5,  // -y
    0, 6, 1, 0, 3, 6,  // +y
    3, 5, 7, 3, 7, 6,  // -z
    0, 1, 4, 0, 4, 2,  // +z
};

/// In-plane axes (horizontal, vertical) of the sides of each axis.
constexpr int horizontalAxis[3] = {1, 0, 0};
constexpr int verticalAxis[3] = {2, 2, 1};

/// Triangles counter-clockwise in (horizontal, vertical) face +x, -y and +z; on the other
/// sides they are turned around so that every side's triangles face outward.
constexpr bool isWindingFlipped[6] = {true, false, false, true, true, false};

/// How far inside a rectangle its corners are tested, so that a corner on a shadow edge is
/// not counted by both rectangles that share it.
constexpr float cornerInset = 0.001f;
/// Boundary points are refined until the two ends are this close on both axes.
constexpr float boundaryPrecision = 0.1f;
/// A rectangle narrower than this on some axis is never split again.
constexpr float smallestSplit = 1.f;

/// Bounds of tile `index` of `nbTiles` along a side running from -half to half: tiles of
/// tileSize from -half, the last one ending exactly at the side's edge.
void tileSpan(int index, int nbTiles, float half, float& lo, float& hi) {
  lo = -half + CubeZoneStaticShadows::tileSize * index;
  hi = index == nbTiles - 1 ? half : std::min(lo + CubeZoneStaticShadows::tileSize, half);
}

}  // namespace

void CubeZoneStaticShadows::calculateZoneShadows(const std::vector<const CubeZone*>& casters, CubeZone& zone,
                                                 const Float3& lightPoint) {
  calculateZoneShadows(casters.data(), casters.size(), zone, lightPoint);
}

void CubeZoneStaticShadows::calculateZoneShadows(const std::vector<CubeZone*>& casters, CubeZone& zone,
                                                 const Float3& lightPoint) {
  calculateZoneShadows(casters.data(), casters.size(), zone, lightPoint);
}

void CubeZoneStaticShadows::calculateZoneShadows(const CubeZone* const* casters, size_t nbCasters, CubeZone& zone,
                                                 const Float3& lightPoint) {
  Float3 lo;
  Float3 hi;
  for (int a = 0; a < 3; ++a) {
    lo[a] = zone.centre[a] - zone.size[a] / 2.f;
    hi[a] = zone.centre[a] + zone.size[a] / 2.f;
  }
  // A side is dark when the light is not strictly in front of it.
  bool isSideDark[6];
  for (int a = 0; a < 3; ++a) {
    isSideDark[2 * a] = lo[a] <= lightPoint[a];
    isSideDark[2 * a + 1] = lightPoint[a] <= hi[a];
  }
  zone.shadowTriangles.clear();
  for (int i = 0; i < 6; ++i) {
    zone.isFaceShadowed[faceOfSide[i]] = isSideDark[i];
    shadowTrianglesForEachFace[i].clear();
    // A dark side gets no triangles: nothing is projected onto it.
    if (!isSideDark[i]) shadowTrianglesForEachFace[i].reserve(36 * nbCasters);
  }

  for (size_t k = 0; k < nbCasters; ++k) {
    if (casters[k] == &zone || casters[k] == nullptr) continue;
    projectCaster(*casters[k], lo, hi, lightPoint, isSideDark);
  }
  assert(shadowTrianglesForEachFace[0].size() % 6 == 0);

  for (int i = 0; i < 6; ++i)
    if (!isSideDark[i]) rasteriseSide(i, zone);
}

void CubeZoneStaticShadows::projectCaster(const CubeZone& caster, const Float3& lo, const Float3& hi,
                                          const Float3& light, const bool isSideDark[6]) {
  Float3 corners[8];
  Float3 casterLo;
  Float3 casterHi;
  for (int a = 0; a < 3; ++a) {
    const float half = caster.size[a] / 2.f;
    casterLo[a] = caster.centre[a] - half;
    casterHi[a] = caster.centre[a] + half;
    for (int k = 0; k < 8; ++k) corners[k][a] = caster.centre[a] + cornerSigns[k][a] * half;
  }

  std::array<Float3, 8> tmpShadowTrianglesForEachFace[6];
  for (int i = 0; i < 6; ++i) {
    if (isSideDark[i]) continue;
    const int a = i / 2;
    const bool isUpper = (i % 2) == 1;
    const float q = isUpper ? hi[a] : lo[a];
    const float la = light[a];
    bool isReceived = true;
    for (int k = 0; k < 8 && isReceived; ++k) {
      Float3 p = corners[k];
      // A caster that crosses the plane casts from the plane on: its part behind the plane
      // is flattened onto it.
      if (isUpper) {
        if (la > q && p[a] < q && casterHi[a] >= q) p[a] = q;
        // A corner level with the light would project to infinity: such a caster has no
        // bounded shadow on this plane.
        isReceived = q <= p[a] && p[a] < la;
      } else {
        if (la < q && p[a] > q && casterLo[a] <= q) p[a] = q;
        isReceived = la < p[a] && p[a] <= q;
      }
      if (!isReceived) break;
      const float t = (q - la) / (p[a] - la);
      Float3& projected = tmpShadowTrianglesForEachFace[i][k];
      for (int b = 0; b < 3; ++b) projected[b] = light[b] + t * (p[b] - light[b]);
      projected[a] = q;
    }
    if (!isReceived) continue;
    assert(tmpShadowTrianglesForEachFace[i].size()==8);
    std::vector<Float3>& accumulated = shadowTrianglesForEachFace[i];
    for (int index : projectedFaces) accumulated.push_back(tmpShadowTrianglesForEachFace[i][index]);
  }
}

void CubeZoneStaticShadows::rasteriseSide(int side, CubeZone& zone) {
  const int a = side / 2;
  const int hAxis = horizontalAxis[a];
  const int vAxis = verticalAxis[a];
  const float halfH = zone.size[hAxis] / 2.f;
  const float halfV = zone.size[vAxis] / 2.f;

  const std::vector<Float3>& triangleVectorTmp = shadowTrianglesForEachFace[side];
  assert(triangleVectorTmp.size() % 6 == 0);
  if (triangleVectorTmp.empty()) return;
  triangleVectorTmp2.clear();
  triangleVectorTmp2.reserve(triangleVectorTmp.size());
  for (const Float3& p : triangleVectorTmp)
    triangleVectorTmp2.push_back(Float2(p[hAxis] - zone.centre[hAxis], p[vAxis] - zone.centre[vAxis]));
  assert(triangleVectorTmp2.size() % 3 == 0);

  // Only the triangles that reach the side take part; each gets its bounding box so that a
  // tile looks only at those that can cover it.
  sideTriangles.clear();
  sideTriangles.reserve(triangleVectorTmp2.size() / 3);
  for (size_t k = 0; k < triangleVectorTmp2.size(); k += 3) {
    const Float2& p0 = triangleVectorTmp2[k];
    const Float2& p1 = triangleVectorTmp2[k + 1];
    const Float2& p2 = triangleVectorTmp2[k + 2];
    Triangle2 t{p0.x(), p0.y(), p1.x(), p1.y(), p2.x(), p2.y(), 0.f, 0.f, 0.f, 0.f};
    t.minX = std::min({t.x0, t.x1, t.x2});
    t.maxX = std::max({t.x0, t.x1, t.x2});
    t.minY = std::min({t.y0, t.y1, t.y2});
    t.maxY = std::max({t.y0, t.y1, t.y2});
    // Not a number (from a damaged zone) would make the crossing count meaningless.
    if (!std::isfinite(t.minX + t.maxX + t.minY + t.maxY)) continue;
    if (t.maxX < -halfH || t.minX > halfH || t.maxY < -halfV || t.minY > halfV) continue;
    sideTriangles.push_back(t);
  }
  if (sideTriangles.empty()) return;

  // A side without area has nothing to cover.
  if (!(halfH > 0.f && halfV > 0.f)) return;
  const double nbTilesH = std::max(1.0, std::ceil(2.0 * halfH / tileSize - 1e-4));
  const double nbTilesV = std::max(1.0, std::ceil(2.0 * halfV / tileSize - 1e-4));
  if (!(nbTilesH * nbTilesV <= maxTilesPerSide)) {
    showProblem("CubeZoneStaticShadows : a side of " + std::to_string(2.f * halfH) + " x " +
                std::to_string(2.f * halfV) + " is too large to shade; it is left without shadows");
    return;
  }

  outputPoints.clear();
  rowTriangles.reserve(sideTriangles.size());
  tileTriangles.reserve(sideTriangles.size());
  const int tilesH = (int)nbTilesH;
  const int tilesV = (int)nbTilesV;
  for (int tv = 0; tv < tilesV; ++tv) {
    float vLo, vHi;
    tileSpan(tv, tilesV, halfV, vLo, vHi);
    keepReaching(sideTriangles, rowTriangles, false, vLo, vHi);
    if (rowTriangles.empty()) continue;
    for (int th = 0; th < tilesH; ++th) {
      float hLo, hHi;
      tileSpan(th, tilesH, halfH, hLo, hHi);
      keepReaching(rowTriangles, tileTriangles, true, hLo, hHi);
      // No triangle reaches the tile: none of its corners can be inside one.
      if (tileTriangles.empty()) continue;
      rasteriseRect(hLo, vLo, hHi, vHi);
    }
  }

  // Back to points on the side plane, relative to the centre, facing outward. A side without
  // shadow leaves the zone's lists unallocated.
  if (outputPoints.empty()) return;
  std::vector<Float3>& output = zone.shadowTriangles[side];
  const float plane = (side % 2 == 1 ? 1.f : -1.f) * zone.size[a] / 2.f;
  const bool isFlipped = isWindingFlipped[side];
  output.reserve(output.size() + outputPoints.size() / 2);
  for (size_t k = 0; k < outputPoints.size(); k += 6) {
    for (int corner = 0; corner < 3; ++corner) {
      const int c = isFlipped && corner > 0 ? 3 - corner : corner;
      Float3 p;
      p[a] = plane;
      p[hAxis] = outputPoints[k + 2 * c];
      p[vAxis] = outputPoints[k + 2 * c + 1];
      output.push_back(p);
    }
  }
}

void CubeZoneStaticShadows::keepReaching(const std::vector<Triangle2>& from, std::vector<Triangle2>& to,
                                         bool isHorizontal, float lo, float hi) {
  to.clear();
  for (const Triangle2& t : from) {
    const float tMin = isHorizontal ? t.minX : t.minY;
    const float tMax = isHorizontal ? t.maxX : t.maxY;
    if (tMax >= lo && tMin <= hi) to.push_back(t);
  }
}

void CubeZoneStaticShadows::rasteriseRect(float minHoriz, float minVert, float maxHoriz, float maxVert) {
  assert(minHoriz < maxHoriz && minVert < maxVert);
  // Corners counter-clockwise from the lowest: (min, min), (max, min), (max, max), (min, max).
  const float cornerH[4] = {minHoriz, maxHoriz, maxHoriz, minHoriz};
  const float cornerV[4] = {minVert, minVert, maxVert, maxVert};
  const float testH[4] = {minHoriz + cornerInset, maxHoriz - cornerInset, maxHoriz - cornerInset,
                          minHoriz + cornerInset};
  const float testV[4] = {minVert + cornerInset, minVert + cornerInset, maxVert - cornerInset,
                          maxVert - cornerInset};
  bool isInside[4];
  int nbInside = 0;
  for (int k = 0; k < 4; ++k) {
    isInside[k] = isInShadow(testH[k], testV[k]);
    nbInside += isInside[k] ? 1 : 0;
  }
  if (nbInside == 0) return;
  if (nbInside == 4) {
    addTriangle(minHoriz, minVert, maxHoriz, minVert, maxHoriz, maxVert);
    addTriangle(minHoriz, minVert, maxHoriz, maxVert, minHoriz, maxVert);
    return;
  }

  const float width = maxHoriz - minHoriz;
  const float height = maxVert - minVert;
  const bool isSmall = width < tileSize || height < tileSize;
  if ((isSmall && nbInside != 3) || width < smallestSplit || height < smallestSplit) {
    // Boundary point on edge k (corner k to corner k + 1), from its inside end to its outside
    // end, moved onto the rectangle's own edge.
    float edgeH[4] = {0.f, 0.f, 0.f, 0.f};
    float edgeV[4] = {0.f, 0.f, 0.f, 0.f};
    for (int k = 0; k < 4; ++k) {
      const int next = (k + 1) % 4;
      if (isInside[k] == isInside[next]) continue;
      const int in = isInside[k] ? k : next;
      const int out = isInside[k] ? next : k;
      edgeH[k] = boundaryPoint(testH[in], testV[in], testH[out], testV[out], edgeV[k]);
      if (k % 2 == 0)
        edgeV[k] = cornerV[k];  // edges 0 and 2 run along h at the corner's v
      else
        edgeH[k] = cornerH[k];  // edges 1 and 3 run along v at the corner's h
    }

    if (nbInside == 2 && isInside[0] == isInside[2]) {
      // Two opposite corners: a triangle at each, joined through the middle when the middle
      // is in shadow too (a band across the rectangle).
      for (int k = 0; k < 4; ++k) {
        if (!isInside[k]) continue;
        const int before = (k + 3) % 4;
        addTriangle(edgeH[before], edgeV[before], cornerH[k], cornerV[k], edgeH[k], edgeV[k]);
      }
      if (isInShadow((minHoriz + maxHoriz) / 2.f, (minVert + maxVert) / 2.f)) {
        addTriangle(edgeH[0], edgeV[0], edgeH[1], edgeV[1], edgeH[2], edgeV[2]);
        addTriangle(edgeH[0], edgeV[0], edgeH[2], edgeV[2], edgeH[3], edgeV[3]);
      }
      return;
    }

    // One corner, two neighbouring corners or three: one convex polygon, walked
    // counter-clockwise (inside corners and the boundary points between), cut into a fan.
    float polyH[5];
    float polyV[5];
    int nbPoints = 0;
    for (int k = 0; k < 4; ++k) {
      if (isInside[k]) {
        polyH[nbPoints] = cornerH[k];
        polyV[nbPoints++] = cornerV[k];
      }
      if (isInside[k] != isInside[(k + 1) % 4]) {
        polyH[nbPoints] = edgeH[k];
        polyV[nbPoints++] = edgeV[k];
      }
    }
    for (int k = 1; k + 1 < nbPoints; ++k)
      addTriangle(polyH[0], polyV[0], polyH[k], polyV[k], polyH[k + 1], polyV[k + 1]);
    return;
  }

  const float midH = (minHoriz + maxHoriz) / 2.f;
  const float midV = (minVert + maxVert) / 2.f;
  rasteriseRect(minHoriz, minVert, midH, midV);
  rasteriseRect(midH, minVert, maxHoriz, midV);
  rasteriseRect(minHoriz, midV, midH, maxVert);
  rasteriseRect(midH, midV, maxHoriz, maxVert);
}

bool CubeZoneStaticShadows::isInShadow(float h, float v) const {
  for (const Triangle2& t : tileTriangles) {
    if (h < t.minX || h > t.maxX || v < t.minY || v > t.maxY) continue;
    // Even-odd crossing count of a ray toward +h over the three edges.
    const float xs[3] = {t.x0, t.x1, t.x2};
    const float ys[3] = {t.y0, t.y1, t.y2};
    bool isInside = false;
    for (int i = 0, j = 2; i < 3; j = i++) {
      if ((ys[i] > v) != (ys[j] > v) && h < (xs[j] - xs[i]) * (v - ys[i]) / (ys[j] - ys[i]) + xs[i])
        isInside = !isInside;
    }
    if (isInside) return true;
  }
  return false;
}

float CubeZoneStaticShadows::boundaryPoint(float insideH, float insideV, float outsideH, float outsideV,
                                           float& resultV) const {
  for (;;) {
    const float midH = (insideH + outsideH) / 2.f;
    const float midV = (insideV + outsideV) / 2.f;
    if (std::fabs(insideH - outsideH) < boundaryPrecision && std::fabs(insideV - outsideV) < boundaryPrecision) {
      resultV = midV;
      return midH;
    }
    if (isInShadow(midH, midV)) {
      insideH = midH;
      insideV = midV;
    } else {
      outsideH = midH;
      outsideV = midV;
    }
  }
}

void CubeZoneStaticShadows::addTriangle(float h0, float v0, float h1, float v1, float h2, float v2) {
  const float points[6] = {h0, v0, h1, v1, h2, v2};
  outputPoints.insert(outputPoints.end(), points, points + 6);
}
