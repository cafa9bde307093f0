// Generates the sample cube textures of the game directory: for every texture a 64 x 64 RGB
// face image in cube_textures/, a darker variant in cube_shadowed_textures/ and a 4 x 4 height
// map in cube_bumpmap_textures/ (same file name in the three directories, as cube types name
// them). Deterministic: the same output on every run.
//
// Usage: make_cube_textures [game directory]   (default: "game")

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "PngWriter.h"

namespace {

constexpr int textureSize = 64;
constexpr int bumpmapSize = 4;
/// Share of the light a shadowed face keeps.
constexpr float shadowedLight = 0.55f;

struct Rgb {
  float r, g, b;
};

using Image = std::vector<unsigned char>;  // RGB rows, top row first

uint32_t hash(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

float random01(int x, int y, uint32_t seed) { return (hash(x, y, seed) & 0xffffff) / float(0xffffff); }

/// Smooth value noise that tiles with period `period` (so the faces repeat seamlessly).
float valueNoise(float x, float y, int period, uint32_t seed) {
  const int x0 = (int)std::floor(x), y0 = (int)std::floor(y);
  const float fx = x - x0, fy = y - y0;
  const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  auto at = [&](int i, int j) {
    return random01(((i % period) + period) % period, ((j % period) + period) % period, seed);
  };
  const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
  const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
  return top + (bottom - top) * sy;
}

/// Sum of octaves in [0, 1), tiling over the texture.
float fractalNoise(int x, int y, int baseCells, uint32_t seed) {
  float sum = 0, weight = 0, amplitude = 1;
  for (int cells = baseCells; cells <= textureSize; cells *= 2) {
    sum += amplitude * valueNoise(x * cells / float(textureSize), y * cells / float(textureSize), cells, seed + cells);
    weight += amplitude;
    amplitude *= 0.5f;
  }
  return sum / weight;
}

Rgb mix(Rgb a, Rgb b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb scale(Rgb c, float k) { return {c.r * k, c.g * k, c.b * k}; }

unsigned char toByte(float v) { return (unsigned char)std::clamp((int)std::lround(v), 0, 255); }

Image paint(const std::function<Rgb(int, int)>& shader) {
  Image image(textureSize * textureSize * 3);
  for (int y = 0; y < textureSize; ++y)
    for (int x = 0; x < textureSize; ++x) {
      const Rgb c = shader(x, y);
      unsigned char* p = &image[(y * textureSize + x) * 3];
      p[0] = toByte(c.r);
      p[1] = toByte(c.g);
      p[2] = toByte(c.b);
    }
  return image;
}

/// Mottled surface between two colours.
Image speckled(Rgb dark, Rgb light, int cells, uint32_t seed, float grain) {
  return paint([=](int x, int y) {
    const float t = fractalNoise(x, y, cells, seed);
    const float g = (random01(x, y, seed + 7) - 0.5f) * grain;
    return scale(mix(dark, light, t), 1.f + g);
  });
}

Image grassTop() { return speckled({52, 110, 36}, {110, 170, 62}, 4, 11, 0.25f); }

Image dirt() { return speckled({92, 62, 38}, {140, 100, 64}, 4, 23, 0.3f); }

Image grassSide() {
  const Image soil = dirt();
  return paint([&](int x, int y) {
    const unsigned char* p = &soil[(y * textureSize + x) * 3];
    const Rgb ground{(float)p[0], (float)p[1], (float)p[2]};
    // A ragged band of grass hangs over the top of the side.
    const float edge = 10 + 6 * valueNoise(x / 4.f, 0.5f, 16, 31);
    if (y < edge) return scale(mix(Rgb{52, 110, 36}, Rgb{100, 160, 58}, fractalNoise(x, y, 8, 37)), 1.f);
    return ground;
  });
}

Image stone() { return speckled({96, 96, 100}, {150, 150, 156}, 8, 41, 0.2f); }

Image sand() { return speckled({196, 176, 120}, {230, 212, 158}, 8, 53, 0.15f); }

Image snow() { return speckled({214, 224, 236}, {250, 252, 255}, 4, 59, 0.06f); }

Image wood() {
  // Bark: vertical grooves.
  return paint([](int x, int y) {
    const float groove = 0.5f + 0.5f * std::sin(x * 2 * 3.14159265f * 6 / textureSize + 3 * fractalNoise(x, y, 4, 61));
    return scale(mix(Rgb{60, 40, 22}, Rgb{112, 80, 48}, groove), 0.9f + 0.2f * random01(x, y, 67));
  });
}

Image planks() {
  return paint([](int x, int y) {
    const int plank = y / 16;
    if (y % 16 == 0) return Rgb{70, 48, 26};
    const float grain = fractalNoise(x + plank * 17, y * 4, 4, 71 + plank);
    return scale(mix(Rgb{150, 108, 62}, Rgb{190, 144, 90}, grain), 1.f - 0.08f * (plank % 2));
  });
}

Image leaves() {
  return paint([](int x, int y) {
    const float t = fractalNoise(x, y, 8, 73);
    const bool hole = random01(x / 2, y / 2, 79) < 0.12f;
    const Rgb c = mix(Rgb{30, 84, 26}, Rgb{76, 140, 52}, t);
    return hole ? scale(c, 0.45f) : c;
  });
}

Image brick() {
  return paint([](int x, int y) {
    const int row = y / 16;
    const int shifted = x + (row % 2) * 16;
    const bool mortar = y % 16 < 2 || shifted % 32 < 2;
    if (mortar) return scale(Rgb{190, 184, 170}, 0.9f + 0.2f * random01(x, y, 83));
    const int brickId = row * 4 + (shifted % 64) / 32;
    const Rgb base = mix(Rgb{140, 52, 36}, Rgb{176, 76, 50}, random01(brickId, 0, 89));
    return scale(base, 0.85f + 0.3f * fractalNoise(x, y, 8, 97));
  });
}

Image wornRock() {
  // Water-worn rock: smooth grey-brown strata.
  return paint([](int x, int y) {
    const float band = 0.5f + 0.5f * std::sin((y + 6 * fractalNoise(x, y, 4, 101)) * 2 * 3.14159265f * 4 / textureSize);
    return mix(Rgb{104, 98, 88}, Rgb{160, 154, 140}, 0.6f * band + 0.4f * fractalNoise(x, y, 4, 103));
  });
}

Image cobblestone() {
  return paint([](int x, int y) {
    // Distance to the nearest stone centre on a jittered 4 x 4 grid (tiling).
    float nearest = 1e9f, second = 1e9f;
    int nearestId = 0;
    for (int cy = -1; cy <= 4; ++cy)
      for (int cx = -1; cx <= 4; ++cx) {
        const int wx = (cx + 4) % 4, wy = (cy + 4) % 4;
        const float px = (cx + 0.2f + 0.6f * random01(wx, wy, 107)) * 16;
        const float py = (cy + 0.2f + 0.6f * random01(wx, wy, 109)) * 16;
        const float d = std::hypot(x - px, y - py);
        if (d < nearest) {
          second = nearest;
          nearest = d;
          nearestId = wy * 4 + wx;
        } else if (d < second) {
          second = d;
        }
      }
    if (second - nearest < 2.f) return Rgb{62, 60, 58};
    const Rgb base = mix(Rgb{110, 108, 104}, Rgb{156, 152, 146}, random01(nearestId, 1, 113));
    return scale(base, 0.9f + 0.2f * fractalNoise(x, y, 16, 127));
  });
}

Image gravel() {
  return paint([](int x, int y) {
    const float t = random01(x / 3, y / 3, 131);
    return scale(mix(Rgb{100, 94, 90}, Rgb{170, 164, 156}, t), 0.85f + 0.3f * random01(x, y, 137));
  });
}

Image clay() { return speckled({150, 88, 60}, {184, 118, 86}, 4, 139, 0.12f); }

Image darker(const Image& image) {
  Image result(image.size());
  for (size_t i = 0; i < image.size(); ++i) result[i] = toByte(image[i] * shadowedLight);
  return result;
}

/// 4 x 4 heights from the brightness of the texture (bright parts stand out), around 128.
Image bumpmapOf(const Image& image, float relief) {
  float sums[bumpmapSize * bumpmapSize] = {};
  const int block = textureSize / bumpmapSize;
  for (int y = 0; y < textureSize; ++y)
    for (int x = 0; x < textureSize; ++x) {
      const unsigned char* p = &image[(y * textureSize + x) * 3];
      sums[(y / block) * bumpmapSize + x / block] += (p[0] + p[1] + p[2]) / 3.f;
    }
  float mean = 0;
  for (float& s : sums) {
    s /= block * block;
    mean += s / (bumpmapSize * bumpmapSize);
  }
  Image bumpmap(bumpmapSize * bumpmapSize * 3);
  for (int i = 0; i < bumpmapSize * bumpmapSize; ++i) {
    const unsigned char h = toByte(128 + (sums[i] - mean) * relief);
    bumpmap[i * 3] = bumpmap[i * 3 + 1] = bumpmap[i * 3 + 2] = h;
  }
  return bumpmap;
}

bool writeRgbPng(const std::string& path, const Image& image, int side) {
  return writePng(path, image.data(), side, side, 3);
}

struct TextureRecipe {
  const char* name;
  std::function<Image()> make;
  float relief;  ///< how strongly brightness turns into height
};

}  // namespace

int main(int argc, char** argv) {
  const std::string gameDir = argc > 1 ? argv[1] : "game";
  const std::string directories[3] = {gameDir + "/cube_textures/", gameDir + "/cube_shadowed_textures/",
                                      gameDir + "/cube_bumpmap_textures/"};
  for (const std::string& dir : directories) mkdir(dir.c_str(), 0755);

  const TextureRecipe recipes[] = {
      {"grass_top.png", grassTop, 1.0f},   {"grass_side.png", grassSide, 0.8f}, {"dirt.png", dirt, 1.0f},
      {"stone.png", stone, 1.5f},          {"sand.png", sand, 1.0f},            {"wood.png", wood, 1.2f},
      {"planks.png", planks, 0.8f},        {"leaves.png", leaves, 1.5f},        {"snow.png", snow, 2.0f},
      {"brick.png", brick, 1.2f},          {"worn_rock.png", wornRock, 1.0f},   {"cobblestone.png", cobblestone, 1.5f},
      {"gravel.png", gravel, 1.2f},        {"clay.png", clay, 1.0f},
  };
  int written = 0;
  for (const TextureRecipe& recipe : recipes) {
    const Image face = recipe.make();
    const bool ok = writeRgbPng(directories[0] + recipe.name, face, textureSize) &&
                    writeRgbPng(directories[1] + recipe.name, darker(face), textureSize) &&
                    writeRgbPng(directories[2] + recipe.name, bumpmapOf(face, recipe.relief), bumpmapSize);
    if (!ok) {
      std::fprintf(stderr, "make_cube_textures: cannot write %s under %s\n", recipe.name, gameDir.c_str());
      return 1;
    }
    ++written;
  }
  std::printf("make_cube_textures: %d cube textures written under %s\n", written, gameDir.c_str());
  return 0;
}
