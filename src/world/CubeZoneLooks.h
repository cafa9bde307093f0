#ifndef CUBEZONELOOKS_H
#define CUBEZONELOOKS_H

#include <cstddef>
#include <vector>

#include "BasicVector.h"
#include "MeshGroup.h"
#include "meshing/CubeZone.h"

class CubesTable;
class SharedRange;

/// The user's shadow switch (starts on): without it the far builder lays no shadow triangles.
/// The options menu changes it, and the regions are then rebuilt.
extern bool shadowsEnabled;

/// What a zone is made of, fetched from the cube types: the zone builds that hand each zone's
/// type look to the pure builders of CubeZone, and the collision test of a zone.
class CubeZoneLooks {
 public:
  /// Far build of one zone. Fetches the cube type (the default type when the id is not a valid
  /// one), loading its textures if needed; shadow triangles for a valid type with shadows on.
  static void buildFar(const CubeZone& zone, MeshGroupMap& groups, const CubesTable& table);
  /// Near build of one zone, its type fetched the same way.
  static void buildNear(const CubeZone& zone, MeshGroupMap& groups, const CubesTable& table);
  /// The range builds of CubeZone with every zone's type fetched as in the one-zone builds;
  /// `joinFaces` (the configuration's join_faces, read by the caller) joins faces.
  static void buildFar(const CubeZone* zones, size_t nbZones, MeshGroupMap& groups, const CubesTable& table,
                       SharedRange* claims = nullptr, bool joinFaces = false);
  static void buildNear(const CubeZone* zones, size_t nbZones, MeshGroupMap& groups, const CubesTable& table,
                        SharedRange* claims = nullptr, bool joinFaces = false);

  /// Whether the point lies in the zone (bounds included) and its type is collidable; marks
  /// the type used. The id must be a valid type id.
  static bool contains(const CubeZone& zone, const Float3& point);

 private:
  /// The type of each zone, fetched, marked used and with its textures loaded.
  static std::vector<CubeZone::DrawLook> drawLooksOf(const CubeZone* zones, size_t nbZones);
};

#endif
