#ifndef CUBEZONEVERTICES_H
#define CUBEZONEVERTICES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "BasicVector.h"
#include "meshing/Bumpmap.h"

class CubesTable;

/// Geometry of one zone face for the near builder: the face cut into small quads (width x
/// height of the bump map per cube) whose corners are raised by the bump map, with a bevel
/// toward empty neighbours on the zone's border and a shadow flag per small quad. Cubes whose
/// face is buried behind solid cells emit nothing. Pure: reads the table, writes the lists.
class CubeZoneVertices {
 public:
  /// Scratch room of a joining build, reused face after face: the small quads of a face that
  /// wait to be joined, one code per small quad (i + j * nu).
  struct JoinScratch {
    std::vector<uint8_t> quads;
  };

  /// The flat 4 x 4 map (every byte 128) used when a face has no usable bump map.
  static const Bumpmap* getDefaultBumpmap();

  /// Appends the small quads of face `face` (0 top, 1 bottom, 2 front, 3 back, 4 left,
  /// 5 right) of the zone of centre `centre` and half size `halfSize`: four world positions
  /// and four (u, v) per quad in `vertices` and `texCoord`, one flag per quad in
  /// `areShadowedQuad`. `texLow`/`texHigh` are the face's texture bounds; `bumpmap` may be
  /// null (or too small: under 3 pixels both wide and high), then `defaultBumpmap` is used.
  /// With `join`, on a face whose bump map has no relief (every pixel one height, as the
  /// default's), neighbouring small quads of one shadow flag that lie in one plane are joined
  /// into rectangles, appended after the others: the flat ones, and those along a straight
  /// bevel (the strip sloping down on one side; the corners where two bevels meet stay as they
  /// are). The face's texture coordinates run linearly over each plane, so a joined quad covers
  /// the same texels.
  static void getFaceVertices(const Float3& centre, const Float3& halfSize, int face, const Float3& texLow,
                              const Float3& texHigh, const Bumpmap* bumpmap, float sizeOneCube,
                              const CubesTable& table, const Bumpmap* defaultBumpmap,
                              std::vector<Float3>& vertices, std::vector<Float2>& texCoord,
                              std::vector<uint8_t>& areShadowedQuad, JoinScratch* join = nullptr);

  /// The number of small quads getFaceVertices appends for the same face without joining (an
  /// upper bound with it), without building them: lets a builder size its lists once before filling them.
  static size_t countFaceQuads(const Float3& centre, const Float3& halfSize, int face, const Bumpmap* bumpmap,
                               float sizeOneCube, const CubesTable& table, const Bumpmap* defaultBumpmap);

  /// Face axes: u and v in the face plane, the normal, and the sign of the outward normal.
  static constexpr int faceAxisU[6] = {0, 0, 0, 0, 2, 2};
  static constexpr int faceAxisV[6] = {2, 2, 1, 1, 1, 1};
  static constexpr int faceAxisNormal[6] = {1, 1, 2, 2, 0, 0};
  static constexpr float faceSign[6] = {1.f, -1.f, 1.f, -1.f, -1.f, 1.f};
};

#endif
