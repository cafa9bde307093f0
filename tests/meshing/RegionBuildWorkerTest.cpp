// Also built with ThreadSanitizer by scripts/test (tests/threads): keep it free of GL and of
// the rest of the engine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "meshing/RegionBuildWorker.h"
#include "meshing/SharedRange.h"

namespace {

constexpr int maxParts = 8;

// Each part fills its own plain (non-atomic) list and notes the thread that ran it, so that a
// missing hand-over of the data shows up as a wrong sum, and under ThreadSanitizer as a race.
struct Job {
  std::vector<int> values[maxParts];
  std::thread::id ranBy[maxParts];
  int nbRuns[maxParts] = {};
  /// Part 0 waits (bounded) until another part has started, so that the worker must take one.
  bool waitForWorker = false;
  std::atomic<bool> otherStarted{false};

  static void run(void* context, int part) {
    Job& job = *static_cast<Job*>(context);
    if (part != 0) job.otherStarted.store(true);
    if (part == 0 && job.waitForWorker) {
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!job.otherStarted.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    }
    job.ranBy[part] = std::this_thread::get_id();
    ++job.nbRuns[part];
    for (int i = 0; i < 1000; ++i) job.values[part].push_back(i + part);
  }
};

// Parts of indices shared through SharedRange: the worker is slow, so the caller takes over
// upper halves of its part, and every index must still be done exactly once.
struct SharedJob {
  static constexpr uint32_t nbIndices = 400;
  SharedRange ranges[2];
  int done[2][nbIndices] = {};
  int nbTakeOvers = 0;
  std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> workerStarted{false};

  static void run(void* context, int part) {
    SharedJob& job = *static_cast<SharedJob*>(context);
    const bool isWorker = std::this_thread::get_id() != job.caller;
    // The caller's part waits (bounded) for the worker to hold the other one.
    if (isWorker) job.workerStarted.store(true);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!isWorker && !job.workerStarted.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    for (uint32_t from = 0, to = 0; job.ranges[part].claimNext(from, to, 1 + part * 3);) {
      for (uint32_t index = from; index < to; ++index) ++job.done[part][index];
      if (isWorker) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  }
  static bool takeOver(void* context) {
    SharedJob& job = *static_cast<SharedJob*>(context);
    for (int part = 0; part < 2; ++part) {
      uint32_t from = 0, to = 0;
      if (!job.ranges[part].takeUpperHalf(from, to)) continue;
      ++job.nbTakeOvers;
      for (uint32_t index = from; index < to; ++index) ++job.done[part][index];
      return true;
    }
    return false;
  }
};

}  // namespace

TEST(RegionBuildWorkerTest, EveryPartRunsOnceAndHandsItsDataBack) {
  RegionBuildWorker worker;
  int withWorker = 0;
  for (int round = 0; round < 300; ++round) {
    Job job;
    const int nbParts = 1 + round % maxParts;
    job.waitForWorker = nbParts >= 2 && round % 3 == 0;
    const int byWorker = worker.run(&Job::run, &job, nbParts);
    int countedByWorker = 0;
    for (int part = 0; part < nbParts; ++part) {
      ASSERT_EQ(job.nbRuns[part], 1) << part;
      countedByWorker += job.ranBy[part] != std::this_thread::get_id() ? 1 : 0;
      int sum = 0;
      for (int v : job.values[part]) sum += v;
      EXPECT_EQ(sum, 499500 + 1000 * part);
    }
    EXPECT_EQ(byWorker, countedByWorker);
    if (job.waitForWorker) {
      EXPECT_GE(byWorker, 1);
    }
    withWorker += byWorker > 0 ? 1 : 0;
  }
  EXPECT_GE(withWorker, 100);
  // A job of no part returns at once.
  EXPECT_EQ(worker.run(&Job::run, nullptr, 0), 0);
}

TEST(RegionBuildWorkerTest, TheCallerTakesOverWhatTheWorkerHasNotReached) {
  RegionBuildWorker worker;
  int withTakeOvers = 0;
  for (int round = 0; round < 20; ++round) {
    SharedJob job;
    for (SharedRange& range : job.ranges) range.reset(SharedJob::nbIndices);
    worker.run(&SharedJob::run, &job, 2, &SharedJob::takeOver);
    for (int part = 0; part < 2; ++part)
      for (uint32_t index = 0; index < SharedJob::nbIndices; ++index) ASSERT_EQ(job.done[part][index], 1) << part << " " << index;
    withTakeOvers += job.nbTakeOvers > 0 ? 1 : 0;
  }
  EXPECT_GE(withTakeOvers, 10);
  // Too little left to cut: nothing is taken.
  SharedRange range;
  range.reset(1);
  uint32_t from = 0, to = 0;
  EXPECT_FALSE(range.takeUpperHalf(from, to));
  range.reset(5);
  ASSERT_TRUE(range.takeUpperHalf(from, to));
  EXPECT_EQ(from, 2u);
  EXPECT_EQ(to, 5u);
}
