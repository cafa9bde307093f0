#include "TempDir.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "world/WorldFile.h"

TempDir::TempDir() {
  char pattern[] = "/tmp/engine-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  dirPath = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dirPath, ignored);
}

std::string TempDir::file(const std::string& name) const { return dirPath + "/" + name; }

std::string TempDir::write(const std::string& name, const std::string& content) const {
  const std::string full = file(name);
  std::filesystem::create_directories(std::filesystem::path(full).parent_path());
  std::ofstream out(full, std::ios::binary);
  out << content;
  return full;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

namespace {

/// Removed at exit only by the process that made it: a death test's child exits too, and must
/// not take the file away from its parent.
struct ProcessTempDir {
  TempDir* dir = new TempDir;
  const pid_t owner = getpid();
  ~ProcessTempDir() {
    if (getpid() == owner) delete dir;
  }
};

}  // namespace

const std::string& emptyWorldFile() {
  static ProcessTempDir holder;
  static const std::string path = [] {
    WorldFile file;
    file.putEmptyWorld();
    const std::string name = holder.dir->file("world.dat");
    if (!file.writeTo(name)) throw std::runtime_error("cannot write " + name);
    return name;
  }();
  return path;
}
