#ifndef COREKIT_FILEMANAGER_H
#define COREKIT_FILEMANAGER_H

#include <string>

/// Access to the data files, read from ordinary files relative to the working directory.
class FileManager {
 public:
  /// True when the file opens for reading as a stream (a directory or an unreadable file: false).
  static bool fileExists(const std::string& path);
};

#endif
