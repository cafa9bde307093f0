#include "world/WorldRegion.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>

#include "world/CubeType.h"
#include "world/CubeTypeManager.h"
#include "meshing/CubeZoneFastShadows.h"
#include "meshing/CubeZoneStaticShadows.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "meshing/RegionBuildWorker.h"
#include "meshing/SharedRange.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "VBO.h"
#include "Assert.h"
#include "world/CubeZoneLooks.h"

namespace {

// The region build worker (null while none runs) and the builds meshed in parts.
RegionBuildWorker* thread = nullptr;
std::atomic<int64_t> nbSplitBuilds{0};
std::atomic<int64_t> nbTakenOverPieces{0};

/// `joinFaces`: the far faces are joined, and the small quads of near faces without relief.
void meshRange(const CubeZone* zones, size_t nbZones, bool isNear, bool joinFaces, MeshGroupMap& groups,
               const CubesTable& table, SharedRange* claims) {
  if (nbZones == 0) return;
  if (isNear)
    CubeZoneLooks::buildNear(zones, nbZones, groups, table, claims, joinFaces);
  else
    CubeZoneLooks::buildFar(zones, nbZones, groups, table, claims, joinFaces);
}

/// One region's zones cut in consecutive ranges, each meshed into its own set of groups; the
/// sets handed to the vertex buffers in zone order give the same mesh as one pass. In a near
/// build, when the main thread has no range left while the worker still meshes one, it takes
/// over the upper half of what the worker has not reached, as a piece of its own: a worker held
/// up by a busy machine delays the build by one zone at most.
struct SplitMeshing {
  static constexpr int maxPieces = 16;
  struct Piece {
    size_t first = 0;
    MeshGroupMap groups;
  };

  const CubeZone* zones;
  size_t nbZones;
  int nbParts;
  const CubesTable* table;
  bool isNear;
  bool joinFaces;
  MeshGroupMap parts[WorldRegion::maxMeshParts];
  SharedRange ranges[WorldRegion::maxMeshParts];
  Piece pieces[maxPieces];
  int nbPieces = 0;

  SplitMeshing(const CubeZone* parZones, size_t parNbZones, int parNbParts, const CubesTable* parTable, bool parIsNear,
               bool parJoinFaces)
      : zones(parZones),
        nbZones(parNbZones),
        nbParts(parNbParts),
        table(parTable),
        isNear(parIsNear),
        joinFaces(parJoinFaces) {
    for (int part = 0; part < nbParts; ++part) ranges[part].reset((uint32_t)(firstZone(part + 1) - firstZone(part)));
  }

  size_t firstZone(int part) const { return nbZones * (size_t)part / (size_t)nbParts; }

  static void meshPart(void* context, int part) {
    SplitMeshing& job = *static_cast<SplitMeshing*>(context);
    const size_t first = job.firstZone(part);
    meshRange(job.zones + first, job.firstZone(part + 1) - first, job.isNear, job.joinFaces, job.parts[part],
              *job.table, &job.ranges[part]);
  }

  static bool takeOver(void* context) {
    SplitMeshing& job = *static_cast<SplitMeshing*>(context);
    if (job.nbPieces == maxPieces) return false;
    for (int part = 0; part < job.nbParts; ++part) {
      uint32_t from = 0, to = 0;
      if (!job.ranges[part].takeUpperHalf(from, to)) continue;
      Piece& piece = job.pieces[job.nbPieces++];
      piece.first = job.firstZone(part) + from;
      nbTakenOverPieces.fetch_add(1, std::memory_order_relaxed);
      meshRange(job.zones + piece.first, to - from, job.isNear, job.joinFaces, piece.groups, *job.table, nullptr);
      return true;
    }
    return false;
  }

  /// The parts and pieces in zone order.
  void collect(std::vector<MeshGroupMap>& out) {
    std::sort(pieces, pieces + nbPieces, [](const Piece& a, const Piece& b) { return a.first < b.first; });
    int piece = 0;
    for (int part = 0; part < nbParts; ++part) {
      out.push_back(std::move(parts[part]));
      while (piece < nbPieces && pieces[piece].first < firstZone(part + 1))
        out.push_back(std::move(pieces[piece++].groups));
    }
  }
};

/// A configuration switch; without a device manager (tools, pure tests) every switch is off.
bool configBool(const char* key) {
  DeviceManager* deviceManager = DeviceManager::getInstance();
  return deviceManager != nullptr && deviceManager->getConfig().getBool(key);
}

void setLighting(bool on) {
  Scene3D* scene = GLManager::getScene3D();
  if (scene != nullptr) {
    scene->setIsLighting(on);
    if (scene->getQuadric() != nullptr) gluQuadricNormals(scene->getQuadric(), on ? GLU_FLAT : GLU_NONE);
  }
  if (on)
    glEnable(GL_LIGHTING);
  else
    glDisable(GL_LIGHTING);
}

/// Half-open like the cells of the cubes table, so that a region answers the same built or not
/// (a point on a zone's top face lies in the cell above it).
bool isInsideBox(const Float3& point, const Float3& centre, const Float3& size) {
  for (int a = 0; a < 3; ++a)
    if (point[a] < centre[a] - size[a] / 2.f || point[a] >= centre[a] + size[a] / 2.f) return false;
  return true;
}

}  // namespace

