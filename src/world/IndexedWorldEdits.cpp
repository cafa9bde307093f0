// IndexedWorld is one class over two source files: IndexedWorld.cpp (construction, the world
// file, cube types, adding boxes, queries, optimisation) and this one (the box and sphere edits
// and the greedy builder).
//
// An edit runs in two steps. Sampling takes every zone of a collidable type met by a sample out
// of its region and notes it (MetZone). Then the cell writes of the edit (the cubes of the zones
// met, with their old type, and the cells of the samples with the new one, later writes of a
// cell winning) are replayed from the samples and the zones noted, without a list of cubes: into
// one grid over all the cells written when it is small enough, which gives the greedy zones of
// the whole edit, else region by region.

#include "world/IndexedWorld.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "meshing/CubesTable.h"
#include "world/CubeZoneLooks.h"
#include "world/WorldRegion.h"
#include "Assert.h"

namespace {

/// A box or sphere edit samples at most this many points: a bigger one is refused with a report
/// instead of exhausting memory or time.
constexpr int64_t maxEditSamples = int64_t(1) << 26;

/// The cells written by an edit are gathered in one grid (4 bytes a cell) up to this many cells
/// (64 MB); a larger edit is built region by region, in grids of at most a region's cells.
constexpr int64_t maxEditGridCells = int64_t(1) << 24;

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

int floorDiv(int value, int divisor) {
  const int quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

}  // namespace

/// The samples of one edit and the rule of its writes.
struct IndexedWorld::EditShape {
  bool isSphere;
  bool adding;
  int32_t id;
  float s;
  Float3 centre;
  int64_t n[3];
  // Box: half extents of the samples, and the box shrunk by 0.1 cube (the "inside" test).
  Float3 e, boxLow, boxHigh;
  // Sphere: offset of the first sample and the squared radius.
  float first = 0.f;
  float r2 = 0.f;

