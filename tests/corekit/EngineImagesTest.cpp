#include <gtest/gtest.h>

#include <string>

#include "GLTestWindow.h"
#include "ImageLoader.h"

namespace {

struct Zone {
  int x0, y0, x1, y1;  // inclusive pixel bounds of a click zone
};

// Button fill of the generated menus.
bool isButton(const ImageLoader& image, int x, int y) {
  const unsigned char* p = image.getPixels() + (static_cast<size_t>(y) * image.getWidth() + x) * 4;
  return p[3] == 255 && p[0] == 52 && p[1] == 84 && p[2] == 140;
}

// The button fills the middle of the zone and stops inside it, on every side.
void expectButtonInside(const ImageLoader& image, const Zone& zone) {
  SCOPED_TRACE(testing::Message() << zone.x0 << "," << zone.y0);
  int midX = (zone.x0 + zone.x1) / 2, midY = (zone.y0 + zone.y1) / 2;
  EXPECT_TRUE(isButton(image, midX, zone.y0 + 8));
  EXPECT_TRUE(isButton(image, zone.x0 + 4, midY + 10));
  EXPECT_FALSE(isButton(image, midX, zone.y0 - 1));
  EXPECT_FALSE(isButton(image, midX, zone.y1 + 1));
  EXPECT_FALSE(isButton(image, zone.x0 - 1, midY));
  EXPECT_FALSE(isButton(image, zone.x1 + 1, midY));
}

}  // namespace

TEST(EngineImagesTest, ImagesHavePowerOfTwoSidesSoTheLoaderKeepsThem) {
  GLTestWindow::get();
  const char* const names[] = {"images_engine/default_font.png", "whiteTexture.png",
                               "images_engine/default_texture.png",
                               "images_engine/black_semi_transparent.png",
                               "images_engine/loading.png", "images_engine/main_menu.png",
                               "images_engine/options_menu.png", "images_engine/menu_mouse.png",
                               "images_engine/editor_box.png"};
  for (const char* name : names) {
    int width = 0, height = 0;
    bool isAlpha = false;
    ImageLoader::loadImage(name, height, width, isAlpha, false);
    EXPECT_EQ(width, ImageLoader::nextPowerOfTwo(width)) << name;
    EXPECT_EQ(height, ImageLoader::nextPowerOfTwo(height)) << name;
  }
}

TEST(EngineImagesTest, MainMenuButtonsSitInTheirClickZones) {
  GLTestWindow::get();
  ImageLoader image("images_engine/main_menu.png");
  ASSERT_TRUE(image.getIsAlpha());
  expectButtonInside(image, Zone{51, 151, 149, 214});  // resume
  expectButtonInside(image, Zone{51, 251, 149, 314});  // options
  expectButtonInside(image, Zone{51, 351, 149, 414});  // quit
  EXPECT_FALSE(isButton(image, 235, 35)) << "the dead zone holds no button";
}

TEST(EngineImagesTest, OptionsMenuButtonsSitInTheirClickZones) {
  GLTestWindow::get();
  ImageLoader image("images_engine/options_menu.png");
  expectButtonInside(image, Zone{201, 11, 269, 49});  // back
  for (int column = 0; column < 4; ++column) {
    int x0 = 51 + column * 100;
    expectButtonInside(image, Zone{x0, 101, x0 + 98, 149});
    expectButtonInside(image, Zone{x0, 151, x0 + 98, 199});
  }
  for (int row = 0; row < 5; ++row)
    for (int choice = 0; choice < 2; ++choice) {
      int x0 = 251 + choice * 100, y0 = 251 + row * 50;
      expectButtonInside(image, Zone{x0, y0, x0 + 98, y0 + 48});
    }
}
