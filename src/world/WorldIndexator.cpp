#include "world/WorldIndexator.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>

#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "Platform.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "world/WorldRegion.h"
#include "Assert.h"

namespace {

constexpr float lowestFloat = -std::numeric_limits<float>::max();
/// The light of the static shadow commands, from the region centre.
const Float3 staticLightOffset(-3000.f, 10000.f, -3000.f);
/// Movement allowed at region borders when locating a box.
constexpr float borderTolerance = 0.01f;
constexpr int progressIntervalMicroseconds = 100000;

const XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }

}  // namespace

WorldIndexator::WorldIndexator(float parSizeOneRegion) : sizeOneRegion(parSizeOneRegion) {
  assert(parSizeOneRegion > 0.f);
  DeviceManager* deviceManager = DeviceManager::getInstance();
  assert(deviceManager);
  allocateTable();
  WorldRegion::startWorker();
}

WorldIndexator::~WorldIndexator() {
  WorldRegion::stopWorker();
  if (tableRegions != nullptr) {
    const size_t count = getNbRegions();
    for (size_t i = 0; i < count; ++i) delete tableRegions[i];
    tableRegions.reset();
  }
}

void WorldIndexator::reset() {
  if (regionChangeListener != nullptr && tableRegions != nullptr)
    for (size_t i = 0; i < getNbRegions(); ++i)
      if (!tableRegions[i]->isEmpty()) noteRegionChange(*tableRegions[i]);
  deleteAllRegions();
  tableRegionSize = Int3(2, 2, 2);
  tableRegionMin = Int3(-1, -1, -1);
  allocateTable();
  loadedRegions.clear();
}

void WorldIndexator::allocateTable() {
  tableRegions.reset(new WorldRegion*[getNbRegions()]);
  assert(tableRegions != NULL);
  for (int i = 0; i < tableRegionSize.x(); ++i)
    for (int j = 0; j < tableRegionSize.y(); ++j)
      for (int k = 0; k < tableRegionSize.z(); ++k) {
        const Int3 posIndex(i, j, k);
        tableRegions[cellIndex(posIndex)] = new WorldRegion(getRegionCentre(posIndex), sizeOneRegion);
      }
}

void WorldIndexator::deleteAllRegions() {
  noteRegionsInvalidated();
  loadedRegions.clear();
  if (tableRegions == nullptr) return;
  const size_t total = getNbRegions();
  int64_t lastDraw = Platform::getMicroseconds();
  for (int i = 0; i < tableRegionSize.x(); ++i)
    for (int j = 0; j < tableRegionSize.y(); ++j)
      for (int k = 0; k < tableRegionSize.z(); ++k) {
        const Int3 posIndex(i, j, k);
        delete tableRegions[cellIndex(posIndex)];
        tableRegions[cellIndex(posIndex)] = nullptr;
        const size_t done = (size_t)k + (size_t)tableRegionSize.z() * ((size_t)j + (size_t)tableRegionSize.y() * i);
        showProgressBar(done, total, false, lastDraw);
      }
  tableRegions.reset();
}

void WorldIndexator::freeAllRegions() {
  const size_t count = getNbRegions();
  for (size_t i = 0; i < count; ++i) tableRegions[i]->free();
}

WorldRegion* WorldIndexator::getRegion(const Int3& posIndex) const {
  assert(posIndex >= Int3(0,0,0) && posIndex < tableRegionSize);
  WorldRegion* wr = tableRegions[cellIndex(posIndex)];
  assert(wr);
  return wr;
}

Int3 WorldIndexator::getRegionIndexOf(const Float3& point) const {
  return Int3(CubesTable::floorToCell(point.x() / sizeOneRegion), CubesTable::floorToCell(point.y() / sizeOneRegion),
              CubesTable::floorToCell(point.z() / sizeOneRegion)) -
         tableRegionMin;
}

bool WorldIndexator::isInTable(const Int3& posIndex) const {
  return posIndex >= Int3(0, 0, 0) && posIndex < tableRegionSize;
}

WorldRegion* WorldIndexator::getRegionAt(const Float3& point) const {
  const Int3 posIndex = getRegionIndexOf(point);
  return isInTable(posIndex) ? tableRegions[cellIndex(posIndex)] : nullptr;
}

Float3 WorldIndexator::getRegionCentre(const Int3& posIndex) const {
  return Float3(sizeOneRegion * ((float)(tableRegionMin.x() + posIndex.x()) + 0.5f),
                sizeOneRegion * ((float)(tableRegionMin.y() + posIndex.y()) + 0.5f),
                sizeOneRegion * ((float)(tableRegionMin.z() + posIndex.z()) + 0.5f));
}

