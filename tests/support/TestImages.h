#ifndef TESTS_TESTIMAGES_H
#define TESTS_TESTIMAGES_H

#include <string>
#include <vector>

// Writers of small image files for tests that need fixtures (rows top to bottom as stored).

/// PNG through libpng. colorType and bitDepth as libpng takes them (PNG_COLOR_TYPE_*); `rows`
/// holds height rows of the matching byte layout (16-bit samples big-endian). `palette` holds
/// RGB triples for palette images; `transparency` the tRNS alpha bytes (none when empty).
void writeTestPng(const std::string& path, int width, int height, int colorType, int bitDepth,
                  const std::vector<unsigned char>& rows,
                  const std::vector<unsigned char>& palette = {},
                  const std::vector<unsigned char>& transparency = {});

/// 8-bit RGB (components 3) or RGBA (components 4) PNG from tightly packed rows.
void writeTestPng(const std::string& path, int width, int height, int components,
                  const std::vector<unsigned char>& pixels);

/// Baseline JPEG through libjpeg, quality 100; components 3 (RGB) or 1 (greyscale).
void writeTestJpeg(const std::string& path, int width, int height, int components,
                   const std::vector<unsigned char>& pixels);

/// The bytes of a file as a string, for TempDir::write.
std::string bytesToString(const std::vector<unsigned char>& bytes);

#endif
