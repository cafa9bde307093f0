#include "ImageLoader.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <jpeglib.h>
#include <png.h>
#include <setjmp.h>
#include <stdio.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <vector>

#include "FileCloser.h"
#include "SpriteManager.h"
#include "Assert.h"

namespace {

// What an image file may claim, checked before anything is allocated for it, so that a small
// damaged or hostile file cannot ask for gigabytes: no side beyond what an OpenGL texture can
// take, and no more pixels, once stretched to powers of two, than a 4096 x 4096 texture.
constexpr int maxImageSide = ImageLoader::maxSide;
constexpr int64_t maxImagePixels = ImageLoader::maxPixels;

// Progressive JPEG files of real pictures have about ten scans; a file with thousands of tiny
// scans makes the decoder go over the whole picture thousands of times.
constexpr int maxJpegScans = 256;
// libjpeg's own working memory (whole-picture coefficient buffers of progressive files).
constexpr long maxJpegMemory = 256L * 1024 * 1024;

struct DecodedImage {
  std::unique_ptr<unsigned char[]> pixels;
  int width = 0;
  int height = 0;
  bool isAlpha = false;
};

bool endsWith(const std::string& text, const char* suffix) {
  const size_t length = strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

bool isImageSizeAllowed(int64_t width, int64_t height) {
  const bool isSideAllowed = width > 0 && height > 0 && width <= maxImageSide && height <= maxImageSide;
  return isSideAllowed && static_cast<int64_t>(ImageLoader::nextPowerOfTwo(static_cast<int>(width))) *
                                  ImageLoader::nextPowerOfTwo(static_cast<int>(height)) <=
                              maxImagePixels;
}

void checkImageSize(int64_t width, int64_t height, const std::string& path) {
  assert(isImageSizeAllowed(width, height),
         "loadImage : unsupported image size in " + path + ": " + std::to_string(width) + " x " +
             std::to_string(height) + " pixels (at most " + std::to_string(maxImageSide) +
             " a side and " + std::to_string(maxImagePixels) +
             " pixels once stretched to powers of two)");
}

// Output column i takes source column width - 1 - i, in every row.
void reverseColumns(unsigned char* pixels, int width, int height, int bytesPerPixel) {
  const size_t stride = static_cast<size_t>(width) * bytesPerPixel;
  for (int y = 0; y < height; ++y) {
    unsigned char* row = pixels + stride * y;
    for (int left = 0, right = width - 1; left < right; ++left, --right)
      std::swap_ranges(row + static_cast<size_t>(left) * bytesPerPixel,
                       row + static_cast<size_t>(left + 1) * bytesPerPixel,
                       row + static_cast<size_t>(right) * bytesPerPixel);
  }
}

// Output row i takes source row height - 1 - i.
void reverseRows(unsigned char* pixels, int width, int height, int bytesPerPixel) {
  const size_t stride = static_cast<size_t>(width) * bytesPerPixel;
  std::vector<unsigned char> swap(stride);
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    unsigned char* a = pixels + stride * top;
    unsigned char* b = pixels + stride * bottom;
    memcpy(swap.data(), a, stride);
    memcpy(a, b, stride);
    memcpy(b, swap.data(), stride);
  }
}

// ---------------------------------------------------------------------------------------- JPEG

struct JpegErrorManager {
  jpeg_error_mgr base;
  jmp_buf recovery;
};

// libjpeg must never get control back after a fatal error: show its message, then leave the
// decoder through the recovery point.
void jpegErrorExit(j_common_ptr info) {
  (*info->err->output_message)(info);
  longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->recovery, 1);
}

void jpegProgress(j_common_ptr info) {
  const jpeg_decompress_struct* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > maxJpegScans) {
    std::fprintf(stderr, "loadJpeg : more than %d scans\n", maxJpegScans);
    longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->recovery, 1);
  }
}