bool WorldIndexator::isTableAcceptable(const int64_t min[3], const int64_t size[3]) {
  int64_t cells = 1;
  for (int a = 0; a < 3; ++a) {
    if (size[a] < 1 || min[a] < -maxAbsoluteIndex || min[a] + size[a] - 1 > maxAbsoluteIndex) return false;
    cells *= size[a];
    if (cells > maxTableCells) return false;
  }
  return true;
}

bool WorldIndexator::locateBox(const Float3& centre, const Float3& size, Int3& posIndex) {
  if (!isFinite(centre) || !isFinite(size)) return false;
  const Float3 lo = centre - size / 2.f;
  const Float3 hi = centre + size / 2.f;
  const Int3 iLo = getRegionIndexOf(lo);
  const Int3 iHi = getRegionIndexOf(hi);
  bool isOk = iLo == iHi;
  Int3 found = iLo;
  static constexpr float offsets[3] = {-borderTolerance, 0.f, borderTolerance};
  for (int pass = 0; pass < 2 && !isOk; ++pass) {
    const Float3& moved = pass == 0 ? hi : lo;
    const Int3& target = pass == 0 ? iLo : iHi;
    for (int n = 0; n < 27 && !isOk; ++n) {
      const Float3 offset(offsets[n / 9], offsets[(n / 3) % 3], offsets[n % 3]);
      if (getRegionIndexOf(moved + offset) == target) {
        isOk = true;
        found = target;
      }
    }
  }
  if (!isOk) return false;
  if (!isInTable(found)) {
    int64_t min[3];
    int64_t newSize[3];
    for (int a = 0; a < 3; ++a) {
      const int64_t absolute = (int64_t)found[a] + tableRegionMin[a];
      const int64_t oldMax = (int64_t)tableRegionMin[a] + tableRegionSize[a] - 1;
      min[a] = std::min<int64_t>(tableRegionMin[a], absolute);
      newSize[a] = std::max(oldMax, absolute) - min[a] + 1;
    }
    if (!isTableAcceptable(min, newSize)) return false;
    found -= growToInclude(found + tableRegionMin);
  }
  posIndex = found;
  return true;
}

Int3 WorldIndexator::growToInclude(const Int3& absoluteIndex) {
  const Int3 t = absoluteIndex - tableRegionMin;
  Int3 modMin(0, 0, 0);
  Int3 modMax(0, 0, 0);
  for (int a = 0; a < 3; ++a) {
    if (t[a] >= tableRegionSize[a]) modMax[a] = t[a] - tableRegionSize[a] + 1;
    if (t[a] < 0) modMin[a] = t[a];
  }
  assert(modMin <= Int3(0,0,0));
  return resizeTable(modMin, modMax);
}

bool WorldIndexator::growToIncludeRange(const Int3& absoluteLow, const Int3& absoluteHigh) {
  int64_t min[3];
  int64_t newSize[3];
  for (int a = 0; a < 3; ++a) {
    const int64_t oldMax = (int64_t)tableRegionMin[a] + tableRegionSize[a] - 1;
    min[a] = std::min<int64_t>(tableRegionMin[a], std::min(absoluteLow[a], absoluteHigh[a]));
    newSize[a] = std::max<int64_t>(oldMax, std::max(absoluteLow[a], absoluteHigh[a])) - min[a] + 1;
  }
  if (!isTableAcceptable(min, newSize)) return false;
  Int3 modMin(0, 0, 0);
  Int3 modMax(0, 0, 0);
  for (int a = 0; a < 3; ++a) {
    modMin[a] = (int)(min[a] - tableRegionMin[a]);
    modMax[a] = (int)(min[a] + newSize[a] - ((int64_t)tableRegionMin[a] + tableRegionSize[a]));
  }
  if (modMin != Int3(0, 0, 0) || modMax != Int3(0, 0, 0)) resizeTable(modMin, modMax);
  return true;
}

