#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Camera.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "world/IndexedWorld.h"
#include "world/WorldRegion.h"
#include "scene/AdaptiveDetail.h"
#include "scene/Player.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "scene/Skybox.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "TestImages.h"
#include "scene/Water.h"
#include "scene/World.h"
#include "WorldTestHelpers.h"

namespace {

using Pixel = std::array<unsigned char, 4>;

bool isNear(const Pixel& pixel, int r, int g, int b, int tolerance = 8) {
  return std::abs(pixel[0] - r) <= tolerance && std::abs(pixel[1] - g) <= tolerance && std::abs(pixel[2] - b) <= tolerance;
}

std::string describe(const Pixel& p) {
  return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ")";
}

/// A one-colour RGB image of 8 x 8.
void writeSolidPng(const std::string& path, int r, int g, int b) {
  std::vector<unsigned char> pixels;
  for (int i = 0; i < 64; ++i) pixels.insert(pixels.end(), {(unsigned char)r, (unsigned char)g, (unsigned char)b});
  writeTestPng(path, 8, 8, 3, pixels);
}

// Skybox images of one colour each, so that a pixel tells which face it shows.
struct FaceColour {
  const char* name;
  int r, g, b;
};
constexpr FaceColour skyboxColours[6] = {{"bottom", 200, 40, 40}, {"top", 40, 200, 40},    {"left", 40, 40, 200},
                                         {"right", 200, 200, 40}, {"front", 200, 40, 200}, {"back", 40, 200, 200}};

/// Pixels of two read-backs of one size (RGBA) that differ by more than `levels` in a channel.
int countChangedPixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int levels) {
  int changed = 0;
  for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
    bool isChanged = false;
    for (size_t c = 0; c < 3; ++c) isChanged = isChanged || std::abs(a[i + c] - b[i + c]) > levels;
    changed += isChanged ? 1 : 0;
  }
  return changed;
}

class WorldTest : public testing::Test {
 protected:
  void SetUp() override {
    XMLSimple& config = loadSampleConfiguration();
    mkdir(images.file("sky").c_str(), 0755);
    for (const FaceColour& face : skyboxColours)
      writeSolidPng(images.file("sky/" + std::string(face.name) + ".png"), face.r, face.g, face.b);
    writeSolidPng(images.file("sea.png"), 250, 250, 250);
    config.setString("water_texture", images.file("sea.png"));
    config.setString("water_sub_texture", images.file("sea.png"));
    config.setBool("enable_multi_layered_water", false);
    config.setBool("enable_water_waves", false);
    config.setBool("single_water_layer", false);
    config.setBool("adaptive_detail", false);
    config.setDouble("default_distance_vision", 600.0);
  }

  void TearDown() override { world.reset(); }

  void createWorld() { world = std::make_unique<World>(emptyWorldFile(), nullptr, testSoundSystem(), "world.lua"); }

  static Scene3D* scene() { return GLManager::getScene3D(); }
  static Camera* camera() { return scene()->getCamera(); }

  /// The frame's 3D part as the main loop runs it in play mode: clear, camera behind the
  /// player, the world, then the water pass.
  /// A frame with the water's waves at `waterTimeMs` of their cycle, so frames compare exactly.
  void drawFrame(bool withWater = true, int64_t waterTimeMs = 1000) {
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
    Player* player = world->getPlayer();
    scene()->placeCamera(player->getPosition() + Float3(0.f, 10.f, 0.f), player->getCameraDistance());
    world->draw(false);
    if (withWater) world->drawWater(waterTimeMs);
    glFinish();
  }

  static Pixel centre() { return GLTestWindow::readPixel2D(400, 300); }

  TempDir images;
  std::unique_ptr<World> world;
};

// ---- Construction

TEST_F(WorldTest, ConstructionShowsTheLoadingScreenThenLoadsPlayerSkyboxAndWater) {
  testing::internal::CaptureStdout();
  createWorld();
  const std::string output = testing::internal::GetCapturedStdout();

  std::vector<std::string> phases;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, 5, "==== ") == 0 || line.find("loading.png") != std::string::npos) phases.push_back(line);
  const std::vector<std::string> expected = {"==== Loading world from file '" + emptyWorldFile() + "'",
                                             "==== Loading world done",
                                             "Loading image 'images_engine/loading.png' ... done.",
                                             "Freeing image 'images_engine/loading.png'",
                                             "==== Loading player",
                                             "==== Player loaded",
                                             "==== Loading skybox",
                                             "==== Skybox loaded",
                                             "==== Loading water",
                                             "==== Water loaded"};
  EXPECT_EQ(phases, expected) << output;

  EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage(World::loadingImage), 0);

  EXPECT_EQ(world->getViewDistance(), 1000.f);
  EXPECT_EQ(scene()->getFieldOfView(), 90.f);
  EXPECT_TRUE(scene()->getIsLighting());
  EXPECT_EQ(world->getSkybox()->getDirectory(), "skybox");
  EXPECT_EQ(world->getFogColour(), (BasicVector<4, unsigned char>(255, 255, 255, 255)));
  EXPECT_EQ(world->getPosition(), Float3(0.f, 0.f, 0.f));
  EXPECT_EQ(world->getWorldFile(), emptyWorldFile());
  EXPECT_EQ(world->getScriptFile(), "world.lua");
}

