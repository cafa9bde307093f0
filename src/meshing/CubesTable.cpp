#include "meshing/CubesTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "meshing/CubeZone.h"
#include "DeviceManager.h"
#include "Assert.h"

namespace {

/// Negative: "size_one_cube" has not been read yet.
float cachedSizeOneCube = -1.f;

}  // namespace

float CubesTable::getSizeOneCube() {
  if (cachedSizeOneCube < 0.f) {
    assert(DeviceManager::getInstance() != NULL, "CubesTable::getSizeOneCube : no configuration to read size_one_cube from");
    cachedSizeOneCube = DeviceManager::getInstance()->getConfig().getFloat("size_one_cube");
  }
  return cachedSizeOneCube;
}

void CubesTable::setSizeOneCube(float value) { cachedSizeOneCube = value; }

int CubesTable::floorToCell(float v) {
  const float cells = std::floor(v);
  // Far outside any table (or not a number, from a damaged file): kept clear of int overflow.
  if (!(cells > -1e9f)) return -1000000000;
  if (cells > 1e9f) return 1000000000;
  return (int)cells;
}

int CubesTable::wholeCells(float v) { return floorToCell(v + 1e-3f); }

CubesTable::CubesTable(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion,
                       const std::vector<CubeZone>& zones,
                       const std::vector<const CubeZone*>* shadowCasters) {
  build(parPosition, parSizeOneCube, parSizeOneRegion, zones, shadowCasters != nullptr,
        shadowCasters != nullptr ? shadowCasters->data() : nullptr,
        shadowCasters != nullptr ? shadowCasters->size() : 0);
}

CubesTable::CubesTable(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion,
                       const std::vector<CubeZone>& zones,
                       const std::vector<CubeZone*>* shadowCasters) {
  build(parPosition, parSizeOneCube, parSizeOneRegion, zones, shadowCasters != nullptr,
        shadowCasters != nullptr ? shadowCasters->data() : nullptr,
        shadowCasters != nullptr ? shadowCasters->size() : 0);
}

void CubesTable::build(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion,
                       const std::vector<CubeZone>& zones, bool withShadows, const CubeZone* const* casters,
                       size_t nbCasters) {
  setFields(parPosition, parSizeOneCube, parSizeOneRegion);
  if (zones.empty()) return;
  fillCubes(zones);
  if (withShadows) computeShadows(casters, nbCasters);
}

void CubesTable::setFields(const Float3& parPosition, float parSizeOneCube, float parSizeOneRegion) {
  position = parPosition;
  sizeOneCube = parSizeOneCube;
  sizeOneRegion = parSizeOneRegion;
  const float half = sizeOneRegion / 2.f;
  cornerMin = Float3(position.x() - half, position.y() - half, position.z() - half);
  // The ratio comes from the configuration: a zero, negative or not-a-number cube edge or an
  // absurd region would give a grid that cannot be indexed or allocated.
  const float cellsPerEdge = sizeOneRegion / sizeOneCube;
  assert(cellsPerEdge >= 0.f && cellsPerEdge < (float)(maxCellsPerEdge + 1),
         "CubesTable : size_one_region / size_one_cube must give between 0 and " +
             std::to_string(maxCellsPerEdge) + " cubes per region edge");
  const int n = (int)cellsPerEdge;
  sizeTableCubes = Int3(n, n, n);
}

