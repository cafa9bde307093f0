// Generates the sample skybox of the game directory: skybox/{top,bottom,left,right,front,back}.png,
// 128 x 128 RGB each. The top is a clear sky, brighter toward its middle; the bottom is a dark
// ground; the four sides run from a pale horizon haze at the ground line up to the sky colour,
// with a few soft clouds. The sky box draws a side image with its first row at the bottom of
// the face, so the sides are written horizon first. The sides meet seamlessly: at the left and
// right edges every side has the same colour column. Deterministic: the same output on every run.
//
// Usage: make_skybox [game directory]   (default: "game")

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "PngWriter.h"

namespace {

constexpr int imageSize = 128;
constexpr float pi = 3.14159265f;

struct Rgb {
  float r, g, b;
};

constexpr Rgb skyColour{70.f, 130.f, 220.f};
constexpr Rgb zenithColour{110.f, 165.f, 240.f};
constexpr Rgb hazeColour{200.f, 220.f, 235.f};
constexpr Rgb groundColour{58.f, 62.f, 48.f};
constexpr Rgb cloudColour{245.f, 245.f, 250.f};

Rgb mix(Rgb a, Rgb b, float t) {
  t = std::min(1.f, std::max(0.f, t));
  return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void put(std::vector<unsigned char>& pixels, int x, int y, Rgb colour) {
  unsigned char* p = &pixels[(static_cast<size_t>(y) * imageSize + x) * 3];
  p[0] = static_cast<unsigned char>(std::lround(colour.r));
  p[1] = static_cast<unsigned char>(std::lround(colour.g));
  p[2] = static_cast<unsigned char>(std::lround(colour.b));
}

/// Cloud cover in 0..1 at a point of a side; `phase` makes each side's clouds its own, and the
/// cover fades to nothing at both side edges so neighbouring sides join.
float clouds(float u, float v, float phase) {
  const float bands = 0.5f + 0.5f * std::sin(2.f * pi * (2.f * u + phase)) * std::sin(pi * (3.f * v + phase));
  const float edges = std::sin(pi * u);
  const float height = std::max(0.f, std::sin(pi * (v - 0.35f) / 0.5f));
  return std::max(0.f, bands - 0.55f) / 0.45f * edges * height;
}

std::vector<unsigned char> makeSide(float phase) {
  std::vector<unsigned char> pixels(static_cast<size_t>(imageSize) * imageSize * 3);
  for (int y = 0; y < imageSize; ++y)
    for (int x = 0; x < imageSize; ++x) {
      // v is the height on the face: 0 at the ground line (first row), 1 at the top.
      const float u = (x + 0.5f) / imageSize, v = (y + 0.5f) / imageSize;
      Rgb colour = v < 0.1f ? mix(groundColour, hazeColour, v / 0.1f) : mix(hazeColour, skyColour, (v - 0.1f) / 0.6f);
      colour = mix(colour, cloudColour, 0.8f * clouds(u, v, phase));
      put(pixels, x, y, colour);
    }
  return pixels;
}

std::vector<unsigned char> makeTop() {
  std::vector<unsigned char> pixels(static_cast<size_t>(imageSize) * imageSize * 3);
  for (int y = 0; y < imageSize; ++y)
    for (int x = 0; x < imageSize; ++x) {
      const float dx = (x + 0.5f) / imageSize - 0.5f, dy = (y + 0.5f) / imageSize - 0.5f;
      // The edges of the top meet the tops of the sides, which are the sky colour.
      const float edge = std::max(std::fabs(dx), std::fabs(dy)) * 2.f;
      put(pixels, x, y, mix(zenithColour, skyColour, edge));
    }
  return pixels;
}

std::vector<unsigned char> makeBottom() {
  std::vector<unsigned char> pixels(static_cast<size_t>(imageSize) * imageSize * 3);
  for (int y = 0; y < imageSize; ++y)
    for (int x = 0; x < imageSize; ++x) {
      // A faint checker of soil so that the ground does not look like a hole.
      const float grain = ((x / 16 + y / 16) % 2 == 0) ? 1.f : 0.9f;
      put(pixels, x, y, Rgb{groundColour.r * grain, groundColour.g * grain, groundColour.b * grain});
    }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = std::string(argc > 1 ? argv[1] : "game") + "/skybox";
  mkdir(directory.c_str(), 0755);
  struct Face {
    const char* name;
    std::vector<unsigned char> pixels;
  };
  const Face faces[] = {{"top", makeTop()},          {"bottom", makeBottom()},    {"left", makeSide(0.f)},
                        {"right", makeSide(0.37f)},  {"front", makeSide(0.71f)},  {"back", makeSide(0.19f)}};
  for (const Face& face : faces) {
    const std::string path = directory + "/" + face.name + ".png";
    if (!writePng(path, face.pixels.data(), imageSize, imageSize, 3, 9)) {
      std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
