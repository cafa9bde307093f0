#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "world/CubeType.h"
#include "world/CubeTypeManager.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "TestImages.h"
#include "ZoneTestHelpers.h"
#include "world/CubeZoneLooks.h"

using namespace zonetest;

namespace {

const bool defaultOptions[3] = {true, true, true};

std::string imageName(const Sprite* sprite) { return sprite->getImages()[sprite->currentImage]->getName(); }

int usesOf(const std::string& fileName) { return GLManager::getSpriteManager()->getNbSpritesUsingImage(fileName); }

/// Six faces named after one file.
struct Names {
  explicit Names(const std::string& name) {
    for (std::string& n : names) n = name;
  }
  std::string names[6];
};

class CubeTypeTest : public testing::Test {
 protected:
  void SetUp() override { GLTestWindow::get(); }
};

}  // namespace

TEST_F(CubeTypeTest, EmptyNamesShowTheDefaultTextureWithoutBumpmaps) {
  const Names none("");
  CubeType type(none.names, defaultOptions, false);
  ASSERT_NE(type.textureShadow, nullptr);
  EXPECT_EQ(imageName(type.textureShadow), "images_engine/black_semi_transparent.png");
  EXPECT_EQ(type.textureFace[0], nullptr);
  type.loadTextures();
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(imageName(type.textureFace[i]), "images_engine/default_texture.png");
    EXPECT_EQ(imageName(type.textureFaceShadowed[i]), "images_engine/default_texture.png");
    EXPECT_EQ(type.textureFaceBumpmap[i], nullptr);
    EXPECT_EQ(type.getLook().bumpmaps[i].pixels, nullptr);
  }
}

TEST_F(CubeTypeTest, NamedTexturesComeFromTheThreeDirectories) {
  const Names stone("stone.png");
  CubeType type(stone.names, defaultOptions, true);
  type.loadTextures();
  EXPECT_TRUE(type.areTexturesLoaded());
  EXPECT_EQ(imageName(type.textureFace[3]), "cube_textures/stone.png");
  EXPECT_EQ(imageName(type.textureFaceShadowed[3]), "cube_shadowed_textures/stone.png");
  ASSERT_NE(type.textureFaceBumpmap[3], nullptr);
  EXPECT_EQ(imageName(type.textureFaceBumpmap[3]), "cube_bumpmap_textures/stone.png");
  // Types naming the same file share one image: six faces, one load.
  EXPECT_EQ(usesOf("cube_textures/stone.png"), 6);

  const CubeTypeLook& look = type.getLook();
  EXPECT_EQ(look.textureFace[3], CubeType::getTextureId(type.textureFace[3]));
  EXPECT_EQ(look.textureFaceShadowed[3], CubeType::getTextureId(type.textureFaceShadowed[3]));
  EXPECT_NE(look.textureFace[3], look.textureFaceShadowed[3]);
  EXPECT_EQ(look.textureShadow, CubeType::getTextureId(type.textureShadow));
  EXPECT_EQ(look.bumpmaps[3].width, 4);
  EXPECT_EQ(look.bumpmaps[3].height, 4);
  EXPECT_NE(look.bumpmaps[3].pixels, nullptr);
}

TEST_F(CubeTypeTest, MissingFilesFallBackPerDirectory) {
  // Only the face texture exists: the shadowed face gets the default, and no bump map.
  TempDir dir;
  for (const char* name : {"images_engine/default_texture.png", "images_engine/black_semi_transparent.png"})
    dir.write(name, readFile(name));
  dir.write("cube_textures/plain.png", readFile("cube_textures/sand.png"));
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  {
    const Names plain("plain.png");
    CubeType type(plain.names, defaultOptions, false);
    type.loadTextures();
    EXPECT_EQ(imageName(type.textureFace[0]), "cube_textures/plain.png");
    EXPECT_EQ(imageName(type.textureFaceShadowed[0]), "images_engine/default_texture.png");
    EXPECT_EQ(type.textureFaceBumpmap[0], nullptr);
  }
  ASSERT_EQ(chdir(previous), 0);
}

