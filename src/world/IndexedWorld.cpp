#include "world/IndexedWorld.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

#include "world/CubeType.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "Platform.h"
#include "world/WorldFile.h"
#include "world/WorldRegion.h"
#include "Assert.h"
#include "world/CubeZoneLooks.h"

namespace {

/// Whether cell + (1, 1, 1) is an int cell (a cell at the int limit lies beyond any table).
bool hasUpperCorner(const Int3& cell) {
  const int top = std::numeric_limits<int>::max();
  return cell.x() != top && cell.y() != top && cell.z() != top;
}

}  // namespace

IndexedWorld::IndexedWorld(const std::string& worldFileName, std::vector<std::string>* objectTypeNames)
    : WorldIndexator(readRegionEdge()),
      cotm(objectTypeNames != nullptr ? objectTypeNames : &ownObjectTypeNames),
      cubeTypeManager(new CubeTypeManager([this](int id) { removeCubeType(id); })) {
  loadWorld(worldFileName);
}

IndexedWorld::~IndexedWorld() {
  assert(cotm != NULL && cubeTypeManager != NULL);
  cubeTypeManager.reset();
}

float IndexedWorld::readRegionEdge() {
  // Without a device manager the base reports it ("deviceManager").
  if (DeviceManager::getInstance() == nullptr) return 1.f;
  const int sizeOneRegion = DeviceManager::getInstance()->getConfig().getInt("size_one_region");
  return static_cast<float>(sizeOneRegion) * CubesTable::getSizeOneCube();
}

// ---------------------------------------------------------------------------------------------
// World file

bool IndexedWorld::saveWorld(const std::string& fileName) {
  std::cout << "==== Saving world to file '" << fileName << "'" << std::endl;
  const bool fastShadows = DeviceManager::getInstance()->getConfig().getBool("fast_shadows");
  WorldFile file;
  if (!file.beginWriting(fileName)) return false;
  const int nbCubeTypes = getNbCubeType();
  file.putHeader(nbCubeTypes);
  for (int id = 0; id < nbCubeTypes; ++id) {
    const CubeType* type = getCubeType(id);
    file.putCubeType(type->textureNames, type->textureOptions, type->collidable);
  }
  const Int3 tableSize = getTableRegionSize();
  file.putRegionTable(getTableRegionMin(), tableSize);
  for (int i = 0; i < tableSize.x(); ++i)
    for (int j = 0; j < tableSize.y(); ++j)
      for (int k = 0; k < tableSize.z(); ++k) {
        const WorldRegion* region = getRegion(Int3(i, j, k));
        file.putZoneSection(region->getCubeZonesList(), fastShadows);
        file.putObjectSectionHeader(static_cast<int32_t>(region->getNbCustomObjects()));
        for (const std::unique_ptr<CustomObject>& object : region->getCustomObjects()) file.putObject(*object);
      }
  const bool written = file.endWriting();
  if (written) std::cout << "==== World saved to file" << std::endl;
  return written;
}

bool IndexedWorld::loadWorld(const std::string& fileName) {
  std::cout << "==== Loading world from file '" << fileName << "'" << std::endl;
  WorldFile file;
  if (!file.read(fileName, getSizeOneRegion(), CubesTable::getSizeOneCube())) {
    showProblem(file.getProblem());
    return false;
  }

  cubeTypeManager->clear();
  for (const WorldFile::CubeTypeRecord& type : file.cubeTypes)
    cubeTypeManager->addCubeType(type.textureNames, type.textureOptions, type.collidable);

  reset();
  // One resize to the file's table and regions -1 and 0 (checked to fit while reading).
  const Int3 fileMin = file.tableRegionMin;
  const Int3 fileSize = file.tableRegionSize;
  Int3 modMin(0, 0, 0);
  Int3 modMax(0, 0, 0);
  for (int axis = 0; axis < 3; ++axis) {
    modMin[axis] = std::min(0, fileMin[axis] - getTableRegionMin()[axis]);
    modMax[axis] = std::max(0, fileMin[axis] + fileSize[axis] - (getTableRegionMin()[axis] + getTableRegionSize()[axis]));
  }
  if (modMin != Int3(0, 0, 0) || modMax != Int3(0, 0, 0)) resizeTable(modMin, modMax);
  const Int3 slotShift = fileMin - getTableRegionMin();

  const size_t total = file.regions.size();
  int64_t lastDraw = Platform::getMicroseconds();
  size_t done = 0;
  for (int i = 0; i < fileSize.x(); ++i)
    for (int j = 0; j < fileSize.y(); ++j)
      for (int k = 0; k < fileSize.z(); ++k, ++done) {
        WorldFile::RegionRecord& record = file.regions[done];
        WorldRegion* region = getRegion(Int3(i, j, k) + slotShift);
        region->clear(false);
        // The zones read become the region's list as they are: sized exactly, never copied.
        region->getCubeZonesList().swap(record.zones);
        for (const WorldFile::ObjectRecord& objectRecord : record.objects) {
          const auto& bytes = *reinterpret_cast<const unsigned char(*)[CustomObject::recordSize]>(objectRecord.data());
          region->addCustomObject(std::unique_ptr<CustomObject>(new CustomObject(CustomObject::fromRecord(bytes))));
        }
        showProgressBar(done, total, true, lastDraw);
      }
  std::cout << "==== Loading world done" << std::endl;
  if (!file.getSalvageReport().empty()) showProblem(file.getSalvageReport());
  return true;
}

