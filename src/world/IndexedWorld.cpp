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

/// A box or sphere edit samples at most this many points (and queues about as many cube edits):
/// a bigger one is refused with a report instead of exhausting memory or time.
constexpr int64_t maxEditSamples = int64_t(1) << 26;

/// Number of steps start + i*step (i = 0, 1, ...) that stay below end; maxEditSamples + 1 when
/// there are more than maxEditSamples. Offsets are computed from the index, not summed, so a
/// cube edge such as 0.1 neither adds nor loses a sample.
int64_t countSteps(float start, float end, float step) {
  if (!(start < end)) return 0;
  const double estimate = std::ceil((static_cast<double>(end) - start) / step);
  if (!(estimate <= static_cast<double>(maxEditSamples))) return maxEditSamples + 1;
  // Start near the answer (the float sums may differ from the exact quotient by a step or so).
  int64_t count = std::max<int64_t>(0, static_cast<int64_t>(estimate) - 2);
  while (count > 0 && !(start + static_cast<float>(count - 1) * step < end)) --count;
  while (start + static_cast<float>(count) * step < end) ++count;
  return count;
}

/// Whether cell + (1, 1, 1) is an int cell (a cell at the int limit lies beyond any table).
bool hasUpperCorner(const Int3& cell) {
  const int top = std::numeric_limits<int>::max();
  return cell.x() != top && cell.y() != top && cell.z() != top;
}

/// A box edit's grid larger than this many cells is not worth a dense grid (the edits are
/// then placed one cube each); no edit of a region comes near it.
constexpr int64_t maxEditGridCells = int64_t(1) << 24;

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

bool IndexedWorld::isEditSmallEnough(int64_t nx, int64_t ny, int64_t nz) {
  if (nx <= maxEditSamples && ny <= maxEditSamples && nz <= maxEditSamples &&
      nx * ny <= maxEditSamples && nx * ny * nz <= maxEditSamples)
    return true;
  showProblem("The edit covers more than " + std::to_string(maxEditSamples) +
              " cubes: it is refused and the cubes are not changed.");
  return false;
}

int32_t IndexedWorld::takeCollidingZone(const Float3& point, Float3& centre, Float3& size) {
  WorldRegion* region = getRegionAt(point);
  if (region == nullptr) return -1;
  std::vector<CubeZone>& zones = region->getCubeZonesList();
  // The very zone the query answers is removed (a removal by point could take another zone
  // holding that point, such as an overlapping one listed earlier).
  for (size_t i = 0; i < zones.size(); ++i) {
    if (!CubeZoneLooks::contains(zones[i], point)) continue;
    const int32_t id = zones[i].id;
    centre = zones[i].centre;
    size = zones[i].size;
    noteRegionChange(*region);
    region->free();
    zones.erase(zones.begin() + static_cast<std::ptrdiff_t>(i));
    return id;
  }
  return -1;
}

void IndexedWorld::editBox(const Float3& centre, const Float3& size, int32_t id) {
  if (!isEditableId(id)) return;
  const float s = CubesTable::getSizeOneCube();
  const bool adding = id != -1;
  Float3 e, boxLow, boxHigh;
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(centre[axis]) || !std::isfinite(size[axis])) return;
    e[axis] = size[axis] / 2.f - 0.1f * s;
    boxLow[axis] = centre[axis] - size[axis] / 2.f + 0.1f * s;
    boxHigh[axis] = centre[axis] + size[axis] / 2.f - 0.1f * s;
  }
  const int64_t nx = countSteps(-e.x(), e.x(), s), ny = countSteps(-e.y(), e.y(), s), nz = countSteps(-e.z(), e.z(), s);
  if (!isEditSmallEnough(nx, ny, nz)) return;
  edits.clear();
  for (int ix = 0; ix < nx; ++ix)
    for (int iy = 0; iy < ny; ++iy)
      for (int iz = 0; iz < nz; ++iz) {
        const Float3 p(centre.x() + (ix * s - e.x()), centre.y() + (iy * s - e.y()), centre.z() + (iz * s - e.z()));
        const Int3 sampleCell(CubesTable::floorToCell(p.x() / s), CubesTable::floorToCell(p.y() / s),
                              CubesTable::floorToCell(p.z() / s));
        Float3 zoneCentre, zoneSize;
        const int32_t oldId = takeCollidingZone(p, zoneCentre, zoneSize);
        if (oldId == -1) {
          if (adding) edits.push_back({sampleCell, id});
          continue;
        }
        const Float3 zoneLow = zoneCentre - zoneSize / 2.f;
        const Float3 zoneHigh = zoneCentre + zoneSize / 2.f;
        const int64_t cx = countSteps(zoneLow.x(), zoneHigh.x() - s / 2.f, s);
        const int64_t cy = countSteps(zoneLow.y(), zoneHigh.y() - s / 2.f, s);
        const int64_t cz = countSteps(zoneLow.z(), zoneHigh.z() - s / 2.f, s);
        for (int x = 0; x < cx; ++x)
          for (int y = 0; y < cy; ++y)
            for (int z = 0; z < cz; ++z) {
              const Float3 corner(zoneLow.x() + x * s, zoneLow.y() + y * s, zoneLow.z() + z * s);
              bool inside = true;
              for (int axis = 0; axis < 3; ++axis) {
                const float shifted = corner[axis] + 0.7f * s;
                inside = inside && shifted > boxLow[axis] && shifted < boxHigh[axis];
              }
              if (adding || !inside)
                edits.push_back({Int3(CubesTable::floorToCell((corner.x() + s / 2.f) / s),
                                      CubesTable::floorToCell((corner.y() + s / 2.f) / s),
                                      CubesTable::floorToCell((corner.z() + s / 2.f) / s)),
                                 oldId});
            }
        // The cell where the zone was met gets the new type like every other cell of the box.
        if (adding) edits.push_back({sampleCell, id});
      }
  applyEdits(edits);
}

