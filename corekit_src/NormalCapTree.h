#ifndef COREKIT_NORMALCAPTREE_H
#define COREKIT_NORMALCAPTREE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "BasicVector.h"

/// The distinct facet normals around one vertex ("ways"), each with the number of corners facing
/// it, in a k-d tree whose nodes know their bounding box, their corner count and their weighted
/// sum. It answers, for one way, the sum of the facet normals that pass the smoothing test
/// against it without testing them one by one: a vertex shared by tens of thousands of triangles
/// facing as many ways (the tip of a finely divided cone) would otherwise cost ways x corners.
///
/// The set summed is exactly the one the float test `isWithin` picks. The test's dot product,
/// rounded step by step, only grows when one component of the other normal moves the way of the
/// query's component, so over a box it is lowest at one corner and highest at the opposite one:
/// the test at those two corners takes or leaves a whole node, and the rest is tested way by way.
/// Only the order of the summation differs from a sum in corner order, and it is done in double.
class NormalCapTree {
 public:
  /// The smoothing test: `other` joins the normal of a corner facing `way`. (A build that fuses
  /// multiplications and additions must fuse this expression the same way wherever it is used.)
  static bool isWithin(Float3 way, Float3 other, float cosAngle) {
    return way.x() * other.x() + way.y() * other.y() + way.z() * other.z() > cosAngle;
  }

  /// Builds the tree over these ways (fewer than 2^32), each counted `counts[i]` times; the
  /// storage of the last build is reused.
  void build(const std::vector<Float3>& normals, const std::vector<size_t>& counts);
  /// Adds to `sum` every way that passes `isWithin(query, way, cosAngle)`, times its count,
  /// and answers the number of corners added (0: none passes).
  size_t sumWithin(Float3 query, float cosAngle, double sum[3]);

 private:
  struct Way {
    Float3 normal;
    size_t count;
  };
  struct Node {
    Float3 low;
    Float3 high;
    double sum[3];
    size_t count;
    uint32_t first;  ///< range of `ways` below the node
    uint32_t last;
    uint32_t second;  ///< index of the second child (the first follows the node); 0 for a leaf
  };

  /// Node over ways[first, last), split at the median along the axis after `axisBefore`.
  uint32_t buildNode(uint32_t first, uint32_t last, int axisBefore);
  /// Adds the ways in ways[first, last) that pass the test, one by one.
  size_t sumOneByOne(size_t first, size_t last, Float3 query, float cosAngle, double sum[3]) const;

  /// The tree's ways in its order, then those with a component that is no finite number, which
  /// have no place in a box.
  std::vector<Way> ways;
  uint32_t nbInTree = 0;
  std::vector<Node> nodes;
  std::vector<uint32_t> stack;
};

#endif