  /// One coordinate of sample i on an axis, computed as the sampling computes it.
  float sampleAt(int axis, int64_t i) const {
    const int index = static_cast<int>(i);
    return isSphere ? centre[axis] + (first + index * s) : centre[axis] + (index * s - e[axis]);
  }
  int sampleCellAt(int axis, int64_t i) const { return CubesTable::floorToCell(sampleAt(axis, i) / s); }
  bool isInSphere(const Float3& p) const {
    const Float3 d = p - centre;
    return d.x() * d.x() + d.y() * d.y() + d.z() * d.z() <= r2;
  }
  /// The lowest and highest cells of the samples in the sphere; false when none is. A sample
  /// reaches furthest along an axis with the other two axes at the samples nearest the centre
  /// (the test only grows with each distance).
  bool findSphereCells(Int3& low, Int3& high) const {
    int64_t nearest[3];
    for (int axis = 0; axis < 3; ++axis) {
      nearest[axis] = 0;
      for (int64_t i = 1; i < n[axis]; ++i)
        if (std::fabs(sampleAt(axis, i) - centre[axis]) < std::fabs(sampleAt(axis, nearest[axis]) - centre[axis]))
          nearest[axis] = i;
    }
    for (int axis = 0; axis < 3; ++axis) {
      int64_t first = -1, last = -1;
      for (int64_t i = 0; i < n[axis]; ++i) {
        Float3 p(sampleAt(0, nearest[0]), sampleAt(1, nearest[1]), sampleAt(2, nearest[2]));
        p[axis] = sampleAt(axis, i);
        if (!isInSphere(p)) continue;
        if (first == -1) first = i;
        last = i;
      }
      if (first == -1) return false;
      low[axis] = sampleCellAt(axis, first);
      high[axis] = sampleCellAt(axis, last);
    }
    return true;
  }
};

bool IndexedWorld::isEditSmallEnough(int64_t nx, int64_t ny, int64_t nz) {
  if (nx <= maxEditSamples && ny <= maxEditSamples && nz <= maxEditSamples &&
      nx * ny <= maxEditSamples && nx * ny * nz <= maxEditSamples)
    return true;
  showProblem("The edit covers more than " + std::to_string(maxEditSamples) +
              " cubes: it is refused and the cubes are not changed.");
  return false;
}

bool IndexedWorld::prepareTableForEdit(const EditShape& shape) {
  // A removal adds nothing beyond the zones it splits, which lie in the table already.
  if (!shape.adding || shape.n[0] == 0 || shape.n[1] == 0 || shape.n[2] == 0) return true;
  const float s = shape.s;
  Int3 low, high;
  if (!shape.isSphere) {
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = shape.sampleCellAt(axis, 0);
      high[axis] = shape.sampleCellAt(axis, shape.n[axis] - 1);
    }
  } else if (!shape.findSphereCells(low, high)) {
    return true;
  }
  // The regions of the middles of the corner cells: every cube of the edit lies between them.
  const Float3 half(s / 2.f, s / 2.f, s / 2.f);
  const Int3 regionLow = getRegionIndexOf(cubeToWorld(low) + half) + getTableRegionMin();
  const Int3 regionHigh = getRegionIndexOf(cubeToWorld(high) + half) + getTableRegionMin();
  if (growToIncludeRange(regionLow, regionHigh)) return true;
  showProblem("The edit reaches beyond the limits of the world (" + std::to_string(maxTableCells) +
              " regions): it is refused and the cubes are not changed.");
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

void IndexedWorld::takeZonesMet(const EditShape& shape) {
  metZones.clear();
  int64_t sample = 0;
  for (int64_t ix = 0; ix < shape.n[0]; ++ix)
    for (int64_t iy = 0; iy < shape.n[1]; ++iy)
      for (int64_t iz = 0; iz < shape.n[2]; ++iz, ++sample) {
        const Float3 p(shape.sampleAt(0, ix), shape.sampleAt(1, iy), shape.sampleAt(2, iz));
        MetZone zone;
        zone.id = takeCollidingZone(p, zone.centre, zone.size);
        if (zone.id == -1) continue;
        zone.sample = sample;
        metZones.push_back(zone);
      }
}

template <typename Visit>
void IndexedWorld::forEachZoneWrite(const EditShape& shape, const MetZone& zone, Visit&& visit) const {
  const float s = shape.s;
  const Float3 zoneLow = zone.centre - zone.size / 2.f;
  const Float3 zoneHigh = zone.centre + zone.size / 2.f;
  if (shape.isSphere) {
    // Every cube of the zone, by its middle.
    const int64_t cx = countSteps(zoneLow.x() + s / 2.f, zoneHigh.x(), s);
    const int64_t cy = countSteps(zoneLow.y() + s / 2.f, zoneHigh.y(), s);
    const int64_t cz = countSteps(zoneLow.z() + s / 2.f, zoneHigh.z(), s);
    for (int x = 0; x < cx; ++x)
      for (int y = 0; y < cy; ++y)
        for (int z = 0; z < cz; ++z) {
          const Float3 middle(zoneLow.x() + s / 2.f + x * s, zoneLow.y() + s / 2.f + y * s,
                              zoneLow.z() + s / 2.f + z * s);
          visit(Int3(CubesTable::floorToCell(middle.x() / s), CubesTable::floorToCell(middle.y() / s),
                     CubesTable::floorToCell(middle.z() / s)),
                zone.id);
        }
    return;
  }
  // Every cube of the zone when adding; those outside the box when removing.
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
          inside = inside && shifted > shape.boxLow[axis] && shifted < shape.boxHigh[axis];
        }
        if (shape.adding || !inside)
          visit(Int3(CubesTable::floorToCell((corner.x() + s / 2.f) / s),
                     CubesTable::floorToCell((corner.y() + s / 2.f) / s),
                     CubesTable::floorToCell((corner.z() + s / 2.f) / s)),
                zone.id);
      }
}

