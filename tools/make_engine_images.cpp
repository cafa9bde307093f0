// Generates the engine's own images (font, default textures, loading screen, menus, editor
// help picture) into a game directory: make_engine_images [output dir, default "."].
// Every image has power-of-two sides so that the loader never stretches it: the menus' buttons
// must stay exactly on the hot zones the menu code tests, and the font's glyph columns must
// stay sharp.

#include <ft2build.h>
#include FT_FREETYPE_H
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PngWriter.h"

namespace {

const char* const sansFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const boldFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

struct Rgba {
  unsigned char r, g, b, a;
};

// An RGBA picture with "source over" blending.
struct Canvas {
  int width;
  int height;
  std::vector<unsigned char> pixels;

  Canvas(int w, int h, Rgba fill) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4) {
    for (int i = 0; i < w * h; ++i) {
      pixels[i * 4] = fill.r;
      pixels[i * 4 + 1] = fill.g;
      pixels[i * 4 + 2] = fill.b;
      pixels[i * 4 + 3] = fill.a;
    }
  }

  unsigned char* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }

  void set(int x, int y, Rgba c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    unsigned char* p = at(x, y);
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
  }

  // Blends colour c with an extra coverage 0..255 over the pixel.
  void blend(int x, int y, Rgba c, int coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    float sa = c.a / 255.f * coverage / 255.f;
    if (sa <= 0.f) return;
    unsigned char* p = at(x, y);
    float da = p[3] / 255.f;
    float oa = sa + da * (1.f - sa);
    const unsigned char src[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k)
      p[k] = static_cast<unsigned char>(
          std::lround((src[k] * sa + p[k] * da * (1.f - sa)) / (oa > 0.f ? oa : 1.f)));
    p[3] = static_cast<unsigned char>(std::lround(oa * 255.f));
  }

  void fillRect(int x0, int y0, int x1, int y1, Rgba c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) blend(x, y, c, 255);
  }

  void frameRect(int x0, int y0, int x1, int y1, int thickness, Rgba c) {
    fillRect(x0, y0, x1, y0 + thickness, c);
    fillRect(x0, y1 - thickness, x1, y1, c);
    fillRect(x0, y0 + thickness, x0 + thickness, y1 - thickness, c);
    fillRect(x1 - thickness, y0 + thickness, x1, y1 - thickness, c);
  }

  void line(float x0, float y0, float x1, float y1, Rgba c) {
    int steps = static_cast<int>(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) * 2 + 1;
    for (int i = 0; i <= steps; ++i) {
      float t = static_cast<float>(i) / steps;
      int x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
      int y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
      blend(x, y, c, 255);
      blend(x + 1, y, c, 255);
    }
  }
};

class TextRenderer {
 public:
  TextRenderer() {
    if (FT_Init_FreeType(&library) != 0) fail("FreeType initialisation failed");
  }
  ~TextRenderer() {
    for (FT_Face face : faces) FT_Done_Face(face);
    FT_Done_FreeType(library);
  }

