#include <gtest/gtest.h>

#include <GL/glew.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "DeviceManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "Scene2D.h"
#include "Sprite.h"
#include "SpriteManager.h"

namespace {

// A cleared black screen in the 2D state the frame uses: no depth test, no lighting, white.
void begin2D() {
  GLTestWindow::get();
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glColor4ub(255, 255, 255, 255);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
}

bool isBlack(int x, int y) {
  std::array<unsigned char, 4> p = GLTestWindow::readPixel2D(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

// The checker texture: magenta cells where (x / 16 + y / 16) is even, dark grey elsewhere.
bool isMagenta(int x, int y) {
  std::array<unsigned char, 4> p = GLTestWindow::readPixel2D(x, y);
  return p[0] > 150 && p[1] < 100 && p[2] > 150;
}
bool isDarkGrey(int x, int y) {
  std::array<unsigned char, 4> p = GLTestWindow::readPixel2D(x, y);
  return p[0] > 20 && p[0] < 70 && p[1] > 20 && p[1] < 70;
}

// Exactly the pixels of [x0, x1) x [y0, y1) (2D units) are covered around that rectangle's edges.
void expectCovers(int x0, int y0, int x1, int y1) {
  EXPECT_FALSE(isBlack(x0, y0)) << x0 << "," << y0;
  EXPECT_FALSE(isBlack(x1 - 1, y1 - 1)) << x1 - 1 << "," << y1 - 1;
  EXPECT_TRUE(isBlack(x0 - 1, (y0 + y1) / 2));
  EXPECT_TRUE(isBlack(x1, (y0 + y1) / 2));
  EXPECT_TRUE(isBlack((x0 + x1) / 2, y0 - 1));
  EXPECT_TRUE(isBlack((x0 + x1) / 2, y1));
}

struct SpriteHolder {
  explicit SpriteHolder(int alignment)
      : sprite(GLManager::getSpriteManager()->createSprite("images_engine/default_texture.png",
                                                           alignment)) {}
  ~SpriteHolder() { GLManager::getSpriteManager()->deleteSprite(sprite); }
  Sprite* operator->() { return sprite; }
  Sprite* sprite;
};

}  // namespace

TEST(Scene2DTest, FollowsTheWindowUnlessToldOtherwise) {
  Scene2D screen;
  EXPECT_EQ(screen.windowSize, Int2(640, 480));
  EXPECT_EQ(screen.size2D, Int2(640, 480));
  EXPECT_TRUE(screen.isFollowingWindow);
  GLTestWindow::get();
  screen.resize(Int2(1000, 500));
  EXPECT_EQ(screen.size2D, Int2(1000, 500));
  EXPECT_EQ(screen.windowTo2D(Int2(333, 77)), Int2(333, 77));

  screen.isFollowingWindow = false;
  screen.size2D = Int2(500, 1000);
  screen.resize(Int2(1000, 500));
  EXPECT_EQ(screen.size2D, Int2(500, 1000));
  EXPECT_FLOAT_EQ(screen.scale.x(), 0.5f);
  EXPECT_FLOAT_EQ(screen.scale.y(), 2.f);
  EXPECT_EQ(screen.windowTo2D(Int2(333, 77)), Int2(166, 154));
  GLManager::getScene2D()->applyProjection();
}

TEST(Scene2DTest, ZeroWindowSizeIsFatal) {
  EXPECT_EXIT(
      {
        GLTestWindow::get();
        Scene2D screen;
        screen.resize(Int2(0, 480));
      },
      testing::ExitedWithCode(1), "Condition: windowSize.x\\(\\) != 0 && windowSize.y\\(\\) != 0");
}

TEST(Scene2DTest, CoordinatesFromFloatsAreBounded) {
  EXPECT_EQ(Scene2D::toCoordinate(12.9), 12);
  EXPECT_EQ(Scene2D::toCoordinate(-12.9), -12);
  EXPECT_EQ(Scene2D::toCoordinate(0.0 / 0.0), 0);
  EXPECT_EQ(Scene2D::toCoordinate(1e300), Scene2D::maxCoordinate);
  EXPECT_EQ(Scene2D::toCoordinate(-1e300), -Scene2D::maxCoordinate);
}

TEST(Scene2DTest, RectanglesLandOnTheirCorners) {
  begin2D();
  Scene2D::drawRectangle(Int2(10, 20), Int2(50, 40), true);
  expectCovers(10, 20, 50, 40);
  EXPECT_FALSE(isBlack(30, 30));

  Scene2D::drawRectangle(Int2(100, 100), Int2(150, 140), false);
  EXPECT_TRUE(isBlack(125, 120)) << "an outline leaves the inside empty";

  SpriteHolder holder(1);
  const ImageLoader* image = holder->getImages()[0];
  // The first checker cell, stretched over 40 x 40.
  Scene2D::drawTexturedRectangle(200, 200, image->getTexture(), 0.f, 0.f, 0.25f, 0.25f, 40, 40);
  expectCovers(200, 200, 240, 240);
  EXPECT_TRUE(isMagenta(220, 220));
}

TEST(Scene2DTest, BitmapTextIsDrawnAtTheRasterPosition) {
  begin2D();
  Scene2D::drawBitmapText("MMMM", 300, 300);
  int lit = 0;
  for (int y = 285; y < 302; ++y)
    for (int x = 300; x < 332; ++x) lit += isBlack(x, y) ? 0 : 1;
  EXPECT_GT(lit, 20);
  EXPECT_TRUE(isBlack(290, 295));
}

TEST(SpriteTest, HotSpotFollowsTheAlignment) {
  GLTestWindow::get();
  const Int2 expected[6] = {Int2(0, 0), Int2(0, 0), Int2(32, 32), Int2(64, 64), Int2(0, 32),
                            Int2(64, 32)};
  for (int alignment = 1; alignment <= 5; ++alignment) {
    SpriteHolder sprite(alignment);
    EXPECT_EQ(sprite->hotSpot, expected[alignment]) << "alignment " << alignment;
  }
}

TEST(SpriteTest, EachAlignmentLandsWhereItsCornersSay) {
  // 64 x 64 image placed at (200, 200): top left corner of the covered area per alignment.
  const Int2 topLeft[6] = {Int2(0, 0),     Int2(200, 200), Int2(168, 168),
                           Int2(136, 136), Int2(200, 168), Int2(136, 168)};
  for (int alignment = 1; alignment <= 5; ++alignment) {
    SCOPED_TRACE(alignment);
    begin2D();
    SpriteHolder sprite(alignment);
    sprite->position = Int2(200, 200);
    sprite->draw();
    Int2 a = topLeft[alignment];
    EXPECT_EQ(sprite->corners[2], a);
    EXPECT_EQ(sprite->corners[0], a + Int2(64, 64));
    EXPECT_EQ(sprite->corners[1], a + Int2(0, 64));
    EXPECT_EQ(sprite->corners[3], a + Int2(64, 0));
    expectCovers(a.x(), a.y(), a.x() + 64, a.y() + 64);
    EXPECT_TRUE(isMagenta(a.x() + 4, a.y() + 4));
  }
}

TEST(SpriteTest, ScaleStretchesFromTheUnscaledHotSpot) {
  begin2D();
  SpriteHolder sprite(2);
  sprite->scale = Float2(1.f, 0.5f);
  sprite->position = Int2(100, 100);
  EXPECT_EQ(sprite->getScaledWidth(), 64);
  EXPECT_EQ(sprite->getScaledHeight(), 32);
  sprite->draw();
  // Hot spot (32, 32) of the unscaled image, 64 x 32 drawn.
  EXPECT_EQ(sprite->corners[2], Int2(68, 68));
  EXPECT_EQ(sprite->corners[0], Int2(132, 100));
  expectCovers(68, 68, 132, 100);

  sprite->fitInto(32, 16);
  EXPECT_FLOAT_EQ(sprite->scale.x(), 0.25f);
  EXPECT_FLOAT_EQ(sprite->scale.y(), 0.25f);
  EXPECT_EQ(sprite->getScaledWidth(), 16);
}

TEST(SpriteTest, RotationTurnsAboutThePosition) {
  begin2D();
  SpriteHolder sprite(1);
  sprite->position = Int2(300, 300);
  sprite->angle = 90.f;
  sprite->draw();
  // With y downward a positive angle turns clockwise on screen: the top edge now points down.
  EXPECT_EQ(sprite->corners[2], Int2(300, 300));
  EXPECT_EQ(sprite->corners[3], Int2(300, 364));
  EXPECT_EQ(sprite->corners[0], Int2(236, 364));
  EXPECT_EQ(sprite->corners[1], Int2(236, 300));
  expectCovers(236, 300, 300, 364);
  // The image's top left cell stays at the position, its top right cell goes below it.
  EXPECT_TRUE(isMagenta(296, 304));
  EXPECT_TRUE(isDarkGrey(296, 360));

  sprite->angle = 45.f;
  sprite->computeCorners();
  // (64, 0) turned by 45 degrees: 45.25 each way, rounded half away from zero.
  EXPECT_EQ(sprite->corners[3], Int2(345, 345));
  EXPECT_EQ(sprite->corners[1], Int2(255, 345));
  EXPECT_EQ(sprite->corners[0], Int2(300, 391));
}

TEST(SpriteTest, FlipsMirrorTheTexture) {
  struct Case {
    bool flipX, flipY, magentaTopLeft;
  };
  const Case cases[4] = {{false, false, true}, {true, false, false}, {false, true, false},
                         {true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.flipX << c.flipY);
    begin2D();
    SpriteHolder checker(1);
    checker->position = Int2(400, 100);
    checker->flipX = c.flipX;
    checker->flipY = c.flipY;
    checker->draw();
    EXPECT_EQ(isMagenta(404, 104), c.magentaTopLeft);
    EXPECT_EQ(isDarkGrey(404, 104), !c.magentaTopLeft);
    // The cell to the right always differs from the top left one.
    EXPECT_EQ(isMagenta(420, 104), !c.magentaTopLeft);
  }
}

TEST(SpriteTest, AbsurdPlacementStaysBounded) {
  begin2D();
  SpriteHolder sprite(2);
  sprite->position = Int2(2000000000, -2000000000);
  sprite->scale = Float2(1e30f, 0.f / 0.f);
  sprite->angle = 1e30f;
  sprite->computeCorners();
  for (const Int2& corner : sprite->corners) {
    EXPECT_LE(std::abs(corner.x()), Scene2D::maxCoordinate);
    EXPECT_LE(std::abs(corner.y()), Scene2D::maxCoordinate);
  }
}

TEST(SpriteTest, BadConstructionIsFatal) {
  ImageLoader blank;
  EXPECT_EXIT(Sprite(std::vector<ImageLoader*>{&blank}, 6), testing::ExitedWithCode(1),
              "Sprite::Sprite : unknown value of hotSpotAlignment");
  EXPECT_EXIT(Sprite(std::vector<ImageLoader*>{}, 1), testing::ExitedWithCode(1),
              "Condition: images.size\\(\\) >= 1");
  EXPECT_EXIT(
      {
        Sprite sprite(std::vector<ImageLoader*>{&blank}, 1);
        sprite.currentImage = 3;
        sprite.draw();
      },
      testing::ExitedWithCode(1), "currentImage is not an image of the sprite");
}