DecodedImage loadJpeg(FILE* file, const std::string& path, bool verbose) {
  if (verbose) std::cout << "(jpeg)" << std::flush;
  DecodedImage image;
  jpeg_decompress_struct info;
  JpegErrorManager errorManager;
  jpeg_progress_mgr progress;
  std::cout << "chmu1\n";
  info.err = jpeg_std_error(&errorManager.base);
  errorManager.base.error_exit = jpegErrorExit;
  std::cout << "chmu2\n";
  if (setjmp(errorManager.recovery)) {
    jpeg_destroy_decompress(&info);
    assert(false, "loadJpeg : cannot load jpeg file " + path);
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = maxJpegMemory;
  progress.progress_monitor = jpegProgress;
  info.progress = &progress;
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  // The decoder goes before a report that may unwind (the destroy calls below likewise).
  if (!isImageSizeAllowed(info.image_width, info.image_height)) jpeg_destroy_decompress(&info);
  checkImageSize(info.image_width, info.image_height, path);
  // Greyscale pictures come out as RGB like the others; colour spaces libjpeg cannot turn into
  // RGB (CMYK) fail in jpeg_start_decompress and take the error path.
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    assert(false, "loadJpeg : cannot load jpeg file " + path);
  }
  if (!isImageSizeAllowed(info.output_width, info.output_height)) jpeg_destroy_decompress(&info);
  checkImageSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height), path);
  image.width = static_cast<int>(info.output_width);
  image.height = static_cast<int>(info.output_height);
  const size_t stride = static_cast<size_t>(image.width) * 3;
  image.pixels.reset(new unsigned char[stride * image.height]);
  // Top row first, like every other format.
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.pixels.get() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  image.isAlpha = false;
  return image;
}

// ----------------------------------------------------------------------------------------- PNG

[[noreturn]] void pngFailure(const char* message) { assertNoCondition(false, message); }

DecodedImage loadPng(FILE* file, const std::string& path, bool verbose) {
  if (verbose) std::cout << "(png)" << std::flush;
  // Everything that lives across the recovery points is declared first, so that a jump back
  // skips no destructor.
  DecodedImage image;
  std::vector<png_bytep> rows;
  png_byte signature[8];
  if (fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0)
    pngFailure("[read_png_file] File is not recognized as a PNG file");

  // The version string must be the one of the library we link with, or libpng refuses.
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) pngFailure("[read_png_file] png_create_read_struct failed");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    pngFailure("[read_png_file] png_create_info_struct failed");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    pngFailure("[read_png_file] Error during init_io");
  }
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, maxImageSide, maxImageSide);
  png_read_info(png, info);
  const int width = static_cast<int>(png_get_image_width(png, info));
  const int height = static_cast<int>(png_get_image_height(png, info));
  if (!isImageSizeAllowed(width, height)) png_destroy_read_struct(&png, &info, nullptr);
  checkImageSize(width, height, path);

  // The rest of the engine takes 3 or 4 bytes per pixel: palettes, grey levels, transparency
  // chunks and 16-bit samples (keeping the most significant byte) become 8-bit RGB or RGBA.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    pngFailure("[read_png_file] Error during read_image");
  }
  const size_t rowBytes = png_get_rowbytes(png, info);
  const int bytesPerPixel = static_cast<int>(rowBytes / width);
  if ((bytesPerPixel != 3 && bytesPerPixel != 4) ||
      rowBytes != static_cast<size_t>(width) * bytesPerPixel) {
    png_destroy_read_struct(&png, &info, nullptr);
    pngFailure("[read_png_file] Error during read_image");
  }
  image.width = width;
  image.height = height;
  image.isAlpha = (bytesPerPixel == 4);
  image.pixels.reset(new unsigned char[rowBytes * height]);
  rows.resize(height);
  for (int y = 0; y < height; ++y) rows[y] = image.pixels.get() + rowBytes * y;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

// ----------------------------------------------------------------------------------------- TGA

// Bounded reading of the bytes of a TGA file held in memory; running off the end is the fatal
// report of a truncated file.
class TgaBytes {
 public:
  TgaBytes(const std::vector<unsigned char>& parBytes, const std::string& parPath)
      : bytes(parBytes), path(parPath) {}

