#include "editor/Editor3DWorldGeneration.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>

#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "FileManager.h"
#include "ImageLoader.h"
#include "world/IndexedWorld.h"
#include "Assert.h"

const char* const Editor3DWorldGeneration::heightmapFileName = "world_heightmap.png";
const char* const Editor3DWorldGeneration::groundmapFileName = "world_groundmap.png";

int Editor3DWorldGeneration::nbAdditionalRandomCubes = 0;
int Editor3DWorldGeneration::heightmapAccuracy = 1;
float Editor3DWorldGeneration::heightmapHeightFactor = 0.2f;
int Editor3DWorldGeneration::nbCustomObjects = 0;

namespace {

/// Boxes recorded while one region is built (landscape boxes and random blocks), in cubes:
/// lower corner inclusive, upper corner exclusive.
struct RecordedBoxes {
  std::vector<Int3> cubesPosBeg;
  std::vector<Int3> cubesPosEnd;
};

/// rand() scaled to 0..100, whatever RAND_MAX is (an int product would overflow here).
double randPercent() { return static_cast<double>(std::rand()) * 100.0 / static_cast<double>(RAND_MAX); }

/// Height of an image byte, kept within a range whose sums cannot overflow.
int toHeight(float factor, int byte) {
  const double height = static_cast<double>(factor) * byte;
  if (!(height == height)) return 0;
  return static_cast<int>(std::max(-1e6, std::min(1e6, height)));
}

void addCubeBox(IndexedWorld& world, const Int3& beg, const Int3& end, int32_t type) {
  const double s = CubesTable::getSizeOneCube();
  Float3 centre, size;
  for (int axis = 0; axis < 3; ++axis) {
    centre[axis] = static_cast<float>((static_cast<double>(beg[axis]) + end[axis]) * 0.5 * s);
    size[axis] = static_cast<float>((static_cast<double>(end[axis]) - beg[axis]) * s);
  }
  world.addBox(centre, size, type);
}

/// The box as a column: fill type below the top layer, top type on it; the types are those
/// of the cell under the box centre, clamped into the region.
void fillColumn(IndexedWorld& world, const Int3& beg, const Int3& end, const Int3& regionLow, int range,
                const std::vector<Editor3DWorldGeneration::CellTypes>& cellTypes, int w) {
  if (end.x() <= beg.x() || end.y() <= beg.y() || end.z() <= beg.z() || cellTypes.empty()) return;
  Editor3DWorldGeneration::CellTypes types = cellTypes[0];
  if (w > 0 && cellTypes.size() == static_cast<size_t>(w) * static_cast<size_t>(w)) {
    const int cellSide = std::max(1, range / w);
    // Offsets from the region's low corner: the halving must not round toward zero below it.
    const long long centreX = (static_cast<long long>(beg.x()) - regionLow.x() + end.x() - regionLow.x()) / 2;
    const long long centreZ = (static_cast<long long>(beg.z()) - regionLow.z() + end.z() - regionLow.z()) / 2;
    const int i = static_cast<int>(std::max(0LL, std::min<long long>(w - 1, centreX / cellSide)));
    const int j = static_cast<int>(std::max(0LL, std::min<long long>(w - 1, centreZ / cellSide)));
    types = cellTypes[static_cast<size_t>(i) + static_cast<size_t>(j) * static_cast<size_t>(w)];
  }
  const int b = beg.y();
  const int t = end.y();
  if (b + 1 < t) addCubeBox(world, beg, Int3(end.x(), t - 1, end.z()), types.fill);
  addCubeBox(world, Int3(beg.x(), t - 1, beg.z()), end, types.top);
}

/// Runs of equal samples along one axis of the sample grid. `alongZ`: runs follow j (lines
/// of constant i); otherwise runs follow i.
void collectRuns(bool alongZ, const std::vector<int>& top, const std::vector<int>& bottom, int w, int cellSide,
                 const Int3& regionLow, int y0, std::vector<Int3>& beg, std::vector<Int3>& end) {
  for (int line = 0; line < w; ++line) {
    int runStart = 0;
    for (int k = 1; k <= w; ++k) {
      const size_t previous = alongZ ? static_cast<size_t>(line) + static_cast<size_t>(k - 1) * w
                                     : static_cast<size_t>(k - 1) + static_cast<size_t>(line) * w;
      bool same = false;
      if (k < w) {
        const size_t current = alongZ ? static_cast<size_t>(line) + static_cast<size_t>(k) * w
                                      : static_cast<size_t>(k) + static_cast<size_t>(line) * w;
        same = top[current] == top[previous] && bottom[current] == bottom[previous];
      }
      if (same) continue;
      const int i0 = alongZ ? line : runStart;
      const int i1 = alongZ ? line + 1 : k;
      const int j0 = alongZ ? runStart : line;
      const int j1 = alongZ ? k : line + 1;
      beg.push_back(Int3(regionLow.x() + i0 * cellSide, y0 + bottom[previous], regionLow.z() + j0 * cellSide));
      end.push_back(Int3(regionLow.x() + i1 * cellSide, y0 + top[previous], regionLow.z() + j1 * cellSide));
      runStart = k;
    }
  }
  assert(beg.size() == end.size());
}

/// Places one random block against the recorded boxes; false when it must be dropped.
bool settleBlock(Int3& lo, Int3& hi, const RecordedBoxes& recorded) {
  size_t i = 0;
  while (i < recorded.cubesPosBeg.size()) {
    const Int3& rb = recorded.cubesPosBeg[i];
    const Int3& re = recorded.cubesPosEnd[i];
    if (lo >= rb && lo < re) {
      // Raising always moves the bottom up to a recorded top, so this ends.
      const int height = hi.y() - lo.y();
      lo.y() = re.y();
      hi.y() = lo.y() + height;
      i = 0;
      continue;
    }
    if (lo <= rb && hi >= re) return false;
    ++i;
  }
  return true;
}

enum class BlockKind { large, medium, small, single };

void buildRandomBlock(IndexedWorld& world, BlockKind kind, const Int3& centre, int hillside, int range,
                      RecordedBoxes& recorded, const std::vector<Editor3DWorldGeneration::CellTypes>& cellTypes,
                      int w) {
  const int half = range / 2;
  const int dx = std::rand() % range - half;
  const int dz = std::rand() % range - half;
  int y = centre.y();
  if (hillside == 1) y += dx;
  if (hillside == 2) y -= dx;
  if (hillside == 3) y += dz;
  if (hillside == 4) y -= dz;
  const Int3 base(centre.x() + dx, y, centre.z() + dz);
  Int3 lo, hi;
  for (int axis = 0; axis < 3; ++axis) {
    switch (kind) {
      case BlockKind::large: {
        const int r0 = std::rand() % 3, r1 = std::rand() % 3, r2 = std::rand() % 3, r3 = std::rand() % 3;
        lo[axis] = base[axis] - (r0 + 1) * (r1 + 1);
        hi[axis] = base[axis] + (r2 + 1) * (r3 + 1);
        break;
      }
      case BlockKind::medium: {
        const int r0 = std::rand() % 3, r1 = std::rand() % 3;
        lo[axis] = base[axis] - (r0 + 1);
        hi[axis] = base[axis] + (r1 + 1);
        break;
      }
      case BlockKind::small: {
        const int q0 = std::rand() % 2, q1 = std::rand() % 2;
        lo[axis] = base[axis] - q0;
        hi[axis] = base[axis] + q1 + 1;
        break;
      }
      case BlockKind::single:
        lo[axis] = base[axis];
        hi[axis] = base[axis] + 1;
        break;
    }
  }
  if (!settleBlock(lo, hi, recorded)) return;
  const Int3 regionLow(centre.x() - half, centre.y(), centre.z() - half);
  lo.x() = std::max(lo.x(), centre.x() - half);
  lo.z() = std::max(lo.z(), centre.z() - half);
  hi.x() = std::min(hi.x(), centre.x() + half);
  hi.z() = std::min(hi.z(), centre.z() + half);
  if (lo.x() >= hi.x() || lo.y() >= hi.y() || lo.z() >= hi.z()) return;
  recorded.cubesPosBeg.push_back(lo);
  recorded.cubesPosEnd.push_back(hi);
  fillColumn(world, lo, hi, regionLow, range, cellTypes, w);
}

}  // namespace

