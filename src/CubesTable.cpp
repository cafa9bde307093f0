#include "CubesTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "CubeZone.h"
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

int CubesTable::wholeCells(float v) {
  const float cells = std::floor(v + 1e-3f);
  // Far outside any table (or not a number, from a damaged file): kept clear of int overflow.
  if (!(cells > -1e9f)) return -1000000000;
  if (cells > 1e9f) return 1000000000;
  return (int)cells;
}

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
  const int n = (int)(sizeOneRegion / sizeOneCube);
  sizeTableCubes = Int3(n, n, n);
}

void CubesTable::fillCubes(const std::vector<CubeZone>& zones) {
  const int n = sizeTableCubes[0];
  const size_t nbCells = (size_t)n * n * n;
  cubes.reset(new int32_t[nbCells]);
  std::fill(cubes.get(), cubes.get() + nbCells, -1);

  // The cells a zone covers along one axis are the same for every row, so they are found
  // once per axis and then filled row by row. They come from index arithmetic rather than a
  // running float coordinate: with edges such as 0.1 the running sum drifts, shifting the
  // zone by a cell or adding one cell past its end.
  std::vector<int> cells[3];
  for (std::vector<int>& list : cells) list.reserve((size_t)n + 1);
  const float halfRegion = sizeOneRegion / 2.f;
  for (const CubeZone& zone : zones) {
    for (int a = 0; a < 3; ++a) {
      cells[a].clear();
      const float lo = zone.centre[a] - zone.size[a] / 2.f - position[a];
      const int first = wholeCells((lo + halfRegion) / sizeOneCube);
      // A cube counts when it starts below the upper corner (a partial cube counts whole).
      const float nbCubes = zone.size[a] / sizeOneCube;
      if (!(nbCubes > 0.f)) continue;
      // More than n cubes cannot fit: the range check below reports it.
      const int count = (int)std::min(std::ceil(nbCubes - 1e-3f), (float)n + 1.f);
      for (int i = 0; i < count; ++i) cells[a].push_back(first + i);
    }
    if (cells[0].empty() || cells[1].empty() || cells[2].empty()) continue;
    // In range is separable per axis, so checking each axis' cells against the first
    // cells of the two others covers every cell of the box.
    for (int a = 0; a < 3; ++a) {
      for (int c : cells[a]) {
        Int3 posIntInRegion(cells[0].front(), cells[1].front(), cells[2].front());
        posIntInRegion[a] = c;
        assert(isInRange(posIntInRegion));
      }
    }
    for (int z : cells[2]) {
      for (int y : cells[1]) {
        int32_t* row = cubes.get() + indexOf(0, y, z);
        std::fill(row + cells[0].front(), row + cells[0].back() + 1, zone.id);
      }
    }
  }
}

void CubesTable::computeShadows(const CubeZone* const* casters, size_t nbCasters) {
  const int n = (int)(sizeOneRegion / sizeOneCube);
  const size_t nbCells = (size_t)n * n * n;
  shadows.reset(new uint8_t[nbCells]);
  std::memset(shadows.get(), 0, nbCells);
  const Int3 sizeTableShadows(n, n, n);

  for (size_t c = 0; c < nbCasters; ++c) {
    const CubeZone& caster = *casters[c];
    int first[3];
    int count[3];
    for (int a = 0; a < 3; ++a) {
      first[a] = wholeCells((caster.centre[a] - caster.size[a] / 2.f - cornerMin[a]) / sizeOneCube);
      count[a] = wholeCells(caster.size[a] / sizeOneCube);
    }
    // Rays start from the caster's -x, -y and -z faces only: the others are in its own
    // shadow. Each cell is visited once: the whole -x face, then the -y face without its
    // -x column, then the -z face without both.
    for (int i = 0; i < count[0]; ++i) {
      for (int j = 0; j < count[1]; ++j) {
        if (i == 0 || j == 0) {
          for (int k = 0; k < count[2]; ++k) castShadowRay(first[0] + i, first[1] + j, first[2] + k, shadows.get());
        } else if (count[2] > 0) {
          castShadowRay(first[0] + i, first[1] + j, first[2], shadows.get());
        }
      }
    }
  }

  assert(sizeTableShadows == sizeTableCubes);
  shadowsCopy.reset(new uint8_t[nbCells]);
  std::memcpy(shadowsCopy.get(), shadows.get(), nbCells);
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
  return Int3((int)std::floor((worldPos.x() - cornerMin.x()) / sizeOneCube),
              (int)std::floor((worldPos.y() - cornerMin.y()) / sizeOneCube),
              (int)std::floor((worldPos.z() - cornerMin.z()) / sizeOneCube));
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
  // The cell and the position inside it come from one scaled value, so the fraction is
  // exactly t - floor(t), always in [0, 1).
  Float3 scaled;
  Int3 cell;
  for (int a = 0; a < 3; ++a) {
    scaled[a] = (worldPos[a] - cornerMin[a]) / sizeOneCube;
    cell[a] = (int)std::floor(scaled[a]);
  }
  if (isShadowCell(cell)) return true;
  Float3 commaCoord;
  for (int a = 0; a < 3; ++a) commaCoord[a] = scaled[a] - (float)cell[a];
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