  const unsigned char* take(size_t count) {
    assert(count <= bytes.size() - position, "loadTga : truncated tga file " + path);
    const unsigned char* start = bytes.data() + position;
    position += count;
    return start;
  }
  size_t remaining() const { return bytes.size() - position; }

 private:
  const std::vector<unsigned char>& bytes;
  const std::string& path;
  size_t position = 0;
};

std::vector<unsigned char> readWholeFile(FILE* file) {
  std::vector<unsigned char> bytes;
  unsigned char buffer[65536];
  size_t count;
  while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + count);
  return bytes;
}

struct TgaFormat {
  int type;
  int depth;
  int fileBytesPerPixel;   // bytes of one pixel value in the file
  int components;          // output components before the grey levels are widened
  const unsigned char* colorMap;
  int colorMapLength;
};

// A 5-bit channel over the whole 0-255 range: 0 stays 0 and 31 becomes 255.
unsigned char expandFiveBits(int word) {
  const int value = word & 31;
  return static_cast<unsigned char>(value << 3 | value >> 2);
}

// Writes one file pixel value as `format.components` bytes.
void decodeTgaPixel(const TgaFormat& format, const unsigned char* in, unsigned char* out,
                    const std::string& path) {
  switch (format.type) {
    case 1:
    case 9: {
      const int index = in[0];
      assert(index < format.colorMapLength, "loadTga : colour map index out of range in " + path);
      const unsigned char* entry = format.colorMap + index * 3;
      out[0] = entry[2];
      out[1] = entry[1];
      out[2] = entry[0];
      break;
    }
    case 2:
    case 10:
      if (format.depth == 16) {
        const int word = in[0] | (in[1] << 8);
        out[0] = expandFiveBits(word >> 10);
        out[1] = expandFiveBits(word >> 5);
        out[2] = expandFiveBits(word);
      } else {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        if (format.components == 4) out[3] = in[3];
      }
      break;
    default:  // 3 and 11: grey, or grey and alpha
      out[0] = in[0];
      if (format.components == 2) out[1] = in[1];
      break;
  }
}