Int3 WorldIndexator::resizeTable(const Int3& modMin, const Int3& modMax) {
  int64_t newMin[3];
  int64_t newSize[3];
  for (int a = 0; a < 3; ++a) {
    newMin[a] = (int64_t)tableRegionMin[a] + modMin[a];
    newSize[a] = (int64_t)tableRegionSize[a] - modMin[a] + modMax[a];
  }
  assert(isTableAcceptable(newMin, newSize), "the region table would be empty or too large");

  const Int3 oldSize = tableRegionSize;
  std::unique_ptr<WorldRegion*[]> oldTable = std::move(tableRegions);
  tableRegionSize = tableRegionSize - modMin + modMax;
  tableRegionMin += modMin;
  allocateTable();

  noteRegionsInvalidated();
  // Refilled below with the whole new table; searching it for each deleted region would take
  // quadratic time when a large table shrinks.
  loadedRegions.clear();
  for (int i = 0; i < oldSize.x(); ++i)
    for (int j = 0; j < oldSize.y(); ++j)
      for (int k = 0; k < oldSize.z(); ++k) {
        const Int3 oldIndex(i, j, k);
        WorldRegion* wr = oldTable[(size_t)i + (size_t)oldSize.x() * ((size_t)j + (size_t)oldSize.y() * k)];
        const Int3 newIndex = oldIndex - modMin;
        if (isInTable(newIndex)) {
          WorldRegion*& cell = tableRegions[cellIndex(newIndex)];
          WorldRegion* wrToFree = cell;
          assert(wrToFree != NULL);
          delete wrToFree;
          assert(wr != NULL);
          wr->free();
          cell = wr;
        } else {
          wr->free();
          delete wr;
        }
      }
  oldTable.reset();

  // Every region is unbuilt now, so each is listed once and the next draw drops them all.
  loadedRegions.assign(tableRegions.get(), tableRegions.get() + getNbRegions());
  return modMin;
}

void WorldIndexator::fitTableToContent() {
  Int3 newMin(-1, -1, -1);
  Int3 newMax(0, 0, 0);
  for (int i = 0; i < tableRegionSize.x(); ++i)
    for (int j = 0; j < tableRegionSize.y(); ++j)
      for (int k = 0; k < tableRegionSize.z(); ++k) {
        const Int3 posIndex(i, j, k);
        if (tableRegions[cellIndex(posIndex)]->isEmpty()) continue;
        const Int3 absolute = posIndex + tableRegionMin;
        for (int a = 0; a < 3; ++a) {
          newMin[a] = std::min(newMin[a], absolute[a]);
          newMax[a] = std::max(newMax[a], absolute[a]);
        }
      }
  const Int3 oldMax = tableRegionMin + tableRegionSize - Int3(1, 1, 1);
  if (newMin == tableRegionMin && newMax == oldMax) return;
  resizeTable(newMin - tableRegionMin, newMax - oldMax);
}

void WorldIndexator::clipToTable(const Int3& centre, int radius, Int3& from, Int3& to) const {
  for (int a = 0; a < 3; ++a) {
    from[a] = (int)std::max<int64_t>((int64_t)centre[a] - radius, 0);
    to[a] = (int)std::min<int64_t>((int64_t)centre[a] + radius, (int64_t)tableRegionSize[a] - 1);
  }
}

int WorldIndexator::getScanRadius(float distance) const {
  const double cells = (double)distance / sizeOneRegion;
  if (!(cells == cells)) return 1;
  const double limit = 2.0 * maxAbsoluteIndex;
  return (int)std::trunc(std::max(-limit, std::min(limit, cells))) + 1;
}

void WorldIndexator::collectShadowCasters(const Int3& posIndex, bool towardPositive,
                                          std::vector<const CubeZone*>& out) const {
  const int s = towardPositive ? 1 : -1;
  const int x = posIndex.x();
  const int z = posIndex.z();
  for (int y = 0; y < tableRegionSize.y(); ++y) {
    const Int3 column[4] = {Int3(x, y, z), Int3(x + s, y, z), Int3(x, y, z + s), Int3(x + 1, y, z + 1)};
    const int nbColumns = towardPositive ? 4 : 3;
    for (int n = 0; n < nbColumns; ++n)
      if (isInTable(column[n])) tableRegions[cellIndex(column[n])]->getCubeZones(out);
  }
}

