#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "script/Graph.h"

namespace {

const Float3 a(0.f, 0.f, 0.f);
const Float3 b(10.f, 0.f, 0.f);
const Float3 c(10.f, 0.f, 10.f);
const Float3 d(0.f, 0.f, 10.f);

int countLines(const std::string& text, const std::string& prefix) {
  int count = 0;
  for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1))
    if (at == 0 || text[at - 1] == '\n') ++count;
  return count;
}

/// The search's result and its log.
struct Search {
  int result;
  std::string log;
};

Search search(Graph& graph, Float3 start, Float3 goal) {
  testing::internal::CaptureStdout();
  const int result = graph.findPathInGraph(start, goal);
  return {result, testing::internal::GetCapturedStdout()};
}

}  // namespace

TEST(PathGraphTest, StartAtTheGoalIsZeroSegmentsAndVisitsOneNode) {
  Graph graph;
  graph.addSegmentInGraph(a, b);
  const Search found = search(graph, a, a);
  EXPECT_EQ(found.result, 0);
  EXPECT_EQ(countLines(found.log, "node: "), 1);
  EXPECT_NE(found.log.find("start:1\n"), std::string::npos);
  EXPECT_NE(found.log.find("node: BasicVector<3,?(sizeof=4)> (0;0;0;)\n"), std::string::npos);
}

TEST(PathGraphTest, ChainIsFoundAndCutByRemovingASegment) {
  Graph graph;
  graph.addSegmentInGraph(a, b);
  graph.addSegmentInGraph(b, c);
  EXPECT_EQ(graph.getNodes().size(), 3u);
  EXPECT_EQ(search(graph, a, c).result, 2);
  EXPECT_EQ(search(graph, c, a).result, 2);

  graph.removeSegmentFromGraph(b, c);
  EXPECT_EQ(search(graph, a, c).result, -1);
  EXPECT_EQ(graph.findNode(c), nullptr);
  ASSERT_NE(graph.findNode(b), nullptr);
  EXPECT_EQ(graph.findNode(b)->neighbours.size(), 1u);
  // c is no node any more: a search from it finds no start.
  const Search fromC = search(graph, c, a);
  EXPECT_EQ(fromC.result, -1);
  EXPECT_NE(fromC.log.find("start:0\n"), std::string::npos);
  EXPECT_EQ(countLines(fromC.log, "node: "), 0);
}

TEST(PathGraphTest, CycleEndsAndEveryNodeIsVisitedOnce) {
  Graph graph;
  graph.addSegmentInGraph(a, b);
  graph.addSegmentInGraph(b, c);
  graph.addSegmentInGraph(c, d);
  graph.addSegmentInGraph(d, a);
  graph.addSegmentInGraph(a, a);  // a loop onto itself too
  const Float3 unreachable(99.f, 99.f, 99.f);
  graph.addSegmentInGraph(unreachable, Float3(98.f, 99.f, 99.f));
  const Search lost = search(graph, a, unreachable);
  EXPECT_EQ(lost.result, -1);
  EXPECT_EQ(countLines(lost.log, "node: "), 4);
  // Depth first in the order of the links: a -> b -> c -> d, so d is three segments away
  // although the closing segment d-a is one.
  EXPECT_EQ(search(graph, a, d).result, 3);
  // A goal that is no node at all.
  EXPECT_EQ(search(graph, a, Float3(5.f, 5.f, 5.f)).result, -1);
}

TEST(PathGraphTest, PointsDifferingInTheLastBitAreDifferentNodes) {
  Graph graph;
  const Float3 nearA(std::nextafter(0.f, 1.f), 0.f, 0.f);
  graph.addSegmentInGraph(a, b);
  graph.addSegmentInGraph(nearA, c);
  EXPECT_EQ(graph.getNodes().size(), 4u);
  EXPECT_EQ(search(graph, a, c).result, -1);
  EXPECT_EQ(search(graph, nearA, c).result, 1);
  // The same point reached twice is one node: -0 and +0 compare equal as floats.
  graph.addSegmentInGraph(Float3(-0.f, 0.f, 0.f), d);
  EXPECT_EQ(graph.getNodes().size(), 5u);
  EXPECT_EQ(search(graph, d, b).result, 2);
}

TEST(PathGraphTest, DoubleSegmentNeedsTwoRemovals) {
  Graph graph;
  graph.addSegmentInGraph(a, b);
  graph.addSegmentInGraph(a, b);
  EXPECT_EQ(graph.findNode(a)->neighbours.size(), 2u);
  graph.removeSegmentFromGraph(a, b);
  EXPECT_EQ(search(graph, a, b).result, 1);
  // The second removal frees both nodes; each still pointed at the other until then.
  graph.removeSegmentFromGraph(a, b);
  EXPECT_TRUE(graph.getNodes().empty());
  // Removing what is not there changes nothing.
  graph.addSegmentInGraph(a, b);
  graph.removeSegmentFromGraph(a, c);
  graph.removeSegmentFromGraph(c, d);
  EXPECT_EQ(graph.getNodes().size(), 2u);
  EXPECT_EQ(graph.findNode(a)->neighbours.size(), 1u);
}

TEST(PathGraphTest, SelfLoopIsRemovedWithoutTouchingAFreedNode) {
  Graph graph;
  graph.addSegmentInGraph(a, a);
  EXPECT_EQ(graph.getNodes().size(), 1u);
  EXPECT_EQ(graph.findNode(a)->neighbours.size(), 2u);
  graph.removeSegmentFromGraph(a, a);
  EXPECT_TRUE(graph.getNodes().empty());
  graph.removeSegmentFromGraph(a, a);
  EXPECT_TRUE(graph.getNodes().empty());
}

TEST(PathGraphTest, LongChainIsWalkedToItsEnd) {
  Graph graph;
  const int length = 3000;
  for (int i = 0; i < length; ++i)
    graph.addSegmentInGraph(Float3(static_cast<float>(i), 0.f, 0.f),
                            Float3(static_cast<float>(i + 1), 0.f, 0.f));
  const Search found = search(graph, a, Float3(static_cast<float>(length), 0.f, 0.f));
  EXPECT_EQ(found.result, length);
  EXPECT_EQ(countLines(found.log, "node: "), length + 1);
}

TEST(PathGraphTest, ClearEmptiesAndTheSharedGraphPersists) {
  Graph* shared = Graph::getInstance();
  EXPECT_EQ(shared, Graph::getInstance());
  shared->addSegmentInGraph(a, b);
  EXPECT_EQ(search(*shared, b, a).result, 1);
  shared->clearGraph();
  EXPECT_TRUE(shared->getNodes().empty());
  EXPECT_EQ(search(*shared, a, a).result, -1);
  // Not-a-number points never match, even themselves: they can be added but not found.
  const Float3 nan(std::nanf(""), 0.f, 0.f);
  shared->addSegmentInGraph(nan, a);
  EXPECT_EQ(search(*shared, nan, a).result, -1);
  EXPECT_EQ(search(*shared, a, nan).result, -1);
  shared->clearGraph();
}