void CubesTable::fillCubes(const std::vector<CubeZone>& zones) {
  const int n = sizeTableCubes[0];
  const size_t nbCells = (size_t)n * n * n;
  cubes.reset(new int32_t[nbCells]);
  std::fill(cubes.get(), cubes.get() + nbCells, -1);

  // A zone's cells come from index arithmetic rather than a running float coordinate: with
  // edges such as 0.1 the running sum drifts, shifting the zone by a cell or adding one cell
  // past its end.
  const float halfRegion = sizeOneRegion / 2.f;
  for (const CubeZone& zone : zones) {
    int first[3];
    int count[3];
    bool isEmpty = false;
    for (int a = 0; a < 3; ++a) {
      const float lo = zone.centre[a] - zone.size[a] / 2.f - position[a];
      first[a] = wholeCells((lo + halfRegion) / sizeOneCube);
      // A cube counts when it starts below the upper corner (a partial cube counts whole).
      const float nbCubes = zone.size[a] / sizeOneCube;
      if (!(nbCubes > 0.f)) {
        isEmpty = true;
        break;
      }
      // More than n cubes cannot fit: the range check below reports it.
      count[a] = (int)std::min(std::ceil(nbCubes - 1e-3f), (float)n + 1.f);
      if (count[a] <= 0) isEmpty = true;
    }
    if (isEmpty) continue;
    // In range is separable per axis, so the box's lowest and highest cells cover it all.
    Int3 posIntInRegion(first[0], first[1], first[2]);
    assert(isInRange(posIntInRegion));
    posIntInRegion = Int3(first[0] + count[0] - 1, first[1] + count[1] - 1, first[2] + count[2] - 1);
    assert(isInRange(posIntInRegion));
    for (int z = first[2]; z < first[2] + count[2]; ++z) {
      for (int y = first[1]; y < first[1] + count[1]; ++y) {
        int32_t* row = cubes.get() + indexOf(first[0], y, z);
        std::fill(row, row + count[0], zone.id);
      }
    }
  }
}

void CubesTable::computeShadows(const CubeZone* const* casters, size_t nbCasters) {
  const int n = sizeTableCubes[0];
  const size_t nbCells = (size_t)n * n * n;
  shadows.reset(new uint8_t[nbCells]);
  std::memset(shadows.get(), 0, nbCells);
  const Int3 sizeTableShadows(n, n, n);

  for (size_t c = 0; c < nbCasters; ++c) {
    const CubeZone& caster = *casters[c];
    int first[3];
    int last[3];
    bool isEmpty = false;
    for (int a = 0; a < 3; ++a) {
      first[a] = wholeCells((caster.centre[a] - caster.size[a] / 2.f - cornerMin[a]) / sizeOneCube);
      const int count = wholeCells(caster.size[a] / sizeOneCube);
      if (count <= 0) isEmpty = true;
      last[a] = first[a] + count - 1;
    }
    if (isEmpty) continue;
    // Rays start from the caster's -x, -y and -z faces only: the others are in its own
    // shadow. Each cell is visited once: the whole -x face, then the -y face without its
    // -x column, then the -z face without both.
    castFace(0, first, last, shadows.get());
    if (first[0] < last[0]) {
      const int firstY[3] = {first[0] + 1, first[1], first[2]};
      castFace(1, firstY, last, shadows.get());
      if (first[1] < last[1]) {
        const int firstZ[3] = {first[0] + 1, first[1] + 1, first[2]};
        castFace(2, firstZ, last, shadows.get());
      }
    }
  }

  assert(sizeTableShadows == sizeTableCubes);
  shadowsCopy.reset(new uint8_t[nbCells]);
  std::memcpy(shadowsCopy.get(), shadows.get(), nbCells);
}

void CubesTable::castFace(int axis, const int first[3], const int last[3], uint8_t* grid) const {
  // A ray marks something only when no coordinate of its start is negative and the largest
  // is less than n above the smallest; on a face at coordinate f only the other coordinates
  // in [f - n + 1, f + n - 1] can do so. Clipping to them keeps a huge caster (from a damaged
  // file) from running billions of rays.
  const int f = first[axis];
  if (f < 0) return;
  const int reach = sizeTableCubes[0] - 1;
  const int a = (axis + 1) % 3;
  const int b = (axis + 2) % 3;
  const int fromA = std::max({first[a], f - reach, 0});
  const int toA = std::min(last[a], f + reach);
  const int fromB = std::max({first[b], f - reach, 0});
  const int toB = std::min(last[b], f + reach);
  int start[3];
  start[axis] = f;
  for (start[a] = fromA; start[a] <= toA; ++start[a])
    for (start[b] = fromB; start[b] <= toB; ++start[b]) castShadowRay(start[0], start[1], start[2], grid);
}

