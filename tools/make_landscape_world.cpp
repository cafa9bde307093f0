// Writes a large landscape world for the flyover benchmark: n x n regions (default 64 x 64)
// generated from the game directory's world_heightmap.png and world_groundmap.png by the
// editor's own landscape generation, centred on the origin, with six cube types (sand shores,
// grass meadows, rock heights) and no script objects, saved by the engine's world writer.
// Run in a game directory (the images, the cube textures and the configuration are read from
// there); it opens the engine's window, so it needs a display (Xvfb will do).
//
// Usage: make_landscape_world OUTPUT [regions per side] [configuration file]
//        (0 regions: the empty world, no types)
//        (defaults: 64 and "world.xml"; the region and cube sizes are the configuration's)

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "DeviceManager.h"
#include "editor/Editor3DWorldGeneration.h"
#include "FileManager.h"
#include "world/IndexedWorld.h"
#include "world/WorldFile.h"

namespace {

/// Faces in the engine's order: top, bottom, front, back, left, right.
struct CubeLook {
  const char* top;
  const char* bottom;
  const char* side;
};

// (fill, top) pairs for the heightmap's red, green and blue pixels.
constexpr CubeLook looks[6] = {
    {"stone.png", "stone.png", "stone.png"},           {"worn_rock.png", "stone.png", "worn_rock.png"},
    {"dirt.png", "dirt.png", "dirt.png"},              {"grass_top.png", "dirt.png", "grass_side.png"},
    {"sand.png", "sand.png", "sand.png"},              {"sand.png", "sand.png", "sand.png"},
};

/// An empty world to start from: the engine reads a world file at construction.
bool writeEmptyWorld(const std::string& path) {
  WorldFile file;
  file.putEmptyWorld();
  return file.writeTo(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT [regions per side] [configuration file]\n", argv[0]);
    return 2;
  }
  const std::string output = argv[1];
  const int n = argc > 2 ? std::atoi(argv[2]) : 64;
  const std::string configFile = argc > 3 ? argv[3] : "world.xml";
  if (n == 0) return writeEmptyWorld(output) ? 0 : 1;
  if (n < 1 || !FileManager::fileExists(configFile)) {
    std::fprintf(stderr, "bad region count or missing configuration '%s'\n", configFile.c_str());
    return 2;
  }

  DeviceManager::createInstance(argv[0], "", 800, 600, false);
  DeviceManager::getInstance()->getConfig().load(configFile);
  const std::string startFile = output + ".empty";
  if (!writeEmptyWorld(startFile)) return 1;
  int status = 0;
  {
    IndexedWorld world(startFile);
    std::remove(startFile.c_str());
    const bool options[3] = {true, true, true};
    int32_t types[6];
    for (int i = 0; i < 6; ++i) {
      const std::string names[6] = {looks[i].top, looks[i].bottom, looks[i].side,
                                    looks[i].side, looks[i].side, looks[i].side};
      types[i] = world.addCubeType(names, options, true);
    }
    Editor3DWorldGeneration::resetSettings();
    if (!Editor3DWorldGeneration::generateFromHeightmap(world, Int3(0, 0, 0), n, types, 0)) {
      std::fprintf(stderr, "no %s in the working directory\n", Editor3DWorldGeneration::heightmapFileName);
      status = 1;
    } else if (!world.saveWorld(output)) {
      status = 1;
    }
  }
  DeviceManager::destroyInstance();
  return status;
}