TEST_F(WorldTest, TheLoadingScreenIsTheLoadingImageCentredOnBlack) {
  World::drawLoadingScreen(false);
  glFinish();
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(5, 5), 0, 0, 0, 0));
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(400 - 140, 300), 0, 0, 0, 0));  // left of the 256-wide image
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(400, 300 - 40), 0, 0, 0, 0));   // above the 64-high image
  const Pixel panel = GLTestWindow::readPixel2D(400 - 110, 300);
  EXPECT_GT(panel[0] + panel[1] + panel[2], 60) << describe(panel);
  EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage(World::loadingImage), 0);
}

TEST_F(WorldTest, TheSampleSkyboxLoadsItsSixImagesInArrayOrder) {
  createWorld();
  const Skybox* skybox = world->getSkybox();
  const char* order[6] = {"bottom", "top", "left", "right", "front", "back"};
  for (int face = 0; face < 6; ++face) {
    EXPECT_EQ(std::string(Skybox::faceFileNames[face]), "/" + std::string(order[face]) + ".png");
    EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage("skybox/" + std::string(order[face]) + ".png"), 1);
    EXPECT_GT(skybox->getTextureIds()[face], 0);
  }
  EXPECT_EQ(skybox->size, Float3(100.f, 100.f, 100.f));
}

TEST_F(WorldTest, DestructionReleasesTheSkyboxAndWaterImages) {
  createWorld();
  world.reset();
  EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage("skybox/top.png"), 0);
  EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage(images.file("sea.png")), 0);
}

// ---- Collision provider

TEST_F(WorldTest, APointCollidesOnlyInACollidableCube) {
  createWorld();
  IndexedWorld& cubes = world->getIndexedWorld();
  const std::string names[6];
  const bool options[3] = {true, true, true};
  const int stone = cubes.addCubeType(names, options, true);
  const int mist = cubes.addCubeType(names, options, false);
  cubes.createCube(Int3(1, 2, 3), stone);   // [10, 20) x [20, 30) x [30, 40)
  cubes.createCube(Int3(-2, 0, 0), mist);   // [-20, -10) x [0, 10) x [0, 10)

  Float3 hit(-1.f, -1.f, -1.f);
  EXPECT_TRUE(world->testCollision(Float3(7.f, 8.f, 9.f), Float3(15.f, 25.f, 35.f), hit));
  EXPECT_EQ(hit, Float3(7.f, 8.f, 9.f));  // the start is handed back
  hit = Float3(-1.f, -1.f, -1.f);
  EXPECT_FALSE(world->testCollision(Float3(7.f, 8.f, 9.f), Float3(-15.f, 5.f, 5.f), hit));
  EXPECT_FALSE(world->testCollision(Float3(7.f, 8.f, 9.f), Float3(25.f, 25.f, 35.f), hit));
  EXPECT_FALSE(world->testCollision(Float3(0.f, 0.f, 0.f), Float3(1e9f, 0.f, 0.f), hit));
  EXPECT_EQ(hit, Float3(-1.f, -1.f, -1.f));
  EXPECT_FALSE(world->testPoint(Float3(15.f, 25.f, 35.f)));  // not the world's test

  EXPECT_TRUE(world->testSegment(Float3(15.f, 25.f, 0.f), Float3(15.f, 25.f, 100.f), hit));
  EXPECT_GE(hit.z(), 30.f);
  EXPECT_LE(hit.z(), 40.f);
  EXPECT_FALSE(world->testSegment(Float3(-15.f, 5.f, -50.f), Float3(-15.f, 5.f, 50.f), hit));
}

// ---- Update

