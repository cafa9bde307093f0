#ifndef INDEXEDWORLD_H
#define INDEXEDWORLD_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BasicVector.h"
#include "world/CubeTypeManager.h"
#include "world/WorldIndexator.h"

class CubeType;

/// The world container: the region table (its base), the cube types and the script object
/// types. Owns every edit of the cubes (boxes, spheres, single cubes), answers cube queries by
/// cube coordinates, rebuilds a region's zones into as few boxes as possible and reads and
/// writes the world file.
///
/// Cube coordinates: cube (x, y, z) covers (x, y, z) * size_one_cube up to that point plus
/// size_one_cube on each axis.
class IndexedWorld : public WorldIndexator {
 public:
  /// Reads "size_one_region" and "size_one_cube", creates the registries and loads the world
  /// file. `objectTypeNames`: the script object type names (index = type id), borrowed: the
  /// list the script host fills, so that the editor places the types the script declared; it
  /// must outlive the world. Null gives the world a list of its own (worlds without a script).
  explicit IndexedWorld(const std::string& worldFileName, std::vector<std::string>* objectTypeNames = nullptr);
  ~IndexedWorld() override;

  /// Writes the world file ("==== Saving world to file '...'"), crash-safe and in large blocks.
  /// False when it could not be saved (reported; the previous file is left as it was and the
  /// world stays in memory).
  bool saveWorld(const std::string& fileName);
  /// Reads the world file with the progress bar. Damaged records the file can do without are
  /// dropped or repaired with one report; a file that cannot be parsed is reported and the
  /// world stays as it was (answers false then).
  bool loadWorld(const std::string& fileName);

  // ---- Cube types
  CubeType* getCubeType(int id);
  int getNbCubeType() const;
  int addCubeType(const std::string textureNames[6], const bool textureOptions[3], bool collidable);
  /// Removes the last type's zones from the world, then the type.
  void removeLastCubeType();
  CubeTypeManager* getCubeTypeManager() { return cubeTypeManager.get(); }

  // ---- Script object types
  /// The one list of type names, shared with the script host when it was given one.
  const std::vector<std::string>& getObjectTypeNames() const { return *cotm; }
  void setObjectTypeNames(const std::vector<std::string>& names) { *cotm = names; }

  // ---- Edits (cube coordinates)
  /// The box from the componentwise minimum of the corners (inclusive) to the maximum
  /// (exclusive), filled with `id` (-1 empties it). False (nothing done) when the corners share
  /// a coordinate.
  bool addCubesParallelepiped(const Int3& cornerA, const Int3& cornerB, int32_t id);
  bool removeCubesParallelepiped(const Int3& cornerA, const Int3& cornerB);
  void createCube(const Int3& cell, int32_t id);
  void removeCube(const Int3& cell);
  /// The sphere centred on the lower corner of `centreCell`, radius in world units.
  void addCubesSphere(const Int3& centreCell, float radius, int32_t id);
  void removeCubesSphere(const Int3& centreCell, float radius);
  /// Adds the box (world centre and size) as new zones, cut at region borders, without looking
  /// at what is there. False when a piece could not be placed (later pieces are not added), and
  /// (nothing added) for a negative or non-finite box or a cube type that does not exist.
  bool addBox(const Float3& centre, const Float3& size, int32_t id);

  /// The box edit on a world box: id -1 removes. Zones of collidable types met in the box are
  /// split into single cubes and rebuilt greedily with the edit.
  void editBox(const Float3& centre, const Float3& size, int32_t id);
  /// The sphere edit on a world centre and radius: id -1 removes.
  void editSphere(const Float3& centre, float radius, int32_t id);