void IndexedWorld::editSphere(const Float3& centre, float radius, int32_t id) {
  if (!isEditableId(id)) return;
  const float s = CubesTable::getSizeOneCube();
  if (!std::isfinite(radius) || radius < 0.f) return;
  for (int axis = 0; axis < 3; ++axis)
    if (!std::isfinite(centre[axis])) return;
  const bool adding = id != -1;
  const float reach = radius + s;
  const int64_t n = countSteps(s / 2.f - reach, reach, s);
  if (!isEditSmallEnough(n, n, n)) return;
  const float r2 = radius * radius;
  auto distance2 = [&centre](const Float3& p) {
    const Float3 d = p - centre;
    return d.x() * d.x() + d.y() * d.y() + d.z() * d.z();
  };
  auto cellOf = [s](const Float3& p) {
    return Int3(CubesTable::floorToCell(p.x() / s), CubesTable::floorToCell(p.y() / s),
                CubesTable::floorToCell(p.z() / s));
  };
  // Each cell holds one sample, and the sample alone decides whether the cell is in the
  // sphere, for removal as for addition: a removal takes exactly the cubes the same addition
  // adds. The cubes of a split zone are queued with their old type first, so the cells of
  // samples inside (queued later) win.
  edits.clear();
  bool isZoneMet = false;
  for (int ix = 0; ix < n; ++ix)
    for (int iy = 0; iy < n; ++iy)
      for (int iz = 0; iz < n; ++iz) {
        const float first = s / 2.f - reach;
        const Float3 p(centre.x() + (first + ix * s), centre.y() + (first + iy * s), centre.z() + (first + iz * s));
        const bool sampleInside = distance2(p) <= r2;
        Float3 zoneCentre, zoneSize;
        const int32_t oldId = takeCollidingZone(p, zoneCentre, zoneSize);
        if (oldId == -1) {
          if (sampleInside) edits.push_back({cellOf(p), id});
          continue;
        }
        isZoneMet = true;
        const Float3 zoneLow = zoneCentre - zoneSize / 2.f;
        const Float3 zoneHigh = zoneCentre + zoneSize / 2.f;
        const int64_t cx = countSteps(zoneLow.x() + s / 2.f, zoneHigh.x(), s);
        const int64_t cy = countSteps(zoneLow.y() + s / 2.f, zoneHigh.y(), s);
        const int64_t cz = countSteps(zoneLow.z() + s / 2.f, zoneHigh.z(), s);
        for (int x = 0; x < cx; ++x)
          for (int y = 0; y < cy; ++y)
            for (int z = 0; z < cz; ++z) {
              const Float3 middle(zoneLow.x() + s / 2.f + x * s, zoneLow.y() + s / 2.f + y * s,
                                  zoneLow.z() + s / 2.f + z * s);
              edits.push_back({cellOf(middle), oldId});
            }
        if (sampleInside) edits.push_back({cellOf(p), id});
      }
  // A removal that met no cubes has only empty cells to write.
  if (adding || isZoneMet) applyEdits(edits);
}

