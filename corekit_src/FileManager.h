#ifndef COREKIT_FILEMANAGER_H
#define COREKIT_FILEMANAGER_H

#include <string>
#include <vector>

/// Access to the data files, read from ordinary files relative to the working directory.
class FileManager {
 public:
  /// True when the file opens for reading as a stream (a directory or an unreadable file: false).
  static bool fileExists(const std::string& path);
  /// Names of the data files (as fileExists takes them, not directories) in the directory, in
  /// name order; none when it cannot be read.
  static std::vector<std::string> listFiles(const std::string& directory);
};

#endif