  // ---- Queries
  /// The id of the zone covering the middle of the cell, -1 for none.
  int32_t getCubeTypeAtCell(const Int3& cell) const;
  /// The first zone of a collidable type containing the point: its id, centre and size; -1
  /// (nothing written) for none.
  int32_t getCollidingCubeInfos(const Float3& point, Float3& centre, Float3& size) const;
  /// Truncation toward zero of w / size_one_cube (far values and NaN kept within +-1e9).
  static Int3 worldToCube(const Float3& worldPos);
  /// The lower corner of the cube in world units.
  static Float3 cubeToWorld(const Int3& cell);

  // ---- Optimisation
  /// Rebuilds the zones of the region holding the point greedily from its cube grid.
  void optimizeRegion(const Float3& point);
  void optimizeAll();

  /// Greedy zones from a grid of ids (x + (y + z*sy)*sx, -1 empty) whose cell (0, 0, 0) has its
  /// lower corner at `origin`; the grid is consumed (every cell ends -1).
  void buildZonesFromGrid(int32_t* grid, const Int3& gridSize, const Float3& origin);

  /// One queued change of an edit: a cell and its new type id.
  struct CubeEdit {
    Int3 cell;
    int32_t id;
  };
  /// Applies an edit list (later edits of a cell win) through the greedy builder. A list whose
  /// cells spread over more than 2^24 grid cells is refused with a report.
  void applyEdits(const std::vector<CubeEdit>& edits);

 private:
  static float readRegionEdge();
  /// -1 (empty) or an existing cube type; anything else is reported.
  bool isEditableId(int32_t id) const;
  /// Whether an edit of nx * ny * nz samples is small enough to run (else it is reported).
  static bool isEditSmallEnough(int64_t nx, int64_t ny, int64_t nz);
  /// Removes the first zone of a collidable type containing the point from its region and
  /// answers its id, centre and size; -1 (nothing changed) for none.
  int32_t takeCollidingZone(const Float3& point, Float3& centre, Float3& size);

  // ---- The steps of a box or sphere edit (IndexedWorldEdits.cpp)
  struct EditShape;
  /// A zone an edit took out of its region, and the sample (in sampling order) that met it.
  struct MetZone {
    int64_t sample;
    Float3 centre;
    Float3 size;
    int32_t id;
  };
  struct RegionZone {
    Int3 region;
    size_t index;
  };
  /// Grows the table once to hold the cubes an edit adds; false (reported, nothing changed)
  /// when the table would grow beyond its limits.
  bool prepareTableForEdit(const EditShape& shape);
  /// Samples the edit, taking the zones met out of their regions into metZones.
  void takeZonesMet(const EditShape& shape);
  /// The writes of one zone met: (cell, id) for its cubes the edit keeps.
  template <typename Visit>
  void forEachZoneWrite(const EditShape& shape, const MetZone& zone, Visit&& visit) const;
  /// The writes of the samples from..to (per axis, exclusive) in sampling order, each preceded
  /// by those of the zone it met when withZones.
  template <typename Visit>
  void forEachSampleWrite(const EditShape& shape, const int64_t from[3], const int64_t to[3], bool withZones,
                          Visit&& visit) const;
  /// Builds the zones of the edit's writes: one grid over the cells written, or region by region
  /// when that grid would be too large.
  void applyEdit(const EditShape& shape);
  void applyEditByRegion(const EditShape& shape, const Int3& m, const Int3& M);
  /// The first sample on the axis whose cell is at least `cell` (the sample count for none).
  static int64_t firstSampleFrom(const EditShape& shape, int axis, int cell);
  /// Adds one zone to the region holding it; false when none can take it.
  bool addOneZone(const Float3& centre, const Float3& size, int32_t id);

  /// Used only when no list was given.
  std::vector<std::string> ownObjectTypeNames;
  std::vector<std::string>* cotm;
  std::unique_ptr<CubeTypeManager> cubeTypeManager;
  /// Scratch of the edits, kept between edits so that an edit does not allocate once warm.
  std::vector<MetZone> metZones;
  std::vector<RegionZone> zonesByRegion;
  std::vector<int32_t> editGrid;
};

#endif