TEST_F(WorldTest, ManagePutsTheLightAboveTheCameraAndMovesOnlyAnActivePlayer) {
  createWorld();
  camera()->setPosition(Float3(100.f, 50.f, -20.f));
  Player* player = world->getPlayer();
  player->setPosition(Float3(0.f, 100.f, 0.f));

  world->manage(false);
  EXPECT_EQ(scene()->getLightPosition(0), Float3(-2900.f, 10050.f, -3020.f));
  EXPECT_EQ(scene()->getLightRange(0), -1.f);
  EXPECT_TRUE(scene()->getLightEnabled(0));
  EXPECT_EQ(player->getPosition(), Float3(0.f, 100.f, 0.f));

  world->setFullscreenSpriteShown(true);
  world->manage(true);
  EXPECT_EQ(player->getPosition(), Float3(0.f, 100.f, 0.f));

  world->setFullscreenSpriteShown(false);
  world->manage(true);
  EXPECT_LE(player->getPosition().y(), 100.f);
  EXPECT_LT(player->getSpeedVertical(), 0.f);  // gravity ran
}

TEST_F(WorldTest, ChangingTheSkyboxDirectorySwapsTheTexturesAtTheNextUpdate) {
  createWorld();
  DeviceManager::getInstance()->getConfig().setString("skybox_directory", images.file("sky"));
  EXPECT_EQ(world->getSkybox()->getDirectory(), "skybox");
  world->manage(false);
  EXPECT_EQ(world->getSkybox()->getDirectory(), images.file("sky"));
  EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage("skybox/top.png"), 0);
  EXPECT_EQ(GLManager::getSpriteManager()->getNbSpritesUsingImage(images.file("sky/top.png")), 1);
  const Skybox* kept = world->getSkybox();
  world->manage(false);
  EXPECT_EQ(world->getSkybox(), kept);  // same directory: nothing reloaded
}

TEST_F(WorldTest, SetReverseMouseYSetsThePlayerAndLogsIt) {
  createWorld();
  testing::internal::CaptureStdout();
  world->setReverseMouseY(true);
  world->setReverseMouseY(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "isReverseMouseYCamera: 1\nisReverseMouseYCamera: 0\n");
  EXPECT_FALSE(world->getPlayer()->getIsReverseMouseYCamera());
  world->setReverseMouseY(true);
  EXPECT_TRUE(world->getPlayer()->getIsReverseMouseYCamera());
}

// ---- Drawing

TEST_F(WorldTest, AViewDistanceOfOneThousandSetsFarPlaneSkyboxFogAndWater) {
  createWorld();
  const unsigned char fog[4] = {10, 20, 30, 255};
  world->setFogColour(fog);
  world->getPlayer()->setPosition(Float3(0.f, 100.f, 0.f));
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  scene()->placeCamera(Float3(0.f, 110.f, 0.f), 30.f);
  world->draw(false);
  EXPECT_EQ(scene()->getFarPlane(), 2000.f);
  EXPECT_EQ(world->getSkybox()->size, Float3(1999.f, 1999.f, 1999.f));
  EXPECT_EQ(world->getLastDrawRadius(), 1000.f);
  GLfloat start = 0.f, end = 0.f, colour[4];
  glGetFloatv(GL_FOG_START, &start);
  glGetFloatv(GL_FOG_END, &end);
  glGetFloatv(GL_FOG_COLOR, colour);
  EXPECT_FLOAT_EQ(start, 450.f);
  EXPECT_FLOAT_EQ(end, 600.f);
  EXPECT_NEAR(colour[2], 30.f / 256.f, 0.01f);
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  EXPECT_FALSE(scene()->getIsLighting());  // off again after the player

  world->drawWater();
  EXPECT_EQ(world->getWater()->getSize(), 4000.f);
  EXPECT_EQ(world->getWater()->getTiles(), 80.f);
  EXPECT_FALSE(glIsEnabled(GL_FOG));

  // The options menu's farther step: (1000 - 400) x 1.2 + 400.
  world->setViewDistance(1120.f);
  world->draw(false);
  world->drawWater();
  EXPECT_EQ(scene()->getFarPlane(), 2240.f);
  EXPECT_EQ(world->getWater()->getSize(), 4480.f);
}