WorldRegion::WorldRegion(const Float3& parPosition, float parSizeOneRegion)
    : sizeOneRegion(parSizeOneRegion), position(parPosition) {}

WorldRegion::~WorldRegion() { free(); }

std::pair<int, int> WorldRegion::build(bool parIsNear, const std::vector<const CubeZone*>& shadowCasters,
                                       bool maySplit, const std::shared_ptr<VBOArena>& arena) {
  assert(vbo == NULL && cubesTable == NULL);
  isNear = parIsNear;

  cubeTypeIds.clear();
  for (const CubeZone& zone : cubeZones) cubeTypeIds.insert(zone.id);

  const bool fastShadows = configBool("fast_shadows");
  // A region without zones has nothing to shade: its shadow grid, filled from the whole column
  // of casters around it, would cost a full build for an empty mesh (the sky over a landscape).
  const bool useCasters = fastShadows && shadowsEnabled && !cubeZones.empty();
  cubesTable.reset(new CubesTable(position, CubesTable::getSizeOneCube(), sizeOneRegion, cubeZones,
                                  useCasters ? &shadowCasters : nullptr));

  if (fastShadows) {
    // The faces turned away from the light (bottom, back, left) start dark.
    static constexpr bool darkFaces[6] = {false, true, false, true, true, false};
    const bool computeShadows = shadowsEnabled && cubesTable->hasShadows() && !isNear;
    std::unique_ptr<CubeZoneFastShadows> fast;
    if (computeShadows) fast.reset(new CubeZoneFastShadows(*cubesTable));
    for (CubeZone& zone : cubeZones) {
      for (int f = 0; f < 6; ++f) zone.isFaceShadowed[f] = darkFaces[f];
      if (computeShadows) fast->computeFastShadows(zone);
    }
  }

  // Textures are loaded here, on the GL thread, so that the worker never has to.
  CubeTypeManager* manager = CubeTypeManager::getInstance();
  for (int32_t id : cubeTypeIds) manager->getCubeTypeForDrawing(id)->loadTextures();

  std::vector<MeshGroupMap> parts;
  meshZones(parts, maySplit);

  vbo.reset(new VBO(arena));
  glMatrixMode(GL_MODELVIEW);
  Scene3D* scene = GLManager::getScene3D();
  if (scene != nullptr) glLoadMatrixf(scene->getViewMatrix());
  glTranslatef(0.f, 0.f, 0.f);
  for (auto& entry : parts[0]) vbo->addGroup(entry.first, std::move(entry.second));
  for (size_t part = 1; part < parts.size(); ++part) vbo->addPart(std::move(parts[part]));

  int shadowTexture = -1;
  if (!cubeZones.empty()) {
    CubeType* firstType = manager->getCubeTypeForDrawing(cubeZones[0].id);
    firstType->loadTextures();
    shadowTexture = firstType->getLook().textureShadow;
    vbo->getGroup(shadowTexture).drawnLast = true;
  }
  // The parts are copied into the buffers by both threads.
  const std::pair<int, int> built =
      parts.size() == 1 || thread == nullptr
          ? vbo->finish()
          : vbo->finish([](RegionBuildWorker::Task task, void* context, int nbCopies) { thread->run(task, context, nbCopies); });
  // The shadows lie on the region's own faces: only textures with alpha of the cube types can
  // show what was drawn behind the region.
  hasTranslucentFaces = false;
  for (const std::unique_ptr<VBO::Buffer>& buffer : vbo->getBuffers()) {
    if (buffer->textureId == shadowTexture || buffer->nbVertices == 0) continue;
    hasTranslucentFaces = hasTranslucentFaces || !SpriteManager::isTextureWithoutAlpha(buffer->textureId);
  }
  return built;
}

