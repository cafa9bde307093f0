#include "meshing/CubeZoneFastShadows.h"

#include <cstring>

#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "Assert.h"

/// One face of the zone as the scan sees it: the neighbour layer just outside it, and the
/// zone's cells on the two in-plane axes u (outer loop, first growth axis) and v (rows).
struct CubeZoneFastShadows::Side {
  int axis;   // normal of the face
  int uAxis;
  int vAxis;
  int list;   // the zone's shadow list it fills
  bool isOrderB;  // second and third point of every triangle swapped (the +y face)
  int layer;  // index of the neighbour layer on `axis`
  int minU, maxU, minV, maxV;
  Int3 maxCubeInt;
  size_t strideU, strideV;
  size_t layerOffset;
};

namespace {

/// The three faces that can face the light, in the order they are computed.
struct SideLayout {
  int axis, uAxis, vAxis, list;
  bool isOrderB;
};
constexpr SideLayout sideLayouts[3] = {
    {2, 0, 1, 5, false},  // +z
    {1, 0, 2, 1, true},   // +y
    {0, 1, 2, 0, false},  // +x
};

/// A run grown along `axis` from `first` has taken every cell up to `next` - 1: the next
/// cell to try must still be inside the zone.
void checkNextCell(int axis, int next, const Int3& maxCubeInt) {
  const int next_i = next, next_j = next, next_k = next;
  switch (axis) {
    case 0: assert(next_i < maxCubeInt.x()); break;
    case 1: assert(next_j < maxCubeInt.y()); break;
    default: assert(next_k < maxCubeInt.z()); break;
  }
}

/// A finished run took at least its first cell and stayed inside the zone.
void checkRunEnd(int axis, int first, int next, const Int3& maxCubeInt) {
  const int i = first, j = first, k = first;
  const int next_i = next, next_j = next, next_k = next;
  switch (axis) {
    case 0: assert(next_i > i && next_i <= maxCubeInt.x()); break;
    case 1: assert(next_j > j && next_j <= maxCubeInt.y()); break;
    default: assert(next_k > k && next_k <= maxCubeInt.z()); break;
  }
}

/// Counts the points a side will produce.
struct PointCounter {
  size_t nbPoints = 0;
  void triangle(float, float, float, float, float, float) { nbPoints += 3; }
};

/// Appends a side's triangles to a zone list, as points relative to the zone centre.
struct PointWriter {
  std::vector<Float3>& out;
  int axis, uAxis, vAxis;
  bool isOrderB;
  float planeRelative;
  Float3 centre;

  Float3 point(float u, float v) const {
    Float3 p;
    p[axis] = planeRelative;
    p[uAxis] = u - centre[uAxis];
    p[vAxis] = v - centre[vAxis];
    return p;
  }
  void triangle(float u0, float v0, float u1, float v1, float u2, float v2) {
    out.push_back(point(u0, v0));
    if (isOrderB) {
      out.push_back(point(u2, v2));
      out.push_back(point(u1, v1));
    } else {
      out.push_back(point(u1, v1));
      out.push_back(point(u2, v2));
    }
  }
};

}  // namespace

CubeZoneFastShadows::CubeZoneFastShadows(const CubesTable& parTable) : table(parTable) {
  // A zone's part of a layer never exceeds the table's face.
  const int n = table.getSizeTableCubes().x();
  workingWidth = n;
  if (n > 0) working.reset(new uint8_t[(size_t)n * n]);
}

void CubeZoneFastShadows::computeFastShadows(const CubesTable& table, CubeZone& zone) {
  CubeZoneFastShadows shadows(table);
  shadows.computeFastShadows(zone);
}

void CubeZoneFastShadows::computeFastShadows(CubeZone* zones, size_t nbZones) {
  for (size_t z = 0; z < nbZones; ++z) computeFastShadows(zones[z]);
}

void CubeZoneFastShadows::computeFastShadows(CubeZone& zone) {
  // The zone's cells from its bounds, which lie on whole cells: counted with the table's
  // tolerance so that float error in centre +- size/2 cannot drop the zone's last layer (the
  // face would then look covered by the zone itself).
  const Float3& cornerMin = table.getCornerMin();
  const float e = table.getCellSize();
  Int3 minCell;
  Int3 maxCell;
  for (int a = 0; a < 3; ++a) {
    const float half = zone.size[a] / 2.f;
    minCell[a] = CubesTable::wholeCells((zone.centre[a] - half - cornerMin[a]) / e);
    maxCell[a] = CubesTable::wholeCells((zone.centre[a] + half - cornerMin[a]) / e);
  }
  if (!table.isInRange(minCell) || !table.isInRange(maxCell - Int3(1, 1, 1))) return;

  zone.shadowTriangles.clear();
  // A zone without a whole cell on some axis (a damaged, negative size) has no face to shade.
  for (int a = 0; a < 3; ++a)
    if (maxCell[a] <= minCell[a]) return;

  const int n = table.getSizeTableCubes().x();
  const size_t stride[3] = {1, (size_t)n, (size_t)n * n};
  for (const SideLayout& layout : sideLayouts) {
    Side side;
    side.axis = layout.axis;
    side.uAxis = layout.uAxis;
    side.vAxis = layout.vAxis;
    side.list = layout.list;
    side.isOrderB = layout.isOrderB;
    side.layer = maxCell[layout.axis];
    side.minU = minCell[layout.uAxis];
    side.maxU = maxCell[layout.uAxis];
    side.minV = minCell[layout.vAxis];
    side.maxV = maxCell[layout.vAxis];
    side.maxCubeInt = maxCell;
    side.strideU = stride[layout.uAxis];
    side.strideV = stride[layout.vAxis];
    side.layerOffset = (size_t)side.layer * stride[layout.axis];

    // Beyond the table's upper face nothing is known: no shadow there.
    if (side.layer >= n) continue;
    if (isLayerCovered(side)) continue;

    // Counted first, so the list is sized once.
    PointCounter counter;
    fillLayer(side);
    scanSide(side, counter);
    if (counter.nbPoints == 0) continue;
    std::vector<Float3>& list = zone.shadowTriangles[side.list];
    list.reserve(counter.nbPoints);
    const float plane = cornerMin[side.axis] + e * side.layer + distanceToFace;
    PointWriter writer{list, side.axis, side.uAxis, side.vAxis, side.isOrderB, plane - zone.centre[side.axis],
                       zone.centre};
    fillLayer(side);
    scanSide(side, writer);
  }
}