// ---------------------------------------------------------------------------------------------
// Cube types

CubeType* IndexedWorld::getCubeType(int id) { return cubeTypeManager->getCubeType(id); }

int IndexedWorld::getNbCubeType() const { return cubeTypeManager->getNbCubeType(); }

int IndexedWorld::addCubeType(const std::string textureNames[6], const bool textureOptions[3], bool collidable) {
  return cubeTypeManager->addCubeType(textureNames, textureOptions, collidable);
}

void IndexedWorld::removeLastCubeType() { cubeTypeManager->removeLastCubeType(); }

// ---------------------------------------------------------------------------------------------
// Edits

bool IndexedWorld::addCubesParallelepiped(const Int3& cornerA, const Int3& cornerB, int32_t id) {
  Int3 positionMin, positionMax;
  for (int axis = 0; axis < 3; ++axis) {
    positionMin[axis] = std::min(cornerA[axis], cornerB[axis]);
    positionMax[axis] = std::max(cornerA[axis], cornerB[axis]);
    if (positionMin[axis] == positionMax[axis]) return false;
  }
  assert(positionMin.x() != positionMax.x() && positionMin.y() != positionMax.y() && positionMin.z() != positionMax.z());
  const double s = CubesTable::getSizeOneCube();
  Float3 centre, size;
  for (int axis = 0; axis < 3; ++axis) {
    centre[axis] = static_cast<float>((static_cast<double>(positionMin[axis]) + positionMax[axis]) * 0.5 * s);
    size[axis] = static_cast<float>((static_cast<double>(positionMax[axis]) - positionMin[axis]) * s);
  }
  editBox(centre, size, id);
  return true;
}

bool IndexedWorld::removeCubesParallelepiped(const Int3& cornerA, const Int3& cornerB) {
  return addCubesParallelepiped(cornerA, cornerB, -1);
}

void IndexedWorld::createCube(const Int3& cell, int32_t id) {
  if (hasUpperCorner(cell)) addCubesParallelepiped(cell, cell + Int3(1, 1, 1), id);
}

void IndexedWorld::removeCube(const Int3& cell) {
  if (hasUpperCorner(cell)) addCubesParallelepiped(cell, cell + Int3(1, 1, 1), -1);
}

void IndexedWorld::addCubesSphere(const Int3& centreCell, float radius, int32_t id) {
  editSphere(cubeToWorld(centreCell), radius, id);
}

void IndexedWorld::removeCubesSphere(const Int3& centreCell, float radius) {
  editSphere(cubeToWorld(centreCell), radius, -1);
}

bool IndexedWorld::isEditableId(int32_t id) const {
  if (id == -1 || cubeTypeManager->isValidId(id)) return true;
  // A zone of a type that does not exist would stop the program when its region is drawn.
  showProblem("There is no cube type " + std::to_string(id) + " (" + std::to_string(getNbCubeType()) +
              " cube types): the cubes are not changed.");
  return false;
}