template <typename Visit>
void IndexedWorld::forEachSampleWrite(const EditShape& shape, const int64_t from[3], const int64_t to[3],
                                      bool withZones, Visit&& visit) const {
  // The zones were met in sample order: the next one belongs to a later sample.
  size_t nextZone = 0;
  for (int64_t ix = from[0]; ix < to[0]; ++ix)
    for (int64_t iy = from[1]; iy < to[1]; ++iy)
      for (int64_t iz = from[2]; iz < to[2]; ++iz) {
        const Float3 p(shape.sampleAt(0, ix), shape.sampleAt(1, iy), shape.sampleAt(2, iz));
        if (withZones && nextZone < metZones.size() &&
            metZones[nextZone].sample == (ix * shape.n[1] + iy) * shape.n[2] + iz)
          forEachZoneWrite(shape, metZones[nextZone++], visit);
        // Removing, a box writes nothing of its own; a sphere writes -1 in its cells.
        const bool writes = shape.isSphere ? shape.isInSphere(p) : shape.adding;
        if (!writes) continue;
        const float s = shape.s;
        visit(Int3(CubesTable::floorToCell(p.x() / s), CubesTable::floorToCell(p.y() / s),
                   CubesTable::floorToCell(p.z() / s)),
              shape.id);
      }
}

void IndexedWorld::editBox(const Float3& centre, const Float3& size, int32_t id) {
  if (!isEditableId(id)) return;
  EditShape shape;
  shape.isSphere = false;
  shape.adding = id != -1;
  shape.id = id;
  shape.s = CubesTable::getSizeOneCube();
  shape.centre = centre;
  const float s = shape.s;
  for (int axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(centre[axis]) || !std::isfinite(size[axis])) return;
    shape.e[axis] = size[axis] / 2.f - 0.1f * s;
    shape.boxLow[axis] = centre[axis] - size[axis] / 2.f + 0.1f * s;
    shape.boxHigh[axis] = centre[axis] + size[axis] / 2.f - 0.1f * s;
  }
  for (int axis = 0; axis < 3; ++axis) shape.n[axis] = countSteps(-shape.e[axis], shape.e[axis], s);
  if (!isEditSmallEnough(shape.n[0], shape.n[1], shape.n[2]) || !prepareTableForEdit(shape)) return;
  takeZonesMet(shape);
  applyEdit(shape);
}

void IndexedWorld::editSphere(const Float3& centre, float radius, int32_t id) {
  if (!isEditableId(id)) return;
  const float s = CubesTable::getSizeOneCube();
  if (!std::isfinite(radius) || radius < 0.f) return;
  for (int axis = 0; axis < 3; ++axis)
    if (!std::isfinite(centre[axis])) return;
  const float reach = radius + s;
  const int64_t n = countSteps(s / 2.f - reach, reach, s);
  if (!isEditSmallEnough(n, n, n)) return;
  // Each cell holds one sample, and the sample alone decides whether the cell is in the
  // sphere, for removal as for addition: a removal takes exactly the cubes the same addition
  // adds. The cubes of a split zone are written with their old type first, so the cells of
  // samples inside (written later) win.
  EditShape shape;
  shape.isSphere = true;
  shape.adding = id != -1;
  shape.id = id;
  shape.s = s;
  shape.centre = centre;
  shape.n[0] = shape.n[1] = shape.n[2] = n;
  shape.first = s / 2.f - reach;
  shape.r2 = radius * radius;
  if (!prepareTableForEdit(shape)) return;
  takeZonesMet(shape);
  // A removal that met no cubes has only empty cells to write.
  if (shape.adding || !metZones.empty()) applyEdit(shape);
}

