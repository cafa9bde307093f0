#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GL/glu.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Camera.h"
#include "DeviceManager.h"
#include "ImageLoader.h"
#include "GLTestWindow.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "TestImages.h"
#include "scene/Water.h"

namespace {

constexpr float crest = 0.70710677f;  // sin(pi / 4)

// ---- Without GL: the clock, the steps and the geometry.

TEST(WaterGeometryTest, HeightIsATriangleWaveOverFourSeconds) {
  EXPECT_FLOAT_EQ(Water::computeHeight(0), -1.f);
  EXPECT_FLOAT_EQ(Water::computeHeight(500), -0.5f);
  EXPECT_FLOAT_EQ(Water::computeHeight(1000), 0.f);
  EXPECT_FLOAT_EQ(Water::computeHeight(2000), 1.f);
  EXPECT_FLOAT_EQ(Water::computeHeight(2500), 0.5f);
  EXPECT_FLOAT_EQ(Water::computeHeight(3000), 0.f);
  EXPECT_FLOAT_EQ(Water::computeHeight(4000), -1.f);
  EXPECT_FLOAT_EQ(Water::computeHeight(4000 * 1000000LL + 2000), 1.f);
  // A clock before its origin still gives a height on the cycle, never below -1.
  EXPECT_FLOAT_EQ(Water::computeHeight(-1000), 0.f);
  EXPECT_FLOAT_EQ(Water::computeHeight(-3999), -0.999f);
  for (int64_t t = -5000; t <= 9000; t += 7) {
    const float h = Water::computeHeight(t);
    ASSERT_TRUE(-1.f <= h && h <= 1.f) << t;
  }
}

TEST(WaterGeometryTest, SquareMovesInFiftyUnitStepsTruncatedTowardZero) {
  EXPECT_EQ(Water::snapToStep(-74.f), -50.f);
  EXPECT_EQ(Water::snapToStep(74.f), 50.f);
  EXPECT_EQ(Water::snapToStep(-49.9f), 0.f);
  EXPECT_EQ(Water::snapToStep(100.f), 100.f);
  EXPECT_EQ(Water::snapToStep(1234567.f), 1234550.f);
}

TEST(WaterGeometryTest, OuterRingOfAFourThousandSquare) {
  Water::FlatQuad quads[Water::nbRingQuads];
  ASSERT_EQ(Water::computeOuterRing(100.f, -50.f, -5.f, 4000.f, quads), 8);
  int sides = 0, corners = 0;
  float area = 0.f;
  for (const Water::FlatQuad& quad : quads) {
    const float dx = quad.centre.x() - 100.f, dz = quad.centre.z() + 50.f;
    EXPECT_EQ(quad.centre.y(), -5.f);
    EXPECT_FLOAT_EQ(quad.textureScale.x(), quad.size.x() * 0.02f);
    EXPECT_FLOAT_EQ(quad.textureScale.y(), quad.size.y() * 0.02f);
    area += quad.size.x() * quad.size.y();
    if (dx == 0.f || dz == 0.f) {
      ++sides;
      // Along its axis a side quad is 350 wide, across it 1825 deep, centred 1087.5 away.
      const bool alongX = dx == 0.f;
      EXPECT_FLOAT_EQ(alongX ? quad.size.x() : quad.size.y(), 350.f);
      EXPECT_FLOAT_EQ(alongX ? quad.size.y() : quad.size.x(), 1825.f);
      EXPECT_FLOAT_EQ(std::fabs(alongX ? dz : dx), 1087.5f);
    } else {
      ++corners;
      EXPECT_FLOAT_EQ(quad.size.x(), 1825.f);
      EXPECT_FLOAT_EQ(quad.size.y(), 1825.f);
      EXPECT_FLOAT_EQ(std::fabs(dx), 1087.5f);
      EXPECT_FLOAT_EQ(std::fabs(dz), 1087.5f);
    }
  }
  EXPECT_EQ(sides, 4);
  EXPECT_EQ(corners, 4);
  // Ring plus waves tile the whole square, without overlap.
  EXPECT_FLOAT_EQ(area + 350.f * 350.f, 4000.f * 4000.f);
}

TEST(WaterGeometryTest, NoRingWhenTheSquareIsNotLargerThanTheWaves) {
  Water::FlatQuad quads[Water::nbRingQuads];
  EXPECT_EQ(Water::computeOuterRing(0.f, 0.f, 0.f, 30.f, quads), 0);
  EXPECT_EQ(Water::computeOuterRing(0.f, 0.f, 0.f, 350.f, quads), 0);
  EXPECT_EQ(Water::computeOuterRing(0.f, 0.f, 0.f, NAN, quads), 0);
  EXPECT_EQ(Water::computeOuterRing(0.f, 0.f, 0.f, 352.f, quads), 8);
}

TEST(WaterGeometryTest, WaveGridCheckerboardSwapsSignWithTheSurface) {
  Float3 grid[Water::nbWaveVertices][Water::nbWaveVertices];
  const float x = 200.f, z = -100.f, yDeep = 3.f, amplitude = 10.f;
  for (float h : {1.f, -1.f, 0.5f}) {
    Water::computeWaveGrid(x, z, yDeep, h, amplitude, grid);
    const float f = std::sin(h * 0.7853982f) * amplitude;
    for (int a = -3; a <= 4; ++a) {
      for (int b = -3; b <= 4; ++b) {
        const Float3& v = grid[a + 3][b + 3];
        EXPECT_FLOAT_EQ(v.x(), x + 50.f * a - 25.f);
        EXPECT_FLOAT_EQ(v.z(), z + 50.f * b - 25.f);
        float expected = yDeep;
        const bool border = a == -3 || a == 4 || b == -3 || b == 4;
        if (!border && a % 2 == 0 && b % 2 == 0) expected += f;
        if (!border && a % 2 != 0 && b % 2 != 0) expected -= f;
        EXPECT_FLOAT_EQ(v.y(), expected) << "h " << h << " vertex " << a << ", " << b;
      }
    }
  }
  Water::computeWaveGrid(x, z, yDeep, 1.f, amplitude, grid);
  EXPECT_FLOAT_EQ(grid[3][3].y(), yDeep + crest * amplitude);   // (0, 0): both even
  EXPECT_FLOAT_EQ(grid[6][6].y(), yDeep - crest * amplitude);   // (3, 3): both odd
  EXPECT_FLOAT_EQ(grid[3][4].y(), yDeep);                       // (0, 1): mixed
  EXPECT_FLOAT_EQ(grid[7][5].y(), yDeep);                       // (4, 2): border
  Water::computeWaveGrid(x, z, yDeep, 0.f, amplitude, grid);
  for (const auto& row : grid)
    for (const Float3& v : row) EXPECT_EQ(v.y(), yDeep);
}

TEST(WaterGeometryTest, WavePhaseOutsideTheCycleIsFatal) {
  Float3 grid[Water::nbWaveVertices][Water::nbWaveVertices];
  EXPECT_EXIT(Water::computeWaveGrid(0.f, 0.f, 0.f, 1.5f, 1.f, grid),
              testing::ExitedWithCode(1), "-1.f <= heightCurrent && heightCurrent <= 1.f");
  EXPECT_EXIT(Water::computeWaveGrid(0.f, 0.f, 0.f, NAN, 1.f, grid),
              testing::ExitedWithCode(1), "-1.f <= heightCurrent && heightCurrent <= 1.f");
}

// ---- On the real window.

class WaterTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    redPath = writeSolid("red.png", 255, 0, 0, 255);
    bluePath = writeSolid("blue.png", 0, 0, 255, 255);
    clearPath = writeSolid("clear.png", 0, 255, 0, 0);
    XMLSimple& config = DeviceManager::getInstance()->getConfig();
    config.setString("water_texture", redPath);
    config.setString("water_sub_texture", bluePath);
    config.setDouble("water_deep_amplitude", 20.0);
    config.setDouble("water_waves_amplitude", 10.0);
    config.setBool("enable_multi_layered_water", false);
    config.setBool("enable_water_waves", false);
    config.setBool("single_water_layer", false);

