#ifndef CUBEZONE_H
#define CUBEZONE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "BasicVector.h"
#include "MeshGroup.h"
#include "meshing/ShadowTriangleLists.h"

class CubesTable;
class SharedRange;
struct CubeTypeLook;

/// An axis-aligned box filled with cubes of one type, the unit in which the world stores
/// cubes, with its shadow data; and the two builders that turn it into textured geometry.
/// The builders are pure: they take the type's look from the caller (world/CubeZoneLooks
/// fetches it from the cube types) and touch no GL.
class CubeZone {
 public:
  CubeZone() = default;
  CubeZone(int32_t parId, const Float3& parCentre, const Float3& parSize)
      : id(parId), centre(parCentre), size(parSize) {}

  /// Far build: one quad per visible face, then the shadow triangles. `look` gives the
  /// textures and options, `drawShadowTriangles` whether the shadow triangles are laid (valid
  /// type and shadows on).
  void buildFar(MeshGroupMap& groups, const CubesTable& table, const CubeTypeLook& look,
                bool drawShadowTriangles) const;
  /// Near build: every visible face cut into bump-mapped small quads with a shadow flag each
  /// (no random offsets).
  void buildNear(MeshGroupMap& groups, const CubesTable& table, const CubeTypeLook& look) const;

  /// What a range build needs of each zone: its type's look, whether its shadow triangles are
  /// laid (valid type and shadows on) and whether its face textures are all opaque (no alpha
  /// channel: see-through faces show the order they are drawn in, so they are never joined).
  struct DrawLook {
    const CubeTypeLook* look = nullptr;
    bool drawShadowTriangles = false;
    bool isOpaque = true;
  };

  /// Far and near builds of zones[0 .. nbZones) into one group set, the way a region builds
  /// each half of its zone list: every group's lists are counted first and sized once, so
  /// filling them never moves them; looks[k] belongs to zones[k]. Give each half its own
  /// group set. With `claims` (a range of nbZones indices), the zones are filled as they are
  /// claimed from it, and only those: another thread may take over the rest.
  ///
  /// With `joinFaces`, the far build joins the coplanar visible faces of the zones it fills
  /// into larger quads (see JoinedFaces) wherever that maps the same texels: faces of one
  /// type, face, plane, texture and shadow flag, of an opaque type whose texture repeats once
  /// per cube without random offset (textureOptions[0] and [2]), from zones lying on whole
  /// cells of the table and without shadow triangles laid over them. The texture coordinates
  /// of a joined quad run over its whole length (one unit per cube), so the repeating texture
  /// lands where the separate faces had it. The shadow triangles and the other faces are laid
  /// as without joining. The near build with `joinFaces` joins, within each zone face whose
  /// bump map has no relief, the small quads of one shadow flag and plane (CubeZoneVertices);
  /// bumped faces stay as they are.
  static void buildFar(const CubeZone* zones, const DrawLook* looks, size_t nbZones, MeshGroupMap& groups,
                       const CubesTable& table, SharedRange* claims = nullptr, bool joinFaces = false);
  static void buildNear(const CubeZone* zones, const DrawLook* looks, size_t nbZones, MeshGroupMap& groups,
                        const CubesTable& table, SharedRange* claims = nullptr, bool joinFaces = false);

  /// Whether the point lies in the box, bounds included.
  bool isInBox(const Float3& point) const;

  /// Texture coordinate bounds of the faces (L, H for bottom, front and left; L2, H2 for
  /// top, back and right), from the type's options and the zone's size and place.
  void computeTextureBounds(const bool textureOptions[3], float sizeOneCube, Float3& low,
                            Float3& high, Float3& low2, Float3& high2) const;

  // A large world holds millions of zones by value: keep the record small (48 bytes).
  int32_t id = 0;
  Float3 centre{0.f, 0.f, 0.f};
  Float3 size{0.f, 0.f, 0.f};
  int32_t reserved = 0;
  /// Three points per triangle, relative to the centre; list i lies over the side facing
  /// (-x, +x, -y, +y, -z, +z)[i]. Out of line, allocated only for a zone that has some.
  ShadowTriangleLists shadowTriangles;
  /// Face i (top, bottom, front, back, left, right) lies entirely in shadow.
  bool isFaceShadowed[6] = {false, false, false, false, false, false};
};

#endif