TEST_F(CubeTypeTest, BumpMapsOfAnotherSizeThanFourByFourAreFlatWithOneReportPerFile) {
  TempDir dir;
  for (const char* name : {"images_engine/default_texture.png", "images_engine/black_semi_transparent.png"})
    dir.write(name, readFile(name));
  for (const char* name : {"wide.png", "big.png"}) dir.write(std::string("cube_textures/") + name, readFile("cube_textures/sand.png"));
  dir.write("cube_bumpmap_textures/wide.png", "");
  writeTestPng(dir.file("cube_bumpmap_textures/wide.png"), 8, 2, 3, std::vector<unsigned char>(8 * 2 * 3, 200));
  writeTestPng(dir.file("cube_bumpmap_textures/big.png"), 16, 16, 3, std::vector<unsigned char>(16 * 16 * 3, 200));
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  {
    const std::string names[6] = {"wide.png", "wide.png", "wide.png", "big.png", "big.png", "big.png"};
    CubeType type(names, defaultOptions, true);
    testing::internal::CaptureStderr();
    type.loadTextures();
    type.freeTextures();
    type.loadTextures();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors,
              "ERROR : Bump map 'cube_bumpmap_textures/wide.png' is 8 x 2 pixels, not 4 x 4: its faces are drawn flat\n"
              "ERROR : Bump map 'cube_bumpmap_textures/big.png' is 16 x 16 pixels, not 4 x 4: its faces are drawn flat\n");
    for (int face = 0; face < 6; ++face) EXPECT_EQ(type.getLook().bumpmaps[face].pixels, nullptr) << face;

    // The near build of a lone cube then lays the flat default's 16 small quads per face.
    std::vector<CubeZone> zones{zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1))};
    CubesTable table(regionCentre, 1.f, regionSize, zones);
    MeshGroupMap groups;
    zones[0].buildNear(groups, table, type.getLook());
    size_t nbVertices = 0;
    for (const auto& group : groups) nbVertices += group.second.verticesQuadVect.size();
    EXPECT_EQ(nbVertices, 6u * 16u * 4u);
  }
  ASSERT_EQ(chdir(previous), 0);
}

TEST_F(CubeTypeTest, LoadOnceFreeOnceKeepTheShadow) {
  const Names brick("brick.png");
  CubeType type(brick.names, defaultOptions, true);
  testing::internal::CaptureStdout();
  type.freeTextures();  // not loaded: nothing at all
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  type.loadTextures();
  type.loadTextures();
  EXPECT_EQ(usesOf("cube_textures/brick.png"), 6);
  EXPECT_EQ(usesOf("cube_bumpmap_textures/brick.png"), 6);

  testing::internal::CaptureStdout();
  type.freeTextures();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log.find("Free unused texture for CubeType ..."), 0u) << log;
  EXPECT_NE(log.find(" ... free unused texture done\n"), std::string::npos) << log;
  EXPECT_EQ(usesOf("cube_textures/brick.png"), 0);
  EXPECT_EQ(type.textureFace[0], nullptr);
  EXPECT_FALSE(type.areTexturesLoaded());
  EXPECT_NE(type.textureShadow, nullptr);
  EXPECT_EQ(usesOf("images_engine/black_semi_transparent.png"), 1);
}

TEST_F(CubeTypeTest, ModifyReloadsWithTheNewDescription) {
  const Names sand("sand.png");
  CubeType type(sand.names, defaultOptions, false);
  type.loadTextures();
  const Names snow("snow.png");
  const bool options[3] = {false, true, false};
  type.modify(snow.names, options, true);
  EXPECT_TRUE(type.collidable);
  EXPECT_FALSE(type.textureOptions[0]);
  EXPECT_FALSE(type.getLook().textureOptions[2]);
  EXPECT_EQ(imageName(type.textureFace[5]), "cube_textures/snow.png");
  EXPECT_EQ(usesOf("cube_textures/sand.png"), 0);
  EXPECT_EQ(usesOf("images_engine/black_semi_transparent.png"), 1);
}