    scene = GLManager::getScene3D();
    scene->setAspectRatio(800.f / 600.f);
    scene->setFieldOfView(90.f);
    scene->setFarPlane(1000.f);
    scene->setIsLighting(false);
    glDisable(GL_FOG);
    glColor4ub(255, 255, 255, 255);
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
  }

  std::string writeSolid(const std::string& name, unsigned char r, unsigned char g,
                         unsigned char b, unsigned char a) {
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {r, g, b, a});
    const std::string path = dir.file(name);
    writeTestPng(path, 4, 4, 4, pixels);
    return path;
  }

  // Camera at `position`, pitch -90 looking straight down, 90 looking straight up.
  void look(Float3 position, float pitch) {
    Camera* camera = scene->getCamera();
    camera->setRotation(Float3(pitch, 0.f, 0.f));
    camera->setPosition(position);
    scene->apply3DView();
  }

  static std::array<unsigned char, 4> centre() { return GLTestWindow::readPixel2D(400, 300); }
  static bool isRed(std::array<unsigned char, 4> p) { return p[0] > 200 && p[1] < 40 && p[2] < 40; }
  static bool isBlue(std::array<unsigned char, 4> p) { return p[0] < 40 && p[1] < 40 && p[2] > 200; }
  static bool isBlack(std::array<unsigned char, 4> p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

  // World point seen through the middle of the window pixel (x, y), counted from the bottom.
  Float3 pointAt(int x, int y) const {
    GLfloat depth = 1.f;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    GLdouble modelview[16], projection[16];
    for (int i = 0; i < 16; ++i) modelview[i] = scene->getViewMatrix()[i];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx = 0, wy = 0, wz = 0;
    gluUnProject(x + 0.5, y + 0.5, depth, modelview, projection, viewport, &wx, &wy, &wz);
    return Float3(static_cast<float>(wx), static_cast<float>(wy), static_cast<float>(wz));
  }

  TempDir dir;
  std::string redPath, bluePath, clearPath;
  Scene3D* scene = nullptr;
};