TEST_F(WorldTest, AdaptiveDetailShortensTheViewAndTheNearRadiusWhileFramesRunLong) {
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  config.setDouble("region_build_budget_ms", -1.0);
  createWorld();
  // A cube in the region whose centre is (160, 160, 160), 250 units under the camera: inside the
  // near radius of one region (320 units), outside half of it.
  ASSERT_TRUE(world->getIndexedWorld().addCubesParallelepiped(Int3(15, 0, 15), Int3(16, 1, 16), 0));
  world->getPlayer()->setPosition(Float3(160.f, 400.f, 160.f));
  world->getPlayer()->setCameraDistance(0.f);
  camera()->setRotation(Float3(-90.f, 0.f, 0.f));
  const auto regionUnderIsNear = [&]() {
    world->draw(false);
    for (const WorldRegion* region : world->getIndexedWorld().getLoadedRegions())
      if (region->getPosition() == Float3(160.f, 160.f, 160.f)) return region->isBuilt() && region->getIsNear();
    ADD_FAILURE() << "region not loaded";
    return false;
  };
  scene()->placeCamera(world->getPlayer()->getPosition() + Float3(0.f, 10.f, 0.f), 0.f);

  world->getAdaptiveDetail().addFrame(100.0);
  world->manage(false);  // without the switch: full detail
  EXPECT_EQ(world->getAdaptiveDetail().getScale(), 1.f);
  EXPECT_TRUE(regionUnderIsNear());
  EXPECT_EQ(scene()->getFarPlane(), 2000.f);

  // Frames of 40 ms against the 60 frames a second budget: down to half the detail.
  config.setBool("adaptive_detail", true);
  for (int frame = 0; frame < 20 * AdaptiveDetail::framesPerStep; ++frame) world->getAdaptiveDetail().addFrame(40.0);
  ASSERT_EQ(world->getAdaptiveDetail().getScale(), AdaptiveDetail::minScale);
  EXPECT_EQ(world->getDrawnViewDistance(), 700.f);  // (1000 - 400) x 0.5 + 400
  EXPECT_FALSE(regionUnderIsNear());
  EXPECT_EQ(scene()->getFarPlane(), 1400.f);
  EXPECT_EQ(world->getLastDrawRadius(), 700.f);
  GLfloat end = 0.f;
  glGetFloatv(GL_FOG_END, &end);
  EXPECT_FLOAT_EQ(end, 300.f);
  world->drawWater();
  EXPECT_EQ(world->getWater()->getSize(), 2800.f);
  EXPECT_EQ(world->getViewDistance(), 1000.f);  // the configured distance stays

  config.setBool("adaptive_detail", false);
  world->manage(false);
  EXPECT_TRUE(regionUnderIsNear());
  EXPECT_EQ(world->getLastDrawRadius(), 1000.f);
}

TEST_F(WorldTest, TheSingleWaterLayerShowsTheSeaAsItsLayersDoBeforeTheFog) {
  // A half-transparent red surface over blue deep layers, seen from above within the fog's
  // start (farther, the fog grows over the deeper layers sooner than over the surface, and the
  // single layer, fogged at the surface's distance, is darker there).
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  std::vector<unsigned char> halfRed;
  for (int i = 0; i < 16; ++i) halfRed.insert(halfRed.end(), {255, 0, 0, 128});
  writeTestPng(images.file("half_red.png"), 4, 4, 4, halfRed);
  writeSolidPng(images.file("blue.png"), 0, 0, 255);
  config.setString("water_texture", images.file("half_red.png"));
  config.setString("water_sub_texture", images.file("blue.png"));
  config.setBool("enable_multi_layered_water", true);
  config.setBool("enable_water", true);
  config.setDouble("default_distance_vision", 3000.0);
  createWorld();
  const unsigned char fog[4] = {200, 200, 200, 255};
  world->setFogColour(fog);
  Player* player = world->getPlayer();
  player->setCameraDistance(0.f);
  player->setPosition(Float3(0.f, 100.f, 0.f));
  for (const bool isWaves : {false, true}) {
    config.setBool("enable_water_waves", isWaves);
    for (const float pitch : {-60.f, -85.f}) {
      camera()->setRotation(Float3(pitch, 30.f, 0.f));
      config.setBool("single_water_layer", false);
      drawFrame();
      const std::vector<unsigned char> layered = GLTestWindow::readPixels(0, 0, 800, 600);
      EXPECT_GT(world->getWater()->getNbDeepLayersDrawn(), 0);
      config.setBool("single_water_layer", true);
      drawFrame();
      EXPECT_EQ(world->getWater()->getNbDeepLayersDrawn(), 0);
      EXPECT_TRUE(isNear(centre(), 128, 0, 127, 2)) << describe(centre());
      // The odd pixel of a seam between the waves and the ring showed the deep layers.
      EXPECT_LE(countChangedPixels(layered, GLTestWindow::readPixels(0, 0, 800, 600), 2), 4) << isWaves << pitch;
    }
  }
}

