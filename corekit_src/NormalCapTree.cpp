#include "NormalCapTree.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t leafSize = 16;

}  // namespace

void NormalCapTree::build(const std::vector<Float3>& normals, const std::vector<size_t>& counts) {
  ways.clear();
  for (size_t i = 0; i < normals.size(); ++i)
    if (isFinite(normals[i])) ways.push_back({normals[i], counts[i]});
  nbInTree = static_cast<uint32_t>(ways.size());
  for (size_t i = 0; i < normals.size(); ++i)
    if (!isFinite(normals[i])) ways.push_back({normals[i], counts[i]});
  nodes.clear();
  if (nbInTree > 0) buildNode(0, nbInTree, 2);
}

uint32_t NormalCapTree::buildNode(uint32_t first, uint32_t last, int axisBefore) {
  Node node;
  node.low = ways[first].normal;
  node.high = node.low;
  for (int k = 0; k < 3; ++k) node.sum[k] = 0.0;
  node.count = 0;
  node.first = first;
  node.last = last;
  node.second = 0;
  for (uint32_t i = first; i < last; ++i) {
    const Way& way = ways[i];
    for (int k = 0; k < 3; ++k) {
      node.low[k] = std::min(node.low[k], way.normal[k]);
      node.high[k] = std::max(node.high[k], way.normal[k]);
      node.sum[k] += static_cast<double>(way.normal[k]) * static_cast<double>(way.count);
    }
    node.count += way.count;
  }
  const uint32_t index = static_cast<uint32_t>(nodes.size());
  nodes.push_back(node);
  if (last - first <= leafSize) return index;

  // The axes take turns, whatever their extents: splitting by rank keeps the boxes balanced
  // in every coordinate, so the surface where the test turns (the test only grows along each
  // axis) crosses few of them even when the ways lie in a sheet far thinner than it is wide.
  // An axis on which all the ways agree is passed over.
  int axis = axisBefore;
  for (int turn = 1; turn <= 3; ++turn) {
    axis = (axisBefore + turn) % 3;
    if (node.high[axis] > node.low[axis]) break;
  }
  const uint32_t middle = first + (last - first) / 2;
  std::nth_element(ways.begin() + first, ways.begin() + middle, ways.begin() + last,
                   [axis](const Way& a, const Way& b) { return a.normal[axis] < b.normal[axis]; });
  buildNode(first, middle, axis);
  nodes[index].second = buildNode(middle, last, axis);
  return index;
}

size_t NormalCapTree::sumOneByOne(size_t first, size_t last, Float3 query, float cosAngle,
                                  double sum[3]) const {
  size_t count = 0;
  for (size_t i = first; i < last; ++i) {
    const Way& way = ways[i];
    if (isWithin(query, way.normal, cosAngle)) {
      for (int k = 0; k < 3; ++k)
        sum[k] += static_cast<double>(way.normal[k]) * static_cast<double>(way.count);
      count += way.count;
    }
  }
  return count;
}

size_t NormalCapTree::sumWithin(Float3 query, float cosAngle, double sum[3]) {
  // A query with a component that is no finite number has no corner to compare.
  if (!isFinite(query)) return sumOneByOne(0, ways.size(), query, cosAngle, sum);
  size_t count = sumOneByOne(nbInTree, ways.size(), query, cosAngle, sum);
  if (nbInTree == 0) return count;

  bool isRising[3];
  for (int k = 0; k < 3; ++k) isRising[k] = query[k] >= 0.f;
  stack.assign(1, 0);
  while (!stack.empty()) {
    const uint32_t index = stack.back();
    stack.pop_back();
    const Node& node = nodes[index];
    // The corners of the box where the test's dot product is lowest and highest. When products
    // overflow to opposite infinities at the highest corner (no number, no pass), every way of
    // the box has the one to minus infinity and passes no test either.
    Float3 lowest, highest;
    for (int k = 0; k < 3; ++k) {
      lowest[k] = isRising[k] ? node.low[k] : node.high[k];
      highest[k] = isRising[k] ? node.high[k] : node.low[k];
    }
    if (isWithin(query, lowest, cosAngle)) {
      for (int k = 0; k < 3; ++k) sum[k] += node.sum[k];
      count += node.count;
    } else if (!isWithin(query, highest, cosAngle)) {
      continue;
    } else if (node.second == 0) {
      count += sumOneByOne(node.first, node.last, query, cosAngle, sum);
    } else {
      stack.push_back(node.second);
      stack.push_back(index + 1);
    }
  }
  return count;
}