TEST_F(WaterTest, StartsAsConfiguredAndReleasesItsTexturesWhenDestroyed) {
  SpriteManager* sprites = GLManager::getSpriteManager();
  const size_t spritesBefore = sprites->getSprites().size();
  {
    Water water(10.f);
    EXPECT_EQ(water.getSizeOneCube(), 10.f);
    EXPECT_EQ(water.getSize(), 30.f);
    EXPECT_EQ(water.getTiles(), 0.f);
    EXPECT_TRUE(water.getPosition() == Float3(0.f, -1.f, 0.f));
    EXPECT_TRUE(water.getTintColour() == (BasicVector<4, unsigned char>(0, 104, 255, 128)));
    EXPECT_EQ(sprites->getNbSpritesUsingImage(redPath), 1);
    EXPECT_EQ(sprites->getNbSpritesUsingImage(bluePath), 1);
    EXPECT_EQ(sprites->getSprites().size(), spritesBefore + 2);
    water.setSize(4000.f);
    EXPECT_EQ(water.getTiles(), 80.f);
    water.setSize(1999.f);
    EXPECT_EQ(water.getTiles(), 39.f);
  }
  EXPECT_EQ(sprites->getNbSpritesUsingImage(redPath), 0);
  EXPECT_EQ(sprites->getNbSpritesUsingImage(bluePath), 0);
  EXPECT_EQ(sprites->getSprites().size(), spritesBefore);
}