bool CubeZoneFastShadows::isLayerCovered(const Side& side) const {
  const int32_t* cubes = table.getCubes();
  if (cubes == nullptr) return false;
  for (int u = side.minU; u < side.maxU; ++u)
    for (int v = side.minV; v < side.maxV; ++v)
      if (cubes[side.layerOffset + u * side.strideU + v * side.strideV] != -1) return true;
  return false;
}

void CubeZoneFastShadows::fillLayer(const Side& side) {
  const uint8_t* shadows = table.getShadows();
  for (int v = side.minV; v < side.maxV; ++v) {
    uint8_t* row = working.get() + (size_t)(v - side.minV) * workingWidth;
    if (shadows == nullptr) {
      std::memset(row, 0, (size_t)(side.maxU - side.minU));
      continue;
    }
    const uint8_t* cell = shadows + side.layerOffset + v * side.strideV + side.minU * side.strideU;
    for (int u = side.minU; u < side.maxU; ++u, cell += side.strideU) row[u - side.minU] = *cell;
  }
}

bool CubeZoneFastShadows::isShadowCell(const Side& side, int u, int v) const {
  const int n = workingWidth;  // the table's cells per edge
  if (u < 0 || v < 0 || u >= n || v >= n) return false;
  const uint8_t* shadows = table.getShadows();
  return shadows != nullptr && shadows[side.layerOffset + u * side.strideU + v * side.strideV] == 1;
}

template <typename Sink>
void CubeZoneFastShadows::scanSide(const Side& side, Sink& sink) {
  const float e = table.getCellSize();
  const float cornerU = table.getCornerMin()[side.uAxis];
  const float cornerV = table.getCornerMin()[side.vAxis];
  const int width = workingWidth;
  // W(u, v): shadowed in the working grid (only asked inside the zone's range).
  auto W = [&](int u, int v) -> uint8_t& {
    return working[(size_t)(v - side.minV) * width + (u - side.minU)];
  };

  for (int u = side.minU; u < side.maxU; ++u) {
    const float U = cornerU + e * u;
    for (int v = side.minV; v < side.maxV; ++v) {
      const float V = cornerV + e * v;
      // A lit cell between two shadowed neighbours: the shadow edge runs along its diagonal.
      if (!isShadowCell(side, u, v)) {
        if (isShadowCell(side, u + 1, v) && isShadowCell(side, u, v - 1))
          sink.triangle(U, V, U + e, V, U + e, V + e);
        if (isShadowCell(side, u - 1, v) && isShadowCell(side, u, v + 1))
          sink.triangle(U, V, U + e, V + e, U, V + e);
      }
      if (W(u, v) == 0) continue;

      // Greedy rectangle: a run along u, then whole rows of it along v.
      W(u, v) = 0;
      int uEnd = u + 1;
      while (uEnd < side.maxU && W(uEnd, v) != 0) {
        checkNextCell(side.uAxis, uEnd, side.maxCubeInt);
        W(uEnd, v) = 0;
        ++uEnd;
      }
      checkRunEnd(side.uAxis, u, uEnd, side.maxCubeInt);
      int vEnd = v + 1;
      for (; vEnd < side.maxV; ++vEnd) {
        checkNextCell(side.vAxis, vEnd, side.maxCubeInt);
        uint8_t* row = &W(u, vEnd);
        bool isRowShadowed = true;
        for (int k = 0; k < uEnd - u && isRowShadowed; ++k) isRowShadowed = row[k] != 0;
        if (!isRowShadowed) break;
        std::memset(row, 0, (size_t)(uEnd - u));
      }
      checkRunEnd(side.vAxis, v, vEnd, side.maxCubeInt);

      const float U2 = cornerU + e * uEnd;
      const float V2 = cornerV + e * vEnd;
      sink.triangle(U, V, U2, V, U2, V2);
      sink.triangle(U, V, U2, V2, U, V2);
    }
  }
}