TEST_F(CubeTypeTest, ManagerRegistryUsedFlagsAndDefaultType) {
  std::vector<int> removedTypes;
  CubeTypeManager manager([&removedTypes](int id) { removedTypes.push_back(id); });
  EXPECT_EQ(CubeTypeManager::getInstance(), &manager);
  const Names stone("stone.png"), dirt("dirt.png");
  testing::internal::CaptureStdout();
  EXPECT_EQ(manager.addCubeType(stone.names, defaultOptions, true), 0);
  EXPECT_EQ(manager.addCubeType(dirt.names, defaultOptions, false), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Add cube type with stone.png, etc. and collidable = 1\n"
            "Add cube type with dirt.png, etc. and collidable = 0\n");
  EXPECT_EQ(manager.getNbCubeType(), 2);

  CubeType* stoneType = manager.getCubeType(0);  // fetching by id marks the type used
  EXPECT_TRUE(stoneType->getIsUsed());
  stoneType->loadTextures();
  manager.getCubeType(1)->loadTextures();
  manager.getCubeType(1)->keepTextures = true;
  manager.clearUsedFlags();
  EXPECT_FALSE(stoneType->getIsUsed());
  manager.freeUnusedTextures();
  EXPECT_EQ(usesOf("cube_textures/stone.png"), 0);
  EXPECT_EQ(usesOf("cube_textures/dirt.png"), 6);  // kept by the editor

  stoneType->loadTextures();
  manager.getCubeType(0);
  manager.freeUnusedTextures();
  EXPECT_EQ(usesOf("cube_textures/stone.png"), 6);

  CubeType* fallback = manager.getDefaultCubeType();
  EXPECT_EQ(manager.getCubeTypeForDrawing(2), fallback);
  EXPECT_EQ(manager.getCubeTypeForDrawing(-1), fallback);
  EXPECT_EQ(manager.getCubeTypeForDrawing(1), manager.getCubeType(1));
  EXPECT_FALSE(fallback->collidable);

  manager.removeLastCubeType();
  EXPECT_EQ(removedTypes, std::vector<int>{1});
  EXPECT_EQ(manager.getNbCubeType(), 1);
  EXPECT_EQ(usesOf("cube_textures/dirt.png"), 0);
  manager.clear();
  EXPECT_EQ(manager.getNbCubeType(), 0);
}

TEST_F(CubeTypeTest, ContainsOnlyForCollidableTypes) {
  CubeTypeManager manager;
  const Names stone("stone.png");
  manager.addCubeType(stone.names, defaultOptions, true);
  manager.addCubeType(stone.names, defaultOptions, false);
  CubeZone wall(0, Float3(2.f, 1.f, 0.5f), Float3(2.f, 2.f, 1.f));
  const CubeType* wallType = manager.getCubeType(0);
  manager.clearUsedFlags();
  EXPECT_TRUE(CubeZoneLooks::contains(wall, Float3(1.5f, 0.5f, 0.5f)));
  EXPECT_TRUE(wallType->getIsUsed());
  EXPECT_TRUE(CubeZoneLooks::contains(wall, Float3(1.f, 2.f, 1.f)));  // bounds included
  EXPECT_FALSE(CubeZoneLooks::contains(wall, Float3(0.99f, 1.f, 0.5f)));
  EXPECT_FALSE(CubeZoneLooks::contains(wall, Float3(2.f, 1.f, 1.01f)));
  CubeZone ghost(1, wall.centre, wall.size);
  EXPECT_FALSE(CubeZoneLooks::contains(ghost, wall.centre));
}

TEST_F(CubeTypeTest, InvalidIdsAreFatalForFetchAndContainment) {
  CubeTypeManager manager;
  const Names stone("stone.png");
  manager.addCubeType(stone.names, defaultOptions, true);
  EXPECT_EXIT(manager.getCubeType(1), testing::ExitedWithCode(1), "id < cubeTypes.size\\(\\)");
  CubeZone unknown(5, Float3(0.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f));
  EXPECT_EXIT(CubeZoneLooks::contains(unknown, unknown.centre), testing::ExitedWithCode(1), "id < cubeTypes.size\\(\\)");
  CubeZone negative(-1, Float3(0.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f));
  EXPECT_EXIT(CubeZoneLooks::contains(negative, negative.centre), testing::ExitedWithCode(1), "id >= 0");
}

