#ifndef COREKIT_PNGWRITER_H
#define COREKIT_PNGWRITER_H

// The one PNG writer: the asset generators and the engine's screenshots.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>

/// Writes `pixels` (tightly packed rows, top row first, 8 bits per channel, 3 channels for RGB
/// or 4 for RGBA) as a PNG image to an open stream, which the caller closes (the engine writes
/// through a crash-safe temporary file). `compressionLevel` is zlib's 0..9, or -1 for libpng's
/// default.
inline bool writePng(FILE* file, const unsigned char* pixels, int width, int height, int channels,
                     int compressionLevel = -1) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (compressionLevel >= 0) png_set_compression_level(png, compressionLevel);
  png_write_info(png, info);
  const size_t rowBytes = static_cast<size_t>(width) * channels;
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(pixels + static_cast<size_t>(y) * rowBytes));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

/// The same into a new file (or one replaced in place, for the asset generators).
inline bool writePng(const std::string& path, const unsigned char* pixels, int width, int height,
                     int channels, int compressionLevel = -1) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = writePng(file, pixels, width, height, channels, compressionLevel);
  return std::fclose(file) == 0 && written;
}

#endif
