#include "NormalCapTree.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t leafSize = 8;
/// The float test's dot product of three terms is off by at most about 1.8e-7 of the sum of
/// the terms' magnitudes; a node is decided whole only beyond a few times that.
constexpr double relativeMargin = 1e-6;
/// Products below float's normal range are rounded to absolute steps of about 1e-45.
constexpr double absoluteMargin = 1e-30;
/// Beyond this a float product of two components can overflow, and the box bounds, taken in
/// double, no longer tell what the float test answers.
constexpr float largestBounded = 1e18f;

bool isBounded(Float3 v) {
  for (int k = 0; k < 3; ++k)
    if (!(std::fabs(v[k]) <= largestBounded)) return false;
  return true;
}

void addTimes(double sum[3], Float3 v, size_t count) {
  for (int k = 0; k < 3; ++k) sum[k] += static_cast<double>(v[k]) * static_cast<double>(count);
}

}  // namespace

void NormalCapTree::build(const std::vector<Float3>& ways, const std::vector<size_t>& counts) {
  points.assign(ways.begin(), ways.end());
  pointCounts.assign(counts.begin(), counts.end());
  order.clear();
  for (size_t i = 0; i < points.size(); ++i)
    if (isBounded(points[i])) order.push_back(i);
  nbInTree = order.size();
  for (size_t i = 0; i < points.size(); ++i)
    if (!isBounded(points[i])) order.push_back(i);
  nodes.clear();
  if (nbInTree > 0) buildNode(0, nbInTree);
}

size_t NormalCapTree::buildNode(size_t first, size_t last) {
  Node node;
  node.first = first;
  node.last = last;
  for (int k = 0; k < 3; ++k) {
    node.low[k] = points[order[first]][k];
    node.high[k] = node.low[k];
    node.sum[k] = 0.0;
  }
  for (size_t i = first; i < last; ++i) {
    const Float3 p = points[order[i]];
    for (int k = 0; k < 3; ++k) {
      node.low[k] = std::min(node.low[k], static_cast<double>(p[k]));
      node.high[k] = std::max(node.high[k], static_cast<double>(p[k]));
    }
    addTimes(node.sum, p, pointCounts[order[i]]);
    node.count += pointCounts[order[i]];
  }
  const size_t index = nodes.size();
  nodes.push_back(node);
  if (last - first <= leafSize) return index;

  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (node.high[k] - node.low[k] > node.high[axis] - node.low[axis]) axis = k;
  const size_t middle = first + (last - first) / 2;
  std::nth_element(order.begin() + first, order.begin() + middle, order.begin() + last,
                   [&](size_t a, size_t b) { return points[a][axis] < points[b][axis]; });
  const size_t left = buildNode(first, middle);
  const size_t right = buildNode(middle, last);
  nodes[index].children[0] = left;
  nodes[index].children[1] = right;
  return index;
}

size_t NormalCapTree::sumOneByOne(size_t first, size_t last, Float3 query, float cosAngle,
                                  double sum[3]) const {
  size_t count = 0;
  for (size_t i = first; i < last; ++i) {
    const Float3 p = points[order[i]];
    if (isWithin(query, p, cosAngle)) {
      addTimes(sum, p, pointCounts[order[i]]);
      count += pointCounts[order[i]];
    }
  }
  return count;
}

size_t NormalCapTree::sumWithin(Float3 query, float cosAngle, double sum[3]) {
  // A query the bounds cannot handle is tested against every way.
  if (!isBounded(query)) return sumOneByOne(0, order.size(), query, cosAngle, sum);
  size_t count = sumOneByOne(nbInTree, order.size(), query, cosAngle, sum);
  if (nbInTree == 0) return count;

  const double q[3] = {query.x(), query.y(), query.z()};
  const double threshold = cosAngle;
  stack.assign(1, 0);
  while (!stack.empty()) {
    const Node& node = nodes[stack.back()];
    stack.pop_back();
    // The exact dot product of the query with any point of the box lies in [low, high].
    double low = 0.0, high = 0.0, magnitude = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double a = q[k] * node.low[k];
      const double b = q[k] * node.high[k];
      low += std::min(a, b);
      high += std::max(a, b);
      magnitude += std::max(std::fabs(a), std::fabs(b));
    }
    const double margin = relativeMargin * magnitude + absoluteMargin;
    if (low - margin > threshold) {
      for (int k = 0; k < 3; ++k) sum[k] += node.sum[k];
      count += node.count;
    } else if (high + margin <= threshold) {
      continue;
    } else if (node.children[0] == 0) {
      count += sumOneByOne(node.first, node.last, query, cosAngle, sum);
    } else {
      stack.push_back(node.children[0]);
      stack.push_back(node.children[1]);
    }
  }
  return count;
}