TEST_F(WorldTest, TheSkyboxSurroundsTheCameraWithEachImageOnItsSide) {
  DeviceManager::getInstance()->getConfig().setString("skybox_directory", images.file("sky"));
  DeviceManager::getInstance()->getConfig().setBool("enable_water", false);
  createWorld();
  Player* player = world->getPlayer();
  player->setPosition(Float3(0.f, 500.f, 0.f));
  player->setCameraDistance(0.f);
  // The inverted box puts each array slot's image on the opposite face: top up, bottom down,
  // left toward -z, right toward +z, front toward +x, back toward -x.
  struct View {
    float pitch, yaw;
    const char* face;
  };
  const View views[] = {{0.f, 0.f, "left"},   {0.f, 180.f, "right"}, {0.f, -90.f, "front"},
                        {0.f, 90.f, "back"},  {80.f, 0.f, "top"},    {-80.f, 0.f, "bottom"}};
  for (const View& view : views) {
    camera()->setRotation(Float3(view.pitch, view.yaw, 0.f));
    drawFrame();
    const FaceColour* expected = nullptr;
    for (const FaceColour& face : skyboxColours)
      if (std::string(face.name) == view.face) expected = &face;
    EXPECT_TRUE(isNear(centre(), expected->r, expected->g, expected->b)) << view.face << " " << describe(centre());
  }
}

TEST_F(WorldTest, RegionsThePlayerAndTheWaterDrawOverTheSkyboxInThatOrder) {
  DeviceManager::getInstance()->getConfig().setString("skybox_directory", images.file("sky"));
  createWorld();
  IndexedWorld& cubes = world->getIndexedWorld();
  const std::string names[6];
  const bool options[3] = {true, true, true};
  const int stone = cubes.addCubeType(names, options, true);
  Player* player = world->getPlayer();
  player->setPosition(Float3(0.f, 200.f, 0.f));
  camera()->setRotation(Float3(0.f, 0.f, 0.f));

  // First person, nothing in front: the skybox's -z face.
  player->setCameraDistance(0.f);
  drawFrame();
  EXPECT_TRUE(isNear(centre(), 40, 40, 200)) << describe(centre());

  // A wall 60 units ahead covers it.
  ASSERT_TRUE(cubes.addCubesParallelepiped(Int3(-10, 15, -7), Int3(10, 27, -6), stone));
  drawFrame();
  const Pixel wall = centre();
  EXPECT_FALSE(isNear(wall, 40, 40, 200, 30)) << describe(wall);
  EXPECT_FALSE(isNear(wall, 0, 0, 0, 5)) << describe(wall);

  // From behind at 30 units, the player's body covers the middle of the view.
  player->setCameraDistance(30.f);
  drawFrame();
  EXPECT_NE(centre(), wall) << describe(centre());
  player->setCameraDistance(0.5f);  // closer than 1: first person, no body
  drawFrame();
  EXPECT_EQ(centre(), wall);

  // Looking down from above the sea: the water covers the skybox's bottom.
  player->setCameraDistance(0.f);
  player->setPosition(Float3(0.f, 100.f, 0.f));
  camera()->setRotation(Float3(-80.f, 0.f, 0.f));
  drawFrame(false);
  EXPECT_TRUE(isNear(centre(), 200, 40, 40)) << describe(centre());
  drawFrame(true);
  EXPECT_FALSE(isNear(centre(), 200, 40, 40, 30)) << describe(centre());
  DeviceManager::getInstance()->getConfig().setBool("enable_water", false);
  drawFrame(true);
  EXPECT_TRUE(isNear(centre(), 200, 40, 40)) << describe(centre());
}