TEST_F(WaterTest, TexturesFollowConfigurationChanges) {
  SpriteManager* sprites = GLManager::getSpriteManager();
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  Water water(10.f);
  Sprite* surface = water.getTexture();
  Sprite* deep = water.getSubTexture();
  water.loadTextures();
  EXPECT_EQ(water.getTexture(), surface);
  EXPECT_EQ(water.getSubTexture(), deep);

  config.setString("water_texture", bluePath);
  water.loadTextures();
  EXPECT_EQ(water.getSubTexture(), deep);
  EXPECT_EQ(sprites->getNbSpritesUsingImage(redPath), 0);
  EXPECT_EQ(sprites->getNbSpritesUsingImage(bluePath), 2);

  // An empty name shows the registry's default image, loaded once, not again at every update.
  const std::string& defaultName = sprites->getDefaultImageName();
  const int defaultUses = sprites->getNbSpritesUsingImage(defaultName);
  config.setString("water_sub_texture", "");
  water.loadTextures();
  Sprite* fallback = water.getSubTexture();
  EXPECT_EQ(sprites->getNbSpritesUsingImage(defaultName), defaultUses + 1);
  water.loadTextures();
  EXPECT_EQ(water.getSubTexture(), fallback);
  EXPECT_EQ(sprites->getNbSpritesUsingImage(bluePath), 1);
}

TEST_F(WaterTest, FollowsTheCameraInStepsAndRisesWithTheClock) {
  Water water(10.f);
  water.follow(Float3(-74.f, 30.f, 74.f), 1000);
  EXPECT_TRUE(water.getPosition() == Float3(-50.f, 0.f, 50.f));
  water.follow(Float3(74.f, 30.f, -124.f), 2000);
  EXPECT_TRUE(water.getPosition() == Float3(50.f, 1.f, -100.f));
  water.follow(Float3(0.f, 0.f, 0.f), 4000);
  EXPECT_EQ(water.getHeightCurrent(), -1.f);
  water.follow(Float3(0.f, 0.f, 0.f));  // the program clock
  EXPECT_GE(water.getHeightCurrent(), -1.f);
  EXPECT_LE(water.getHeightCurrent(), 1.f);
}

TEST_F(WaterTest, ScreenTintExactlyWhileTheCameraIsBelowTheSurface) {
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_DEPTH_TEST);
  Water water(10.f);
  water.follow(Float3(0.f, 0.f, 0.f), 2500);  // surface at 0.5
  glColor4ub(10, 20, 30, 255);

  water.drawScreenTint(Float3(0.f, 0.5f, 0.f));  // at the surface: dry
  water.drawScreenTint(Float3(0.f, 3.f, 0.f));
  EXPECT_TRUE(isBlack(GLTestWindow::readPixel2D(0, 0)));
  EXPECT_TRUE(isBlack(centre()));

  water.drawScreenTint(Float3(0.f, 0.49f, 0.f));
  // Half-transparent (0, 104, 255) over black, from corner to corner.
  for (std::array<int, 2> at : {std::array<int, 2>{0, 0}, {799, 599}, {400, 300}, {799, 0}}) {
    const std::array<unsigned char, 4> p = GLTestWindow::readPixel2D(at[0], at[1]);
    EXPECT_LE(p[0], 1);
    EXPECT_NEAR(p[1], 52, 2);
    EXPECT_NEAR(p[2], 128, 2);
  }
  EXPECT_TRUE(SpriteManager::getCurrentColor() == Color(10, 20, 30, 255));
  glColor4ub(255, 255, 255, 255);
}

TEST_F(WaterTest, FlatSurfaceIsSeenFromAboveAndFromBelow) {
  Water water(10.f);
  water.setSize(400.f);
  water.follow(Float3(20.f, 0.f, 20.f), 1000);
  look(Float3(20.f, 40.f, 20.f), -90.f);
  water.draw();
  EXPECT_TRUE(isRed(centre()));
  EXPECT_NEAR(pointAt(400, 300).y(), 0.f, 0.01f);

  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  look(Float3(20.f, -40.f, 20.f), 90.f);
  water.draw();
  EXPECT_TRUE(isRed(centre()));

  // Beyond the edge of the square there is no sea.
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  look(Float3(300.f, 40.f, 0.f), -90.f);
  water.draw();
  EXPECT_TRUE(isBlack(centre()));
}

