#include "script/Graph.h"

#include <iostream>

Graph* Graph::getInstance() {
  static Graph graph;
  return &graph;
}

void Graph::clearGraph() { nodes.clear(); }

GraphNode* Graph::findNode(Float3 position) const {
  for (size_t i = nodes.size(); i-- > 0;)
    if (nodes[i]->position == position) return nodes[i].get();
  return nullptr;
}

void Graph::addSegmentInGraph(Float3 a, Float3 b) {
  GraphNode* nodeA = findNode(a);
  if (nodeA == nullptr) {
    nodes.push_back(std::make_unique<GraphNode>(a));
    nodeA = nodes.back().get();
  }
  GraphNode* nodeB = findNode(b);
  if (nodeB == nullptr) {
    nodes.push_back(std::make_unique<GraphNode>(b));
    nodeB = nodes.back().get();
  }
  nodeB->neighbours.push_back(nodeA);
  nodeA->neighbours.push_back(nodeB);
}

void Graph::removeLink(GraphNode* node, Float3 other) {
  if (node == nullptr) return;
  std::vector<GraphNode*>& neighbours = node->neighbours;
  for (size_t i = 0; i < neighbours.size(); ++i)
    if (neighbours[i]->position == other) {
      neighbours.erase(neighbours.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

void Graph::dropIfUnlinked(GraphNode* node) {
  if (node == nullptr || !node->neighbours.empty()) return;
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].get() == node) {
      nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

void Graph::removeSegmentFromGraph(Float3 a, Float3 b) {
  // Both links go before either node does: b still points at a until its own link is removed.
  // Links come in pairs, so a node left without links is then no one's neighbour and is freed.
  GraphNode* nodeA = findNode(a);
  GraphNode* nodeB = findNode(b);
  removeLink(nodeA, b);
  removeLink(nodeB, a);
  dropIfUnlinked(nodeA);
  if (nodeB != nodeA) dropIfUnlinked(nodeB);
}

int Graph::findPathInGraph(Float3 start, Float3 goal) {
  for (const std::unique_ptr<GraphNode>& node : nodes) node->visited = false;
  GraphNode* startNode = nullptr;
  size_t startNumber = 0;
  for (size_t i = nodes.size(); i-- > 0;)
    if (nodes[i]->position == start) {
      startNode = nodes[i].get();
      startNumber = i + 1;
      break;
    }
  std::cout << "start:" << startNumber << std::endl;
  if (startNode == nullptr) return -1;

  // Depth-first search with an explicit stack, so that a long chain cannot exhaust the call
  // stack; the visiting order and the result are those of the recursive search: a node's depth
  // is the number of steps below it on the stack.
  auto visit = [&goal](GraphNode* node) {
    std::cout << "node: " << node->position << std::endl;
    node->visited = true;
    return node->position == goal;
  };
  searchStack.clear();
  if (visit(startNode)) return 0;
  searchStack.push_back({startNode, 0});
  while (!searchStack.empty()) {
    SearchStep& step = searchStack.back();
    if (step.nextNeighbour == step.node->neighbours.size()) {
      searchStack.pop_back();
      continue;
    }
    GraphNode* next = step.node->neighbours[step.nextNeighbour++];
    if (next->visited) continue;
    if (visit(next)) {
      const int length = static_cast<int>(searchStack.size());
      searchStack.clear();
      return length;
    }
    searchStack.push_back({next, 0});
  }
  return -1;
}