void WorldIndexator::stepCustomObjects(float radius) {
  Int3 from, to;
  clipToTable(getRegionIndexOf(GLManager::getScene3D()->getCamera()->getPosition()), getScanRadius(radius), from, to);
  // Walked in absolute indices, so that a table grown by a callback (an object created
  // outside it) does not shift the walk.
  from += tableRegionMin;
  to += tableRegionMin;
  movedObjects.clear();
  for (int x = from[0]; x <= to[0]; ++x)
    for (int y = from[1]; y <= to[1]; ++y)
      for (int z = from[2]; z <= to[2]; ++z) {
        const Int3 posIndex = Int3(x, y, z) - tableRegionMin;
        if (isInTable(posIndex)) tableRegions[cellIndex(posIndex)]->stepCustomObjects(movedObjects);
      }
  for (WorldRegion::MovedObject& moved : movedObjects) {
    CustomObject& object = *moved.object;
    Int3 posIndex;
    if (locateBox(object.getPosition(), Float3(0.f, 0.f, 0.f), posIndex)) {
      getRegion(posIndex)->addCustomObject(std::move(moved.object));
      continue;
    }
    // Far beyond anything a world holds (the table would exhaust memory): the script's move is
    // undone. The table only grew meanwhile, so the object's region is still there.
    if (reportedFarObjectTypes.insert(object.getTypeId()).second) {
      std::ostringstream text;
      text << "A script object of type id " << object.getTypeId() << " cannot move to ("
           << object.getPosition().x() << ", " << object.getPosition().y() << ", " << object.getPosition().z()
           << "), beyond the limits of the world: it stays where it was";
      showProblem(text.str());
    }
    object.setPosition(moved.from);
    moved.region->addCustomObject(std::move(moved.object));
  }
  movedObjects.clear();
}

void WorldIndexator::showProgressBar(size_t done, size_t total, bool growing, int64_t& lastDraw) {
  const int64_t now = Platform::getMicroseconds();
  if (now - lastDraw <= progressIntervalMicroseconds) return;
  Scene2D* scene2D = GLManager::getScene2D();
  if (scene2D == nullptr || total == 0) return;
  scene2D->apply2DState();
  GLManager::getScene3D()->setIsLighting(false);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  glDisable(GL_TEXTURE_2D);
  const int64_t w = scene2D->size2D.x();
  const int64_t h = scene2D->size2D.y();
  const int64_t span = (int64_t)done * (w - 20) / (int64_t)total;
  const int64_t x = growing ? 10 + span : w - 10 - span;
  Scene2D::drawRectangle(Int2(10, (int)(h - 50)), Int2((int)(w - 10), (int)(h - 30)), false);
  Scene2D::drawRectangle(Int2(10, (int)(h - 50)), Int2((int)x, (int)(h - 30)), true);
  GLManager::manageEvents();
  lastDraw = Platform::getMicroseconds();
}

void WorldIndexator::calculateShadowsAll() {
  if (config().getBool("fast_shadows")) {
    std::cout << "Calculating shadows is useless and disabled (fast_shadows is true)" << std::endl;
    return;
  }
  std::cout << "Calculating shadows ... please wait ... (size=" << tableRegionSize << ")" << std::endl;
  std::vector<const CubeZone*> columnCasters;
  for (int x = 0; x < tableRegionSize.x(); ++x)
    for (int z = 0; z < tableRegionSize.z(); ++z) {
      columnCasters.clear();
      collectShadowCasters(Int3(x, 0, z), false, columnCasters);
      for (int y = 0; y < tableRegionSize.y(); ++y) {
        WorldRegion* region = tableRegions[cellIndex(Int3(x, y, z))];
        const Float3 light = region->getPosition() + staticLightOffset;
        std::cout << "Region " << x << "x" << y << "x" << z << " " << std::flush;
        region->calculateShadows(columnCasters, light);
        std::cout << std::endl;
      }
    }
  std::cout << "... calculating shadows done." << std::endl;
}

void WorldIndexator::calculateShadowsAt(const Float3& point) {
  if (config().getBool("fast_shadows")) {
    std::cout << "Calculating shadows is useless and disabled (fast_shadows is true)" << std::endl;
    return;
  }
  const Int3 i = getRegionIndexOf(point);
  // A point outside the world has no region to shade.
  if (!isInTable(i)) return;
  std::vector<const CubeZone*> pointCasters;
  collectShadowCasters(i, false, pointCasters);
  WorldRegion* region = getRegion(i);
  const Float3 light = region->getPosition() + staticLightOffset;
  std::cout << "Calculating shadows for region " << i.x() << "x" << i.y() << "x" << i.z() << ":" << std::endl;
  region->calculateShadows(pointCasters, light);
  std::cout << std::endl;
  std::cout << "Calculating shadows done." << std::endl;
}

bool WorldIndexator::removeCubeZone(const Float3& point, bool nearest) {
  WorldRegion* region = getRegionAt(point);
  if (region == nullptr || region->getNbCubeZones() == 0) return false;
  noteRegionChange(*region);
  return region->removeCubeZone(point, nearest);
}

