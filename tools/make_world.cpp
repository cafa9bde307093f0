// Builds the sample game's world file with the engine's own world generation: the cube types, a
// landscape from the game directory's world_heightmap.png and world_groundmap.png, trees and
// small houses made of boxes, and script objects, all as a short description file says (see
// tools/sample_world.txt). Deterministic: the description's seed drives rand().
//
// It opens the engine's window (the cube types load their shadow texture), so without a display
// run it under Xvfb:
//   xvfb-run -a build/debug/tools/make_world game tools/sample_world.txt
//
// Usage: make_world [game directory] [description]   (defaults: "game", "tools/sample_world.txt")
// Writes "world.dat" in the game directory.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "editor/Editor3DWorldGeneration.h"
#include "world/IndexedWorld.h"
#include "world/WorldFile.h"

namespace {

const char* const worldFileName = "world.dat";

struct CubeTypeLine {
  std::string name;
  std::string textures[6];  // top, bottom, front, back, left, right
  bool collidable = true;
};

/// The description, one statement per line (see tools/sample_world.txt).
struct Description {
  unsigned seed = 1;
  std::vector<CubeTypeLine> cubeTypes;
  std::vector<std::string> objectTypes;
  int landscapeRegions = 8;
  int landscapeBase = 0;
  float heightFactor = 0.2f;
  int accuracy = 1;
  std::string landscapeFirstType;
  std::vector<std::vector<std::string>> features;  // trees, houses, objects, global_object lines
};

[[noreturn]] void fail(const std::string& text) {
  std::cerr << "make_world: " << text << std::endl;
  std::exit(1);
}

Description readDescription(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail("cannot read '" + path + "'");
  Description description;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    if (w[0] == "seed" && w.size() == 2) {
      description.seed = static_cast<unsigned>(std::stoul(w[1]));
    } else if (w[0] == "cube_type" && w.size() == 6) {
      CubeTypeLine type;
      type.name = w[1];
      type.textures[0] = w[2];
      type.textures[1] = w[3];
      for (int face = 2; face < 6; ++face) type.textures[face] = w[4];
      type.collidable = w[5] != "0";
      description.cubeTypes.push_back(type);
    } else if (w[0] == "object_types" && w.size() >= 2) {
      description.objectTypes.assign(w.begin() + 1, w.end());
    } else if (w[0] == "landscape" && w.size() == 6) {
      description.landscapeRegions = std::stoi(w[1]);
      description.landscapeBase = std::stoi(w[2]);
      description.heightFactor = std::stof(w[3]);
      description.accuracy = std::stoi(w[4]);
      description.landscapeFirstType = w[5];
    } else if ((w[0] == "trees" && w.size() == 5) || (w[0] == "houses" && w.size() == 6) ||
               (w[0] == "objects" && w.size() >= 4) || (w[0] == "global_object" && w.size() == 5)) {
      description.features.push_back(w);
    } else {
      fail(where + "cannot understand '" + line + "'");
    }
  }
  return description;
}

class WorldBuilder {
 public:
  WorldBuilder(IndexedWorld& parWorld, const Description& parDescription)
      : world(parWorld), description(parDescription), cubeEdge(CubesTable::getSizeOneCube()) {
    const int cubesPerRegion = Editor3DWorldGeneration::getCubesPerRegion(world);
    halfExtent = description.landscapeRegions * cubesPerRegion / 2;
  }

  int32_t typeId(const std::string& name) const {
    for (size_t i = 0; i < description.cubeTypes.size(); ++i)
      if (description.cubeTypes[i].name == name) return static_cast<int32_t>(i);
    fail("no cube type named '" + name + "'");
  }
  int objectTypeId(const std::string& name) const {
    for (size_t i = 0; i < description.objectTypes.size(); ++i)
      if (description.objectTypes[i] == name) return static_cast<int>(i);
    fail("no object type named '" + name + "'");
  }