  FT_Face load(const char* path, int pixelSize) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, path, 0, &face) != 0) fail(std::string("cannot open font ") + path);
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    faces.push_back(face);
    return face;
  }

  // Renders one character; coverage rows top to bottom.
  static FT_GlyphSlot render(FT_Face face, unsigned char character) {
    if (FT_Load_Char(face, character, FT_LOAD_RENDER) != 0)
      fail(std::string("cannot render character ") + static_cast<char>(character));
    return face->glyph;
  }

  static int textWidth(FT_Face face, const std::string& text) {
    int width = 0;
    for (unsigned char c : text) width += static_cast<int>(render(face, c)->advance.x >> 6);
    return width;
  }

  // Draws text with its baseline at y.
  static void draw(Canvas& canvas, FT_Face face, const std::string& text, int x, int baseline,
                   Rgba colour) {
    for (unsigned char c : text) {
      FT_GlyphSlot glyph = render(face, c);
      const FT_Bitmap& bitmap = glyph->bitmap;
      for (unsigned row = 0; row < bitmap.rows; ++row)
        for (unsigned col = 0; col < bitmap.width; ++col)
          canvas.blend(x + glyph->bitmap_left + static_cast<int>(col),
                       baseline - glyph->bitmap_top + static_cast<int>(row), colour,
                       bitmap.buffer[row * bitmap.pitch + col]);
      x += static_cast<int>(glyph->advance.x >> 6);
    }
  }

  // Text centred in the box (x0, y0)-(x1, y1).
  static void drawCentred(Canvas& canvas, FT_Face face, const std::string& text, int x0, int y0,
                          int x1, int y1, Rgba colour) {
    int width = textWidth(face, text);
    int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    int descent = static_cast<int>(-(face->size->metrics.descender >> 6));
    int baseline = (y0 + y1) / 2 + (ascent - descent) / 2;
    draw(canvas, face, text, (x0 + x1 - width) / 2, baseline, colour);
  }

  [[noreturn]] static void fail(const std::string& message) {
    std::fprintf(stderr, "make_engine_images: %s\n", message.c_str());
    std::exit(1);
  }

 private:
  FT_Library library = nullptr;
  std::vector<FT_Face> faces;
};

void writeCanvas(const std::string& path, const Canvas& canvas, bool withAlpha) {
  const int channels = withAlpha ? 4 : 3;
  std::vector<unsigned char> packed(static_cast<size_t>(canvas.width) * canvas.height * channels);
  for (size_t pixel = 0; pixel < static_cast<size_t>(canvas.width) * canvas.height; ++pixel)
    for (int k = 0; k < channels; ++k) packed[pixel * channels + k] = canvas.pixels[pixel * 4 + k];
  if (!writePng(path, packed.data(), canvas.width, canvas.height, channels, 9))
    TextRenderer::fail("cannot write " + path);
  std::printf("wrote %s (%dx%d)\n", path.c_str(), canvas.width, canvas.height);
}

const Rgba transparent{0, 0, 0, 0};
const Rgba white{255, 255, 255, 255};
const Rgba panel{20, 28, 48, 225};
const Rgba buttonFill{52, 84, 140, 255};
const Rgba buttonBorder{170, 200, 255, 255};
const Rgba labelColour{235, 240, 255, 255};

// The 94 glyphs "!" to "~" left to right in white with coverage as alpha. The loader finds a
// glyph as a run of columns holding any alpha, so every glyph is made one run (a faint alpha of
// 1, below the alpha test, bridges inner gaps such as that of the double quote) and glyphs are
// kept four empty columns apart (the drawn cell reaches one column left and three right of the
// ink).
Canvas makeFont(TextRenderer& text) {
  const int height = 32;
  const int width = 2048;
  FT_Face face = text.load(sansFontPath, 22);
  const int baseline = 25;
  Canvas canvas(width, height, Rgba{255, 255, 255, 0});
  int x = 2;
  for (int c = 33; c <= 126; ++c) {
    FT_GlyphSlot glyph = TextRenderer::render(face, static_cast<unsigned char>(c));
    const FT_Bitmap& bitmap = glyph->bitmap;
    int inkWidth = static_cast<int>(bitmap.width);
    if (x + inkWidth + 4 >= width) TextRenderer::fail("font glyphs do not fit");
    for (unsigned row = 0; row < bitmap.rows; ++row)
      for (unsigned col = 0; col < bitmap.width; ++col) {
        int y = baseline - glyph->bitmap_top + static_cast<int>(row);
        if (y < 0 || y >= height) continue;
        unsigned char coverage = bitmap.buffer[row * bitmap.pitch + col];
        canvas.at(x + static_cast<int>(col), y)[3] = coverage;
      }
    for (int col = 0; col < inkWidth; ++col) {
      bool isInked = false;
      for (int y = 0; y < height; ++y) isInked = isInked || canvas.at(x + col, y)[3] != 0;
      if (!isInked) canvas.at(x + col, baseline)[3] = 1;
    }
    x += inkWidth + 4;
  }
  return canvas;
}

