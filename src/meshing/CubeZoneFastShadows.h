#ifndef CUBEZONEFASTSHADOWS_H
#define CUBEZONEFASTSHADOWS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "BasicVector.h"

class CubeZone;
class CubesTable;

/// Shadows derived while a region is built, from its table's shadow grid (light from the +x,
/// +y, +z diagonal): over each of the zone's +z, +y and +x faces, the shadowed cells of the
/// layer just outside the face become rectangles merged greedily, and a lit cell between two
/// shadowed neighbours gets a half-cell triangle along the diagonal. They go into lists 5, 1
/// and 0 of the zone (lists 2, 3 and 4 stay empty), three points per triangle relative to the
/// zone centre, 0.2 world units in front of the face. A face whose neighbour layer holds a
/// cube gets nothing.
///
/// Pure: the table is only read (the merge consumes a private copy of each layer, so the
/// table's shadow grid stays as built and both mesh builders may read it at the same time).
/// Keep one object per region build: its scratch is sized once for the table.
class CubeZoneFastShadows {
 public:
  /// Borrows the table, which must outlive this object.
  explicit CubeZoneFastShadows(const CubesTable& parTable);
  CubeZoneFastShadows(const CubeZoneFastShadows&) = delete;
  CubeZoneFastShadows& operator=(const CubeZoneFastShadows&) = delete;

  /// Fills the zone's six lists. Nothing happens (the lists are left as they are) unless the
  /// zone's lowest and highest cells are in the table.
  void computeFastShadows(CubeZone& zone);
  /// The same for zones[0 .. nbZones).
  void computeFastShadows(CubeZone* zones, size_t nbZones);
  /// One zone without keeping the object (sizes the scratch for this call).
  static void computeFastShadows(const CubesTable& table, CubeZone& zone);

  /// How far the triangles float in front of the face, in world units.
  static constexpr float distanceToFace = 0.2f;

 private:
  struct Side;
  template <typename Sink>
  void scanSide(const Side& side, Sink& sink);
  void fillLayer(const Side& side);
  bool isLayerCovered(const Side& side) const;
  bool isShadowCell(const Side& side, int u, int v) const;

  const CubesTable& table;
  /// The working grid of one side: the zone's part of the neighbour layer, consumed by the
  /// rectangle merge (one byte per cell, row v at v * workingWidth).
  std::unique_ptr<uint8_t[]> working;
  int workingWidth = 0;
};

#endif
