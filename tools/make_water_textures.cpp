// Generates the sample water textures of the game directory: water/water.png, the surface
// (64 x 64 RGBA, see-through so the deep layers show), and water/water_sub.png, the deep
// layers (64 x 64 RGB, darker). Both tile seamlessly: every ripple has a whole number of
// periods across the image. Deterministic: the same output on every run.
//
// Usage: make_water_textures [game directory]   (default: "game")

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "PngWriter.h"

namespace {

constexpr int textureSize = 64;
constexpr float twoPi = 6.2831853f;

struct Ripple {
  int periodsX, periodsY;  ///< whole periods across the image, so the pattern tiles
  float phase, weight;
};

/// Sum of the ripples at a pixel, in 0..1.
float ripples(int x, int y, const Ripple* waves, int nbWaves) {
  float sum = 0.f, total = 0.f;
  for (int i = 0; i < nbWaves; ++i) {
    const float angle =
        twoPi * (waves[i].periodsX * x + waves[i].periodsY * y) / float(textureSize) +
        waves[i].phase;
    sum += waves[i].weight * std::sin(angle);
    total += waves[i].weight;
  }
  return 0.5f + 0.5f * sum / total;
}

unsigned char toByte(float value) {
  return static_cast<unsigned char>(std::min(255.f, std::max(0.f, value)) + 0.5f);
}

/// Blue water shaded by the ripples: `dark` at the troughs, `light` at the crests.
std::vector<unsigned char> makeWater(const Ripple* waves, int nbWaves, const float dark[3],
                                     const float light[3], int channels, unsigned char alpha) {
  std::vector<unsigned char> pixels(static_cast<size_t>(textureSize) * textureSize * channels);
  for (int y = 0; y < textureSize; ++y) {
    for (int x = 0; x < textureSize; ++x) {
      const float r = ripples(x, y, waves, nbWaves);
      unsigned char* pixel = &pixels[(static_cast<size_t>(y) * textureSize + x) * channels];
      for (int c = 0; c < 3; ++c) pixel[c] = toByte(dark[c] + (light[c] - dark[c]) * r);
      if (channels == 4) pixel[3] = alpha;
    }
  }
  return pixels;
}

bool writeTexture(const std::string& path, const std::vector<unsigned char>& pixels,
                  int channels) {
  if (!writePng(path, pixels.data(), textureSize, textureSize, channels, 9)) {
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string gameDir = argc > 1 ? argv[1] : "game";
  const std::string waterDir = gameDir + "/water";
  mkdir(waterDir.c_str(), 0755);

  const Ripple surfaceWaves[] = {
      {1, 2, 0.3f, 1.f}, {3, -1, 1.7f, 0.6f}, {-2, 5, 4.1f, 0.35f}, {7, 4, 2.2f, 0.2f}};
  const float surfaceDark[3] = {20.f, 70.f, 150.f}, surfaceLight[3] = {90.f, 160.f, 230.f};
  const Ripple deepWaves[] = {{2, 1, 0.9f, 1.f}, {-1, 3, 2.6f, 0.5f}, {5, -3, 5.0f, 0.25f}};
  const float deepDark[3] = {5.f, 25.f, 70.f}, deepLight[3] = {20.f, 60.f, 120.f};

  const bool ok =
      writeTexture(waterDir + "/water.png",
                   makeWater(surfaceWaves, 4, surfaceDark, surfaceLight, 4, 170), 4) &&
      writeTexture(waterDir + "/water_sub.png",
                   makeWater(deepWaves, 3, deepDark, deepLight, 3, 255), 3);
  return ok ? 0 : 1;
}
