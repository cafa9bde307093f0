#include "FuzzHarness.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Assert.h"

namespace {

// Thrown by the assertion hook; only the harness catches it.
struct FatalReport {};

[[noreturn]] void unwindToHarness(const std::string&) { throw FatalReport(); }

// Rewriting a file on a disk file system costs milliseconds (its blocks are flushed on
// truncation); memory-backed /dev/shm keeps the targets that read files fast.
std::string makeDirectory() {
  std::string pattern = "/dev/shm/enginefuzz.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    pattern = "/tmp/enginefuzz.XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) std::abort();
  }
  return pattern;
}

// The directory goes when the process ends normally.
struct Directory {
  std::string path = makeDirectory();
  ~Directory() { std::filesystem::remove_all(path); }
};

}  // namespace

namespace FuzzHarness {

void run(const std::function<void()>& parse) {
  setAssertionHook(unwindToHarness);
  try {
    parse();
  } catch (const FatalReport&) {
  }
}

std::string writeFile(const std::string& name, const uint8_t* data, size_t size) {
  static const Directory directory;
  const std::string path = directory.path + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return path;
}

FILE* openBytes(const uint8_t* data, size_t size) {
  // fmemopen refuses an empty buffer: an empty input reads as an empty file.
  static char none = 0;
  FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : fmemopen(&none, 1, "r");
  if (file == nullptr) std::abort();
  if (size == 0) std::fgetc(file);
  return file;
}

}  // namespace FuzzHarness
