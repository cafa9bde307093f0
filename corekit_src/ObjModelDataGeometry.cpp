// ObjModelData spans two source files: ObjModelData.cpp reads the OBJ file and its MTL library
// and draws the model; this file computes from the geometry (scale, normals, welding, the
// segment test).
#include "ObjModelData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "NormalCapTree.h"
#include "Assert.h"

namespace {

/// Unit vector along v; (0, 0, 0) stays (0, 0, 0).
Float3 normalized(Float3 v) {
  const float length = std::sqrt(dot(v, v));
  if (!(length > 0.f)) return Float3(0.f, 0.f, 0.f);
  return v / length;
}

}  // namespace

void ObjModelData::scale(float factor) {
  for (size_t i = 1; i < vertices.size(); ++i)
    for (int k = 0; k < 3; ++k) vertices[i][k] *= factor;
}

void ObjModelData::computeFacetNormals() {
  facetnorms.reset(new Float3[triangles.size()]);
  for (size_t i = 0; i < triangles.size(); ++i) {
    const ObjTriangle& triangle = triangles[i];
    const Float3 p0 = vertices[triangle.vindices[0]];
    const Float3 u = vertices[triangle.vindices[1]] - p0;
    const Float3 v = vertices[triangle.vindices[2]] - p0;
    facetnorms[triangle.findex] = normalized(cross(u, v));
  }
}

void ObjModelData::computeVertexNormals(float angle) {
  assert(facetnorms, "glmVertexNormals(): the facet normals are needed");
  const float cosAngle = static_cast<float>(std::cos(angle * 3.14159265358979323846 / 180.0));
  const size_t nbVertices = vertices.size();

  // The corners around each vertex, as (triangle, corner) pairs in one flat list.
  std::vector<size_t> firstCorner(nbVertices + 1, 0);
  for (const ObjTriangle& triangle : triangles)
    for (int c = 0; c < 3; ++c) ++firstCorner[triangle.vindices[c] + 1];
  for (size_t i = 1; i <= nbVertices; ++i) firstCorner[i] += firstCorner[i - 1];
  std::vector<std::pair<int, int>> cornerList(triangles.size() * 3);
  std::vector<size_t> fill(firstCorner.begin(), firstCorner.end() - 1);
  for (size_t t = 0; t < triangles.size(); ++t)
    for (int c = 0; c < 3; ++c)
      cornerList[fill[triangles[t].vindices[c]]++] = {static_cast<int>(t), c};

  // Every corner gets the normalised sum, in corner order, of the facet normals around its
  // vertex that pass the angle test against its own. Corners with the same facet normal get the
  // same sum, so it is computed once per distinct facet normal around the vertex: a vertex shared
  // by many triangles facing the same few ways (a fan, a flat region, a repeated face) costs
  // its corners times those few ways instead of its corners squared.
  // When all the facet normals around a vertex lie within half the angle (less a margin for
  // rounding) of one axis, every pair passes the test and all corners share one sum.
  // A vertex with many ways and many corners (a finely divided cone tip) takes its sums from a
  // tree over its ways instead: the same facet normals are summed, in double and in another
  // order, so its normals agree with the sum in corner order to rounding. Every model of
  // ordinary detail (a sphere's pole of 256 segments) stays on the sum in corner order.
  constexpr size_t maxWaysSummedInOrder = 64;
  constexpr size_t maxTestsSummedInOrder = 65536;
  const double halfAngle = angle * 0.5 - 0.01;
  const bool canShareOneSum = halfAngle > 0.0 && halfAngle < 90.0;
  const float cosHalfAngle =
      static_cast<float>(std::cos(halfAngle * 3.14159265358979323846 / 180.0));
  normals.assign(1, Float3(0.f, 0.f, 0.f));
  normals.reserve(triangles.size() * 3 + 1);
  std::vector<std::pair<std::array<uint32_t, 3>, size_t>> keys;  // facet normal bits, corner
  std::vector<size_t> cornerWay;  // per corner of the vertex: index of its distinct normal
  std::vector<Float3> ways;       // the distinct facet normals around the vertex
  std::vector<size_t> wayCounts;  // corners facing each way
  std::vector<Float3> sums;       // per way: its sum, then that sum normalised
  std::vector<char> isAveraged;
  NormalCapTree tree;
  for (size_t vertex = 1; vertex < nbVertices; ++vertex) {
    const size_t begin = firstCorner[vertex];
    const size_t end = firstCorner[vertex + 1];
    if (begin == end) std::fprintf(stderr, "glmVertexNormals(): vertex w/o a triangle\n");
    const auto facetOf = [&](size_t corner) {
      return facetnorms[triangles[cornerList[corner].first].findex];
    };

    keys.clear();
    for (size_t i = begin; i < end; ++i) {
      const Float3 n = facetOf(i);
      std::array<uint32_t, 3> bits;
      std::memcpy(bits.data(), &n[0], sizeof(float));
      std::memcpy(bits.data() + 1, &n[1], sizeof(float));
      std::memcpy(bits.data() + 2, &n[2], sizeof(float));
      keys.emplace_back(bits, i - begin);
    }
    std::sort(keys.begin(), keys.end());
    ways.clear();
    wayCounts.clear();
    cornerWay.resize(end - begin);
    for (size_t k = 0; k < keys.size(); ++k) {
      if (k == 0 || keys[k].first != keys[k - 1].first) {
        ways.push_back(facetOf(begin + keys[k].second));
        wayCounts.push_back(0);
      }
      cornerWay[keys[k].second] = ways.size() - 1;
      ++wayCounts.back();
    }

    Float3 axis(0.f, 0.f, 0.f);
    for (const Float3& way : ways) axis += way;
    axis = normalized(axis);
    bool isOneSum = canShareOneSum && !ways.empty();
    for (size_t w = 0; w < ways.size() && isOneSum; ++w) isOneSum = dot(ways[w], axis) > cosHalfAngle;

    sums.assign(ways.size(), Float3(0.f, 0.f, 0.f));
    isAveraged.assign(ways.size(), 0);
    if (isOneSum || ways.size() <= maxWaysSummedInOrder ||
        ways.size() * (end - begin) <= maxTestsSummedInOrder) {
      for (size_t w = 0; w < ways.size(); ++w) {
        if (isOneSum && w > 0) {
          sums[w] = sums[0];
          isAveraged[w] = isAveraged[0];
          continue;
        }
        for (size_t j = begin; j < end; ++j) {
          const Float3 other = facetOf(j);
          if (isOneSum || NormalCapTree::isWithin(ways[w], other, cosAngle)) {
            sums[w] += other;
            isAveraged[w] = 1;
          }
        }
      }
      for (size_t w = 0; w < ways.size(); ++w) sums[w] = normalized(sums[w]);
    } else {
      tree.build(ways, wayCounts);
      for (size_t w = 0; w < ways.size(); ++w) {
        double sum[3] = {0.0, 0.0, 0.0};
        isAveraged[w] = tree.sumWithin(ways[w], cosAngle, sum) > 0;
        sums[w] = normalized(Float3(static_cast<float>(sum[0]), static_cast<float>(sum[1]),
                                    static_cast<float>(sum[2])));
      }
    }
    for (size_t i = begin; i < end; ++i) {
      const size_t way = cornerWay[i - begin];
      int normalIndex = 0;
      if (isAveraged[way]) {
        normalIndex = static_cast<int>(normals.size());
        normals.push_back(sums[way]);
      }
      triangles[cornerList[i].first].nindices[cornerList[i].second] = normalIndex;
    }
  }
}