DecodedImage loadTga(FILE* file, const std::string& path, bool verbose) {
  if (verbose) std::cout << "(tga)" << std::flush;
  const std::vector<unsigned char> fileBytes = readWholeFile(file);
  TgaBytes bytes(fileBytes, path);
  const unsigned char* header = bytes.take(18);
  const int idLength = header[0];
  const int colorMapType = header[1];
  const int type = header[2];
  const int colorMapLength = header[5] | (header[6] << 8);
  const int colorMapEntryBits = header[7];
  const int width = header[12] | (header[13] << 8);
  const int height = header[14] | (header[15] << 8);
  const int depth = header[16];
  // Bit 5 of the image descriptor: rows stored top to bottom instead of the usual bottom-up;
  // bit 4: pixels stored right to left instead of the usual left to right.
  const bool isTopDown = (header[17] & 0x20) != 0;
  const bool isRightToLeft = (header[17] & 0x10) != 0;
  bytes.take(idLength);

  DecodedImage image;
  const bool isMapped = (type == 1 || type == 9);
  const bool isTrueColor = (type == 2 || type == 10);
  const bool isGrey = (type == 3 || type == 11);
  if (!isMapped && !isTrueColor && !isGrey) {
    // Type 0 holds no image data at all; it gives no image like the unknown types.
    fprintf(stderr, "error: unknown TGA image type %i!\n", type);
    return image;
  }

  TgaFormat format{type, depth, 0, 0, nullptr, 0};
  if (isGrey) {
    assert(depth == 8 || depth == 16, "loadTga : unsupported pixel depth in " + path);
    format.components = (depth == 8) ? 1 : 2;
    format.fileBytesPerPixel = format.components;
  } else if (isTrueColor) {
    assert(depth == 16 || depth == 24 || depth == 32,
           "loadTga : unsupported pixel depth in " + path);
    format.components = (depth > 24) ? 4 : 3;
    format.fileBytesPerPixel = depth / 8;
  } else {
    // Colour-mapped pixels are one-byte indices into a map of 3-byte blue, green, red entries.
    assert(depth == 8 && colorMapType != 0 && colorMapEntryBits == 24,
           "loadTga : unsupported colour map in " + path);
    format.components = 3;
    format.fileBytesPerPixel = 1;
  }
  checkImageSize(width, height, path);
  if (colorMapType != 0) {
    format.colorMap = bytes.take(static_cast<size_t>(colorMapLength) * ((colorMapEntryBits + 7) / 8));
    format.colorMapLength = colorMapLength;
  }

  const size_t nbPixels = static_cast<size_t>(width) * height;
  const bool isRunLength = (type >= 9);
  // A run-length packet gives at most 128 pixels and takes at least its header byte and one
  // pixel value: a file that cannot hold the image is refused before the image is allocated.
  const size_t leastFileBytes =
      isRunLength ? (nbPixels + 127) / 128 * (1 + format.fileBytesPerPixel)
                  : nbPixels * format.fileBytesPerPixel;
  assert(leastFileBytes <= bytes.remaining(), "loadTga : truncated tga file " + path);

  const int components = format.components;
  std::unique_ptr<unsigned char[]> decoded(new unsigned char[nbPixels * components]);
  if (!isRunLength) {
    const unsigned char* in = bytes.take(nbPixels * format.fileBytesPerPixel);
    for (size_t i = 0; i < nbPixels; ++i)
      decodeTgaPixel(format, in + i * format.fileBytesPerPixel, decoded.get() + i * components,
                     path);
  } else {
    size_t pixel = 0;
    while (pixel < nbPixels) {
      const int packetHeader = *bytes.take(1);
      // A packet running past the end of the image is clipped to it.
      const size_t count = std::min<size_t>((packetHeader & 127) + 1, nbPixels - pixel);
      if (packetHeader & 128) {
        unsigned char value[4];
        decodeTgaPixel(format, bytes.take(format.fileBytesPerPixel), value, path);
        for (size_t i = 0; i < count; ++i)
          memcpy(decoded.get() + (pixel + i) * components, value, components);
      } else {
        const unsigned char* in = bytes.take(count * format.fileBytesPerPixel);
        for (size_t i = 0; i < count; ++i)
          decodeTgaPixel(format, in + i * format.fileBytesPerPixel,
                         decoded.get() + (pixel + i) * components, path);
      }
      pixel += count;
    }
  }

  image.width = width;
  image.height = height;
  if (isGrey) {
    // Grey levels are widened to RGB (RGBA with their alpha) like every other image.
    image.isAlpha = (components == 2);
    const int outComponents = image.isAlpha ? 4 : 3;
    image.pixels.reset(new unsigned char[nbPixels * outComponents]);
    for (size_t i = 0; i < nbPixels; ++i) {
      unsigned char* out = image.pixels.get() + i * outComponents;
      out[0] = out[1] = out[2] = decoded[i * components];
      if (image.isAlpha) out[3] = decoded[i * components + 1];
    }
  } else {
    image.isAlpha = (components == 4);
    image.pixels = std::move(decoded);
  }
  // The picture's top row comes first and its left column first, whichever way the file
  // stores them.
  if (!isTopDown) reverseRows(image.pixels.get(), width, height, image.isAlpha ? 4 : 3);
  if (isRightToLeft) reverseColumns(image.pixels.get(), width, height, image.isAlpha ? 4 : 3);
  return image;
}

}  // namespace

// ---------------------------------------------------------------------------------- ImageLoader

ImageLoader::ImageLoader(const std::string& parFilename, bool verbose) : name(parFilename) {
  std::cout << "Loading image '" << parFilename << "' ... " << std::flush;
  pixels = loadImage(parFilename, height, width, isAlpha, verbose);
  texture = SpriteManager::createTexture(pixels.get(), width, height, isAlpha);
  std::cout << "done." << std::endl;
}

ImageLoader::ImageLoader()
    : pixels(new unsigned char[4 * 4 * 3]()), width(4), height(4), isAlpha(false) {}

