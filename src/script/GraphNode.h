#ifndef ENGINE_GRAPHNODE_H
#define ENGINE_GRAPHNODE_H

#include <vector>

#include "BasicVector.h"

/// A point of the path graph with the points it is linked to. Links are kept in the order they
/// were added, a segment added twice links twice. The nodes belong to the Graph.
class GraphNode {
 public:
  explicit GraphNode(Float3 parPosition) : position(parPosition) {}

  Float3 position;
  std::vector<GraphNode*> neighbours;
  bool visited = false;
};

#endif
