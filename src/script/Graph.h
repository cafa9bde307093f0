#ifndef ENGINE_GRAPH_H
#define ENGINE_GRAPH_H

#include <memory>
#include <vector>

#include "BasicVector.h"
#include "script/GraphNode.h"

/// The undirected graph of segments that the script builds to ask whether one point can be
/// reached from another. Nodes are identified by exact position: two points are one node only
/// when their three coordinates compare equal as floats. One graph serves the whole run
/// (getInstance); it is emptied only by clearGraph.
class Graph {
 public:
  Graph() = default;
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  /// The graph the script functions use.
  static Graph* getInstance();

  /// Frees every node.
  void clearGraph();
  /// Links the nodes at a and b, creating the missing ones at the end of the node list.
  void addSegmentInGraph(Float3 a, Float3 b);
  /// Removes one link between a and b from each side; a node left without links leaves the
  /// graph. Points that are not nodes are ignored.
  void removeSegmentFromGraph(Float3 a, Float3 b);
  /// Number of segments of the first path that a depth-first search finds from start to goal
  /// (0 when start is the goal), -1 when start is not a node or goal cannot be reached.
  /// Logs "start:" and one "node: " line per visited node.
  int findPathInGraph(Float3 start, Float3 goal);

  /// Node at exactly that position (the last one in the list), null when there is none.
  GraphNode* findNode(Float3 position) const;
  const std::vector<std::unique_ptr<GraphNode>>& getNodes() const { return nodes; }

 private:
  /// Removes from `node` (null: nothing) its first link to a node at `other`.
  static void removeLink(GraphNode* node, Float3 other);
  /// Takes a node without links out of the graph and frees it.
  void dropIfUnlinked(GraphNode* node);

  std::vector<std::unique_ptr<GraphNode>> nodes;
  /// Depth-first search stack, kept between searches.
  struct SearchStep {
    GraphNode* node;
    size_t nextNeighbour;
  };
  std::vector<SearchStep> searchStack;
};

#endif