TEST_F(WorldTest, DrawingOpaqueLayersWithoutBlendingLeavesEveryPixelAsItWas) {
  // The sample skybox and water: images without alpha for the sky and the deep layers, a
  // translucent surface with waves over three deep layers.
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  config.setString("water_texture", "water/water.png");
  config.setString("water_sub_texture", "water/water_sub.png");
  config.setBool("enable_multi_layered_water", true);
  config.setBool("enable_water_waves", true);
  // Every region in its first frame: with a build budget, a frame that only built an empty or
  // hidden region would look settled while regions in sight are still to come.
  config.setDouble("region_build_budget_ms", -1.0);
  createWorld();
  ASSERT_TRUE(world->getSkybox()->getIsOpaque());
  IndexedWorld& cubes = world->getIndexedWorld();
  const std::string names[6] = {"stone.png", "stone.png", "grass_side.png", "grass_side.png", "dirt.png", "dirt.png"};
  const bool options[3] = {true, true, true};
  const int stone = cubes.addCubeType(names, options, true);
  // Glass: an image with alpha, kept translucent, named from the cube texture directory.
  std::vector<unsigned char> glassPixels;
  for (int i = 0; i < 16; ++i) glassPixels.insert(glassPixels.end(), {90, 200, 120, (unsigned char)(i % 2 ? 120 : 40)});
  writeTestPng(images.file("glass.png"), 4, 4, 4, glassPixels);
  char directory[4096];
  ASSERT_NE(getcwd(directory, sizeof(directory)), nullptr);
  std::string glassName = "..";
  for (const char* c = directory; *c != '\0'; ++c) glassName += *c == '/' ? "/.." : "";
  glassName += images.file("glass.png");
  const std::string glassNames[6] = {glassName, glassName, glassName, glassName, glassName, glassName};
  const int glass = cubes.addCubeType(glassNames, options, true);
  // A hill in front with a glass block on it, a wall beyond the skybox's side (hidden by it)
  // and a pillar across it.
  ASSERT_TRUE(cubes.addCubesParallelepiped(Int3(5, 0, -12), Int3(20, 6, 12), stone));
  ASSERT_TRUE(cubes.addCubesParallelepiped(Int3(8, 6, -4), Int3(14, 12, 4), glass));
  ASSERT_TRUE(cubes.addCubesParallelepiped(Int3(110, 0, -40), Int3(112, 30, 40), stone));
  ASSERT_TRUE(cubes.addCubesParallelepiped(Int3(60, 0, 20), Int3(66, 80, 26), stone));
  Player* player = world->getPlayer();
  player->setCameraDistance(0.f);

  // The frame as the main loop draws it, the water at a fixed time so that both draws match;
  // `alphaBeforeWater`: the current colour's alpha that an overlay left before the water.
  const auto drawFrame = [&](bool isOpaqueDrawAllowed, float alphaBeforeWater) {
    scene()->setIsOpaqueDrawAllowed(isOpaqueDrawAllowed);
    // What the frame leaves uncovered (the world clears only the depth under its sky) keeps
    // this magenta.
    SpriteManager::clearScreen(Color(255, 0, 255, 255));
    world->clearScreen(Color(40, 60, 90, 255));
    scene()->placeCamera(player->getPosition() + Float3(0.f, 10.f, 0.f), player->getCameraDistance());
    world->draw(false);
    glColor4f(1.f, 1.f, 1.f, alphaBeforeWater);
    world->drawWater(1000);  // surface at 0, deep layers at -65, -45, -25
    glFinish();
    scene()->setIsOpaqueDrawAllowed(true);
    return GLTestWindow::readPixels(0, 0, 800, 600);
  };
  // Regions are built over several frames: the reference is a frame equal to the one before.
  const auto countChangedPixels = [&](float alphaBeforeWater) {
    std::vector<unsigned char> reference = drawFrame(false, alphaBeforeWater);
    for (int frame = 0; frame < 200; ++frame) {
      std::vector<unsigned char> next = drawFrame(false, alphaBeforeWater);
      if (next == reference) break;
      reference.swap(next);
    }
    EXPECT_EQ(world->getWater()->getNbDeepLayersDrawn(), 3);
    const std::vector<unsigned char> drawn = drawFrame(true, alphaBeforeWater);
    int changed = 0;
    for (size_t i = 0; i < drawn.size(); i += 4)
      changed += std::equal(drawn.begin() + i, drawn.begin() + i + 4, reference.begin() + i) ? 0 : 1;
    return changed;
  };

  // From above, looking down ahead: the upper deep layer covers the two below it.
  player->setPosition(Float3(0.f, 300.f, 0.f));
  camera()->setRotation(Float3(-30.f, -90.f, 0.f));
  EXPECT_EQ(countChangedPixels(1.f), 0);
  EXPECT_EQ(world->getWater()->getNbDeepLayersDrawn(), 1);
  // Steeper and turned, the skybox's corner in view.
  camera()->setRotation(Float3(-60.f, -45.f, 0.f));
  EXPECT_EQ(countChangedPixels(1.f), 0);
  EXPECT_EQ(world->getWater()->getNbDeepLayersDrawn(), 1);
  // A translucent colour left before the water: the layers show through each other.
  EXPECT_EQ(countChangedPixels(0.5f), 0);
  EXPECT_EQ(world->getWater()->getNbDeepLayersDrawn(), 3);
  // Between the deep layers, looking down: all of them drawn.
  player->setPosition(Float3(0.f, -45.f, 0.f));
  camera()->setRotation(Float3(-30.f, -90.f, 0.f));
  EXPECT_EQ(countChangedPixels(1.f), 0);
  EXPECT_EQ(world->getWater()->getNbDeepLayersDrawn(), 3);
}

