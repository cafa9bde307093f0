#ifndef WORLDINDEXATOR_H
#define WORLDINDEXATOR_H

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "BasicVector.h"
#include "meshing/CubeZone.h"
#include "world/CustomObject.h"
#include "world/RegionChangeListener.h"
#include "world/RegionTableListener.h"
#include "world/WorldRegion.h"

/// The whole world as a 3D table of regions. Routes point queries and edits to the region
/// holding the point, grows the table when something is placed outside it, steps the script
/// objects around the camera and runs the shadow commands (the world file is the indexed
/// world's). Which regions are built, drawn and freed in a frame is the region streamer's
/// business; the table keeps the record of the regions that may be built for it.
/// Base of the indexed world; one exists at a time (it owns the region build worker).
///
/// Two index spaces: the absolute region index of a point p is floor(p / sizeOneRegion) per
/// axis; its table index (posIndex) is the absolute index minus tableRegionMin.
class WorldIndexator {
 public:
  /// The table never grows beyond this many cells (a box placed absurdly far away is refused
  /// instead of exhausting memory).
  static constexpr int64_t maxTableCells = int64_t(1) << 21;
  /// Absolute region indices stay within +-maxAbsoluteIndex on every axis.
  static constexpr int maxAbsoluteIndex = 1 << 20;

  explicit WorldIndexator(float parSizeOneRegion);
  /// Stops and joins the region build worker, deletes every region.
  virtual ~WorldIndexator();
  WorldIndexator(const WorldIndexator&) = delete;
  WorldIndexator& operator=(const WorldIndexator&) = delete;

  /// Deletes every region; back to a 2 x 2 x 2 table at (-1, -1, -1) of empty regions.
  void reset();
  /// Deletes every region (with the shrinking progress bar) and the table.
  void deleteAllRegions();
  /// Frees every region (after the shadow switch changed, so that they rebuild).
  void freeAllRegions();

  /// The region of a table index, which must lie in the table.
  WorldRegion* getRegion(const Int3& posIndex) const;
  /// The same without the check, for the scans clipped to the table.
  WorldRegion* getRegionInTable(const Int3& posIndex) const { return tableRegions[cellIndex(posIndex)]; }
  /// Table index of the region holding the point (may lie outside the table).
  Int3 getRegionIndexOf(const Float3& point) const;
  bool isInTable(const Int3& posIndex) const;
  /// The region holding the point, or null when it lies outside the table.
  WorldRegion* getRegionAt(const Float3& point) const;
  /// The world position of the centre of the region at a table index.
  Float3 getRegionCentre(const Int3& posIndex) const;

  /// Finds the one region holding the box (0.01 tolerance at region borders), growing the
  /// table when the box lies outside it. False when the box straddles regions or lies too far.
  bool locateBox(const Float3& centre, const Float3& size, Int3& posIndex);
  /// Grows the table to include an absolute index; answers the shift of the table indices.
  Int3 growToInclude(const Int3& absoluteIndex);
  /// Grows the table once to include every absolute index from low to high; false (nothing
  /// changed) when the table would grow beyond its limits.
  bool growToIncludeRange(const Int3& absoluteLow, const Int3& absoluteHigh);
  /// Moves the table's lower bound by modMin and its upper bound by modMax (regions kept where
  /// they lie in the world, all unbuilt); answers modMin.
  Int3 resizeTable(const Int3& modMin, const Int3& modMax);
  /// Shrinks or grows the table to the regions holding something (keeping indices -1 and 0).
  void fitTableToContent();

  /// trunc(distance / region edge) + 1: the radius in regions of the cube of regions scanned
  /// around a point for that distance; kept far below int overflow (a scan is clipped to the
  /// table anyway) and 1 for a distance that is not a number.
  int getScanRadius(float distance) const;
  /// The table indices within `radius` of `centre` on every axis, clipped to the table (from
  /// greater than to on some axis when none lies inside).
  void clipToTable(const Int3& centre, int radius, Int3& from, Int3& to) const;
  /// Steps the objects of the regions within radius of the camera; moved objects change region.
  /// An object moved where the table cannot grow (beyond its limits) goes back where it was,
  /// with one problem report per object type.
  void stepCustomObjects(float radius);