void CubesTable::castShadowRay(int x, int y, int z, uint8_t* grid) const {
  // A ray starting beyond the upper faces (a caster of a neighbouring region) enters the grid
  // along the same diagonal: move its start back to the last cell inside, if it reaches one.
  const int last = sizeTableCubes[0] - 1;
  const int beyond = std::max({x - last, y - last, z - last, 0});
  x -= beyond;
  y -= beyond;
  z -= beyond;
  while (x >= 0 && y >= 0 && z >= 0) {
    uint8_t& cell = grid[indexOf(x, y, z)];
    if (cell == 1) return;  // the rest of this diagonal was marked by an earlier ray
    cell = 1;
    --x;
    --y;
    --z;
  }
}

Int3 CubesTable::getCellOf(const Float3& worldPos) const {
  return Int3(floorToCell((worldPos.x() - cornerMin.x()) / sizeOneCube),
              floorToCell((worldPos.y() - cornerMin.y()) / sizeOneCube),
              floorToCell((worldPos.z() - cornerMin.z()) / sizeOneCube));
}

bool CubesTable::isInRange(const Int3& cell) const {
  return cell.x() >= 0 && cell.y() >= 0 && cell.z() >= 0 && cell.x() < sizeTableCubes.x() &&
         cell.y() < sizeTableCubes.y() && cell.z() < sizeTableCubes.z();
}

int32_t CubesTable::getCubeIdAtCell(const Int3& cell) const {
  if (cubes == nullptr || !isInRange(cell)) return -1;
  return cubes[indexOf(cell.x(), cell.y(), cell.z())];
}

int32_t CubesTable::getCubeIdAt(const Float3& worldPos) const { return getCubeIdAtCell(getCellOf(worldPos)); }

bool CubesTable::isCubeAt(const Float3& worldPos) const { return getCubeIdAt(worldPos) != -1; }

bool CubesTable::isShadowCell(const Int3& cell) const {
  return shadowsCopy != nullptr && isInRange(cell) && shadowsCopy[indexOf(cell.x(), cell.y(), cell.z())] == 1;
}

bool CubesTable::isShadowedAt(const Float3& worldPos, int face) const {
  // The cell and the position inside it come from one scaled value t, the fraction being
  // t - floor(t). Just below zero that rounds up to 1: the point then lies on the next cell's
  // lower side, and is counted there.
  Int3 cell;
  Float3 commaCoord;
  for (int a = 0; a < 3; ++a) {
    const float t = (worldPos[a] - cornerMin[a]) / sizeOneCube;
    // Far outside the grid (or not a number): no cell or neighbour there is shadowed.
    if (!(t > -1e6f && t < 1e6f)) return false;
    cell[a] = (int)std::floor(t);
    commaCoord[a] = t - (float)cell[a];
    if (commaCoord[a] >= 1.f) {
      ++cell[a];
      commaCoord[a] = 0.f;
    }
  }
  if (isShadowCell(cell)) return true;
  assert(commaCoord >= Float3(0.f,0.f,0.f) && commaCoord < Float3(1.f,1.f,1.f));
  const float u = commaCoord.x();
  const float v = commaCoord.y();
  const float w = commaCoord.z();
  auto S = [&](int dx, int dy, int dz) { return isShadowCell(Int3(cell.x() + dx, cell.y() + dy, cell.z() + dz)); };
  switch (face) {
    case 0:
    case 1:
      if (S(+1, 0, 0) && S(0, 0, -1)) return u > w;
      if (S(-1, 0, 0) && S(0, 0, +1)) return u < w;
      return false;
    case 2:
    case 3:
      if (S(+1, 0, 0) && S(0, -1, 0)) return u > v;
      if (S(-1, 0, 0) && S(0, +1, 0)) return u < v;
      return false;
    case 4:
    case 5:
      if (S(0, +1, 0) && S(0, 0, -1)) return w > v;
      if (S(0, -1, 0) && S(0, 0, +1)) return w < v;
      return false;
    default:
      return false;
  }
}

int32_t* CubesTable::copyCubes(Int3& size) const {
  size = sizeTableCubes;
  if (cubes == nullptr) return nullptr;
  const size_t nbCells = (size_t)sizeTableCubes[0] * sizeTableCubes[1] * sizeTableCubes[2];
  int32_t* copy = new int32_t[nbCells];
  std::memcpy(copy, cubes.get(), nbCells * sizeof(int32_t));
  return copy;
}
