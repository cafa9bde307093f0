#include "TestImages.h"

#include <jpeglib.h>
#include <png.h>
#include <stdio.h>

#include <stdexcept>

void writeTestPng(const std::string& path, int width, int height, int colorType, int bitDepth,
                  const std::vector<unsigned char>& rows, const std::vector<unsigned char>& palette,
                  const std::vector<unsigned char>& transparency) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(file);
    throw std::runtime_error("libpng failed writing " + path);
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> colors;
  for (size_t i = 0; i + 2 < palette.size(); i += 3)
    colors.push_back(png_color{palette[i], palette[i + 1], palette[i + 2]});
  if (!colors.empty()) png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
  if (!transparency.empty())
    png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()), nullptr);
  png_write_info(png, info);
  const size_t stride = rows.size() / height;
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<unsigned char*>(rows.data()) + stride * y);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  fclose(file);
}

void writeTestPng(const std::string& path, int width, int height, int components,
                  const std::vector<unsigned char>& pixels) {
  writeTestPng(path, width, height, components == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               8, pixels);
}

void writeTestJpeg(const std::string& path, int width, int height, int components,
                   const std::vector<unsigned char>& pixels) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(pixels.data()) +
                   static_cast<size_t>(info.next_scanline) * width * components;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  fclose(file);
}

std::string bytesToString(const std::vector<unsigned char>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}