  /// The zones that can shadow the region at posIndex: its whole column, then the columns at
  /// +-1 on x and on z (toward the light, or away from it), and with towardPositive the
  /// diagonal column.
  void collectShadowCasters(const Int3& posIndex, bool towardPositive,
                            std::vector<const CubeZone*>& casters) const;
  void calculateShadowsAll();
  void calculateShadowsAt(const Float3& point);

  /// Point operations on the region holding the point (false, -1 or nothing outside the table).
  bool removeCubeZone(const Float3& point, bool nearest);
  bool removeCustomObject(const Float3& point, bool nearest);
  bool clear(const Float3& point, bool alsoObjects);
  bool isCollidableAt(const Float3& point) const;
  int32_t getCubeZoneAt(const Float3& point, Float3& centre, Float3& size) const;
  int32_t getCubeTypeAt(const Float3& point) const;
  int32_t getCustomObjectIdAt(const Float3& point) const;
  bool isRegionEmptyAt(const Float3& point) const;

  /// locateBox then the region's addCubeZone; false when the zone straddles regions.
  bool addCubeZone(const CubeZone& zone);
  bool addCustomObject(const CustomObject& object);
  bool addCustomObject(CustomObject&& object);
  bool addCustomObject(std::unique_ptr<CustomObject> object);
  /// Erases every zone of that type in every region.
  void removeCubeType(int32_t id);
  /// The top of the highest zone strictly over (x, z); the lowest float when none.
  float getHeightAt(float x, float z) const;
  bool segmentHitsCube(const Float3& a, const Float3& b, Float3& hit) const;

  /// Told before a region's zones or objects change through the table (the editor's undo log
  /// while it records an edit); null for none. Borrowed.
  void setRegionChangeListener(RegionChangeListener* listener) { regionChangeListener = listener; }
  /// Told when the regions and table indices handed out stop being valid (the region
  /// streamer's lists of the last draw); null for none. Borrowed.
  void setRegionTableListener(RegionTableListener* listener) { regionTableListener = listener; }

  float getSizeOneRegion() const { return sizeOneRegion; }
  const Int3& getTableRegionMin() const { return tableRegionMin; }
  const Int3& getTableRegionSize() const { return tableRegionSize; }
  size_t getNbRegions() const { return regionCount(tableRegionSize); }
  /// The regions that may be built: the streaming frees those of them out of view and writes
  /// the list anew every frame; after the table moved its regions it lists every region once
  /// (none is built then), and it is empty after a reset.
  const std::vector<WorldRegion*>& getLoadedRegions() const { return loadedRegions; }
  std::vector<WorldRegion*>& getLoadedRegions() { return loadedRegions; }

 protected:
  void noteRegionChange(WorldRegion& region) {
    if (regionChangeListener != nullptr) regionChangeListener->regionChanging(region);
  }
  /// One step of the loading bar: redrawn (and shown through the frame step) when more than
  /// 0.1 s passed since `lastDraw` (microseconds, start it at Platform::getMicroseconds()).
  /// `done` of `total` items are handled; growing for reading, shrinking for deleting.
  static void showProgressBar(size_t done, size_t total, bool growing, int64_t& lastDraw);

 private:
  static size_t regionCount(const Int3& size) {
    return (size_t)size.x() * (size_t)size.y() * (size_t)size.z();
  }
  size_t cellIndex(const Int3& posIndex) const {
    return (size_t)posIndex.x() +
           (size_t)tableRegionSize.x() * ((size_t)posIndex.y() + (size_t)tableRegionSize.y() * (size_t)posIndex.z());
  }
  void allocateTable();
  void noteRegionsInvalidated() {
    if (regionTableListener != nullptr) regionTableListener->regionsInvalidated();
  }
  /// Whether a table of that minimum and size stays within the limits.
  static bool isTableAcceptable(const int64_t min[3], const int64_t size[3]);

  float sizeOneRegion;
  Int3 tableRegionMin{-1, -1, -1};
  Int3 tableRegionSize{2, 2, 2};
  std::unique_ptr<WorldRegion*[]> tableRegions;
  std::vector<WorldRegion*> loadedRegions;
  /// Scratch list of the object step, reused every frame.
  std::vector<WorldRegion::MovedObject> movedObjects;
  /// Object types already reported for a move beyond the table's limits.
  std::set<uint32_t> reportedFarObjectTypes;
  RegionChangeListener* regionChangeListener = nullptr;
  RegionTableListener* regionTableListener = nullptr;
};

#endif