TEST_F(CubeTypeTest, BuildersUseTheDefaultTypeForUnknownIdsAndNoShadowTriangles) {
  CubeTypeManager manager;
  const Names stone("stone.png");
  manager.addCubeType(stone.names, defaultOptions, true);
  std::vector<CubeZone> zones{zoneOfCells(0, Int3(1, 1, 1), Int3(1, 1, 1)), zoneOfCells(7, Int3(5, 5, 5), Int3(1, 1, 1)),
                              zoneOfCells(-3, Int3(9, 9, 9), Int3(1, 1, 1))};
  for (CubeZone& zone : zones) zone.shadowTriangles[3] = {Float3(0, 0.5f, 0), Float3(0.5f, 0.5f, 0), Float3(0, 0.5f, 0.5f)};
  CubesTable table(regionCentre, 1.f, regionSize, zones);

  MeshGroupMap groups;
  for (const CubeZone& zone : zones) CubeZoneLooks::buildFar(zone, groups, table);
  const CubeTypeLook& stoneLook = manager.getCubeType(0)->getLook();
  const CubeTypeLook& defaultLook = manager.getDefaultCubeType()->getLook();
  // Every face of both types names one file, so a type's six faces share one group.
  EXPECT_EQ(groups[stoneLook.textureFace[0]].verticesQuadVect.size(), 24u);
  EXPECT_EQ(groups[defaultLook.textureFace[0]].verticesQuadVect.size(), 48u);
  // Only the valid zone lays its shadow triangle.
  EXPECT_EQ(groups[stoneLook.textureShadow].verticesTriVect.size(), 3u);

  shadowsEnabled = false;
  MeshGroupMap unshadowed;
  CubeZoneLooks::buildFar(zones[0], unshadowed, table);
  shadowsEnabled = true;
  for (const auto& entry : unshadowed) EXPECT_TRUE(entry.second.verticesTriVect.empty());

  MeshGroupMap near;
  for (const CubeZone& zone : zones) CubeZoneLooks::buildNear(zone, near, table);
  EXPECT_EQ(near[defaultLook.textureFace[2]].verticesQuadVect.size(), 2u * 6u * 64u);
}

TEST_F(CubeTypeTest, TwoThreadsMeshDisjointHalvesLikeOne) {
  CubeTypeManager manager;
  const char* files[] = {"stone.png", "dirt.png", "sand.png", "brick.png"};
  for (const char* file : files) {
    const Names names(file);
    manager.addCubeType(names.names, defaultOptions, true);
  }
  std::vector<CubeZone> zones;
  for (int i = 0; i < 200; ++i) zones.push_back(zoneOfCells(i % 5, Int3(i % 16, (i / 16) % 16, (i * 7) % 16), Int3(1, 1, 1)));
  CubesTable table(regionCentre, 1.f, regionSize, zones);
  // As the region does: every type used is loaded on the GL thread before meshing.
  for (const CubeZone& zone : zones) manager.getCubeTypeForDrawing(zone.id)->loadTextures();

  for (bool isNear : {false, true}) {
    auto mesh = [&](size_t from, size_t to, MeshGroupMap& groups) {
      for (size_t i = from; i < to; ++i)
        isNear ? CubeZoneLooks::buildNear(zones[i], groups, table) : CubeZoneLooks::buildFar(zones[i], groups, table);
    };
    MeshGroupMap serialFirst, serialSecond, first, second;
    mesh(0, 100, serialFirst);
    mesh(100, 200, serialSecond);
    // Taken before the flags are cleared: fetching by id would mark the type used itself.
    const CubeType* types[4];
    for (int id = 0; id < 4; ++id) types[id] = manager.getCubeType(id);
    manager.clearUsedFlags();
    std::thread worker([&] { mesh(100, 200, second); });
    mesh(0, 100, first);
    worker.join();
    for (int id = 0; id < 4; ++id) EXPECT_TRUE(types[id]->getIsUsed()) << id;
    auto sameGroups = [](const MeshGroupMap& a, const MeshGroupMap& b) {
      if (a.size() != b.size()) return false;
      for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib)
        if (ia->first != ib->first || !(ia->second.verticesQuadVect == ib->second.verticesQuadVect) ||
            !(ia->second.texCoordQuadVect == ib->second.texCoordQuadVect))
          return false;
      return true;
    };
    EXPECT_TRUE(sameGroups(first, serialFirst)) << isNear;
    EXPECT_TRUE(sameGroups(second, serialSecond)) << isNear;
  }
}
