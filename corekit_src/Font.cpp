#include "Font.h"

#include <algorithm>
#include <vector>

#include "ImageLoader.h"
#include "Scene2D.h"
#include "Assert.h"

namespace {

constexpr int firstGlyph = 33;  // "!"
constexpr int lastGlyph = 126;  // "~"

int clampToCoordinate(long long value) { return Scene2D::toCoordinate(static_cast<double>(value)); }

}  // namespace

Font::Font() : Font(defaultImageName) {}

Font::Font(const std::string& parFilename) : image(new ImageLoader(parFilename, false)) {
  assert(image->getIsAlpha());
  findGlyphs(image->getPixels(), image->getWidth(), image->getHeight(), glyphStart, glyphWidth);
  image->releasePixels();
}

Font::~Font() = default;

// Glyphs lie left to right separated by fully transparent columns. Each glyph keeps one empty
// column on its left and the empty columns up to three past its ink on its right, clipped to
// the image, so that a short or tightly packed image never reads past its last column.
void Font::findGlyphs(const unsigned char* pixels, int width, int height,
                      int parGlyphStart[256], int parGlyphWidth[256]) {
  std::fill(parGlyphStart, parGlyphStart + 256, -1);
  std::fill(parGlyphWidth, parGlyphWidth + 256, -1);
  if (pixels == nullptr || width <= 0 || height <= 0) return;

  std::vector<bool> isInked(static_cast<std::size_t>(width), false);
  for (int row = 0; row < height; ++row) {
    const unsigned char* line = pixels + static_cast<std::size_t>(row) * width * 4;
    for (int col = 0; col < width; ++col)
      if (line[col * 4 + 3] != 0) isInked[col] = true;
  }

  int col = 0;
  while (col < width && !isInked[col]) ++col;
  for (int character = firstGlyph; character <= lastGlyph && col < width; ++character) {
    int start = col - 1;
    while (col < width && isInked[col]) ++col;
    if (col < width) ++col;  // the separating empty column
    int end = std::min(col + 2, width);
    start = std::max(start, 0);
    parGlyphStart[character] = start;
    parGlyphWidth[character] = end - start;
    while (col < width && !isInked[col]) ++col;
  }
}

int Font::getHeight() const { return image->getHeight(); }

int Font::getImageWidth() const { return image->getWidth(); }

bool Font::canDraw(unsigned char character) const { return glyphWidth[character] > 0; }

Int2 Font::drawText(const char* text, float scaleX, float scaleY, int x, int y) {
  assert(text != NULL);
  const int imageWidth = image->getWidth();
  const int imageHeight = image->getHeight();
  const int texture = image->getTexture();
  const int advanceSpace = Scene2D::toCoordinate(static_cast<double>(scaleX) * spaceWidth);
  const int lineHeight = Scene2D::toCoordinate(static_cast<double>(imageHeight) * scaleY);
  // 64-bit running position: a long text at a huge scale must not overflow.
  long long cx = x;
  long long cy = y;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    if (*c == ' ') {
      cx += advanceSpace;
    } else if (*c == '\n') {
      cx = x;
      cy += lineHeight;
    } else if (canDraw(*c)) {
      int start = glyphStart[*c];
      int glyph = glyphWidth[*c];
      Scene2D::drawTexturedRectangle(
          clampToCoordinate(cx), clampToCoordinate(cy), texture,
          static_cast<float>(start) / imageWidth, 0.f,
          static_cast<float>(start + glyph) / imageWidth, 1.f,
          Scene2D::toCoordinate(static_cast<double>(glyph) * scaleX), lineHeight);
      cx += Scene2D::toCoordinate(static_cast<double>(scaleX) * glyph);
    }
  }
  return Int2(clampToCoordinate(cx), clampToCoordinate(cy));
}

int Font::getTextWidth(const char* text, int length, float scale) const {
  if (text == nullptr) return 0;
  const int advanceSpace = Scene2D::toCoordinate(static_cast<double>(scale) * spaceWidth);
  long long widest = 0;
  long long line = 0;
  for (int i = 0; text[i] != '\0' && (length < 0 || i < length); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ')
      line += advanceSpace;
    else if (c == '\n')
      line = 0;
    else if (canDraw(c))
      line += Scene2D::toCoordinate(static_cast<double>(scale) * glyphWidth[c]);
    widest = std::max(widest, line);
  }
  return clampToCoordinate(widest);
}
