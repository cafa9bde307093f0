#ifndef CUBESTABLE_H
#define CUBESTABLE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "BasicVector.h"

class CubeZone;

/// Dense view of one region: one cube type id per cell (-1 = empty) and, when built with
/// shadow casters, one byte per cell marking the cells in the shadow of the casters (light
/// from the +x, +y, +z diagonal). Cell (x, y, z) is at index x + (y + z*sy)*sx and covers
/// cornerMin + (x, y, z)*sizeOneCube up to that point + sizeOneCube.
/// Read-only after construction, so the two mesh builders may query it at the same time.
class CubesTable {
 public:
  /// Fills the cubes from `zones` (later zones win where they overlap); computes the shadows
  /// when `shadowCasters` is given. An empty zone list leaves the table without arrays.
  CubesTable(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion,
             const std::vector<CubeZone>& zones,
             const std::vector<const CubeZone*>* shadowCasters = nullptr);
  CubesTable(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion,
             const std::vector<CubeZone>& zones, const std::vector<CubeZone*>* shadowCasters);
  CubesTable(const CubesTable&) = delete;
  CubesTable& operator=(const CubesTable&) = delete;

  /// Edge of one cube in world units: the configuration value "size_one_cube", read once at
  /// the first call and cached for the whole run.
  static float getSizeOneCube();
  /// Sets the cached cube edge without reading the configuration (for tests and tools that
  /// run without a window); a negative value makes the next getSizeOneCube read it again.
  static void setSizeOneCube(float value);

  Int3 getCellOf(const Float3& worldPos) const;
  bool isInRange(const Int3& cell) const;
  /// The id in the cell holding the point; -1 outside the grid or without an array.
  int32_t getCubeIdAt(const Float3& worldPos) const;
  bool isCubeAt(const Float3& worldPos) const;
  /// The id of a cell; -1 outside the grid or without an array.
  int32_t getCubeIdAtCell(const Int3& cell) const;
  bool isShadowCell(const Int3& cell) const;
  /// Whether a point on face `face` (0 top, 1 bottom, 2 front, 3 back, 4 left, 5 right) is in
  /// shadow: its cell is, or it lies on the shadowed side of the diagonal where two shadowed
  /// neighbours meet.
  bool isShadowedAt(const Float3& worldPos, int face) const;
  /// A new copy of the ids (the caller owns it; null when the table has no array) and the
  /// grid size.
  int32_t* copyCubes(Int3& size) const;

  bool hasCubes() const { return cubes != nullptr; }
  bool hasShadows() const { return shadowsCopy != nullptr; }
  const int32_t* getCubes() const { return cubes.get(); }
  const uint8_t* getShadows() const { return shadowsCopy.get(); }
  const Int3& getSizeTableCubes() const { return sizeTableCubes; }
  /// The edge of one cell of this table (the cube edge it was built with).
  float getCellSize() const { return sizeOneCube; }
  float getSizeOneRegion() const { return sizeOneRegion; }
  const Float3& getPosition() const { return position; }
  const Float3& getCornerMin() const { return cornerMin; }

  /// floor(v) for a value meant to be a whole number of cells, tolerant of the float error of
  /// sums such as 0.1 + 0.1 + 0.1 (a whole number just below itself must not lose a cell).
  static int wholeCells(float v);
  /// floor(v) as an int, kept within +-1e9 (not a number gives -1e9): far outside any grid.
  static int floorToCell(float v);
  /// The largest number of cubes along a region edge.
  static constexpr int maxCellsPerEdge = 1024;

 private:
  void build(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion,
             const std::vector<CubeZone>& zones, bool withShadows, const CubeZone* const* casters,
             size_t nbCasters);
  void setFields(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion);
  void fillCubes(const std::vector<CubeZone>& zones);
  void computeShadows(const CubeZone* const* casters, size_t nbCasters);
  void castFace(int axis, const int first[3], const int last[3], uint8_t* grid) const;
  void castShadowRay(int x, int y, int z, uint8_t* grid) const;
  size_t indexOf(int x, int y, int z) const {
    return (size_t)x + ((size_t)y + (size_t)z * sizeTableCubes[1]) * sizeTableCubes[0];
  }

  std::unique_ptr<int32_t[]> cubes;
  Int3 sizeTableCubes{0, 0, 0};
  float sizeOneCube = 1.f;
  float sizeOneRegion = 0.f;
  Float3 position{0.f, 0.f, 0.f};
  std::unique_ptr<uint8_t[]> shadows;
  std::unique_ptr<uint8_t[]> shadowsCopy;
  Float3 cornerMin{0.f, 0.f, 0.f};
};

#endif