  /// The y of the column's top cube (-1000 when the column is empty).
  int topCube(int x, int z) const {
    const float height = world.getHeightAt((x + 0.5f) * cubeEdge, (z + 0.5f) * cubeEdge);
    if (height < -1e6f) return -1000;
    return static_cast<int>(std::lround(height / cubeEdge)) - 1;
  }
  /// Whether the column's top cube is one of `types` and stands above the sea (height 0).
  bool isGroundOf(int x, int z, const std::vector<int32_t>& types) const {
    const int top = topCube(x, z);
    if (top < 0) return false;
    const int32_t id = world.getCubeTypeAtCell(Int3(x, top, z));
    return std::find(types.begin(), types.end(), id) != types.end();
  }
  /// A random column at least `margin` cubes inside the landscape.
  void randomColumn(int margin, int& x, int& z) const {
    const int span = 2 * (halfExtent - margin);
    x = -halfExtent + margin + std::rand() % span;
    z = -halfExtent + margin + std::rand() % span;
  }
  void box(int x1, int y1, int z1, int x2, int y2, int z2, int32_t id) {
    world.addCubesParallelepiped(Int3(x1, y1, z1), Int3(x2, y2, z2), id);
  }

  void landscape() {
    Editor3DWorldGeneration::heightmapAccuracy = description.accuracy;
    Editor3DWorldGeneration::heightmapHeightFactor = description.heightFactor;
    const int32_t first = typeId(description.landscapeFirstType);
    const int32_t types[6] = {first, first + 1, first + 2, first + 3, first + 4, first + 5};
    if (first + 5 >= world.getNbCubeType()) fail("the landscape needs six cube types from its first one");
    if (!Editor3DWorldGeneration::generateFromHeightmap(world, Int3(0, description.landscapeBase, 0),
                                                        description.landscapeRegions, types, 0))
      fail("no world_heightmap.png in the game directory");
  }

  void trees(int count, int32_t trunk, int32_t leaves, int32_t ground) {
    int placed = 0;
    for (int attempt = 0; attempt < count * 50 && placed < count; ++attempt) {
      int x, z;
      randomColumn(4, x, z);
      if (!isGroundOf(x, z, {ground})) continue;
      const int g = topCube(x, z) + 1;
      const int height = 4 + std::rand() % 3;
      box(x - 2, g + height - 2, z - 2, x + 3, g + height, z + 3, leaves);
      box(x - 1, g + height, z - 1, x + 2, g + height + 1, z + 2, leaves);
      box(x, g, z, x + 1, g + height - 1, z + 1, trunk);
      ++placed;
    }
    std::cout << "Trees: " << placed << std::endl;
  }

  void houses(int count, int32_t walls, int32_t roof, int32_t floor, int32_t ground) {
    constexpr int side = 7;
    int placed = 0;
    for (int attempt = 0; attempt < count * 400 && placed < count; ++attempt) {
      int x, z;
      randomColumn(side + 2, x, z);
      int low = 1 << 30, high = -(1 << 30);
      bool isFlatGround = true;
      for (int i = -1; i <= side && isFlatGround; ++i)
        for (int j = -1; j <= side && isFlatGround; ++j) {
          if (!isGroundOf(x + i, z + j, {ground})) isFlatGround = false;
          low = std::min(low, topCube(x + i, z + j));
          high = std::max(high, topCube(x + i, z + j));
        }
      if (!isFlatGround || high - low > 2) continue;
      const int g = high + 1;
      box(x, low, z, x + side, g, z + side, floor);
      box(x, g, z, x + side, g + 4, z + side, walls);
      world.removeCubesParallelepiped(Int3(x + 1, g, z + 1), Int3(x + side - 1, g + 4, z + side - 1));
      world.removeCubesParallelepiped(Int3(x + 3, g, z), Int3(x + 4, g + 2, z + 1));                // door
      world.removeCubesParallelepiped(Int3(x, g + 1, z + 3), Int3(x + 1, g + 3, z + 4));            // windows
      world.removeCubesParallelepiped(Int3(x + side - 1, g + 1, z + 3), Int3(x + side, g + 3, z + 4));
      for (int step = 0; step < 4; ++step)
        box(x - 1 + step, g + 4 + step, z - 1 + step, x + side + 1 - step, g + 5 + step, z + side + 1 - step, roof);
      ++placed;
    }
    std::cout << "Houses: " << placed << std::endl;
  }

