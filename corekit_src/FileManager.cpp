#include "FileManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

bool FileManager::fileExists(const std::string& path) {
  // A directory opens as a stream on Linux; it is not a data file.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  std::ifstream file(path.c_str(), std::ios::in | std::ios::binary);
  return file.good();
}

std::vector<std::string> FileManager::listFiles(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (fileExists((std::filesystem::path(directory) / name).string())) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}