ImageLoader::~ImageLoader() {
  if (!name.empty()) std::cout << "Freeing image '" << name << "'" << std::endl;
  if (texture != -1) {
    const GLuint textureName = static_cast<GLuint>(texture);
    glDeleteTextures(1, &textureName);
  }
}

void ImageLoader::createTextureFromPixels() {
  if (texture != -1) {
    const GLuint textureName = static_cast<GLuint>(texture);
    glDeleteTextures(1, &textureName);
  }
  texture = SpriteManager::createTexture(pixels.get(), width, height, isAlpha);
}

int ImageLoader::nextPowerOfTwo(int size) {
  int power = 2;
  while (power < size) power *= 2;
  return power;
}

std::unique_ptr<unsigned char[]> ImageLoader::decodeImage(FILE* file, const std::string& path,
                                                          int& parHeight, int& parWidth,
                                                          bool& parIsAlpha, bool verbose) {
  std::string upperEnd = path.size() >= 4 ? path.substr(path.size() - 4) : path;
  for (char& c : upperEnd) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  const bool isJpeg = (path.size() >= 5 && (endsWith(path, ".jpg") || endsWith(path, ".JPG"))) ||
                      (path.size() >= 6 && (endsWith(path, ".jpeg") || endsWith(path, ".JPEG")));
  const bool isPng = path.size() > 4 && (endsWith(path, ".png") || endsWith(path, ".PNG"));
  const bool isTga = (upperEnd == ".TGA");

  DecodedImage image;
  if (isJpeg) {
    image = loadJpeg(file, path, verbose);
  } else if (isPng) {
    image = loadPng(file, path, verbose);
  } else if (isTga) {
    image = loadTga(file, path, verbose);
  } else {
    assert(false, "loadImage : File format not recognised" + path);
  }
  parHeight = image.height;
  parWidth = image.width;
  parIsAlpha = image.isAlpha;
  return std::move(image.pixels);
}

std::unique_ptr<unsigned char[]> ImageLoader::loadImage(const std::string& path, int& parHeight,
                                                        int& parWidth, bool& parIsAlpha,
                                                        bool verbose) {
  // Images are read from disk; the engine installs no data pack.
  if (verbose) std::cout << "Loading image '" << path << "'" << " ..." << std::flush;
  const UniqueFile file(fopen(path.c_str(), "rb"));
  assert(file != NULL, "loadImage: can't open '" + path + "'");

  DecodedImage image;
  image.pixels = decodeImage(file.get(), path, image.height, image.width, image.isAlpha, verbose);

  bool isStretched = false;
  if (image.pixels) {
    const int width2 = nextPowerOfTwo(image.width);
    const int height2 = nextPowerOfTwo(image.height);
    if (width2 != image.width || height2 != image.height) {
      const int bytesPerPixel = image.isAlpha ? 4 : 3;
      std::unique_ptr<unsigned char[]> stretched(
          new unsigned char[static_cast<size_t>(width2) * height2 * bytesPerPixel]);
      // Rows are tightly packed, whatever alignment the rest of the program left set.
      glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      glPixelStorei(GL_PACK_ROW_LENGTH, 0);
      glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
      const GLenum format = image.isAlpha ? GL_RGBA : GL_RGB;
      const int result = gluScaleImage(format, image.width, image.height, GL_UNSIGNED_BYTE,
                                       image.pixels.get(), width2, height2, GL_UNSIGNED_BYTE,
                                       stretched.get());
      glPopClientAttrib();
      assert(result == 0, "loadImage : cannot stretch " + path);
      image.pixels = std::move(stretched);
      image.width = width2;
      image.height = height2;
      isStretched = true;
    }
  }
  if (verbose) {
    if (isStretched) std::cout << " (image was streched) ";
    std::cout << "... done (width=" << image.width << " height=" << image.height
              << " isAlpha=" << (image.isAlpha ? 1 : 0) << ")" << std::endl;
  }
  parHeight = image.height;
  parWidth = image.width;
  parIsAlpha = image.isAlpha;
  return std::move(image.pixels);
}
