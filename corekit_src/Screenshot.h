#ifndef COREKIT_SCREENSHOT_H
#define COREKIT_SCREENSHOT_H

#include <cstdint>
#include <string>

/// Pictures of the window: what the frame drew, read back before the buffers are swapped and
/// written as a PNG file with a time-stamped name.
class Screenshot {
 public:
  /// The window's back buffer (window size, opaque RGB) written to `directory` (created when
  /// missing) as "screenshot-YYYYMMDD-HHMMSS-mmm.png", local time. Answers the file's path, or
  /// "" when it could not be written (reported as a problem).
  static std::string saveWindow(const std::string& directory);

  /// The file name of a picture taken at that wall-clock time (seconds since 1970 and the
  /// microseconds within the second), local time.
  static std::string fileName(int64_t seconds, int64_t microseconds);
};

#endif
