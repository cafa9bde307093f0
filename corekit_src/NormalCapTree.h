#ifndef COREKIT_NORMALCAPTREE_H
#define COREKIT_NORMALCAPTREE_H

#include <cstddef>
#include <vector>

#include "BasicVector.h"

/// The distinct facet normals around one vertex ("ways"), each with the number of corners facing
/// it, in a k-d tree whose nodes know their bounding box, their corner count and their weighted
/// sum. It answers, for one way, the sum of the facet normals that pass the smoothing test
/// against it without testing them one by one: a vertex shared by tens of thousands of triangles
/// facing as many ways (the tip of a finely divided cone) would otherwise cost ways x corners.
///
/// The set summed is exactly the one the float test `isWithin` picks: a node is taken or left
/// whole only when its box decides the test with a margin that covers the float rounding;
/// elsewhere the test runs way by way. Only the order of the summation differs from a sum in
/// corner order, and it is done in double.
class NormalCapTree {
 public:
  /// The smoothing test: `other` joins the normal of a corner facing `way`.
  static bool isWithin(Float3 way, Float3 other, float cosAngle) {
    return way.x() * other.x() + way.y() * other.y() + way.z() * other.z() > cosAngle;
  }

  /// Builds the tree over these ways, each counted `counts[i]` times; the storage of the last
  /// build is reused.
  void build(const std::vector<Float3>& ways, const std::vector<size_t>& counts);
  /// Adds to `sum` every way that passes `isWithin(query, way, cosAngle)`, times its count,
  /// and answers the number of corners added (0: none passes).
  size_t sumWithin(Float3 query, float cosAngle, double sum[3]);

 private:
  struct Node {
    double low[3];
    double high[3];
    double sum[3];
    size_t count = 0;
    size_t first = 0;  ///< range of `order` below the node
    size_t last = 0;
    size_t children[2] = {0, 0};  ///< none for a leaf
  };

  /// Node over order[first, last), built by median splits along its widest axis.
  size_t buildNode(size_t first, size_t last);
  /// Adds the ways in order[first, last) that pass the test, one by one.
  size_t sumOneByOne(size_t first, size_t last, Float3 query, float cosAngle, double sum[3]) const;

  std::vector<Float3> points;
  std::vector<size_t> pointCounts;
  /// Indices of the ways: the tree's first, then those the box bounds cannot handle (a
  /// component that is not finite, or so large that the float test overflows).
  std::vector<size_t> order;
  size_t nbInTree = 0;
  std::vector<Node> nodes;
  std::vector<size_t> stack;
};

#endif