void Editor3DWorldGeneration::resetSettings() {
  nbAdditionalRandomCubes = 0;
  heightmapAccuracy = 1;
  heightmapHeightFactor = 0.2f;
  nbCustomObjects = 0;
}

int Editor3DWorldGeneration::getCubesPerRegion(const IndexedWorld& world) {
  const double cubes = static_cast<double>(world.getSizeOneRegion()) / CubesTable::getSizeOneCube();
  if (!(cubes >= 1.0)) return 1;
  return static_cast<int>(std::lround(std::min(cubes, 1e6)));
}

void Editor3DWorldGeneration::placeObjectOnGround(IndexedWorld& world, int x, int z, int objectType) {
  const float s = CubesTable::getSizeOneCube();
  const float realX = (static_cast<float>(x) + 0.5f) * s;
  const float realZ = (static_cast<float>(z) + 0.5f) * s;
  float ground = world.getHeightAt(realX, realZ);
  if (ground == std::numeric_limits<float>::lowest()) ground = 0.f;
  world.addCustomObject(CustomObject(false, Float3(realX, ground, realZ), static_cast<uint32_t>(objectType), ""));
}

void Editor3DWorldGeneration::generateRegion(IndexedWorld& world, const Int3& centre, int hillside, int32_t fillType,
                                             int32_t topType, int objectType) {
  std::cout << "Generate random at " << centre << " (type " << hillside << ")" << std::endl;
  const int range = getCubesPerRegion(world);
  buildRegion(world, centre, hillside, {}, {}, range, {CellTypes{fillType, topType}}, 0, objectType);
}