void WorldRegion::meshZones(std::vector<MeshGroupMap>& parts, bool maySplit) {
  const size_t n = cubeZones.size();
  // Joined faces change the far mesh only (collisions, edits and the world file never see it).
  const bool joinFaces = configBool("join_faces");
  const bool parallel =
      maySplit && n <= UINT32_MAX &&
      (isNear ? n >= minZonesToSplitNear && configBool("enable_parallelization_regions_near")
              : n >= minZonesToSplitFar && configBool("enable_parallelization_regions_far"));
  if (!parallel) {
    parts.resize(1);
    meshRange(cubeZones.data(), n, isNear, joinFaces, parts[0], *cubesTable, nullptr);
    return;
  }
  // Several parts per thread, so that a thread held up by the machine delays one small part
  // while the other takes the rest.
  const int nbParts = (int)std::min<size_t>(n, maxMeshParts);
  SplitMeshing job(cubeZones.data(), n, nbParts, cubesTable.get(), isNear, joinFaces);
  nbSplitBuilds.fetch_add(1, std::memory_order_relaxed);
  if (thread == nullptr) {
    // No worker (a region used without an indexator): the same parts, one after the other.
    for (int part = 0; part < nbParts; ++part) SplitMeshing::meshPart(&job, part);
  } else {
    // Far parts are soon done, and a piece taken over would cull its zones a second time.
    thread->run(&SplitMeshing::meshPart, &job, nbParts, isNear ? &SplitMeshing::takeOver : nullptr);
  }
  job.collect(parts);
}

bool WorldRegion::free() {
  const bool hadVertices = vbo != nullptr && vbo->getNbVerticesTotal() > 0;
  cubeTypeIds.clear();
  cubesTable.reset();
  if (configBool("fast_shadows")) {
    for (CubeZone& zone : cubeZones) {
      zone.shadowTriangles.clear();
      for (bool& isShadowed : zone.isFaceShadowed) isShadowed = false;
    }
  }
  vbo.reset();
  return hadVertices;
}

void WorldRegion::draw() {
  setLighting(false);
  drawMesh();
  drawObjects();
}

void WorldRegion::drawMesh(VBO::Pass pass) {
  if (vbo == nullptr) assert(false, "drawing a region that is not built");
  vbo->draw(pass);
}

void WorldRegion::drawMesh(VBODrawPass& drawPass, VBO::Pass pass) {
  if (vbo == nullptr) assert(false, "drawing a region that is not built");
  drawPass.draw(*vbo, pass);
}

void WorldRegion::drawObjects() {
  usedThisFrame = true;
  if (vbo == nullptr) assert(false, "drawing a region that is not built");
  // Lit objects; without any, only the unlit state the walk would leave.
  if (!customObjects.empty()) setLighting(true);
  const bool wasWalking = isWalkingObjects;
  const long outerIndex = walkIndex;
  isWalkingObjects = true;
  for (walkIndex = 0; walkIndex < (long)customObjects.size(); ++walkIndex) customObjects[walkIndex]->draw();
  walkIndex = outerIndex;
  if (!wasWalking) endObjectWalk();

  CubeTypeManager* manager = CubeTypeManager::getInstance();
  for (int32_t id : cubeTypeIds) {
    assert(id < (int)CubeTypeManager::getInstance()->getNbCubeType());
    manager->getCubeType(id);
  }
  setLighting(false);
}

void WorldRegion::addCubeZone(const CubeZone& zone) {
  free();
  const size_t n = cubeZones.size();
  cubeZones.reserve(n - n % zoneCapacityStep + zoneCapacityStep);
  cubeZones.push_back(zone);
}

void WorldRegion::addCubeZone(CubeZone&& zone) {
  free();
  const size_t n = cubeZones.size();
  cubeZones.reserve(n - n % zoneCapacityStep + zoneCapacityStep);
  cubeZones.push_back(std::move(zone));
}