Canvas makeCheckerTexture() {
  Canvas canvas(64, 64, white);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      bool isDark = ((x / 16) + (y / 16)) % 2 == 0;
      canvas.set(x, y, isDark ? Rgba{200, 60, 200, 255} : Rgba{40, 40, 40, 255});
    }
  return canvas;
}

void drawButton(Canvas& canvas, FT_Face face, const std::string& label, int x0, int y0, int x1,
                int y1) {
  canvas.fillRect(x0, y0, x1, y1, buttonFill);
  canvas.frameRect(x0, y0, x1, y1, 2, buttonBorder);
  TextRenderer::drawCentred(canvas, face, label, x0, y0, x1, y1, labelColour);
}

void drawPanel(Canvas& canvas, int x0, int y0, int x1, int y1) {
  canvas.fillRect(x0, y0, x1, y1, panel);
  canvas.frameRect(x0, y0, x1, y1, 2, buttonBorder);
}

// A 512 x 512 menu: a framed panel with its title at the top left.
Canvas makeMenuPanel(TextRenderer& text, int x0, int y0, int x1, int y1, const std::string& name,
                     int titleSize, int titleBaseline) {
  Canvas canvas(512, 512, transparent);
  drawPanel(canvas, x0, y0, x1, y1);
  TextRenderer::draw(canvas, text.load(boldFontPath, titleSize), name, 50, titleBaseline,
                     labelColour);
  return canvas;
}

// Hot zones: the click at (x, y) counts for 50 < x < 150 and 151 <= y <= 214 (resume),
// 250 < y < 315 (options), 350 < y < 415 (quit); (200, 15)-(270, 55) is a dead zone. The
// version and frame rate are printed from (155, 100).
Canvas makeMainMenu(TextRenderer& text) {
  Canvas canvas = makeMenuPanel(text, 20, 5, 420, 440, "Menu", 26, 48);
  FT_Face face = text.load(sansFontPath, 18);
  drawButton(canvas, face, "Resume", 51, 152, 150, 214);
  drawButton(canvas, face, "Options", 51, 251, 150, 315);
  drawButton(canvas, face, "Quit", 51, 351, 150, 415);
  return canvas;
}

// Hot zones: back (200, 10)-(270, 50); display modes in four columns of 100 from x = 50,
// row 101..149 and row 150..200; from y = 250 five rows of 50 with a left choice at
// 250 < x < 350 and a right choice at 350 < x < 450.
Canvas makeOptionsMenu(TextRenderer& text) {
  Canvas canvas = makeMenuPanel(text, 10, 2, 490, 508, "Options", 22, 40);
  FT_Face face = text.load(sansFontPath, 13);
  drawButton(canvas, face, "Back", 201, 11, 270, 50);
  TextRenderer::draw(canvas, face, "Display", 50, 94, labelColour);
  const char* const modes[2][4] = {{"Window", "Full screen", "640x480", "800x600"},
                                   {"1024x768", "1280x1024", "1280x800", "1920x1200"}};
  const int rows[2][2] = {{102, 149}, {151, 200}};
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 4; ++col)
      drawButton(canvas, face, modes[row][col], 53 + col * 100, rows[row][0] + 1,
                 148 + col * 100, rows[row][1] - 1);
  const char* const settings[5][3] = {{"View distance", "-", "+"},
                                      {"Shadows", "Off", "On"},
                                      {"Reverse mouse Y", "Off", "On"},
                                      {"Progressive load", "Off", "On"},
                                      {"Detailed regions", "Off", "On"}};
  for (int row = 0; row < 5; ++row) {
    int y0 = 250 + row * 50;
    TextRenderer::draw(canvas, face, settings[row][0], 50, y0 + 30, labelColour);
    drawButton(canvas, face, settings[row][1], 253, y0 + 5, 347, y0 + 45);
    drawButton(canvas, face, settings[row][2], 353, y0 + 5, 447, y0 + 45);
  }
  return canvas;
}