TEST_F(WorldTest, ThePlayerHidesWhatLiesBehindIt) {
  // Two skies of different colours behind the player seen from behind: its pixels are its own.
  DeviceManager::getInstance()->getConfig().setBool("enable_water", false);
  mkdir(images.file("dark").c_str(), 0755);
  for (const FaceColour& face : skyboxColours) writeSolidPng(images.file("dark/" + std::string(face.name) + ".png"), 0, 0, 0);
  DeviceManager::getInstance()->getConfig().setString("skybox_directory", images.file("sky"));
  createWorld();
  Player* player = world->getPlayer();
  player->setPosition(Float3(0.f, 500.f, 0.f));
  player->setCameraDistance(30.f);
  camera()->setRotation(Float3(0.f, 0.f, 0.f));
  world->manage(false);  // the light over the camera
  drawFrame();
  const std::vector<unsigned char> onColours = GLTestWindow::readPixels(300, 200, 200, 200);
  DeviceManager::getInstance()->getConfig().setString("skybox_directory", images.file("dark"));
  world->manage(false);
  drawFrame();
  const std::vector<unsigned char> onBlack = GLTestWindow::readPixels(300, 200, 200, 200);
  // The body covers part of the square; the rest is sky and changes.
  const int skyPixels = countChangedPixels(onColours, onBlack, 0);
  EXPECT_GT(skyPixels, 0);
  EXPECT_LT(skyPixels, 200 * 200 - 1000) << "too few body pixels kept their colour";
  // Drawn blended (the reference of the opaque path), the sky showed through the body.
  scene()->setIsOpaqueDrawAllowed(false);
  world->manage(false);
  drawFrame();
  const std::vector<unsigned char> blendedOnBlack = GLTestWindow::readPixels(300, 200, 200, 200);
  scene()->setIsOpaqueDrawAllowed(true);
  EXPECT_GT(countChangedPixels(onColours, blendedOnBlack, 0), skyPixels + 1000);
}

TEST_F(WorldTest, TheClearKeepsTheColourOnlyWhereTheSkyWillCoverTheScreen) {
  createWorld();
  ASSERT_TRUE(world->isSkyCoveringScreen());
  SpriteManager::clearScreen(Color(255, 0, 255, 255));
  world->clearScreen(Color(0, 0, 0, 255));
  EXPECT_TRUE(isNear(centre(), 255, 0, 255, 0)) << describe(centre());
  world->setFullscreenSpriteShown(true);
  EXPECT_FALSE(world->isSkyCoveringScreen());
  world->clearScreen(Color(0, 0, 0, 255));
  EXPECT_TRUE(isNear(centre(), 0, 0, 0, 0)) << describe(centre());
}

TEST_F(WorldTest, WhileAFullscreenSpriteIsShownNothingOfTheWorldIsDrawn) {
  DeviceManager::getInstance()->getConfig().setString("skybox_directory", images.file("sky"));
  createWorld();
  world->getPlayer()->setPosition(Float3(0.f, 100.f, 0.f));
  world->setFullscreenSpriteShown(true);
  glEnable(GL_FOG);
  drawFrame();
  EXPECT_TRUE(isNear(centre(), 0, 0, 0, 0)) << describe(centre());
  EXPECT_FALSE(glIsEnabled(GL_FOG));
  EXPECT_EQ(world->getLastDrawRadius(), 0.f);

  world->setFullscreenSpriteShown(false);
  drawFrame();
  EXPECT_FALSE(isNear(centre(), 0, 0, 0, 0)) << describe(centre());
}

TEST_F(WorldTest, TheUnderWaterTintShowsOnlyBelowTheSurfaceAndWithoutAFullscreenSprite) {
  createWorld();
  world->getWater()->setTintColour(BasicVector<4, unsigned char>(0, 0, 255, 255));
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);

  camera()->setPosition(Float3(0.f, -50.f, 0.f));
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  world->setFullscreenSpriteShown(true);
  world->drawWaterScreenTint();
  EXPECT_TRUE(isNear(centre(), 0, 0, 0, 0)) << describe(centre());
  world->setFullscreenSpriteShown(false);
  world->drawWaterScreenTint();
  EXPECT_TRUE(isNear(centre(), 0, 0, 255, 2)) << describe(centre());

  camera()->setPosition(Float3(0.f, 50.f, 0.f));
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  world->drawWaterScreenTint();
  EXPECT_TRUE(isNear(centre(), 0, 0, 0, 0)) << describe(centre());
}

}  // namespace

