#ifndef CUBEZONESTATICSHADOWS_H
#define CUBEZONESTATICSHADOWS_H

#include <cstddef>
#include <vector>

#include "BasicVector.h"

class CubeZone;

/// Precomputed shadows of a zone: the caster zones are projected from a point light onto the
/// planes of the zone's six sides, and the shadowed part of each side is stored as triangles
/// (three points each, relative to the zone centre, on the side plane, turning
/// counter-clockwise seen from outside) in the zone's list for that side (-x, +x, -y, +y, -z,
/// +z). The sides turned away from the light get no triangles: their face flag marks them
/// entirely dark instead.
///
/// Pure: zones and a light in, shadow data out. Keep one object for a whole calculation (a
/// region, or all of them): its scratch lists grow to the largest zone once and are reused.
/// Not to be shared between threads.
class CubeZoneStaticShadows {
 public:
  CubeZoneStaticShadows() = default;

  /// Writes the zone's six face flags (top, bottom, front, back, left, right: set for a face
  /// the light is not strictly in front of) and six triangle lists. `casters` may hold the
  /// zone itself, which casts nothing on itself. The casters are only read.
  void calculateZoneShadows(const std::vector<const CubeZone*>& casters, CubeZone& zone, const Float3& lightPoint);
  void calculateZoneShadows(const std::vector<CubeZone*>& casters, CubeZone& zone, const Float3& lightPoint);
  void calculateZoneShadows(const CubeZone* const* casters, size_t nbCasters, CubeZone& zone,
                            const Float3& lightPoint);

  /// Edge of the square tiles a side is cut into before the adaptive refinement.
  static constexpr float tileSize = 10.f;
  /// A side of more tiles than this (a damaged, huge zone) gets no triangles, with a report.
  static constexpr double maxTilesPerSide = 1 << 22;

  /// Index, in face order (top, bottom, front, back, left, right), of side i (-x, +x, -y,
  /// +y, -z, +z).
  static constexpr int faceOfSide[6] = {4, 5, 1, 0, 3, 2};

 private:
  struct Triangle2 {
    float x0, y0, x1, y1, x2, y2;
    float minX, minY, maxX, maxY;
  };

  void projectCaster(const CubeZone& caster, const Float3& lo, const Float3& hi, const Float3& light,
                     const bool isSideDark[6]);
  void rasteriseSide(int side, CubeZone& zone);
  /// Copies into `to` the triangles of `from` that reach [lo, hi] along the horizontal (or
  /// vertical) axis.
  static void keepReaching(const std::vector<Triangle2>& from, std::vector<Triangle2>& to, bool isHorizontal,
                           float lo, float hi);
  void rasteriseRect(float minHoriz, float minVert, float maxHoriz, float maxVert);
  bool isInShadow(float h, float v) const;
  float boundaryPoint(float insideH, float insideV, float outsideH, float outsideV, float& resultV) const;
  void addTriangle(float h0, float v0, float h1, float v1, float h2, float v2);

  /// The projected caster faces accumulated on each side's plane (world coordinates).
  std::vector<Float3> shadowTrianglesForEachFace[6];
  /// The side's accumulated triangles in its plane's coordinates, relative to the centre.
  std::vector<Float2> triangleVectorTmp2;
  /// Every projected triangle of the side being rasterised, in its plane's coordinates.
  std::vector<Triangle2> sideTriangles;
  /// The triangles of `sideTriangles` that reach the current tile row, then the current tile.
  std::vector<Triangle2> rowTriangles;
  std::vector<Triangle2> tileTriangles;
  /// The side's output in plane coordinates relative to the centre (h, v pairs).
  std::vector<float> outputPoints;
};

#endif
