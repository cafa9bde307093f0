#include <gtest/gtest.h>
#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "DeviceManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "Scene2D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "TestImages.h"

namespace {

int countOccurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

testing::AssertionResult isNear(const std::array<unsigned char, 4>& pixel, int red, int green,
                                 int blue) {
  const int expected[3] = {red, green, blue};
  for (int i = 0; i < 3; ++i)
    if (std::abs(pixel[i] - expected[i]) > 8)
      return testing::AssertionFailure() << "pixel (" << int(pixel[0]) << ", " << int(pixel[1])
                                         << ", " << int(pixel[2]) << ")";
  return testing::AssertionSuccess();
}

class SpriteManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    sprites = GLManager::getSpriteManager();
    imagePath = dir.file("shared.png");
    writeTestPng(imagePath, 64, 32, 4, std::vector<unsigned char>(64 * 32 * 4, 255));
  }

  SpriteManager* sprites = nullptr;
  TempDir dir;
  std::string imagePath;
};

using SpriteManagerDeathTest = SpriteManagerTest;

TEST_F(SpriteManagerTest, SpritesOfOneFileShareOneImage) {
  testing::internal::CaptureStdout();
  Sprite* first = sprites->createSprite(imagePath, 2);
  Sprite* second = sprites->createSprite(imagePath, 1);
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(1, countOccurrences(log, "Loading image '"));
  EXPECT_EQ("Loading image '" + imagePath + "' ... done.\n", log);

  ASSERT_EQ(1u, first->getImages().size());
  EXPECT_EQ(first->getImages()[0], second->getImages()[0]);
  EXPECT_EQ(2, sprites->getNbSpritesUsingImage(imagePath));
  EXPECT_EQ((std::vector<Sprite*>{first, second}), sprites->getSprites());
  // The alignment reaches the sprite: centre of the 64 x 32 image.
  EXPECT_TRUE(first->hotSpot == Int2(32, 16));
  EXPECT_TRUE(second->hotSpot == Int2(0, 0));

  testing::internal::CaptureStdout();
  sprites->deleteSprite(first);
  log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("", log);
  EXPECT_EQ(1, sprites->getNbSpritesUsingImage(imagePath));
  EXPECT_EQ((std::vector<Sprite*>{second}), sprites->getSprites());

  testing::internal::CaptureStdout();
  sprites->deleteSprite(second);
  log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Freeing image '" + imagePath + "'\n", log);
  EXPECT_EQ(0, sprites->getNbSpritesUsingImage(imagePath));
  EXPECT_TRUE(sprites->getSprites().empty());
  EXPECT_EQ(0, sprites->getNbImages());

  // Asked again later, the file is read again.
  testing::internal::CaptureStdout();
  Sprite* again = sprites->createSprite(imagePath, 1);
  sprites->deleteSprite(again);
  log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Loading image '" + imagePath + "' ... done.\nFreeing image '" + imagePath + "'\n",
            log);
}

TEST_F(SpriteManagerTest, SpriteWithoutNameUsesTheWhiteTexture) {
  testing::internal::CaptureStdout();
  Sprite* white = sprites->createSprite("", 1);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Loading image 'whiteTexture.png' ... done.\n", log);
  EXPECT_EQ(1, sprites->getNbSpritesUsingImage("whiteTexture.png"));
  EXPECT_EQ("whiteTexture.png", white->getImages()[0]->getName());
  sprites->deleteSprite(white);
  EXPECT_EQ(0, sprites->getNbImages());
}

TEST_F(SpriteManagerTest, UnknownSpritesAndImagesAreIgnored) {
  Sprite* sprite = sprites->createSprite(imagePath, 1);
  Sprite* other = sprites->createSprite(imagePath, 1);
  sprites->deleteSprite(sprite);
  // The second deletion finds nothing (the pointer is only compared, never followed).
  sprites->deleteSprite(sprite);
  sprites->deleteSprite(nullptr);
  ImageLoader blank;
  sprites->removeSprite(&blank);
  sprites->removeSprite(nullptr);
  EXPECT_EQ(1, sprites->getNbSpritesUsingImage(imagePath));
  EXPECT_EQ((std::vector<Sprite*>{other}), sprites->getSprites());
  sprites->deleteSprite(other);
  EXPECT_EQ(0, sprites->getNbImages());
}

TEST_F(SpriteManagerDeathTest, EndingWithALiveSpriteIsAFatalReport) {
  EXPECT_EXIT(
      {
        sprites->createSprite(imagePath, 1);
        DeviceManager::destroyInstance();
      },
      testing::ExitedWithCode(1), "sprites\\.size\\(\\) == 0");
  EXPECT_EXIT(SpriteManager::createTexture(nullptr, 2, 2, false), testing::ExitedWithCode(1),
              "data != NULL");
}

TEST_F(SpriteManagerTest, DeviceManagerGoesCleanlyWithoutSprites) {
  // In a child process, so that this test process keeps its window.
  EXPECT_EXIT(
      {
        DeviceManager::destroyInstance();
        exit(DeviceManager::getInstance() == nullptr && GLManager::getSpriteManager() == nullptr
                 ? 0 : 2);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(SpriteManagerTest, TexturesDrawTheirRowsTopFirst) {
  // 2 x 2 RGB: six-byte rows, which a 4-byte unpack alignment would misread.
  const unsigned char pixels[] = {255, 0, 0, 0, 255, 0,      // top: red, green
                                  0, 0, 255, 255, 255, 0};   // bottom: blue, yellow
  const int texture = SpriteManager::createTexture(pixels, 2, 2, false);
  ASSERT_TRUE(glIsTexture(static_cast<GLuint>(texture)));

  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  glColor4f(1.f, 1.f, 1.f, 1.f);
  glDisable(GL_CULL_FACE);
  Scene2D::drawTexturedRectangle(100, 100, texture, 0.f, 0.f, 1.f, 1.f, 200, 200);
  glEnable(GL_CULL_FACE);
  glFinish();
  // Linear filtering blends a little at pixel centres that are not exactly texel centres.
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(150, 150), 255, 0, 0));
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(250, 150), 0, 255, 0));
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(150, 250), 0, 0, 255));
  EXPECT_TRUE(isNear(GLTestWindow::readPixel2D(250, 250), 255, 255, 0));
  const GLuint name = static_cast<GLuint>(texture);
  glDeleteTextures(1, &name);
}

TEST_F(SpriteManagerTest, ColourReadAndScreenClear) {
  glColor4f(1.f, 0.5f, 0.25f, 1.f);
  const Color color = SpriteManager::getCurrentColor();
  EXPECT_EQ(255, color[0]);
  EXPECT_EQ(127, color[1]);
  EXPECT_EQ(63, color[2]);
  EXPECT_EQ(255, color[3]);
  // Components outside 0..1 are kept by OpenGL; they read as the nearest byte.
  glColor4f(2.f, -1.f, 0.5f, 1.f);
  EXPECT_TRUE(SpriteManager::getCurrentColor() == Color(255, 0, 127, 255));

  SpriteManager::clearScreen(Color(10, 20, 30, 255));
  const std::array<unsigned char, 4> pixel = GLTestWindow::readPixel2D(400, 300);
  EXPECT_EQ(10, pixel[0]);
  EXPECT_EQ(20, pixel[1]);
  EXPECT_EQ(30, pixel[2]);
  GLfloat clearColor[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
  EXPECT_FLOAT_EQ(20.f / 255.f, clearColor[1]);
  GLManager::manageEvents();
}

}  // namespace