TEST_F(WaterTest, DeepLayersLieUnderTheSurface) {
  DeviceManager::getInstance()->getConfig().setString("water_texture", clearPath);
  Water water(10.f);
  water.setSize(400.f);
  water.follow(Float3(0.f, 0.f, 0.f), 2000);  // surface at 1: deep level 20 - 5
  look(Float3(0.f, 40.f, 0.f), -90.f);
  water.draw();
  EXPECT_TRUE(isBlack(centre()));  // a see-through surface and nothing under it

  DeviceManager::getInstance()->getConfig().setBool("enable_multi_layered_water", true);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  water.draw();
  EXPECT_TRUE(isBlue(centre()));
  EXPECT_NEAR(pointAt(400, 300).y(), 15.f - 20.f, 0.01f);  // the top layer
}

TEST_F(WaterTest, SingleLayerShowsTheLayersInOnePassWhereTheSurfaceHidesThem) {
  // A half-transparent red surface over blue deep layers, filling the window.
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  config.setString("water_texture", writeSolid("half_red.png", 255, 0, 0, 128));
  config.setBool("enable_multi_layered_water", true);
  Water water(10.f);
  water.setSize(4000.f);
  const auto drawFrame = [&](bool isSingle, float cameraY) {
    config.setBool("single_water_layer", isSingle);
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
    look(Float3(0.f, cameraY, 0.f), -70.f);
    water.draw();
    return GLTestWindow::readPixels(0, 0, 800, 600);
  };
  for (const bool isWaves : {false, true}) {
    config.setBool("enable_water_waves", isWaves);
    water.follow(Float3(0.f, 0.f, 0.f), 1500);
    const std::vector<unsigned char> layered = drawFrame(false, 60.f);
    EXPECT_GT(water.getNbDeepLayersDrawn(), 0);
    const std::vector<unsigned char> single = drawFrame(true, 60.f);
    EXPECT_EQ(water.getNbDeepLayersDrawn(), 0);
    // Red half over blue everywhere, as the layers show it.
    int nbDiffering = 0;
    for (size_t i = 0; i < layered.size(); i += 4) {
      bool isSame = std::abs(layered[i] - 128) <= 2 && std::abs(layered[i + 2] - 127) <= 2;
      for (size_t c = 0; c < 3; ++c) isSame = isSame && std::abs(layered[i + c] - single[i + c]) <= 2;
      nbDiffering += isSame ? 0 : 1;
    }
    EXPECT_EQ(nbDiffering, 0) << isWaves;

    // Close over the surface, the layers are drawn as without the switch.
    EXPECT_TRUE(drawFrame(true, 8.f) == drawFrame(false, 8.f)) << isWaves;
    EXPECT_GT(water.getNbDeepLayersDrawn(), 0);
  }

  // A new surface image makes a new single layer.
  config.setString("water_texture", redPath);
  water.loadTextures();
  drawFrame(true, 60.f);
  EXPECT_TRUE(isRed(centre()));
}

TEST_F(WaterTest, RingOfSeaSurroundsTheWavesOnlyWhenTheSquareIsLargerThanThem) {
  DeviceManager::getInstance()->getConfig().setBool("enable_water_waves", true);
  Water water(10.f);
  water.follow(Float3(0.f, 0.f, 0.f), 1000);  // flat waves at the deep level -5
  for (float size : {4000.f, 300.f}) {
    water.setSize(size);
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
    look(Float3(0.f, 60.f, 0.f), -90.f);
    water.draw();
    EXPECT_TRUE(isRed(centre())) << size;
    EXPECT_NEAR(pointAt(400, 300).y(), -5.f, 0.01f);

    SpriteManager::clearScreen(Color(0, 0, 0, 255));
    look(Float3(600.f, 60.f, -900.f), -90.f);
    water.draw();
    if (size == 4000.f) {
      EXPECT_TRUE(isRed(centre()));
      EXPECT_NEAR(pointAt(400, 300).y(), -5.f, 0.01f);
    } else {
      EXPECT_TRUE(isBlack(centre()));
    }
  }
}

