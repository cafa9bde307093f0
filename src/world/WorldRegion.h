#ifndef WORLDREGION_H
#define WORLDREGION_H

#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "BasicVector.h"
#include "meshing/CubeZone.h"
#include "world/CustomObject.h"
#include "VBO.h"
#include "VBODrawPass.h"

class CubesTable;

/// One cubic piece of the world: its zones of cubes and its script objects, and, only while it
/// is built, the dense cube grid and the vertex buffers that show it. Created, moved between
/// cells and deleted by the indexator; the region streamer decides when a region is built, drawn
/// and freed.
///
/// Script objects are held through pointers so that an object keeps its address while one of
/// its callbacks runs, even when that callback adds objects to the same region; an object
/// removed while the region walks its objects (from a callback) is taken out of the list at
/// once but destroyed only when the walk ends.
///
/// Also holds the region build worker (RegionBuildWorker): one thread per process that meshes
/// parts of a region's zones while the main thread meshes the others.
class WorldRegion {
 public:
  /// The zone list grows by this many records at a time.
  static constexpr size_t zoneCapacityStep = 200;
  /// A build is split with the worker only from this many zones on: a near zone costs tens of
  /// microseconds to mesh, a far one well under one, and below these counts the work given
  /// away costs less than waking the worker up.
  static constexpr size_t minZonesToSplitNear = 2;
  static constexpr size_t minZonesToSplitFar = 2048;
  /// A split build is meshed in at most this many parts.
  static constexpr size_t maxMeshParts = 8;

  WorldRegion(const Float3& parPosition, float parSizeOneRegion);
  ~WorldRegion();
  WorldRegion(const WorldRegion&) = delete;
  WorldRegion& operator=(const WorldRegion&) = delete;

  /// Fills the cube grid, computes the fast shadows when configured, meshes the zones (shared
  /// with the worker when the parallel switch of this detail level is on and `maySplit`) and
  /// uploads the mesh (its small buffers into `arena`'s shared blocks when one is given).
  /// Answers (buffers, vertices) of the finished vertex buffers. The region must be unbuilt.
  std::pair<int, int> build(bool parIsNear, const std::vector<const CubeZone*>& shadowCasters,
                            bool maySplit = true, const std::shared_ptr<VBOArena>& arena = nullptr);
  /// Drops the mesh and the grid (and the fast shadows). True when the region was built with
  /// at least one vertex.
  bool free();
  /// Draws the mesh (the region must be built), then the objects; marks the region used.
  void draw();
  /// The mesh alone (or one pass of its buffers: the shadows are drawn last), lighting left as
  /// it is (the region must be built).
  void drawMesh(VBO::Pass pass = VBO::Pass::all);
  /// The same within a begun pass shared with other regions.
  void drawMesh(VBODrawPass& drawPass, VBO::Pass pass);
  /// The rest of draw: the objects, the cube types marked used, the region marked used (the
  /// region must be built). The streamer calls it also for built regions out of sight.
  void drawObjects();
  bool isBuilt() const { return vbo != nullptr; }
  /// Whether the built mesh has faces of a texture with alpha (shadows apart), through which
  /// what was drawn before the region shows.
  bool getHasTranslucentFaces() const { return hasTranslucentFaces; }

  void addCubeZone(const CubeZone& zone);
  void addCubeZone(CubeZone&& zone);
  /// nearest: the zone whose centre is closest (ties: the later one); otherwise the first
  /// zone whose centre is the point or which contains it. Frees the region when one goes.
  bool removeCubeZone(const Float3& point, bool nearest);
  void removeCubeZonesOfType(int32_t id);
  /// Erases the zones (and the objects when asked); answers free().
  bool clear(bool alsoObjects);
  /// Appends a pointer to every zone, in list order (the pointers live until the zone list
  /// changes).
  void getCubeZones(std::vector<const CubeZone*>& out) const;

  /// The type id of the cube at the point, -1 for none.
  int32_t getCubeTypeAt(const Float3& point) const;
  /// Whether a collidable cube lies at the point (marks its type used).
  bool isCollidableAt(const Float3& point) const;
  /// The first zone containing the point writes its centre and size and answers its type id;
  /// none answers -1 and writes nothing.
  int32_t getCubeZoneAt(const Float3& point, Float3& centre, Float3& size) const;
  /// The highest zone top strictly over (x, z); the lowest float when none.
  float getHighestTopAt(float x, float z) const;
  /// Walks from b toward a in steps of one cube edge; the first collidable point is the hit.
  bool segmentHitsCube(const Float3& a, const Float3& b, Float3& hit) const;
  /// A new copy of the cube ids of the region's grid (the caller owns it; null when the region
  /// has no cubes) and the grid size.
  int32_t* copyCubes(Int3& size) const;