bool IndexedWorld::addBox(const Float3& centre, const Float3& size, int32_t id) {
  // A zone of negative size could be saved but the world file would then be refused as damaged.
  for (int axis = 0; axis < 3; ++axis)
    if (!std::isfinite(centre[axis]) || !std::isfinite(size[axis]) || size[axis] < 0.f) return false;
  // Neither can a zone of a cube type that does not exist.
  if (id < 0 || !isEditableId(id)) return false;
  const Float3 lo = centre - size / 2.f, hi = centre + size / 2.f;
  const Int3 iLo = getRegionIndexOf(lo) + getTableRegionMin();
  const Int3 iHi = getRegionIndexOf(hi) + getTableRegionMin();
  if (iLo == iHi) return addOneZone(centre, size, id);
  // Absolute indices: adding a piece may grow the table and move the table indices.
  const float edge = getSizeOneRegion();
  // A piece thinner than this is float noise of a box ending on a region border.
  const float minExtent = 0.01f * CubesTable::getSizeOneCube();
  // Growing the table once for the regions that get a piece spares a long box one table copy
  // per region.
  const Int3& tableMin = getTableRegionMin();
  const Int3& tableSize = getTableRegionSize();
  Int3 growLo = iLo, growHi = iHi;
  int64_t cells = 1;
  bool fits = true;
  for (int axis = 0; axis < 3 && fits; ++axis) {
    if (growLo[axis] < growHi[axis] && edge * static_cast<float>(growLo[axis] + 1) - lo[axis] < minExtent)
      ++growLo[axis];
    if (growLo[axis] < growHi[axis] && hi[axis] - edge * static_cast<float>(growHi[axis]) < minExtent)
      --growHi[axis];
    const int64_t low = std::min<int64_t>(tableMin[axis], growLo[axis]);
    const int64_t high = std::max<int64_t>(int64_t(tableMin[axis]) + tableSize[axis] - 1, growHi[axis]);
    fits = low >= -maxAbsoluteIndex && high <= maxAbsoluteIndex;
    if (fits) cells *= high - low + 1;
    fits = fits && cells <= maxTableCells;
  }
  // Growing to an index already in the table would still rebuild the table.
  if (fits && !isInTable(growLo - getTableRegionMin())) growToInclude(growLo);
  if (fits && !isInTable(growHi - getTableRegionMin())) growToInclude(growHi);
  Int3 index;
  for (index[0] = iLo.x(); index[0] <= iHi.x(); ++index[0])
    for (index[1] = iLo.y(); index[1] <= iHi.y(); ++index[1])
      for (index[2] = iLo.z(); index[2] <= iHi.z(); ++index[2]) {
        Float3 pieceLow, pieceHigh;
        bool empty = false;
        for (int axis = 0; axis < 3; ++axis) {
          const float regionCentre = edge * (static_cast<float>(index[axis]) + 0.5f);
          pieceLow[axis] = index[axis] == iLo[axis] ? lo[axis] : regionCentre - edge / 2.f;
          pieceHigh[axis] = index[axis] == iHi[axis] ? hi[axis] : regionCentre + edge / 2.f;
          empty = empty || !(pieceHigh[axis] - pieceLow[axis] >= minExtent);
        }
        if (empty) continue;
        if (!addOneZone((pieceLow + pieceHigh) / 2.f, pieceHigh - pieceLow, id)) return false;
      }
  return true;
}

bool IndexedWorld::addOneZone(const Float3& centre, const Float3& size, int32_t id) {
  return addCubeZone(CubeZone(id, centre, size));
}

// ---------------------------------------------------------------------------------------------
// Queries

int32_t IndexedWorld::getCubeTypeAtCell(const Int3& cell) const {
  const float s = CubesTable::getSizeOneCube();
  return getCubeTypeAt(cubeToWorld(cell) + Float3(s / 2.f, s / 2.f, s / 2.f));
}

int32_t IndexedWorld::getCollidingCubeInfos(const Float3& point, Float3& centre, Float3& size) const {
  return getCubeZoneAt(point, centre, size);
}

Int3 IndexedWorld::worldToCube(const Float3& worldPos) {
  const float s = CubesTable::getSizeOneCube();
  Int3 cell;
  for (int axis = 0; axis < 3; ++axis) {
    const float v = worldPos[axis] / s;
    cell[axis] = !(v == v) ? -1000000000 : static_cast<int>(std::max(-1e9f, std::min(1e9f, std::trunc(v))));
  }
  return cell;
}

Float3 IndexedWorld::cubeToWorld(const Int3& cell) {
  const float s = CubesTable::getSizeOneCube();
  return Float3(cell.x() * s, cell.y() * s, cell.z() * s);
}

// ---------------------------------------------------------------------------------------------
// Optimisation

void IndexedWorld::optimizeRegion(const Float3& point) {
  if (isRegionEmptyAt(point)) return;
  const Int3 posIndex = getRegionIndexOf(point);
  std::cout << "Optimizing (" << posIndex.x() << "," << posIndex.y() << "," << posIndex.z() << ") ... "
            << std::flush;
  WorldRegion* region = getRegion(posIndex);
  Int3 gridSize(0, 0, 0);
  std::unique_ptr<int32_t[]> grid(region->copyCubes(gridSize));
  noteRegionChange(*region);
  region->clear(false);
  if (grid) {
    const float half = region->getSizeOneRegion() / 2.f;
    buildZonesFromGrid(grid.get(), gridSize, region->getPosition() - Float3(half, half, half));
  }
  std::cout << "done." << std::endl;
}

void IndexedWorld::optimizeAll() {
  const Int3 size = getTableRegionSize();
  std::cout << "Optimizing ... (size=" << size << ")" << std::endl;
  for (int x = 0; x < size.x(); ++x)
    for (int y = 0; y < size.y(); ++y)
      for (int z = 0; z < size.z(); ++z) optimizeRegion(getRegionCentre(Int3(x, y, z)));
  std::cout << "... optimizing done." << std::endl;
}