void IndexedWorld::applyEdits(const std::vector<CubeEdit>& parEdits) {
  if (parEdits.empty()) return;
  Int3 m = parEdits.front().cell, M = m;
  for (const CubeEdit& edit : parEdits)
    for (int axis = 0; axis < 3; ++axis) {
      m[axis] = std::min(m[axis], edit.cell[axis]);
      M[axis] = std::max(M[axis], edit.cell[axis]);
    }
  const float s = CubesTable::getSizeOneCube();
  int64_t cells = 1;
  for (int axis = 0; axis < 3; ++axis) cells *= int64_t(M[axis]) - m[axis] + 1;
  if (cells > maxEditGridCells) {
    // Cells this far apart: one zone per cube, the last edit of a cell winning.
    std::vector<CubeEdit> sorted(parEdits);
    std::stable_sort(sorted.begin(), sorted.end(), [](const CubeEdit& a, const CubeEdit& b) {
      return std::lexicographical_compare(&a.cell[0], &a.cell[0] + 3, &b.cell[0], &b.cell[0] + 3);
    });
    for (size_t i = 0; i < sorted.size(); ++i) {
      if (i + 1 < sorted.size() && sorted[i + 1].cell == sorted[i].cell) continue;
      if (sorted[i].id < 0) continue;
      const Float3 centre((sorted[i].cell.x() + 0.5f) * s, (sorted[i].cell.y() + 0.5f) * s,
                          (sorted[i].cell.z() + 0.5f) * s);
      addBox(centre, Float3(s, s, s), sorted[i].id);
    }
    return;
  }
  const Int3 sizeTableCubes = M - m + Int3(1, 1, 1);
  editGrid.assign(static_cast<size_t>(cells), -1);
  for (const CubeEdit& edit : parEdits) {
    const int x = edit.cell.x() - m.x(), y = edit.cell.y() - m.y(), z = edit.cell.z() - m.z();
    assert(x>=0 && y>=0 && z>=0);
    assert(x<sizeTableCubes.x() && y<sizeTableCubes.y() && z<sizeTableCubes.z());
    editGrid[(size_t)x + ((size_t)y + (size_t)z * sizeTableCubes.y()) * sizeTableCubes.x()] = edit.id;
  }
  buildZonesFromGrid(editGrid.data(), sizeTableCubes, cubeToWorld(m));
}

void IndexedWorld::buildZonesFromGrid(int32_t* grid, const Int3& gridSize, const Float3& origin) {
  const int sx = gridSize.x(), sy = gridSize.y(), sz = gridSize.z();
  const size_t rowStride = (size_t)sx, layerStride = (size_t)sx * sy;
  const double s = CubesTable::getSizeOneCube();
  auto at = [&](int x, int y, int z) -> int32_t& { return grid[(size_t)x + y * rowStride + z * layerStride]; };
  for (int x0 = 0; x0 < sx; ++x0)
    for (int y0 = 0; y0 < sy; ++y0)
      for (int z0 = 0; z0 < sz; ++z0) {
        const int32_t ctinit = at(x0, y0, z0);
        if (ctinit == -1) continue;
        int nx = 1;
        while (x0 + nx < sx && at(x0 + nx, y0, z0) == ctinit) ++nx;
        int ny = 1;
        for (bool full = true; full && y0 + ny < sy;) {
          for (int x = x0; x < x0 + nx && full; ++x) full = at(x, y0 + ny, z0) == ctinit;
          if (full) ++ny;
        }
        int nz = 1;
        for (bool full = true; full && z0 + nz < sz;) {
          for (int y = y0; y < y0 + ny && full; ++y)
            for (int x = x0; x < x0 + nx && full; ++x) full = at(x, y, z0 + nz) == ctinit;
          if (full) ++nz;
        }
        assert(ctinit > -1);
        const Float3 size(static_cast<float>(s * nx), static_cast<float>(s * ny), static_cast<float>(s * nz));
        const Float3 centre(static_cast<float>(origin.x() + s * (x0 + nx * 0.5)),
                            static_cast<float>(origin.y() + s * (y0 + ny * 0.5)),
                            static_cast<float>(origin.z() + s * (z0 + nz * 0.5)));
        addBox(centre, size, ctinit);
        for (int z = z0; z < z0 + nz; ++z)
          for (int y = y0; y < y0 + ny; ++y)
            for (int x = x0; x < x0 + nx; ++x) at(x, y, z) = -1;
      }
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
