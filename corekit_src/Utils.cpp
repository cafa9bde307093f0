#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform.h"
#include "Utils.h"
#include "Assert.h"

char* Utils::copyFragmentOfStringIntoNewString(const char* text, int beginning, int end) {
  assert(beginning < end, "copyFragmentOfStringIntoNewString: end <= beginning");
  const int length = end - beginning;
  char* copy = new char[length + 1];
  std::strncpy(copy, text + beginning, length);
  copy[length] = '\0';
  return copy;
}

char* Utils::intToNewString(int n) {
  int size = 2;
  if (n != 0) {
    // Digits counted on the 64-bit magnitude: |INT_MIN| does not fit an int.
    const long long magnitude = std::llabs(static_cast<long long>(n));
    size = static_cast<int>(std::floor(std::log10(static_cast<double>(magnitude)))) + 2;
    if (n < 0) size += 1;
  }
  char* text = new char[size];
  std::snprintf(text, size, "%d", n);
  return text;
}

std::string Utils::intToString(int n) {
  char* text = intToNewString(n);
  std::string result(text);
  delete[] text;
  return result;
}

wchar_t* Utils::stringToWideString(const std::string& text) {
  wchar_t* wide = new wchar_t[text.size() + 1];
  const size_t converted = std::mbstowcs(wide, text.c_str(), text.size() + 1);
  if (converted == static_cast<size_t>(-1)) {
    // Not valid in the current locale: fall back to one wide character per byte.
    for (size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
    wide[text.size()] = L'\0';
  }
  return wide;
}

std::string Utils::wideStringToString(const std::wstring& text) {
  std::string narrow(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i] & 0xFF);
  return narrow;
}

int64_t Utils::getTimeMicroseconds() { return Platform::getMicroseconds(); }

int64_t Utils::getTimeMs() {
  // The base is set on the first call, which happens on the main thread before any worker runs.
  static int64_t baseSeconds = -1;
  int64_t seconds = 0;
  int64_t microseconds = 0;
  Platform::getWallClock(seconds, microseconds);
  if (baseSeconds < 0) baseSeconds = seconds;
  return (seconds - baseSeconds) * 1000 + microseconds / 1000;
}
