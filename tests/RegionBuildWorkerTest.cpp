// Also built with ThreadSanitizer by scripts/test (tests/threads): keep it free of GL and of
// the rest of the engine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "RegionBuildWorker.h"

namespace {

// Each part fills its own half of plain (non-atomic) data and notes the thread that ran it, so
// that a missing hand-over of the data shows up as a wrong sum, and under ThreadSanitizer as a race.
struct Job {
  std::vector<int> values[2];
  std::thread::id ranBy[2];
  int nbRuns[2] = {0, 0};
  /// Part 0 waits (bounded) until part 1 has started, so that the worker must take part 1.
  bool waitForPart1 = false;
  std::atomic<bool> part1Started{false};

  static void run(void* context, int part) {
    Job& job = *static_cast<Job*>(context);
    if (part == 1) job.part1Started.store(true);
    if (part == 0 && job.waitForPart1) {
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!job.part1Started.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    }
    job.ranBy[part] = std::this_thread::get_id();
    ++job.nbRuns[part];
    for (int i = 0; i < 1000; ++i) job.values[part].push_back(i + part);
  }
};

int sum(const std::vector<int>& values) {
  int total = 0;
  for (int v : values) total += v;
  return total;
}

}  // namespace

TEST(RegionBuildWorkerTest, EveryJobRunsBothPartsOnceAndHandsTheirDataBack) {
  RegionBuildWorker worker;
  int byWorker = 0;
  for (int round = 0; round < 300; ++round) {
    Job job;
    job.waitForPart1 = round % 3 == 0;
    const bool workerRan = worker.run(&Job::run, &job);
    byWorker += workerRan ? 1 : 0;
    ASSERT_EQ(job.nbRuns[0], 1);
    ASSERT_EQ(job.nbRuns[1], 1);
    EXPECT_EQ(job.ranBy[0], std::this_thread::get_id());
    // The caller takes part 1 over only when the worker had not started it.
    EXPECT_EQ(workerRan, job.ranBy[1] != std::this_thread::get_id());
    if (job.waitForPart1) {
      EXPECT_TRUE(workerRan);
    }
    EXPECT_EQ(sum(job.values[0]), 499500);
    EXPECT_EQ(sum(job.values[1]), 500500);
  }
  EXPECT_GE(byWorker, 100);
}