TEST_F(WaterTest, WaveCrestsAndTroughsAreDrawnWhereTheGridPutsThem) {
  DeviceManager::getInstance()->getConfig().setBool("enable_water_waves", true);
  Water water(10.f);
  water.setSize(2000.f);
  const float f = crest * 10.f;
  struct Case {
    int64_t timeMs;
    float atEven, atOdd, atMixed;  // heights over vertices (0, 0), (1, 1) and (0, 1)
  } cases[] = {
      {2000, 15.f + f, 15.f - f, 15.f},   // surface 1: deep level 15
      {0, -25.f - f, -25.f + f, -25.f},   // surface -1: deep level -25, signs swapped
      {1000, -5.f, -5.f, -5.f},           // surface 0: flat
  };
  for (const Case& c : cases) {
    water.follow(Float3(10.f, 0.f, 10.f), c.timeMs);  // the square stays at (0, 0)
    const float heights[3] = {c.atEven, c.atOdd, c.atMixed};
    const Float2 vertices[3] = {Float2(-25.f, -25.f), Float2(25.f, 25.f), Float2(-25.f, 25.f)};
    for (int i = 0; i < 3; ++i) {
      SpriteManager::clearScreen(Color(0, 0, 0, 255));
      // Close above the vertex, so a pixel spans little of the slope around it.
      look(Float3(vertices[i].x(), heights[i] + 20.f, vertices[i].y()), -90.f);
      water.draw();
      EXPECT_TRUE(isRed(centre()));
      const Float3 seen = pointAt(400, 300);
      EXPECT_NEAR(seen.x(), vertices[i].x(), 0.1f);
      EXPECT_NEAR(seen.z(), vertices[i].y(), 0.1f);
      EXPECT_NEAR(seen.y(), heights[i], 0.03f) << "time " << c.timeMs << " vertex " << i;
    }
  }
}

TEST_F(WaterTest, SampleGameWaterDrawsWithEveryOptionOn) {
  // The sample configuration names the generated textures (tests run in the game directory).
  const XMLSimple sample("world.xml");
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  for (const char* key : {"water_texture", "water_sub_texture"})
    config.setString(key, sample.getString(key));
  for (const char* key : {"water_deep_amplitude", "water_waves_amplitude"})
    config.setDouble(key, sample.getDouble(key));
  for (const char* key : {"enable_multi_layered_water", "enable_water_waves"})
    config.setBool(key, sample.getBool(key));

  Water water(static_cast<float>(sample.getDouble("size_one_cube")));
  const ImageLoader* surface = water.getTexture()->getImages()[0];
  const ImageLoader* deep = water.getSubTexture()->getImages()[0];
  EXPECT_EQ(surface->getName(), "water/water.png");
  EXPECT_EQ(deep->getName(), "water/water_sub.png");
  EXPECT_TRUE(surface->getIsAlpha());  // the deep layers show through the surface
  EXPECT_EQ(surface->getSize(), Int2(64, 64));
  EXPECT_EQ(deep->getSize(), Int2(64, 64));

  water.setSize(4000.f);
  for (float x : {0.f, 900.f}) {  // over the waves, over the ring
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
    water.follow(Float3(0.f, 30.f, 0.f), 1500);
    look(Float3(x, 30.f, 0.f), -90.f);
    water.draw();
    const std::array<unsigned char, 4> p = centre();
    EXPECT_GT(p[2], 100) << x;
    EXPECT_GT(p[2], p[0] + 50) << x;
  }
}

}  // namespace