  void objects(int objectType, int count, const std::vector<int32_t>& grounds) {
    std::vector<std::pair<int, int>> taken;
    int placed = 0;
    for (int attempt = 0; attempt < count * 100 && placed < count; ++attempt) {
      int x, z;
      randomColumn(6, x, z);
      if (!isGroundOf(x, z, grounds)) continue;
      const bool isCrowded = std::any_of(taken.begin(), taken.end(), [&](const std::pair<int, int>& t) {
        return std::abs(t.first - x) < 12 && std::abs(t.second - z) < 12;
      });
      if (isCrowded) continue;
      Editor3DWorldGeneration::placeObjectOnGround(world, x, z, objectType);
      taken.emplace_back(x, z);
      ++placed;
    }
    std::cout << "Objects of type " << description.objectTypes[objectType] << ": " << placed << std::endl;
  }

  void globalObject(int objectType, int x, int y, int z) {
    world.addCustomObject(
        CustomObject(true, Float3(x * cubeEdge, y * cubeEdge, z * cubeEdge), static_cast<uint32_t>(objectType), ""));
  }

  void features() {
    for (const std::vector<std::string>& w : description.features) {
      if (w[0] == "trees") {
        trees(std::stoi(w[1]), typeId(w[2]), typeId(w[3]), typeId(w[4]));
      } else if (w[0] == "houses") {
        houses(std::stoi(w[1]), typeId(w[2]), typeId(w[3]), typeId(w[4]), typeId(w[5]));
      } else if (w[0] == "objects") {
        std::vector<int32_t> grounds;
        for (size_t i = 3; i < w.size(); ++i) grounds.push_back(typeId(w[i]));
        objects(objectTypeId(w[1]), std::stoi(w[2]), grounds);
      } else {
        globalObject(objectTypeId(w[1]), std::stoi(w[2]), std::stoi(w[3]), std::stoi(w[4]));
      }
    }
  }

 private:
  IndexedWorld& world;
  const Description& description;
  const float cubeEdge;
  int halfExtent = 0;
};

/// The empty world the indexed world starts from (it reads its file when created).
void writeEmptyWorld(const std::string& path) {
  WorldFile file;
  file.putEmptyWorld();
  if (!file.writeTo(path)) fail("cannot write '" + path + "'");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string gameDirectory = argc > 1 ? argv[1] : "game";
  const Description description = readDescription(argc > 2 ? argv[2] : "tools/sample_world.txt");
  if (chdir(gameDirectory.c_str()) != 0) fail("no game directory '" + gameDirectory + "'");

  DeviceManager* device = DeviceManager::createInstance("make_world", "make_world", 320, 240, false);
  XMLSimple& config = device->getConfig();
  config.load("world.xml");
  CubesTable::setSizeOneCube(static_cast<float>(config.getDouble("size_one_cube")));
  writeEmptyWorld(worldFileName);
  {
    std::vector<std::string> objectTypes = description.objectTypes;
    IndexedWorld world(worldFileName, &objectTypes);
    for (const CubeTypeLine& type : description.cubeTypes) {
      const bool options[3] = {true, true, true};
      world.addCubeType(type.textures, options, type.collidable);
    }
    std::srand(description.seed);
    WorldBuilder builder(world, description);
    builder.landscape();
    builder.features();
    // The landscape's columns and the edits' pieces, merged again into as few boxes as possible.
    world.optimizeAll();
    if (!world.saveWorld(worldFileName)) fail("cannot write the world file");
  }
  DeviceManager::destroyInstance();
  std::cout << "Wrote " << gameDirectory << "/" << worldFileName << std::endl;
  return 0;
}