size_t WorldRegion::nearestZoneIndex(const Float3& point) const {
  size_t best = cubeZones.size();
  float bestDistance = std::numeric_limits<float>::infinity();
  for (size_t i = 0; i < cubeZones.size(); ++i) {
    const float d = squaredDistance(cubeZones[i].centre, point);
    if (d <= bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

bool WorldRegion::removeCubeZone(const Float3& point, bool nearest) {
  if (cubeZones.empty()) return false;
  size_t index = cubeZones.size();
  if (nearest) {
    index = nearestZoneIndex(point);
  } else {
    for (size_t i = 0; i < cubeZones.size() && index == cubeZones.size(); ++i)
      if (cubeZones[i].centre == point || CubeZoneLooks::contains(cubeZones[i], point)) index = i;
  }
  // Nothing there, or no distance to compare (a point that is not a number).
  if (index == cubeZones.size()) return false;
  free();
  cubeZones.erase(cubeZones.begin() + (long)index);
  return true;
}

void WorldRegion::removeCubeZonesOfType(int32_t id) {
  const size_t before = cubeZones.size();
  size_t kept = 0;
  for (size_t i = 0; i < before; ++i) {
    if (cubeZones[i].id == id) continue;
    if (kept != i) cubeZones[kept] = std::move(cubeZones[i]);
    ++kept;
  }
  if (kept == before) return;
  cubeZones.resize(kept);
  free();
}

bool WorldRegion::clear(bool alsoObjects) {
  cubeZones.clear();
  if (alsoObjects)
    while (!customObjects.empty()) eraseCustomObject(customObjects.size() - 1);
  return free();
}

void WorldRegion::getCubeZones(std::vector<const CubeZone*>& out) const {
  for (const CubeZone& zone : cubeZones) out.push_back(&zone);
}

int32_t WorldRegion::getCubeTypeAt(const Float3& point) const {
  if (cubesTable != nullptr) return cubesTable->getCubeIdAt(point);
  for (const CubeZone& zone : cubeZones)
    if (isInsideBox(point, zone.centre, zone.size)) return zone.id;
  return -1;
}

bool WorldRegion::isCollidableAt(const Float3& point) const {
  const int32_t id = getCubeTypeAt(point);
  if (id == -1) return false;
  CubeTypeManager* manager = CubeTypeManager::getInstance();
  if (!manager->isValidId(id)) return false;
  return manager->getCubeType(id)->collidable;
}

int32_t WorldRegion::getCubeZoneAt(const Float3& point, Float3& centre, Float3& size) const {
  for (const CubeZone& zone : cubeZones) {
    if (CubeZoneLooks::contains(zone, point)) {
      centre = zone.centre;
      size = zone.size;
      return zone.id;
    }
  }
  return -1;
}

float WorldRegion::getHighestTopAt(float x, float z) const {
  float highest = -std::numeric_limits<float>::max();
  for (const CubeZone& zone : cubeZones) {
    const Float3& c = zone.centre;
    const Float3& s = zone.size;
    if (c.x() - s.x() / 2.f < x && x < c.x() + s.x() / 2.f && c.z() - s.z() / 2.f < z && z < c.z() + s.z() / 2.f) {
      const float top = c.y() + s.y() / 2.f;
      if (top > highest) highest = top;
    }
  }
  return highest;
}

bool WorldRegion::segmentHitsCube(const Float3& a, const Float3& b, Float3& hit) const {
  if (!isFinite(a) || !isFinite(b)) return false;
  const Float3 delta = a - b;
  const double length = std::sqrt((double)delta.x() * delta.x() + (double)delta.y() * delta.y() +
                                  (double)delta.z() * delta.z());
  const float edge = CubesTable::getSizeOneCube();
  if (length == 0.0 || !(edge > 0.f)) {
    if (!isCollidableAt(b)) return false;
    hit = b;
    return true;
  }
  const Float3 step(float(delta.x() / length * edge), float(delta.y() / length * edge),
                    float(delta.z() / length * edge));
  // Only the steps inside the region (widened by one cube) can meet one of its cubes, so the
  // walk covers those instead of the whole segment: the points tested are the same.
  double tLo = 0.0;
  double tHi = length / edge;
  const float margin = sizeOneRegion / 2.f + edge;
  for (int axis = 0; axis < 3; ++axis) {
    const double lo = (double)position[axis] - margin;
    const double hi = (double)position[axis] + margin;
    const double s = step[axis];
    if (s == 0.0) {
      if (b[axis] < lo || b[axis] > hi) return false;
      continue;
    }
    double t0 = (lo - b[axis]) / s;
    double t1 = (hi - b[axis]) / s;
    if (t0 > t1) std::swap(t0, t1);
    tLo = std::max(tLo, t0);
    tHi = std::min(tHi, t1);
  }
  if (tLo > tHi) return false;
  for (double n = std::ceil(tLo); n <= std::floor(tHi); n += 1.0) {
    const Float3 point(float(b.x() + n * step.x()), float(b.y() + n * step.y()), float(b.z() + n * step.z()));
    if (isCollidableAt(point)) {
      hit = point;
      return true;
    }
  }
  return false;
}

int32_t* WorldRegion::copyCubes(Int3& size) const {
  if (cubesTable != nullptr) return cubesTable->copyCubes(size);
  const CubesTable table(position, CubesTable::getSizeOneCube(), sizeOneRegion, cubeZones);
  return table.copyCubes(size);
}

void WorldRegion::calculateShadows(const std::vector<const CubeZone*>& casters, const Float3& lightPoint) {
  free();
  CubeZoneStaticShadows shadows;
  for (CubeZone& zone : cubeZones) {
    std::cout << "=" << std::flush;
    if (shadowsEnabled) shadows.calculateZoneShadows(casters, zone, lightPoint);
  }
}

void WorldRegion::addCustomObject(const CustomObject& object) {
  customObjects.push_back(std::unique_ptr<CustomObject>(new CustomObject(object)));
}

void WorldRegion::addCustomObject(CustomObject&& object) {
  customObjects.push_back(std::unique_ptr<CustomObject>(new CustomObject(std::move(object))));
}

void WorldRegion::addCustomObject(std::unique_ptr<CustomObject> object) {
  if (object != nullptr) customObjects.push_back(std::move(object));
}

bool WorldRegion::removeCustomObject(const Float3& point, bool nearest) {
  if (customObjects.empty()) return false;
  size_t index = customObjects.size();
  if (nearest) {
    float bestDistance = std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < customObjects.size(); ++i) {
      const float d = squaredDistance(customObjects[i]->getPosition(), point);
      if (d <= bestDistance) {
        bestDistance = d;
        index = i;
      }
    }
  } else {
    for (size_t i = 0; i < customObjects.size() && index == customObjects.size(); ++i)
      if (customObjects[i]->getPosition() == point) index = i;
  }
  if (index == customObjects.size()) return false;
  eraseCustomObject(index);
  return true;
}

void WorldRegion::eraseCustomObject(size_t index) {
  std::unique_ptr<CustomObject> taken = std::move(customObjects[index]);
  customObjects.erase(customObjects.begin() + (long)index);
  if (!isWalkingObjects) return;  // `taken` goes here, running its type's uninit
  if ((long)index <= walkIndex) --walkIndex;
  removedDuringWalk.push_back(std::move(taken));
}

void WorldRegion::endObjectWalk() {
  isWalkingObjects = false;
  walkIndex = -1;
  // The uninit callbacks may remove further objects, which then go at once.
  std::vector<std::unique_ptr<CustomObject>> removed;
  removed.swap(removedDuringWalk);
}

int32_t WorldRegion::getCustomObjectIdAt(const Float3& point) const {
  const float half = CubesTable::getSizeOneCube() / 2.f;
  for (const std::unique_ptr<CustomObject>& object : customObjects) {
    const Float3& p = object->getPosition();
    bool inside = true;
    for (int a = 0; a < 3 && inside; ++a) inside = point[a] - half < p[a] && p[a] < point[a] + half;
    if (inside) return (int32_t)object->getTypeId();
  }
  return -1;
}

void WorldRegion::stepCustomObjects(std::vector<MovedObject>& moved) {
  usedThisFrame = true;
  const bool wasWalking = isWalkingObjects;
  const long outerIndex = walkIndex;
  isWalkingObjects = true;
  for (walkIndex = 0; walkIndex < (long)customObjects.size(); ++walkIndex) {
    CustomObject* object = customObjects[walkIndex].get();
    const Float3 before = object->getPosition();
    if (!object->getIsGlobal()) {
      const bool finished = object->manage();
      // Removed from inside its own callback: already out of the list.
      if (walkIndex < 0 || customObjects[walkIndex].get() != object) continue;
      if (finished) {
        eraseCustomObject((size_t)walkIndex);
        continue;
      }
    }
    const Float3& after = object->getPosition();
    if (after.x() != before.x() || after.y() != before.y() || after.z() != before.z()) {
      moved.push_back(MovedObject{std::move(customObjects[walkIndex]), before, this});
      customObjects.erase(customObjects.begin() + walkIndex);
      --walkIndex;
    }
  }
  walkIndex = outerIndex;
  if (!wasWalking) endObjectWalk();
}

void WorldRegion::startWorker() {
  assert(thread == NULL);
  thread = new RegionBuildWorker();
}

void WorldRegion::stopWorker() {
  delete thread;
  thread = nullptr;
}

bool WorldRegion::isWorkerRunning() { return thread != nullptr; }

int64_t WorldRegion::getNbSplitBuilds() { return nbSplitBuilds.load(std::memory_order_relaxed); }

int64_t WorldRegion::getNbTakenOverPieces() { return nbTakenOverPieces.load(std::memory_order_relaxed); }
