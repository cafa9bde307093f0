#ifndef COREKIT_FONT_H
#define COREKIT_FONT_H

#include <memory>
#include <string>

#include "BasicVector.h"

class ImageLoader;

/// Bitmap font read from one image holding the glyphs "!" to "~" left to right, each separated
/// by at least one fully transparent column. Only the texture is kept after loading.
class Font {
 public:
  static constexpr const char* defaultImageName = "images_engine/default_font.png";
  static constexpr int spaceWidth = 16;

  /// Loads the default font image.
  Font();
  explicit Font(const std::string& parFilename);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  /// Draws the text with its top left at (x, y); returns the position after the last character.
  Int2 drawText(const char* text, float scaleX, float scaleY, int x, int y);
  /// Width of the widest line of the first `length` characters (-1: the whole text).
  int getTextWidth(const char* text, int length, float scale) const;
  /// Image height: the height of a line at scale 1.
  int getHeight() const;
  int getImageWidth() const;
  /// True when the character has a glyph in the image.
  bool canDraw(unsigned char character) const;
  int getGlyphStart(unsigned char character) const { return glyphStart[character]; }
  int getGlyphWidth(unsigned char character) const { return glyphWidth[character]; }

  /// Finds the glyphs of "!" to "~" in RGBA rows (alpha decides which columns are inked);
  /// characters without a glyph get -1 in both tables. Never reads past the image.
  static void findGlyphs(const unsigned char* rgbaPixels, int width, int height,
                         int parGlyphStart[256], int parGlyphWidth[256]);

 private:

  std::unique_ptr<ImageLoader> image;
  int glyphStart[256];  ///< -1 = no glyph
  int glyphWidth[256];  ///< -1 = no glyph
};

#endif
