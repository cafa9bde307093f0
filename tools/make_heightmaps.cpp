// Generates the sample landscape images of the game directory for the editor's heightmap
// generation: world_heightmap.png and world_groundmap.png, 256 x 256 RGB each (one pixel per
// cube column of 8 x 8 regions of 32 cubes).
// Heightmap: the smallest of a pixel's three bytes is the height of the column's top; the
// largest channel picks the cube types: blue for the low shores, green for the meadows and red
// for the high rocks. Rolling hills from a few summed waves, a ridge across one corner.
// Groundmap: the red byte is the height of the column's bottom; black everywhere except a
// floating plateau. A pixel holds one column, so under the plateau there is no ground: its
// underside hangs over a round pool of the sea, the lake seen from the player's start.
// Deterministic: the same output on every run.
//
// Usage: make_heightmaps [game directory]   (default: "game")

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "PngWriter.h"

namespace {

constexpr int imageSize = 256;
constexpr double pi = 3.14159265358979323846;

/// Terrain height in image bytes (0..200) at a pixel.
double terrainHeight(int x, int y) {
  const double u = x / double(imageSize);
  const double v = y / double(imageSize);
  double h = 60.0 + 25.0 * std::sin(2 * pi * u * 2.0) * std::cos(2 * pi * v * 1.5) +
             15.0 * std::sin(2 * pi * (u + v) * 3.0) + 8.0 * std::cos(2 * pi * (u * 5.0 - v * 4.0));
  // A ridge rising toward the corner (255, 0).
  const double ridge = std::max(0.0, 1.0 - std::hypot(1.0 - u, v) * 1.6);
  h += 140.0 * ridge * ridge;
  return std::max(0.0, std::min(200.0, h));
}

/// Centre and radius (pixels) of the floating plateau.
constexpr int plateauX = 70, plateauY = 180, plateauRadius = 22;

bool inPlateau(int x, int y) { return std::hypot(x - plateauX, y - plateauY) < plateauRadius; }

}  // namespace

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : "game";
  std::vector<unsigned char> heightmap(imageSize * imageSize * 3);
  std::vector<unsigned char> groundmap(imageSize * imageSize * 3, 0);
  for (int y = 0; y < imageSize; ++y)
    for (int x = 0; x < imageSize; ++x) {
      unsigned char* h = &heightmap[(y * imageSize + x) * 3];
      unsigned char* g = &groundmap[(y * imageSize + x) * 3];
      int top = static_cast<int>(terrainHeight(x, y));
      int bottom = 0;
      if (inPlateau(x, y)) {
        // A flat slab whose underside lies 40 bytes above the terrain's height there.
        bottom = static_cast<int>(terrainHeight(plateauX, plateauY)) + 40;
        top = bottom + 20;
      }
      // The dominant channel (largest byte) picks the types; the smallest stays the height.
      const int boost = 40;
      int channel = top < 50 ? 2 : top < 110 ? 1 : 0;
      if (inPlateau(x, y)) channel = 1;
      for (int c = 0; c < 3; ++c) h[c] = static_cast<unsigned char>(std::min(255, top + (c == channel ? boost : 0)));
      g[0] = g[1] = g[2] = static_cast<unsigned char>(bottom);
    }
  const std::string heightPath = directory + "/world_heightmap.png";
  const std::string groundPath = directory + "/world_groundmap.png";
  if (!writePng(heightPath, heightmap.data(), imageSize, imageSize, 3, 9)) {
    std::fprintf(stderr, "cannot write '%s'\n", heightPath.c_str());
    return 1;
  }
  if (!writePng(groundPath, groundmap.data(), imageSize, imageSize, 3, 9)) {
    std::fprintf(stderr, "cannot write '%s'\n", groundPath.c_str());
    return 1;
  }
  std::printf("Wrote %s and %s\n", heightPath.c_str(), groundPath.c_str());
  return 0;
}