void ObjModelData::weld(float distance) {
  std::vector<Float3> kept;
  kept.reserve(vertices.size());
  kept.push_back(Float3(0.f, 0.f, 0.f));
  std::vector<int> replacement(vertices.size(), 0);
  for (size_t i = 1; i < vertices.size(); ++i) {
    const Float3 v = vertices[i];
    size_t found = 0;
    for (size_t j = 1; j < kept.size() && found == 0; ++j)
      if (std::fabs(kept[j].x() - v.x()) <= distance && std::fabs(kept[j].y() - v.y()) <= distance &&
          std::fabs(kept[j].z() - v.z()) <= distance)
        found = j;
    if (found == 0) {
      found = kept.size();
      kept.push_back(v);
    }
    replacement[i] = static_cast<int>(found);
  }
  for (ObjTriangle& triangle : triangles)
    for (int c = 0; c < 3; ++c) triangle.vindices[c] = replacement[triangle.vindices[c]];
  vertices.swap(kept);
}

bool ObjModelData::intersectSegment(Float3 a, Float3 b, Float3& hitPoint) const {
  for (const ObjTriangle& triangle : triangles) {
    const Float3 p[3] = {vertices[triangle.vindices[0]], vertices[triangle.vindices[1]],
                         vertices[triangle.vindices[2]]};
    if (p[0] == p[1] || p[1] == p[2] || p[0] == p[2]) continue;
    const Float3 normal = facetnorms[triangle.findex];
    const float da = dot(normal, a - p[0]);
    const float db = dot(normal, b - p[0]);
    if ((da > 0.f && db > 0.f) || (da < 0.f && db < 0.f) || da == db) continue;
    const float along = da / (da - db);
    const Float3 crossing(a.x() + (b.x() - a.x()) * along, a.y() + (b.y() - a.y()) * along,
                          a.z() + (b.z() - a.z()) * along);

    // Inside test in the coordinate plane that the triangle covers best: drop the axis along
    // which the normal points most.
    int drop = 0;
    for (int k = 1; k < 3; ++k)
      if (std::fabs(normal[k]) > std::fabs(normal[drop])) drop = k;
    const int u = drop == 0 ? 1 : 0;
    const int v = drop == 2 ? 1 : 2;
    bool hasPositive = false, hasNegative = false;
    for (int e = 0; e < 3; ++e) {
      const Float3& from = p[e];
      const Float3& to = p[(e + 1) % 3];
      const float side = (to[u] - from[u]) * (crossing[v] - from[v]) -
                         (to[v] - from[v]) * (crossing[u] - from[u]);
      hasPositive = hasPositive || side > 0.f;
      hasNegative = hasNegative || side < 0.f;
    }
    if (hasPositive && hasNegative) continue;
    hitPoint = crossing;
    return true;
  }
  return false;
}
