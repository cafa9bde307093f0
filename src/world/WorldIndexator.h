#ifndef WORLDINDEXATOR_H
#define WORLDINDEXATOR_H

#include <cstdint>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "BasicVector.h"
#include "meshing/CubeZone.h"
#include "world/CustomObject.h"
#include "Frustum.h"
#include "world/RegionChangeListener.h"
#include "streaming/RegionSplitPolicy.h"
#include "world/WorldRegion.h"

/// The whole world as a 3D table of regions, and the per-frame streaming around the viewer:
/// which regions are built (near or far detail), drawn and freed. Routes point queries and
/// edits to the region holding the point, grows the table when something is placed outside it,
/// and runs the shadow commands (the world file is the indexed world's).
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
  /// Milliseconds of region building per frame when "region_build_budget_ms" is absent (or 0).
  static constexpr double defaultBuildBudgetMs = 4.0;

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
  /// Moves the table's lower bound by modMin and its upper bound by modMax (regions kept where
  /// they lie in the world, all unbuilt); answers modMin.
  Int3 resizeTable(const Int3& modMin, const Int3& modMax);
  /// Shrinks or grows the table to the regions holding something (keeping indices -1 and 0).
  void fitTableToContent();

  /// The frame's streaming step: lists the regions within viewDistance of the camera, builds
  /// them (in sight and nearest first, within the frame's build budget: at least one region, and
  /// every unbuilt one in sight within one region edge of the camera), draws those the camera
  /// can see nearest first, frees those that left the view. showBorders outlines every scanned
  /// region.
  void draw(float viewDistance, bool showBorders);
  /// Inside the last draw's view frustum and within its view distance (measured to the box).
  bool isRegionVisible(const WorldRegion& region, const Float3& viewer) const;
  /// "region_build_budget_ms", defaultBuildBudgetMs when absent or 0; negative: no limit.
  static double getBuildBudgetMs();
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

  float getSizeOneRegion() const { return sizeOneRegion; }
  const Int3& getTableRegionMin() const { return tableRegionMin; }
  const Int3& getTableRegionSize() const { return tableRegionSize; }
  size_t getNbRegions() const { return regionCount(tableRegionSize); }
  const std::vector<WorldRegion*>& getLoadedRegions() const { return loadedRegions; }
  /// The lists of the last draw: regions in view, their border flags and table indices.
  const std::vector<WorldRegion*>& getRegionsInView() const { return regions; }
  const std::vector<bool>& getAreRegionsInBorder() const { return areRegionsInBorder; }
  const std::vector<Int3>& getPosIntRegions() const { return posIntRegions; }
  /// The regions whose mesh the last draw drew, in drawing order.
  const std::vector<WorldRegion*>& getRegionsDrawn() const { return regionsDrawn; }

 protected:
  void noteRegionChange(WorldRegion& region) {
    if (regionChangeListener != nullptr) regionChangeListener->regionChanging(region);
  }
  /// One step of the loading bar: redrawn (and shown through the frame step) when more than
  /// 0.1 s passed since `lastDraw` (microseconds, start it at Platform::getMicroseconds()).
  /// `done` of `total` items are handled; growing for reading, shrinking for deleting.
  static void showProgressBar(size_t done, size_t total, bool growing, int64_t& lastDraw);
  /// Builds the listed regions that should be built this frame and prints the load line.
  void buildRegionsInView(const std::vector<WorldRegion*>& parRegions, const std::vector<bool>& borders,
                          const std::vector<Int3>& indices, const Float3& viewer);

 private:
  static size_t regionCount(const Int3& size) {
    return (size_t)size.x() * (size_t)size.y() * (size_t)size.z();
  }
  size_t cellIndex(const Int3& posIndex) const {
    return (size_t)posIndex.x() +
           (size_t)tableRegionSize.x() * ((size_t)posIndex.y() + (size_t)tableRegionSize.y() * (size_t)posIndex.z());
  }
  void allocateTable();
  /// The table indices within `radius` of `centre` on every axis, clipped to the table (from
  /// greater than to on some axis when none lies inside).
  void clipToTable(const Int3& centre, int radius, Int3& from, Int3& to) const;
  void scanView(const Int3& centre, int g, bool showBorders);
  void drawRegionBorder(const WorldRegion& region) const;
  void freeRegionsOutOfView();
  void drawRegionsInView(const Float3& viewer);
  double squaredDistanceToBox(const WorldRegion& region, const Float3& point) const;
  /// Whether a table of that minimum and size stays within the limits.
  static bool isTableAcceptable(const int64_t min[3], const int64_t size[3]);

  float sizeOneRegion;
  Int3 tableRegionMin{-1, -1, -1};
  Int3 tableRegionSize{2, 2, 2};
  std::unique_ptr<WorldRegion*[]> tableRegions;
  std::vector<WorldRegion*> loadedRegions;
  std::vector<WorldRegion*> regions;
  std::vector<bool> areRegionsInBorder;
  std::vector<Int3> posIntRegions;
  /// Counts the draws; a region listed in view carries the number of the frame.
  uint64_t frameNumber = 0;
  /// Scratch lists reused every frame.
  std::vector<WorldRegion*> keptRegions;
  std::vector<const CubeZone*> casters;
  std::vector<WorldRegion::MovedObject> movedObjects;
  /// Object types already reported for a move beyond the table's limits.
  std::set<uint32_t> reportedFarObjectTypes;
  /// (not urgent, out of sight, squared distance, index in `regions`) of a region to build
  /// this frame.
  using BuildCandidate = std::tuple<bool, bool, float, size_t>;
  std::vector<BuildCandidate> buildOrder;
  /// Whether region builds are shared with the worker, judged from the last shared builds.
  RegionSplitPolicy splitPolicy;
  /// (squared distance, index in `regions`) of the regions to draw this frame.
  std::vector<std::pair<float, size_t>> drawOrder;
  std::vector<WorldRegion*> regionsDrawn;
  /// What the camera sees in the current draw.
  Frustum viewFrustum;
  float visibleDistance = 0.f;
  RegionChangeListener* regionChangeListener = nullptr;
};

#endif
