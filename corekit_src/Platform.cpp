#include "Platform.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace Platform {

namespace {

int64_t microsecondsOf(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

int64_t getMicroseconds() { return microsecondsOf(CLOCK_MONOTONIC); }

int64_t getProcessCpuMicroseconds() { return microsecondsOf(CLOCK_PROCESS_CPUTIME_ID); }

int64_t getThreadCpuMicroseconds() { return microsecondsOf(CLOCK_THREAD_CPUTIME_ID); }

void getWallClock(int64_t& seconds, int64_t& microseconds) {
  timeval now;
  gettimeofday(&now, nullptr);
  seconds = now.tv_sec;
  microseconds = now.tv_usec;
}

bool makeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat info;
  return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void sleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
  }
}

void showConsoleReport(const std::string& caption, const std::string& text) {
  (void)text;
  if (!isatty(STDIN_FILENO)) return;
  std::fprintf(stderr, "[%s] press Enter to continue...\n", caption.c_str());
  std::fflush(stderr);
  int c;
  do {
    c = std::getchar();
  } while (c != '\n' && c != EOF);
}

std::vector<std::string> getArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  arguments.reserve(argc > 0 ? argc : 0);
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  return arguments;
}

}  // namespace Platform