bool WorldIndexator::removeCustomObject(const Float3& point, bool nearest) {
  WorldRegion* region = getRegionAt(point);
  if (region == nullptr || region->getNbCustomObjects() == 0) return false;
  noteRegionChange(*region);
  return region->removeCustomObject(point, nearest);
}

bool WorldIndexator::clear(const Float3& point, bool alsoObjects) {
  WorldRegion* region = getRegionAt(point);
  if (region == nullptr) return false;
  if (!region->isEmpty()) noteRegionChange(*region);
  return region->clear(alsoObjects);
}

bool WorldIndexator::isCollidableAt(const Float3& point) const {
  const WorldRegion* region = getRegionAt(point);
  return region != nullptr && region->isCollidableAt(point);
}

int32_t WorldIndexator::getCubeZoneAt(const Float3& point, Float3& centre, Float3& size) const {
  const WorldRegion* region = getRegionAt(point);
  return region != nullptr ? region->getCubeZoneAt(point, centre, size) : -1;
}

int32_t WorldIndexator::getCubeTypeAt(const Float3& point) const {
  const WorldRegion* region = getRegionAt(point);
  return region != nullptr ? region->getCubeTypeAt(point) : -1;
}

int32_t WorldIndexator::getCustomObjectIdAt(const Float3& point) const {
  const WorldRegion* region = getRegionAt(point);
  return region != nullptr ? region->getCustomObjectIdAt(point) : -1;
}

bool WorldIndexator::isRegionEmptyAt(const Float3& point) const {
  const WorldRegion* region = getRegionAt(point);
  return region == nullptr || region->isEmpty();
}

bool WorldIndexator::addCubeZone(const CubeZone& zone) {
  Int3 posIndex;
  if (!locateBox(zone.centre, zone.size, posIndex)) return false;
  WorldRegion* region = getRegion(posIndex);
  noteRegionChange(*region);
  region->addCubeZone(zone);
  return true;
}

bool WorldIndexator::addCustomObject(const CustomObject& object) {
  return addCustomObject(std::unique_ptr<CustomObject>(new CustomObject(object)));
}

bool WorldIndexator::addCustomObject(CustomObject&& object) {
  return addCustomObject(std::unique_ptr<CustomObject>(new CustomObject(std::move(object))));
}

bool WorldIndexator::addCustomObject(std::unique_ptr<CustomObject> object) {
  Int3 posIndex;
  if (object == nullptr || !locateBox(object->getPosition(), Float3(0.f, 0.f, 0.f), posIndex)) return false;
  WorldRegion* region = getRegion(posIndex);
  noteRegionChange(*region);
  region->addCustomObject(std::move(object));
  return true;
}

void WorldIndexator::removeCubeType(int32_t id) {
  const size_t count = getNbRegions();
  for (size_t i = 0; i < count; ++i) {
    WorldRegion& region = *tableRegions[i];
    const std::vector<CubeZone>& zones = region.getCubeZonesList();
    if (regionChangeListener != nullptr &&
        std::any_of(zones.begin(), zones.end(), [id](const CubeZone& zone) { return zone.id == id; }))
      noteRegionChange(region);
    region.removeCubeZonesOfType(id);
  }
}

float WorldIndexator::getHeightAt(float x, float z) const {
  const Int3 column = getRegionIndexOf(Float3(x, 0.f, z));
  if (column.x() < 0 || column.x() >= tableRegionSize.x() || column.z() < 0 || column.z() >= tableRegionSize.z())
    return lowestFloat;
  for (int y = tableRegionSize.y() - 1; y >= 0; --y) {
    const float top = tableRegions[cellIndex(Int3(column.x(), y, column.z()))]->getHighestTopAt(x, z);
    if (top != lowestFloat) return top;
  }
  return lowestFloat;
}

bool WorldIndexator::segmentHitsCube(const Float3& a, const Float3& b, Float3& hit) const {
  if (!isFinite(a) || !isFinite(b)) return false;
  const Float3 m = (a + b) / 2.f;
  const int r = (int)std::ceil(std::min<double>(distance(a, b) / 2.f / sizeOneRegion, 2.0 * maxAbsoluteIndex));
  Int3 from, to;
  clipToTable(getRegionIndexOf(m), r, from, to);
  for (int x = from[0]; x <= to[0]; ++x)
    for (int y = from[1]; y <= to[1]; ++y)
      for (int z = from[2]; z <= to[2]; ++z)
        if (tableRegions[cellIndex(Int3(x, y, z))]->segmentHitsCube(a, b, hit)) return true;
  return false;
}