void IndexedWorld::applyEdit(const EditShape& shape) {
  const int64_t from[3] = {0, 0, 0};
  bool any = false;
  Int3 m, M;
  forEachSampleWrite(shape, from, shape.n, true, [&](const Int3& cell, int32_t) {
    if (!any) m = M = cell;
    any = true;
    for (int axis = 0; axis < 3; ++axis) {
      m[axis] = std::min(m[axis], cell[axis]);
      M[axis] = std::max(M[axis], cell[axis]);
    }
  });
  if (!any) return;
  int64_t cells = 1;
  for (int axis = 0; axis < 3; ++axis) cells *= int64_t(M[axis]) - m[axis] + 1;
  if (cells > maxEditGridCells) {
    applyEditByRegion(shape, m, M);
    return;
  }
  const Int3 sizeTableCubes = M - m + Int3(1, 1, 1);
  editGrid.assign(static_cast<size_t>(cells), -1);
  forEachSampleWrite(shape, from, shape.n, true, [&](const Int3& cell, int32_t id) {
    const int x = cell.x() - m.x(), y = cell.y() - m.y(), z = cell.z() - m.z();
    assert(x>=0 && y>=0 && z>=0);
    assert(x<sizeTableCubes.x() && y<sizeTableCubes.y() && z<sizeTableCubes.z());
    editGrid[(size_t)x + ((size_t)y + (size_t)z * sizeTableCubes.y()) * sizeTableCubes.x()] = id;
  });
  buildZonesFromGrid(editGrid.data(), sizeTableCubes, cubeToWorld(m));
}

int64_t IndexedWorld::firstSampleFrom(const EditShape& shape, int axis, int cell) {
  // Sample cells grow with the index.
  int64_t low = 0, high = shape.n[axis];
  while (low < high) {
    const int64_t middle = low + (high - low) / 2;
    if (shape.sampleCellAt(axis, middle) < cell) low = middle + 1;
    else high = middle;
  }
  return low;
}