void Editor3DWorldGeneration::buildRegion(IndexedWorld& world, const Int3& centre, int hillside,
                                          const std::vector<int>& topHeights, const std::vector<int>& bottomHeights,
                                          int rangeGeneration, const std::vector<CellTypes>& cellTypes, int w,
                                          int objectType) {
  const Int2 sizeHeightmap(w, w);
  assert(sizeHeightmap.width() >= 0 && sizeHeightmap.height() >= 0);
  assert(sizeHeightmap.width() <= rangeGeneration && sizeHeightmap.height() <= rangeGeneration);
  if (rangeGeneration <= 0 || cellTypes.empty()) return;
  std::cout << "=" << std::flush;

  const int range = rangeGeneration;
  const int half = range / 2;
  const int x0 = centre.x(), y0 = centre.y(), z0 = centre.z();
  const Int3 regionLow(x0 - half, y0, z0 - half);
  const size_t nbSamples = static_cast<size_t>(w) * static_cast<size_t>(w);
  const bool hasSamples = w > 0 && topHeights.size() == nbSamples && bottomHeights.size() == nbSamples;
  const int32_t topType = cellTypes[0].top;

  RecordedBoxes recorded;
  if (hillside == 0 && hasSamples) {
    const int cellSide = range / w;
    std::vector<Int3> begVert, endVert, begHoriz, endHoriz;
    collectRuns(true, topHeights, bottomHeights, w, cellSide, regionLow, y0, begVert, endVert);
    collectRuns(false, topHeights, bottomHeights, w, cellSide, regionLow, y0, begHoriz, endHoriz);
    const bool vertical = begVert.size() <= begHoriz.size();
    std::vector<Int3>& beg = vertical ? begVert : begHoriz;
    std::vector<Int3>& end = vertical ? endVert : endHoriz;
    for (size_t i = 0; i < beg.size(); ++i) {
      if (end[i].y() <= beg[i].y()) continue;
      recorded.cubesPosBeg.push_back(beg[i]);
      recorded.cubesPosEnd.push_back(end[i]);
      fillColumn(world, beg[i], end[i], regionLow, range, cellTypes, w);
    }
  } else if (hillside == 0) {
    const Int3 beg(x0 - half, y0, z0 - half), end(x0 + half, y0 + 1, z0 + half);
    recorded.cubesPosBeg.push_back(beg);
    recorded.cubesPosEnd.push_back(end);
    addCubeBox(world, beg, end, topType);
  } else {
    for (int k = -half; k < range - half; ++k) {
      Int3 beg, end;
      switch (hillside) {
        case 1: beg = Int3(x0 + k, y0 + k, z0 - half); end = Int3(x0 + k + 1, y0 + k + 1, z0 + half); break;
        case 2: beg = Int3(x0 + k, y0 - k, z0 - half); end = Int3(x0 + k + 1, y0 - k + 1, z0 + half); break;
        case 3: beg = Int3(x0 - half, y0 + k, z0 + k); end = Int3(x0 + half, y0 + k + 1, z0 + k + 1); break;
        default: beg = Int3(x0 - half, y0 - k, z0 + k); end = Int3(x0 + half, y0 - k + 1, z0 + k + 1); break;
      }
      recorded.cubesPosBeg.push_back(beg);
      recorded.cubesPosEnd.push_back(end);
      addCubeBox(world, beg, end, topType);
    }
  }

  if (nbAdditionalRandomCubes > 0) {
    const int n = std::rand() % nbAdditionalRandomCubes;
    int nbLarge = 0, nbMedium = 0, nbSmall = 0;
    for (int i = 0; i < n; ++i) {
      const int draw = std::rand() % 100;
      if (draw < 5) ++nbLarge;
      else if (draw < 25) ++nbMedium;
      else if (draw < 62) ++nbSmall;
    }
    for (int i = 0; i < n; ++i) {
      const BlockKind kind = i < nbLarge ? BlockKind::large
                             : i < nbLarge + nbMedium ? BlockKind::medium
                             : i < nbLarge + nbMedium + nbSmall ? BlockKind::small
                                                                : BlockKind::single;
      buildRandomBlock(world, kind, centre, hillside, range, recorded, cellTypes, w);
    }
  }

  // A region where nothing was built (a heightmap at ground level) has nothing to stand on.
  if (nbCustomObjects > 0 && !recorded.cubesPosEnd.empty()) {
    const int n = std::rand() % nbCustomObjects;
    const float s = CubesTable::getSizeOneCube();
    for (int i = 0; i < n; ++i) {
      const int x = x0 + std::rand() % range - half;
      const int z = z0 + std::rand() % range - half;
      int y = recorded.cubesPosEnd[0].y();
      for (size_t b = 0; b < recorded.cubesPosBeg.size(); ++b) {
        const Int3& beg = recorded.cubesPosBeg[b];
        const Int3& end = recorded.cubesPosEnd[b];
        if (beg.x() <= x && x < end.x() && beg.z() <= z && z < end.z()) y = std::max(y, end.y());
      }
      world.addCustomObject(CustomObject(false, Float3(x * s, y * s, z * s), static_cast<uint32_t>(objectType), ""));
    }
  }
}

