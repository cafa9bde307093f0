#ifndef COREKIT_IMAGELOADER_H
#define COREKIT_IMAGELOADER_H

#include <cstdio>
#include <memory>
#include <string>

#include "BasicVector.h"

/// One image read from a PNG, JPEG or TGA file into tightly packed 8-bit RGB or RGBA rows,
/// stretched to power-of-two sides, together with the OpenGL texture made from it.
/// Every format comes out as 3 (RGB) or 4 (RGBA) bytes per pixel: grey, palette and 16-bit
/// images are converted (16-bit TGA channels over the whole 0-255 range). Every format comes
/// out top row first and left column first, whatever order the file stores them in, so one
/// picture draws the same whatever its format.
/// Needs the OpenGL context of the window (stretching and the texture).
class ImageLoader {
 public:
  /// Loads the file (a damaged or unknown file is a fatal report) and makes its texture.
  /// Prints "Loading image '<path>' ... done." (the loading details too when verbose).
  explicit ImageLoader(const std::string& parFilename, bool verbose = false);
  /// Blank image: 4 x 4 RGB, 48 zero bytes for the caller to fill, no texture, no name.
  ImageLoader();
  /// Prints "Freeing image '<name>'" for a named image; frees the pixels and the texture.
  ~ImageLoader();
  ImageLoader(const ImageLoader&) = delete;
  ImageLoader& operator=(const ImageLoader&) = delete;

  int getWidth() const { return width; }
  int getHeight() const { return height; }
  Int2 getSize() const { return Int2(width, height); }
  bool getIsAlpha() const { return isAlpha; }
  /// width x height x (4 if alpha else 3) bytes, rows in the order above; null once released.
  unsigned char* getPixels() { return pixels.get(); }
  const unsigned char* getPixels() const { return pixels.get(); }
  /// Frees the pixels (the texture stays); for users that only need the texture.
  void releasePixels() { pixels.reset(); }
  /// OpenGL texture name, -1 while there is none.
  int getTexture() const { return texture; }
  /// Makes the texture from the current pixels (for blank images once filled); a previous
  /// texture of this image is deleted.
  void createTextureFromPixels();
  /// The path it was loaded from; empty for a blank image.
  const std::string& getName() const { return name; }

  /// Reads an image file into a new pixel array, stretched to power-of-two sides (at least 2),
  /// and writes its height, width and alpha flag. Null (sizes 0) when the file holds no image
  /// (an unknown TGA image type). Any other failure is a fatal report.
  static std::unique_ptr<unsigned char[]> loadImage(const std::string& path, int& parHeight,
                                                    int& parWidth, bool& parIsAlpha,
                                                    bool verbose);

  /// The same reading from a file already open, without stretching (no OpenGL needed); the
  /// file stays open. `path` picks the format and names the file in reports.
  static std::unique_ptr<unsigned char[]> decodeImage(FILE* file, const std::string& path,
                                                      int& parHeight, int& parWidth,
                                                      bool& parIsAlpha, bool verbose);

  /// Largest side, and largest pixel count once stretched to powers of two, that an image file
  /// may claim; more is refused with a fatal report before anything is allocated for it.
  static constexpr int maxSide = 16384;
  static constexpr long long maxPixels = 4096LL * 4096;

  /// Smallest power of two that is at least `size` and at least 2.
  static int nextPowerOfTwo(int size);

 private:
  std::unique_ptr<unsigned char[]> pixels;
  int width = 0;
  int height = 0;
  bool isAlpha = false;
  int texture = -1;
  std::string name;
};

#endif
