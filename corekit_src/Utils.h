#ifndef COREKIT_UTILS_H
#define COREKIT_UTILS_H

#include <cstdint>
#include <string>

/// Small string helpers and the engine's two clocks.
class Utils {
 public:
  /// New NUL-terminated copy of text[beginning, end); the caller frees it with delete[].
  static char* copyFragmentOfStringIntoNewString(const char* text, int beginning, int end);

  /// "%d" of n in a new buffer of exactly the needed size; the caller frees it with delete[].
  static char* intToNewString(int n);
  static std::string intToString(int n);

  /// New wide copy (length + 1 wide characters) of text; the caller frees it with delete[].
  static wchar_t* stringToWideString(const std::string& text);
  /// Same length; each character is the low byte of the wide character.
  static std::string wideStringToString(const std::wstring& text);

  /// Microseconds from the high-resolution clock; all frame timing uses it.
  static int64_t getTimeMicroseconds();

  /// Milliseconds of wall-clock time since the whole second of the first call.
  static int64_t getTimeMs();
};

#endif