namespace {

// The sample game's start (its world, configuration and fog colour, the player at its spawn
// column with its camera) in a window opened as the game opens it, without multisampling: the
// frame drawn through the opaque path against the reference (Scene3D::setIsOpaqueDrawAllowed
// off: everything blended, the sky first, the whole screen cleared). Prints the pixels changed
// at all in first person, from behind the player without its body, and with it outside its
// body, and those changed by more than 24 levels inside its body (which no longer lets the
// scene through); exits with 0 when only the body changed.
void exitWithTheSampleStartViewChanges() {
  DeviceManager::createInstance("enginetest", "", 800, 600, false, "world.xml");
  XMLSimple& config = loadSampleConfiguration();
  config.setDouble("region_build_budget_ms", -1.0);
  // Released before the process exits, with the sprites it holds.
  std::unique_ptr<World> sample = std::make_unique<World>("world.dat", nullptr, testSoundSystem(), "world.lua");
  World& world = *sample;
  const unsigned char fog[4] = {150, 190, 230, 255};
  world.setFogColour(fog);
  int ground = 0;
  for (int y = 60; y >= -20 && ground == 0; --y)
    if (world.getIndexedWorld().getCubeTypeAtCell(Int3(-20, y, 34)) != -1) ground = (y + 1) * 10;
  Player* player = world.getPlayer();
  player->setPosition(Float3(-195.f, static_cast<float>(ground) + 1.f, 345.f));
  Scene3D* scene = GLManager::getScene3D();
  scene->getCamera()->setRotation(Float3(-12.f, 135.f, 0.f));
  // The camera `cameraDistance` behind the player's eyes; the body drawn when `withBody`.
  const auto drawFrame = [&](bool isOpaqueDrawAllowed, float cameraDistance, bool withBody) {
    scene->setIsOpaqueDrawAllowed(isOpaqueDrawAllowed);
    player->setCameraDistance(withBody ? cameraDistance : 0.f);
    SpriteManager::clearScreen(Color(255, 0, 255, 255));
    world.clearScreen(Color(150, 190, 230, 255));
    scene->placeCamera(player->getPosition() + Float3(0.f, 10.f, 0.f), cameraDistance);
    world.draw(false);
    world.drawWater(1000);
    glFinish();
    scene->setIsOpaqueDrawAllowed(true);
    return GLTestWindow::readPixels(0, 0, 800, 600);
  };
  // Regions are built over several frames: the reference is a frame equal to the one before.
  const auto settledReference = [&](float cameraDistance, bool withBody) {
    std::vector<unsigned char> reference = drawFrame(false, cameraDistance, withBody);
    for (int frame = 0; frame < 50; ++frame) {
      std::vector<unsigned char> next = drawFrame(false, cameraDistance, withBody);
      if (next == reference) break;
      reference.swap(next);
    }
    return reference;
  };
  GLint sampleBuffers = -1;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  const std::vector<unsigned char> firstPersonReference = settledReference(0.f, false);
  const int firstPerson = countChangedPixels(firstPersonReference, drawFrame(true, 0.f, false), 0);
  const std::vector<unsigned char> withoutBody = settledReference(40.f, false);
  const int noBody = countChangedPixels(withoutBody, drawFrame(true, 40.f, false), 0);
  const std::vector<unsigned char> withBody = settledReference(40.f, true);
  const std::vector<unsigned char> drawn = drawFrame(true, 40.f, true);
  const std::vector<unsigned char> drawnWithoutBody = drawFrame(true, 40.f, false);
  int outside = 0, inside = 0;
  for (size_t i = 0; i < drawn.size(); i += 4) {
    const auto pixel = [i](const std::vector<unsigned char>& frame) { return std::vector<unsigned char>(frame.begin() + i, frame.begin() + i + 4); };
    const bool isBody = pixel(withBody) != pixel(withoutBody) || pixel(drawn) != pixel(drawnWithoutBody);
    if (isBody)
      inside += countChangedPixels(pixel(withBody), pixel(drawn), 24);
    else
      outside += countChangedPixels(pixel(withBody), pixel(drawn), 0);
  }
  std::fprintf(stderr,
               "sample buffers %d, changed pixels: first person %d, behind the player without its body %d, "
               "with it %d outside and %d inside its body, of %d\n",
               sampleBuffers, firstPerson, noBody, outside, inside, 800 * 600);
  sample.reset();
  std::exit(firstPerson == 0 && noBody == 0 && outside == 0 ? 0 : 1);
}

}  // namespace

TEST(WorldSampleDeathTest, TheSampleStartViewDrawnOpaqueChangesOnlyTheSeeThroughPlayer) {
  EXPECT_EXIT(exitWithTheSampleStartViewChanges(), testing::ExitedWithCode(0), "sample buffers 0, changed pixels: first person 0, behind the player without its body 0, with it 0 outside");
}
