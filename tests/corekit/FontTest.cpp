#include <gtest/gtest.h>

#include <GL/glew.h>

#include <array>
#include <vector>

#include "Font.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "Scene2D.h"
#include "SpriteManager.h"

namespace {

// RGBA image of `height` rows whose columns listed in `inked` carry alpha on one row.
std::vector<unsigned char> makeColumns(int width, int height, const std::vector<int>& inked) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 0);
  for (int col : inked) pixels[(static_cast<size_t>(height - 1) * width + col) * 4 + 3] = 200;
  return pixels;
}

void begin2D() {
  GLTestWindow::get();
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_DEPTH_TEST);
  glColor4ub(255, 255, 255, 255);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
}

// Lit pixels in [x0, x1) x [y0, y1), 2D units.
int countLit(int x0, int y0, int x1, int y1) {
  int height = GLManager::getWindowHeight();
  std::vector<unsigned char> pixels = GLTestWindow::readPixels(x0, height - y1, x1 - x0, y1 - y0);
  int lit = 0;
  for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] > 128 ? 1 : 0;
  return lit;
}

}  // namespace

TEST(FontTest, GlyphsAreFoundBetweenEmptyColumns) {
  // "!" inked on columns 3..4, '"' on 7, "#" on 10..12, then nothing.
  std::vector<unsigned char> pixels = makeColumns(40, 4, {3, 4, 7, 10, 11, 12});
  int start[256], width[256];
  Font::findGlyphs(pixels.data(), 40, 4, start, width);
  EXPECT_EQ(start['!'], 2);
  EXPECT_EQ(width['!'], 6);  // inked width + 4
  EXPECT_EQ(start['"'], 6);
  EXPECT_EQ(width['"'], 5);
  EXPECT_EQ(start['#'], 9);
  EXPECT_EQ(width['#'], 7);
  // Fewer than 94 glyphs: the scan stops at the image width, the rest has no glyph.
  EXPECT_EQ(start['$'], -1);
  EXPECT_EQ(width['~'], -1);
  EXPECT_EQ(width[' '], -1);
  EXPECT_EQ(width['A' + 128], -1);
}

TEST(FontTest, GlyphsAtTheImageEdgesAreClipped) {
  // Ink from column 0 and up to the last column.
  std::vector<unsigned char> pixels = makeColumns(12, 2, {0, 1, 5, 10, 11});
  int start[256], width[256];
  Font::findGlyphs(pixels.data(), 12, 2, start, width);
  EXPECT_EQ(start['!'], 0);
  EXPECT_EQ(width['!'], 5);  // columns 0..4: the empty column before it is cut off
  EXPECT_EQ(start['"'], 4);
  EXPECT_EQ(width['"'], 5);
  EXPECT_EQ(start['#'], 9);
  EXPECT_EQ(width['#'], 3) << "clipped at the right edge";
  EXPECT_EQ(width['$'], -1);

  // An empty image holds no glyph.
  std::vector<unsigned char> empty = makeColumns(8, 2, {});
  Font::findGlyphs(empty.data(), 8, 2, start, width);
  EXPECT_EQ(width['!'], -1);
}

TEST(FontTest, DefaultFontHoldsAllPrintableCharacters) {
  GLTestWindow::get();
  Font font;
  EXPECT_EQ(font.getHeight(), 32);
  for (int c = 33; c <= 126; ++c) {
    EXPECT_TRUE(font.canDraw(static_cast<unsigned char>(c))) << static_cast<char>(c);
    EXPECT_GT(font.getGlyphWidth(static_cast<unsigned char>(c)), 4) << static_cast<char>(c);
    EXPECT_LE(font.getGlyphStart(static_cast<unsigned char>(c)) +
                  font.getGlyphWidth(static_cast<unsigned char>(c)),
              font.getImageWidth());
  }
  EXPECT_FALSE(font.canDraw(' '));
  EXPECT_FALSE(font.canDraw('\n'));
  EXPECT_FALSE(font.canDraw(200));
  // Glyphs come in character order, left to right.
  EXPECT_LT(font.getGlyphStart('!'), font.getGlyphStart('"'));
  EXPECT_LT(font.getGlyphStart('}'), font.getGlyphStart('~'));
}