  /// Static shadows of every zone (printing one "=" per zone) from the casters and the light.
  void calculateShadows(const std::vector<const CubeZone*>& casters, const Float3& lightPoint);

  void addCustomObject(const CustomObject& object);
  void addCustomObject(CustomObject&& object);
  void addCustomObject(std::unique_ptr<CustomObject> object);
  /// As removeCubeZone, on the objects' positions; the region is not freed.
  bool removeCustomObject(const Float3& point, bool nearest);
  /// The type id of the first object within half a cube edge of the point (strict), or -1.
  int32_t getCustomObjectIdAt(const Float3& point) const;
  /// An object whose position changed during its step, handed over with where it was.
  struct MovedObject {
    std::unique_ptr<CustomObject> object;
    Float3 from;
    WorldRegion* region;
  };
  /// Steps the non-global objects once; objects that finish are destroyed and objects whose
  /// position changed are handed over to `moved` (the indexator puts them where they now lie).
  void stepCustomObjects(std::vector<MovedObject>& moved);

  /// Starts the region build worker (once per indexator: "thread == NULL").
  static void startWorker();
  /// Raises the stop flag, joins the worker and forgets it, so another indexator may start one.
  static void stopWorker();
  static bool isWorkerRunning();
  /// Builds meshed in parts shared with the worker since the program started.
  static int64_t getNbSplitBuilds();
  /// Pieces of the worker's zones that the main thread took over, since the program started.
  static int64_t getNbTakenOverPieces();

  const std::vector<CubeZone>& getCubeZonesList() const { return cubeZones; }
  std::vector<CubeZone>& getCubeZonesList() { return cubeZones; }
  const std::vector<std::unique_ptr<CustomObject>>& getCustomObjects() const { return customObjects; }
  size_t getNbCubeZones() const { return cubeZones.size(); }
  size_t getNbCustomObjects() const { return customObjects.size(); }
  bool isEmpty() const { return cubeZones.empty() && customObjects.empty(); }
  const Float3& getPosition() const { return position; }
  float getSizeOneRegion() const { return sizeOneRegion; }
  bool getIsNear() const { return isNear; }
  bool getUsedThisFrame() const { return usedThisFrame; }
  void setUsedThisFrame(bool used) { usedThisFrame = used; }
  const std::set<int32_t>& getCubeTypeIds() const { return cubeTypeIds; }
  /// The streamer's frame number of the last frame that listed the region in view (a mark
  /// that spares it searching its lists).
  uint64_t getListedFrame() const { return listedFrame; }
  void setListedFrame(uint64_t frame) { listedFrame = frame; }
  const VBO* getVBO() const { return vbo.get(); }
  const CubesTable* getCubesTable() const { return cubesTable.get(); }

 private:
  /// Meshes the zones into one group set per range of zones, the ranges in zone order.
  void meshZones(std::vector<MeshGroupMap>& parts, bool maySplit);
  size_t nearestZoneIndex(const Float3& point) const;
  /// Takes object `index` out of the list; while the objects are walked, the object itself
  /// lives on until the walk ends.
  void eraseCustomObject(size_t index);
  void endObjectWalk();

  std::unique_ptr<VBO> vbo;
  std::vector<CubeZone> cubeZones;
  std::vector<std::unique_ptr<CustomObject>> customObjects;
  bool usedThisFrame = false;
  float sizeOneRegion;
  Float3 position;
  std::set<int32_t> cubeTypeIds;
  std::unique_ptr<CubesTable> cubesTable;
  bool isNear = false;
  bool hasTranslucentFaces = false;
  uint64_t listedFrame = 0;
  /// Set while the objects are stepped or drawn; walkIndex is then the object whose turn it is.
  bool isWalkingObjects = false;
  long walkIndex = -1;
  /// Objects removed during a walk, destroyed when it ends.
  std::vector<std::unique_ptr<CustomObject>> removedDuringWalk;
};

#endif
