#include "KilledSave.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "TempDir.h"

KilledSave::KilledSave(const std::string& parPath, std::function<void(int)> parSave)
    : path(parPath), save(std::move(parSave)) {}

int KilledSave::run(int nbKills) {
  // The two contents, each written completely once; the file then holds the odd one.
  save(0);
  const std::string even = readFile(path);
  const auto start = std::chrono::steady_clock::now();
  save(1);
  const auto oneSave = std::chrono::steady_clock::now() - start;
  const std::string odd = readFile(path);
  EXPECT_NE(even, odd);
  int64_t window = std::max<int64_t>(2000, std::chrono::duration_cast<std::chrono::microseconds>(oneSave).count());

  std::mt19937 random(12345);
  int nbKilled = 0;
  for (int round = 0; round < 4 * nbKills && nbKilled < nbKills; ++round) {
    const pid_t child = fork();
    if (child == 0) {
      save(round);
      _exit(0);
    }
    EXPECT_GT(child, 0);
    if (child <= 0) return nbKilled;
    std::this_thread::sleep_for(std::chrono::microseconds(random() % window));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // A child that finished first had a faster save than measured: aim earlier.
    if (WIFSIGNALED(status))
      ++nbKilled;
    else
      window = std::max<int64_t>(1000, window * 3 / 4);
    const std::string now = readFile(path);
    EXPECT_TRUE(now == even || now == odd) << "round " << round << ": " << now.size() << " bytes, not "
                                           << even.size() << " or " << odd.size();
  }
  // A save after the kills (over their temporary file) still completes.
  save(0);
  EXPECT_EQ(readFile(path), even);
  return nbKilled;
}