TEST(FontTest, TextWidthTakesTheWidestLine) {
  GLTestWindow::get();
  Font font;
  int a = font.getGlyphWidth('A');
  int b = font.getGlyphWidth('B');
  EXPECT_EQ(font.getTextWidth("AB", -1, 1.f), a + b);
  EXPECT_EQ(font.getTextWidth("A B", -1, 1.f), a + 16 + b);
  EXPECT_EQ(font.getTextWidth("A\nBB", -1, 1.f), 2 * b > a ? 2 * b : a);
  EXPECT_EQ(font.getTextWidth("AB", 1, 1.f), a);
  EXPECT_EQ(font.getTextWidth("A\x01\xC8", -1, 1.f), a) << "characters without glyph count nothing";
  EXPECT_EQ(font.getTextWidth("A A", -1, 0.5f), static_cast<int>(0.5f * a) * 2 + 8);
}

TEST(FontTest, TextAppearsAtItsPositionAndLineFeedsGoDownOneImageHeight) {
  begin2D();
  Font font;
  int a = font.getGlyphWidth('A');
  int b = font.getGlyphWidth('B');
  Int2 end = font.drawText("A\nB", 1.f, 1.f, 100, 100);
  EXPECT_EQ(end, Int2(100 + b, 132));
  // "A" on the first line, "B" under it at the start x, nothing elsewhere.
  EXPECT_GT(countLit(100, 100, 100 + a, 132), 30);
  EXPECT_GT(countLit(100, 132, 100 + b, 164), 30);
  EXPECT_EQ(countLit(100 + a, 100, 200, 132), 0);
  EXPECT_EQ(countLit(100 + b, 132, 200, 164), 0);
  EXPECT_EQ(countLit(60, 60, 200, 100), 0);
  EXPECT_EQ(countLit(60, 164, 200, 200), 0);
  EXPECT_EQ(countLit(60, 100, 100, 164), 0);
}

TEST(FontTest, CharactersWithoutGlyphNeitherDrawNorAdvance) {
  begin2D();
  Font font;
  Int2 plain = font.drawText("AB", 1.f, 1.f, 300, 300);
  int litPlain = countLit(300, 300, 400, 332);
  begin2D();
  Int2 withUnknown = font.drawText("A\x01\xC8" "B", 1.f, 1.f, 300, 300);
  EXPECT_EQ(withUnknown, plain);
  EXPECT_EQ(countLit(300, 300, 400, 332), litPlain);

  // A space advances 16 x the scale; the scale stretches the glyphs.
  Int2 spaced = font.drawText(" ", 2.f, 2.f, 10, 10);
  EXPECT_EQ(spaced, Int2(42, 10));
  begin2D();
  Int2 big = font.drawText("A", 2.f, 2.f, 300, 300);
  EXPECT_EQ(big.x(), 300 + static_cast<int>(2.f * font.getGlyphWidth('A')));
  EXPECT_GT(countLit(300, 332, 400, 364), 0) << "the glyph reaches the second line height";
}

TEST(FontTest, HugeScalesAndNullTexts) {
  begin2D();
  Font font;
  Int2 end = font.drawText("AAAA\n\n\nAAAA", 1e30f, 1e30f, 0, 0);
  EXPECT_LE(end.x(), Scene2D::maxCoordinate);
  EXPECT_LE(end.y(), Scene2D::maxCoordinate);
  EXPECT_EQ(font.getTextWidth(nullptr, -1, 1.f), 0);
  EXPECT_EXIT(font.drawText(nullptr, 1.f, 1.f, 0, 0), testing::ExitedWithCode(1),
              "Condition: text != NULL");
}