bool Editor3DWorldGeneration::generateFromHeightmap(IndexedWorld& world, const Int3& cursor, int n,
                                                    const int32_t types[6], int objectType) {
  if (!FileManager::fileExists(heightmapFileName)) return false;
  std::cout << "Generate random full world ..." << std::endl;
  std::unique_ptr<ImageLoader> imageHeightmap(new ImageLoader(heightmapFileName, true));
  std::unique_ptr<ImageLoader> imageGroundmap;
  if (FileManager::fileExists(groundmapFileName)) {
    imageGroundmap.reset(new ImageLoader(groundmapFileName, true));
  } else {
    showProblem(std::string("Missing file '") + groundmapFileName + "': the ground is at the cursor's height");
  }
  if (imageGroundmap && !(imageGroundmap->getSize() == imageHeightmap->getSize())) {
    showProblem(std::string("'") + groundmapFileName + "' must have the size of '" + heightmapFileName +
                "': nothing generated");
    return true;
  }

  const int range = getCubesPerRegion(world);
  const int accuracy = std::max(1, heightmapAccuracy);
  const int w = std::max(1, std::min(range, range / accuracy));
  const int width = imageHeightmap->getWidth();
  const int height = imageHeightmap->getHeight();
  const int bytesHeight = imageHeightmap->getIsAlpha() ? 4 : 3;
  const int bytesGround = imageGroundmap && imageGroundmap->getIsAlpha() ? 4 : 3;
  const unsigned char* heightPixels = imageHeightmap->getPixels();
  const unsigned char* groundPixels = imageGroundmap ? imageGroundmap->getPixels() : nullptr;
  const size_t nbSamples = static_cast<size_t>(w) * static_cast<size_t>(w);
  std::vector<int> topHeights(nbSamples), bottomHeights(nbSamples);
  std::vector<CellTypes> cellTypes(nbSamples);
  const CellTypes pairs[3] = {{types[0], types[1]}, {types[2], types[3]}, {types[4], types[5]}};

  for (int p = -n / 2; p < n - n / 2; ++p)
    for (int q = -n / 2; q < n - n / 2; ++q) {
      const int a = p + n / 2;
      const int b = q + n / 2;
      const Int2 imagePosExtremity1(static_cast<int>(static_cast<double>(a) * width / n),
                                    static_cast<int>(static_cast<double>(b) * height / n));
      const Int2 imagePosExtremity2(static_cast<int>(static_cast<double>(a + 1) * width / n),
                                    static_cast<int>(static_cast<double>(b + 1) * height / n));
      const Int2 rectangle = imagePosExtremity2 - imagePosExtremity1;
      for (int i = 0; i < w; ++i)
        for (int j = 0; j < w; ++j) {
          Int2 coordinatesInHeightmapImage(imagePosExtremity1.x() + rectangle.x() * i / w,
                                           imagePosExtremity1.y() + rectangle.y() * j / w);
          assert(coordinatesInHeightmapImage.x() >= imagePosExtremity1.x() && coordinatesInHeightmapImage.y() >= imagePosExtremity1.y());
          assert(coordinatesInHeightmapImage.x() <= imagePosExtremity2.x() && coordinatesInHeightmapImage.y() <= imagePosExtremity2.y());
          // The far corner belongs to the next rectangle and may lie past the image.
          const int px = std::max(0, std::min(width - 1, coordinatesInHeightmapImage.x()));
          const int py = std::max(0, std::min(height - 1, coordinatesInHeightmapImage.y()));
          const size_t pixel = static_cast<size_t>(py) * static_cast<size_t>(width) + static_cast<size_t>(px);
          const unsigned char* rgb = heightPixels + pixel * bytesHeight;
          const size_t sample = static_cast<size_t>(i) + static_cast<size_t>(j) * w;
          topHeights[sample] = toHeight(heightmapHeightFactor, std::min(rgb[0], std::min(rgb[1], rgb[2])));
          bottomHeights[sample] = groundPixels ? toHeight(heightmapHeightFactor, groundPixels[pixel * bytesGround]) : 0;
          if (rgb[0] >= rgb[1] && rgb[0] >= rgb[2]) cellTypes[sample] = pairs[0];
          else if (rgb[1] >= rgb[2]) cellTypes[sample] = pairs[1];
          else if (rgb[2] > rgb[0] && rgb[2] > rgb[1]) cellTypes[sample] = pairs[2];
          else assert(false);
        }
      const Int3 centre = cursor + Int3(p * range + range / 2, 0, q * range + range / 2);
      buildRegion(world, centre, 0, topHeights, bottomHeights, range, cellTypes, w, objectType);
    }
  imageHeightmap.reset();
  imageGroundmap.reset();
  std::cout << std::endl << "... Generate random full world done." << std::endl;
  return true;
}

