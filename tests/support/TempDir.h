#ifndef TESTS_TEMPDIR_H
#define TESTS_TEMPDIR_H

#include <string>

/// A fresh directory under /tmp, removed with its content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return dirPath; }
  /// path() + "/" + name
  std::string file(const std::string& name) const;
  /// Writes `content` into path()/name (creating sub-directories) and returns the full path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string dirPath;
};

/// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::string& path);

/// Path of a world file without cube types, zones or objects (the 2 x 2 x 2 region table),
/// written once per test process into a temporary directory. Tests that need a world to start
/// from use it rather than the sample game's world.dat, which holds a whole landscape.
const std::string& emptyWorldFile();

#endif
