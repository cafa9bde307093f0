#include "FileManager.h"

#include <sys/stat.h>

#include <fstream>

bool FileManager::fileExists(const std::string& path) {
  // A directory opens as a stream on Linux; it is not a data file.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  std::ifstream file(path.c_str(), std::ios::in | std::ios::binary);
  return file.good();
}