void Editor3DWorldGeneration::generateFloatingIslands(IndexedWorld& world, const Int3& cursor, int32_t type) {
  const int range = getCubesPerRegion(world);
  const int h = 4 * range;
  const int n = nbAdditionalRandomCubes * 512 / 10;
  std::cout << "Generate " << n << " cubes" << std::endl;
  // The walk starts at the cursor, so the islands lie around it wherever it is.
  Int3 p = cursor;
  Int3 d(0, 0, 0);
  for (int block = 0; block < n; ++block) {
    const int v = static_cast<int>(randPercent());
    Int3 b;
    if (v < 80) {
      b = p + d + d + d;
    } else if (v < 98) {
      b = p + d + d + d;
      p = b;
    } else {
      p.z() = cursor.z() - h + std::rand() % (2 * h);
      p.y() = cursor.y() - h + std::rand() % (2 * h);
      p.x() = cursor.x() - h + std::rand() % (2 * h);
      b = p;
    }
    const int s = std::rand() % 32 + 1;
    const Int3 lo = s % 2 == 0 ? b - Int3(s / 2, s / 2, s / 2) : b - Int3((s - 1) / 2, (s - 1) / 2, (s - 1) / 2);
    const Int3 hi = s % 2 == 0 ? b + Int3(s / 2, s / 2, s / 2) : b + Int3((s + 1) / 2, (s + 1) / 2, (s + 1) / 2);
    addCubeBox(world, lo, hi, type);
    const int m = static_cast<int>(s * 0.5 + 0.51);
    for (int axis = 0; axis < 3; ++axis) d[axis] = randPercent() > 50 ? -m : m;
  }
  std::cout << "... generate done." << std::endl;
}

void Editor3DWorldGeneration::addRandomObjects(IndexedWorld& world, int n, const Int3& cursor, int objectType) {
  const int range = getCubesPerRegion(world);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const int x = cursor.x() + (i - n / 2) * range;
      const int z = cursor.z() + (j - n / 2) * range;
      const int count = nbCustomObjects > 0 ? std::rand() % nbCustomObjects : 0;
      std::cout << "Generate " << count << " random objects on " << x << " x " << z << std::endl;
      for (int k = 0; k < count; ++k) {
        const int r1 = std::rand();
        const int r2 = std::rand();
        placeObjectOnGround(world, x + range / 2 - r1 % range, z + range / 2 - r2 % range, objectType);
      }
    }
}