void IndexedWorld::applyEditByRegion(const EditShape& shape, const Int3& m, const Int3& M) {
  // Each region's cells in a grid of their own: the zones met there first, then the samples.
  // The zones met in a region lie in that region, and every zone of the world in one region.
  const int regionCubes = std::max(1, static_cast<int>(std::lround(getSizeOneRegion() / shape.s)));
  auto regionOf = [regionCubes](const Int3& cell) {
    return Int3(floorDiv(cell.x(), regionCubes), floorDiv(cell.y(), regionCubes), floorDiv(cell.z(), regionCubes));
  };
  // The zones by region (kept in the order they were met within a region); a zone reaching
  // into a neighbour region by half a cube or more (a world file may hold one) is listed there
  // too.
  zonesByRegion.clear();
  for (size_t i = 0; i < metZones.size(); ++i) {
    const Float3 low = metZones[i].centre - metZones[i].size / 2.f;
    const Float3 high = metZones[i].centre + metZones[i].size / 2.f;
    const Int3 first = regionOf(Int3(CubesTable::floorToCell(low.x() / shape.s + 0.5f),
                                     CubesTable::floorToCell(low.y() / shape.s + 0.5f),
                                     CubesTable::floorToCell(low.z() / shape.s + 0.5f)));
    const Int3 last = regionOf(Int3(CubesTable::floorToCell(high.x() / shape.s - 0.5f),
                                    CubesTable::floorToCell(high.y() / shape.s - 0.5f),
                                    CubesTable::floorToCell(high.z() / shape.s - 0.5f)));
    Int3 r;
    for (r[0] = first.x(); r[0] <= std::max(first.x(), last.x()); ++r[0])
      for (r[1] = first.y(); r[1] <= std::max(first.y(), last.y()); ++r[1])
        for (r[2] = first.z(); r[2] <= std::max(first.z(), last.z()); ++r[2]) zonesByRegion.push_back({r, i});
  }
  auto regionLess = [](const Int3& a, const Int3& b) {
    return std::lexicographical_compare(&a[0], &a[0] + 3, &b[0], &b[0] + 3);
  };
  std::stable_sort(zonesByRegion.begin(), zonesByRegion.end(),
                   [&](const RegionZone& a, const RegionZone& b) { return regionLess(a.region, b.region); });

  const Int3 regionLow = regionOf(m), regionHigh = regionOf(M);
  Int3 r;
  for (r[0] = regionLow.x(); r[0] <= regionHigh.x(); ++r[0])
    for (r[1] = regionLow.y(); r[1] <= regionHigh.y(); ++r[1])
      for (r[2] = regionLow.z(); r[2] <= regionHigh.z(); ++r[2]) {
        const auto zones = std::equal_range(zonesByRegion.begin(), zonesByRegion.end(), RegionZone{r, 0},
                                            [&](const RegionZone& a, const RegionZone& b) {
                                              return regionLess(a.region, b.region);
                                            });
        // The samples whose cells lie in the region.
        int64_t from[3], to[3];
        bool hasSamples = true;
        for (int axis = 0; axis < 3; ++axis) {
          const int64_t regionCell = int64_t(r[axis]) * regionCubes;
          from[axis] = firstSampleFrom(shape, axis, static_cast<int>(std::max<int64_t>(regionCell, m[axis])));
          to[axis] = firstSampleFrom(shape, axis, static_cast<int>(std::min<int64_t>(regionCell + regionCubes, int64_t(M[axis]) + 1)));
          hasSamples = hasSamples && from[axis] < to[axis];
        }
        if (zones.first == zones.second && !hasSamples) continue;
        // The grid spans the cells the region's samples and zones may write, within the region.
        int64_t low64[3], high64[3];
        for (int axis = 0; axis < 3; ++axis) {
          low64[axis] = hasSamples ? shape.sampleCellAt(axis, from[axis]) : INT64_MAX;
          high64[axis] = hasSamples ? shape.sampleCellAt(axis, to[axis] - 1) : INT64_MIN;
          for (auto zone = zones.first; zone != zones.second; ++zone) {
            const MetZone& met = metZones[zone->index];
            low64[axis] = std::min<int64_t>(low64[axis], CubesTable::floorToCell((met.centre[axis] - met.size[axis] / 2.f) / shape.s));
            high64[axis] = std::max<int64_t>(high64[axis], CubesTable::floorToCell((met.centre[axis] + met.size[axis] / 2.f) / shape.s));
          }
          low64[axis] = std::max<int64_t>({low64[axis], int64_t(r[axis]) * regionCubes, m[axis]});
          high64[axis] = std::min<int64_t>({high64[axis], int64_t(r[axis]) * regionCubes + regionCubes - 1, M[axis]});
        }
        if (low64[0] > high64[0] || low64[1] > high64[1] || low64[2] > high64[2]) continue;
        const Int3 low((int)low64[0], (int)low64[1], (int)low64[2]);
        const Int3 high((int)high64[0], (int)high64[1], (int)high64[2]);
        const Int3 gridSize = high - low + Int3(1, 1, 1);
        editGrid.assign((size_t)gridSize.x() * gridSize.y() * gridSize.z(), -1);
        auto write = [&](const Int3& cell, int32_t id) {
          if (!(cell >= low) || !(cell <= high)) return;
          const Int3 at = cell - low;
          editGrid[(size_t)at.x() + ((size_t)at.y() + (size_t)at.z() * gridSize.y()) * gridSize.x()] = id;
        };
        for (auto zone = zones.first; zone != zones.second; ++zone) forEachZoneWrite(shape, metZones[zone->index], write);
        if (hasSamples) forEachSampleWrite(shape, from, to, false, write);
        buildZonesFromGrid(editGrid.data(), gridSize, cubeToWorld(low));
      }
}

void IndexedWorld::applyEdits(const std::vector<CubeEdit>& parEdits) {
  if (parEdits.empty()) return;
  Int3 m = parEdits.front().cell, M = m;
  for (const CubeEdit& edit : parEdits)
    for (int axis = 0; axis < 3; ++axis) {
      m[axis] = std::min(m[axis], edit.cell[axis]);
      M[axis] = std::max(M[axis], edit.cell[axis]);
    }
  int64_t cells = 1;
  for (int axis = 0; axis < 3; ++axis) cells *= int64_t(M[axis]) - m[axis] + 1;
  // A list this spread out is refused rather than given a grid beyond the edits' memory bound.
  if (cells > maxEditGridCells) {
    showProblem("The edit spreads over more than " + std::to_string(maxEditGridCells) +
                " cells: it is refused and the cubes are not changed.");
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