// Arrow whose tip is the top left pixel: the sprite is drawn with its hot spot there.
Canvas makeMouseCursor() {
  Canvas canvas(32, 32, transparent);
  for (int y = 0; y < 20; ++y) {
    int right = y * 11 / 20;
    for (int x = 0; x <= right; ++x) {
      bool isEdge = x == 0 || x == right || y == 19;
      canvas.set(x, y, isEdge ? Rgba{0, 0, 0, 255} : white);
    }
  }
  for (int y = 14; y < 26; ++y)
    for (int x = 5 + (y - 14) / 3; x < 9 + (y - 14) / 3; ++x)
      canvas.set(x, y, (x == 5 + (y - 14) / 3 || x == 8 + (y - 14) / 3 || y == 25)
                           ? Rgba{0, 0, 0, 255}
                           : white);
  return canvas;
}

Canvas makeLoading(TextRenderer& text) {
  Canvas canvas(256, 64, transparent);
  drawPanel(canvas, 0, 0, 256, 64);
  TextRenderer::drawCentred(canvas, text.load(boldFontPath, 30), "Loading...", 0, 0, 256, 64,
                            labelColour);
  return canvas;
}

// Help picture of the editor: the cursor box drawn as a wire cube with its axes.
Canvas makeEditorBox(TextRenderer& text) {
  Canvas canvas(256, 256, transparent);
  drawPanel(canvas, 0, 0, 256, 256);
  FT_Face face = text.load(sansFontPath, 14);
  const float front[4][2] = {{60, 110}, {160, 110}, {160, 210}, {60, 210}};
  const float offset[2] = {45, -45};
  const Rgba edge{255, 230, 120, 255};
  for (int i = 0; i < 4; ++i) {
    const float* a = front[i];
    const float* b = front[(i + 1) % 4];
    canvas.line(a[0], a[1], b[0], b[1], edge);
    canvas.line(a[0] + offset[0], a[1] + offset[1], b[0] + offset[0], b[1] + offset[1], edge);
    canvas.line(a[0], a[1], a[0] + offset[0], a[1] + offset[1], edge);
  }
  TextRenderer::draw(canvas, face, "x", 112, 232, labelColour);
  TextRenderer::draw(canvas, face, "y", 40, 164, labelColour);
  TextRenderer::draw(canvas, face, "z", 190, 200, labelColour);
  TextRenderer::drawCentred(canvas, face, "Editor cursor", 0, 10, 256, 40, labelColour);
  return canvas;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  std::string engineDir = dir + "/images_engine";
  mkdir(dir.c_str(), 0755);
  mkdir(engineDir.c_str(), 0755);
  TextRenderer text;
  writeCanvas(engineDir + "/default_font.png", makeFont(text), true);
  writeCanvas(dir + "/whiteTexture.png", Canvas(8, 8, white), false);
  writeCanvas(engineDir + "/default_texture.png", makeCheckerTexture(), false);
  writeCanvas(engineDir + "/black_semi_transparent.png", Canvas(8, 8, Rgba{0, 0, 0, 128}), true);
  writeCanvas(engineDir + "/loading.png", makeLoading(text), true);
  writeCanvas(engineDir + "/main_menu.png", makeMainMenu(text), true);
  writeCanvas(engineDir + "/options_menu.png", makeOptionsMenu(text), true);
  writeCanvas(engineDir + "/menu_mouse.png", makeMouseCursor(), true);
  writeCanvas(engineDir + "/editor_box.png", makeEditorBox(text), true);
  return 0;
}
