#include <gtest/gtest.h>
#include <GL/gl.h>
#include <malloc.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AssertionFailure.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "Scene2D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "TestImages.h"
#include "Assert.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Loaded {
  std::unique_ptr<unsigned char[]> pixels;
  int width = 0;
  int height = 0;
  bool isAlpha = false;

  Bytes bytes() const {
    const size_t size = static_cast<size_t>(width) * height * (isAlpha ? 4 : 3);
    return pixels ? Bytes(pixels.get(), pixels.get() + size) : Bytes();
  }
};

Loaded load(const std::string& path, bool verbose = false) {
  Loaded result;
  result.pixels = ImageLoader::loadImage(path, result.height, result.width, result.isAlpha,
                                         verbose);
  return result;
}

// An 18-byte TGA header (origin bottom left, as most files are stored).
Bytes tgaHeader(int type, int width, int height, int depth, int colorMapLength = 0,
                int colorMapBits = 0, int idLength = 0) {
  return Bytes{static_cast<unsigned char>(idLength),
               static_cast<unsigned char>(colorMapLength > 0 ? 1 : 0),
               static_cast<unsigned char>(type),
               0, 0,
               static_cast<unsigned char>(colorMapLength & 255),
               static_cast<unsigned char>(colorMapLength >> 8),
               static_cast<unsigned char>(colorMapBits),
               0, 0, 0, 0,
               static_cast<unsigned char>(width & 255), static_cast<unsigned char>(width >> 8),
               static_cast<unsigned char>(height & 255), static_cast<unsigned char>(height >> 8),
               static_cast<unsigned char>(depth),
               0};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class ImageLoaderTest : public testing::Test {
 protected:
  void SetUp() override { GLTestWindow::get(); }

  std::string writeTga(const std::string& name, const Bytes& bytes) {
    return dir.write(name, bytesToString(bytes));
  }

  TempDir dir;
};

using ImageLoaderDeathTest = ImageLoaderTest;

// ------------------------------------------------------------------------------------------ PNG

TEST_F(ImageLoaderTest, PngRgbAndRgbaComeOutAsStoredTopRowFirst) {
  const Bytes rgb{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,       // top row
                  13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  const std::string rgbPath = dir.file("rgb.png");
  writeTestPng(rgbPath, 4, 2, 3, rgb);
  const Loaded a = load(rgbPath);
  EXPECT_EQ(4, a.width);
  EXPECT_EQ(2, a.height);
  EXPECT_FALSE(a.isAlpha);
  EXPECT_EQ(rgb, a.bytes());

  const Bytes rgba{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const std::string rgbaPath = dir.file("rgba.PNG");
  writeTestPng(rgbaPath, 2, 2, 4, rgba);
  const Loaded b = load(rgbaPath);
  EXPECT_TRUE(b.isAlpha);
  EXPECT_EQ(rgba, b.bytes());
}

TEST_F(ImageLoaderTest, Png16BitKeepsTheMostSignificantByte) {
  Bytes rgba16;
  for (int i = 0; i < 2 * 2 * 4; ++i) {
    rgba16.push_back(static_cast<unsigned char>(10 * i));
    rgba16.push_back(0xCD);
  }
  const std::string path = dir.file("rgba16.png");
  writeTestPng(path, 2, 2, PNG_COLOR_TYPE_RGBA, 16, rgba16);
  const Loaded image = load(path);
  ASSERT_TRUE(image.isAlpha);
  Bytes expected;
  for (int i = 0; i < 16; ++i) expected.push_back(static_cast<unsigned char>(10 * i));
  EXPECT_EQ(expected, image.bytes());

  Bytes rgb16;
  for (int i = 0; i < 2 * 2 * 3; ++i) {
    rgb16.push_back(static_cast<unsigned char>(20 * i));
    rgb16.push_back(0x01);
  }
  const std::string rgbPath = dir.file("rgb16.png");
  writeTestPng(rgbPath, 2, 2, PNG_COLOR_TYPE_RGB, 16, rgb16);
  const Loaded rgb = load(rgbPath);
  EXPECT_FALSE(rgb.isAlpha);
  ASSERT_EQ(12u, rgb.bytes().size());
  EXPECT_EQ(200, rgb.bytes()[10]);
}

TEST_F(ImageLoaderTest, PngGreyAndPaletteBecomeRgbOrRgba) {
  const std::string greyPath = dir.file("grey.png");
  writeTestPng(greyPath, 2, 2, PNG_COLOR_TYPE_GRAY, 8, Bytes{10, 20, 30, 40});
  const Loaded grey = load(greyPath);
  EXPECT_FALSE(grey.isAlpha);
  EXPECT_EQ((Bytes{10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40}), grey.bytes());

  const std::string greyAlphaPath = dir.file("greyalpha.png");
  writeTestPng(greyAlphaPath, 2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8,
               Bytes{10, 1, 20, 2, 30, 3, 40, 4});
  const Loaded greyAlpha = load(greyAlphaPath);
  EXPECT_TRUE(greyAlpha.isAlpha);
  EXPECT_EQ((Bytes{10, 10, 10, 1, 20, 20, 20, 2, 30, 30, 30, 3, 40, 40, 40, 4}),
            greyAlpha.bytes());

  const Bytes palette{255, 0, 0, 0, 255, 0, 0, 0, 255};
  const std::string palettePath = dir.file("palette.png");
  writeTestPng(palettePath, 2, 2, PNG_COLOR_TYPE_PALETTE, 8, Bytes{0, 1, 2, 1}, palette);
  const Loaded indexed = load(palettePath);
  EXPECT_FALSE(indexed.isAlpha);
  EXPECT_EQ((Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 0}), indexed.bytes());

  const std::string transparentPath = dir.file("palette_trns.png");
  writeTestPng(transparentPath, 2, 2, PNG_COLOR_TYPE_PALETTE, 8, Bytes{0, 1, 2, 1}, palette,
               Bytes{0, 128, 255});
  const Loaded transparent = load(transparentPath);
  EXPECT_TRUE(transparent.isAlpha);
  EXPECT_EQ((Bytes{255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 0, 255, 0, 128}),
            transparent.bytes());
}

TEST_F(ImageLoaderTest, ImagesAreStretchedToPowerOfTwoSides) {
  const std::string path = dir.file("odd.png");
  Bytes solid;
  for (int i = 0; i < 100 * 60; ++i) solid.insert(solid.end(), {200, 100, 50});
  writeTestPng(path, 100, 60, 3, solid);
  testing::internal::CaptureStdout();
  const Loaded image = load(path, true);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(128, image.width);
  EXPECT_EQ(64, image.height);
  EXPECT_NE(std::string::npos, log.find("Loading image '" + path + "' ..."));
  EXPECT_NE(std::string::npos, log.find("(png)"));
  EXPECT_NE(std::string::npos,
            log.find(" (image was streched) ... done (width=128 height=64 isAlpha=0)\n"));
  const Bytes bytes = image.bytes();
  for (size_t i = 0; i < bytes.size(); i += 3) {
    ASSERT_EQ(200, bytes[i]) << i;
    ASSERT_EQ(100, bytes[i + 1]) << i;
    ASSERT_EQ(50, bytes[i + 2]) << i;
  }

  const std::string tinyPath = dir.file("tiny.png");
  writeTestPng(tinyPath, 1, 1, 4, Bytes{9, 8, 7, 6});
  const Loaded tiny = load(tinyPath);
  EXPECT_EQ(2, tiny.width);
  EXPECT_EQ(2, tiny.height);
  EXPECT_EQ((Bytes{9, 8, 7, 6, 9, 8, 7, 6, 9, 8, 7, 6, 9, 8, 7, 6}), tiny.bytes());

  EXPECT_EQ(2, ImageLoader::nextPowerOfTwo(1));
  EXPECT_EQ(2, ImageLoader::nextPowerOfTwo(2));
  EXPECT_EQ(64, ImageLoader::nextPowerOfTwo(33));
  EXPECT_EQ(64, ImageLoader::nextPowerOfTwo(64));
}

TEST_F(ImageLoaderDeathTest, DamagedPngIsAFatalReport) {
  const std::string notPng = dir.write("fake.png", "this is no image at all");
  EXPECT_EXIT(load(notPng), testing::ExitedWithCode(1),
              "\\[read_png_file\\] File is not recognized as a PNG file");

  Bytes solid(32 * 32 * 3, 77);
  for (size_t i = 0; i < solid.size(); ++i) solid[i] = static_cast<unsigned char>(i * 7);
  const std::string whole = dir.file("whole.png");
  writeTestPng(whole, 32, 32, 3, solid);
  const std::string content = readFile(whole);
  const std::string truncated = dir.write("truncated.png", content.substr(0, content.size() / 2));
  EXPECT_EXIT(load(truncated), testing::ExitedWithCode(1),
              "\\[read_png_file\\] Error during read_image");
  const std::string headerOnly = dir.write("header.png", content.substr(0, 20));
  EXPECT_EXIT(load(headerOnly), testing::ExitedWithCode(1),
              "\\[read_png_file\\] Error during init_io");
}

// ----------------------------------------------------------------------------------------- JPEG

TEST_F(ImageLoaderTest, JpegComesOutTopRowFirst) {
  // Top half red, bottom half blue, in whole 8 x 8 blocks so that the colours survive.
  Bytes pixels;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      if (y < 8) pixels.insert(pixels.end(), {255, 0, 0});
      else pixels.insert(pixels.end(), {0, 0, 255});
    }
  const std::string path = dir.file("halves.jpg");
  writeTestJpeg(path, 16, 16, 3, pixels);
  const Loaded image = load(path);
  ASSERT_EQ(16, image.width);
  ASSERT_EQ(16, image.height);
  EXPECT_FALSE(image.isAlpha);
  const Bytes bytes = image.bytes();
  const unsigned char* firstRow = bytes.data();
  const unsigned char* lastRow = bytes.data() + 15 * 16 * 3;
  EXPECT_NEAR(255, firstRow[0], 8);
  EXPECT_NEAR(0, firstRow[2], 8);
  EXPECT_NEAR(0, lastRow[0], 8);
  EXPECT_NEAR(255, lastRow[2], 8);
}

TEST_F(ImageLoaderTest, GreyscaleJpegBecomesRgb) {
  Bytes pixels(8 * 8, 90);
  const std::string path = dir.file("grey.JPEG");
  writeTestJpeg(path, 8, 8, 1, pixels);
  const Loaded image = load(path);
  ASSERT_EQ(8, image.width);
  EXPECT_FALSE(image.isAlpha);
  const Bytes bytes = image.bytes();
  ASSERT_EQ(8u * 8 * 3, bytes.size());
  for (unsigned char value : bytes) EXPECT_NEAR(90, value, 2);
}

TEST_F(ImageLoaderDeathTest, DamagedJpegIsAFatalReport) {
  const std::string garbage = dir.write("garbage.jpg", "not a jpeg file, only text");
  EXPECT_EXIT(load(garbage), testing::ExitedWithCode(1), "loadJpeg : cannot load jpeg file ");
  Bytes pixels(16 * 16 * 3, 128);
  const std::string whole = dir.file("whole.jpg");
  writeTestJpeg(whole, 16, 16, 3, pixels);
  const std::string cut = dir.write("cut.jpeg", readFile(whole).substr(0, 30));
  EXPECT_EXIT(load(cut), testing::ExitedWithCode(1), "loadJpeg : cannot load jpeg file ");
}

// ------------------------------------------------------------------------------------------ TGA

TEST_F(ImageLoaderTest, TrueColourTgaComesOutTopRowFirst) {
  // 24 bits, stored bottom-up: the file's first row is the bottom of the picture.
  const std::string path24 = writeTga(
      "bgr.tga", concat({tgaHeader(2, 2, 2, 24), Bytes{1, 2, 3, 4, 5, 6,  // bottom row, BGR
                                                       7, 8, 9, 10, 11, 12}}));
  const Loaded image24 = load(path24);
  EXPECT_EQ(2, image24.width);
  EXPECT_FALSE(image24.isAlpha);
  EXPECT_EQ((Bytes{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}), image24.bytes());

  // The same picture stored top-down (descriptor bit 5) comes out the same way up.
  Bytes topDownHeader = tgaHeader(2, 2, 2, 24);
  topDownHeader[17] = 0x20;
  const std::string topDown = writeTga(
      "topdown.tga", concat({topDownHeader, Bytes{7, 8, 9, 10, 11, 12,  // top row, BGR
                                                  1, 2, 3, 4, 5, 6}}));
  EXPECT_EQ(image24.bytes(), load(topDown).bytes());

  const std::string path32 = writeTga(
      "bgra.Tga", concat({tgaHeader(2, 2, 2, 32),
                          Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}));
  const Loaded image32 = load(path32);
  EXPECT_TRUE(image32.isAlpha);
  EXPECT_EQ((Bytes{11, 10, 9, 12, 15, 14, 13, 16, 3, 2, 1, 4, 7, 6, 5, 8}), image32.bytes());

  // 1-5-5-5: red 31, green 0, blue 0 = 0x7C00; blue 31 = 0x001F. A channel of 31 is 255.
  const std::string path16 = writeTga(
      "rgb16.TGA", concat({tgaHeader(2, 2, 2, 16), Bytes{0x00, 0x7C, 0x1F, 0x00,  // bottom
                                                         0xE0, 0x03, 0x00, 0x00}}));
  const Loaded image16 = load(path16);
  EXPECT_FALSE(image16.isAlpha);
  EXPECT_EQ((Bytes{0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255}), image16.bytes());
}

TEST_F(ImageLoaderTest, SixteenBitTgaChannelsSpanTheWholeRange) {
  // Red 1, green 16, blue 30 (the alpha bit set, and dropped): v << 3 | v >> 2.
  const int word = 0x8000 | 1 << 10 | 16 << 5 | 30;
  Bytes pixels;
  for (int i = 0; i < 4; ++i)
    pixels.insert(pixels.end(), {static_cast<unsigned char>(word & 255),
                                 static_cast<unsigned char>(word >> 8)});
  const Loaded image = load(writeTga("levels.tga", concat({tgaHeader(2, 2, 2, 16), pixels})));
  EXPECT_EQ((Bytes{8, 132, 247, 8, 132, 247, 8, 132, 247, 8, 132, 247}), image.bytes());
}

TEST_F(ImageLoaderTest, RightToLeftTgaComesOutLeftColumnFirst) {
  // Descriptor bit 4: each row is stored from its right end. Bottom-up and top-down, raw and
  // run-length come out as the picture of TrueColourTgaComesOutTopRowFirst; grey too.
  const Bytes expected{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4};
  Bytes header = tgaHeader(2, 2, 2, 24);
  header[17] = 0x10;
  EXPECT_EQ(expected, load(writeTga("rtl.tga", concat({header, Bytes{4, 5, 6, 1, 2, 3,
                                                                     10, 11, 12, 7, 8, 9}})))
                          .bytes());
  header[17] = 0x30;
  EXPECT_EQ(expected, load(writeTga("rtltop.tga", concat({header, Bytes{10, 11, 12, 7, 8, 9,
                                                                        4, 5, 6, 1, 2, 3}})))
                          .bytes());
  Bytes runLength = tgaHeader(10, 2, 2, 24);
  runLength[17] = 0x10;
  EXPECT_EQ(expected, load(writeTga("rtlrle.tga",
                                    concat({runLength, Bytes{0x03, 4, 5, 6, 1, 2, 3, 10, 11, 12,
                                                             7, 8, 9}})))
                          .bytes());
  Bytes grey = tgaHeader(3, 2, 2, 8);
  grey[17] = 0x10;
  EXPECT_EQ((Bytes{3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}),
            load(writeTga("rtlgrey.tga", concat({grey, Bytes{2, 1, 4, 3}}))).bytes());
}

TEST_F(ImageLoaderTest, ColourMappedAndGreyTga) {
  const Bytes map{0, 0, 255, 0, 255, 0, 255, 0, 0};  // BGR: red, green, blue
  const std::string mapped = writeTga(
      "mapped.tga", concat({tgaHeader(1, 2, 2, 8, 3, 24), map, Bytes{0, 1, 2, 2}}));
  EXPECT_EQ((Bytes{0, 0, 255, 0, 0, 255, 255, 0, 0, 0, 255, 0}), load(mapped).bytes());

  const std::string grey = writeTga("grey.tga",
                                    concat({tgaHeader(3, 2, 2, 8), Bytes{1, 2, 3, 4}}));
  const Loaded greyImage = load(grey);
  EXPECT_FALSE(greyImage.isAlpha);
  EXPECT_EQ((Bytes{3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}), greyImage.bytes());

  const std::string greyAlpha = writeTga(
      "greyalpha.tga", concat({tgaHeader(3, 2, 2, 16), Bytes{1, 10, 2, 20, 3, 30, 4, 40}}));
  const Loaded greyAlphaImage = load(greyAlpha);
  EXPECT_TRUE(greyAlphaImage.isAlpha);
  EXPECT_EQ((Bytes{3, 3, 3, 30, 4, 4, 4, 40, 1, 1, 1, 10, 2, 2, 2, 20}),
            greyAlphaImage.bytes());

  // The identification field is skipped.
  const std::string withId = writeTga(
      "id.tga", concat({tgaHeader(3, 2, 2, 8, 0, 0, 5), Bytes{'h', 'e', 'l', 'l', 'o'},
                        Bytes{1, 2, 3, 4}}));
  EXPECT_EQ(greyImage.bytes(), load(withId).bytes());
}

TEST_F(ImageLoaderTest, RunLengthTgaExpandsPackets) {
  // 8 x 2, bottom row: 0x85 = six copies of one pixel, then a raw packet of two; top row one
  // repeated packet of eight.
  const std::string trueColor = writeTga(
      "rle.tga", concat({tgaHeader(10, 8, 2, 24),
                         Bytes{0x85, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9, 0x87, 10, 11, 12}}));
  const Loaded image = load(trueColor);
  ASSERT_EQ(8, image.width);
  ASSERT_EQ(2, image.height);
  Bytes expected;
  for (int i = 0; i < 8; ++i) expected.insert(expected.end(), {12, 11, 10});
  for (int i = 0; i < 6; ++i) expected.insert(expected.end(), {3, 2, 1});
  expected.insert(expected.end(), {6, 5, 4, 9, 8, 7});
  EXPECT_EQ(expected, image.bytes());

  const Bytes map{0, 0, 255, 0, 255, 0};
  const std::string mapped = writeTga(
      "rlemapped.tga", concat({tgaHeader(9, 2, 2, 8, 2, 24), map, Bytes{0x83, 1}}));
  EXPECT_EQ((Bytes{0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0}), load(mapped).bytes());

  const std::string grey = writeTga(
      "rlegrey.tga", concat({tgaHeader(11, 2, 2, 8), Bytes{0x81, 5, 0x01, 6, 7}}));
  EXPECT_EQ((Bytes{6, 6, 6, 7, 7, 7, 5, 5, 5, 5, 5, 5}), load(grey).bytes());

  // A packet running past the end of the image is clipped to it.
  const std::string overrun = writeTga(
      "overrun.tga", concat({tgaHeader(11, 2, 2, 8), Bytes{0xFF, 42}}));
  EXPECT_EQ(Bytes(12, 42), load(overrun).bytes());
}

TEST_F(ImageLoaderTest, TgaWithoutImageDataGivesNoImage) {
  for (int type : {0, 5, 32}) {
    const std::string path =
        writeTga("type" + std::to_string(type) + ".tga", tgaHeader(type, 2, 2, 24));
    testing::internal::CaptureStderr();
    const Loaded image = load(path);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(nullptr, image.pixels.get());
    EXPECT_EQ(0, image.width);
    EXPECT_EQ(0, image.height);
    EXPECT_EQ("error: unknown TGA image type " + std::to_string(type) + "!\n", errors);
  }
}

TEST_F(ImageLoaderDeathTest, DamagedTgaIsAFatalReport) {
  const std::string shortHeader = writeTga("short.tga", Bytes{0, 0, 2, 0, 0});
  EXPECT_EXIT(load(shortHeader), testing::ExitedWithCode(1), "loadTga : truncated tga file ");

  const std::string shortPixels = writeTga(
      "shortpixels.tga", concat({tgaHeader(2, 4, 4, 24), Bytes(20, 1)}));
  EXPECT_EXIT(load(shortPixels), testing::ExitedWithCode(1), "loadTga : truncated tga file ");

  const std::string shortRunLength = writeTga(
      "shortrle.tga", concat({tgaHeader(10, 4, 4, 24), Bytes{0x83, 1, 2, 3, 0x03, 1, 2}}));
  EXPECT_EXIT(load(shortRunLength), testing::ExitedWithCode(1), "loadTga : truncated tga file ");

  // A header claiming 65535 x 65535 pixels is refused before anything is allocated.
  const std::string huge = writeTga("huge.tga", concat({tgaHeader(2, 65535, 65535, 32),
                                                        Bytes(64, 0)}));
  EXPECT_EXIT(load(huge), testing::ExitedWithCode(1), "loadImage : unsupported image size");
  const std::string hugeRunLength = writeTga(
      "hugerle.tga", concat({tgaHeader(10, 1000, 1000, 32), Bytes(64, 0)}));
  EXPECT_EXIT(load(hugeRunLength), testing::ExitedWithCode(1), "loadTga : truncated tga file ");

  const Bytes map{0, 0, 255, 0, 255, 0};
  const std::string badIndex = writeTga(
      "badindex.tga", concat({tgaHeader(1, 2, 2, 8, 2, 24), map, Bytes{0, 1, 2, 0}}));
  EXPECT_EXIT(load(badIndex), testing::ExitedWithCode(1),
              "loadTga : colour map index out of range");
  const std::string badRunIndex = writeTga(
      "badrunindex.tga", concat({tgaHeader(9, 2, 2, 8, 2, 24), map, Bytes{0x83, 200}}));
  EXPECT_EXIT(load(badRunIndex), testing::ExitedWithCode(1),
              "loadTga : colour map index out of range");

  const std::string wideMap = writeTga(
      "widemap.tga", concat({tgaHeader(1, 2, 2, 8, 2, 32), Bytes(8, 0), Bytes{0, 1, 0, 1}}));
  EXPECT_EXIT(load(wideMap), testing::ExitedWithCode(1), "loadTga : unsupported colour map");
  const std::string noMap = writeTga("nomap.tga",
                                     concat({tgaHeader(1, 2, 2, 8), Bytes{0, 0, 0, 0}}));
  EXPECT_EXIT(load(noMap), testing::ExitedWithCode(1), "loadTga : unsupported colour map");
  const std::string shortMap = writeTga("shortmap.tga",
                                        concat({tgaHeader(1, 2, 2, 8, 200, 24), Bytes(30, 0)}));
  EXPECT_EXIT(load(shortMap), testing::ExitedWithCode(1), "loadTga : truncated tga file ");
}

// A small run-length file may claim up to 4096 x 4096 pixels once stretched, and sides up to
// 16384; one pixel more on either bound is refused before anything is allocated.
TEST_F(ImageLoaderDeathTest, ClaimedSizeIsBoundedAtItsEdge) {
  const auto runLengthTga = [this](const std::string& name, int width, int height) {
    const size_t nbPackets = (static_cast<size_t>(width) * height + 127) / 128;
    Bytes packets(nbPackets * 4, 0);
    for (size_t i = 0; i < nbPackets; ++i) packets[i * 4] = 0xFF;
    return writeTga(name, concat({tgaHeader(10, width, height, 24), packets}));
  };
  EXPECT_EQ(load(runLengthTga("square.tga", 4096, 4096)).width, 4096);
  const Loaded strip = load(runLengthTga("strip.tga", 16384, 1024));
  EXPECT_EQ(strip.width, 16384);
  EXPECT_EQ(strip.height, 1024);
  EXPECT_EXIT(load(runLengthTga("wider.tga", 4097, 4096)), testing::ExitedWithCode(1),
              "loadImage : unsupported image size in .*wider.tga: 4097 x 4096 pixels \\(at most "
              "16384 a side and 16777216 pixels once stretched to powers of two\\)");
  EXPECT_EXIT(load(runLengthTga("long.tga", 16385, 1)), testing::ExitedWithCode(1),
              "loadImage : unsupported image size in .*long.tga: 16385 x 1 pixels");
  // A few hundred bytes of JPEG claiming 16384 x 16384 are refused at their header.
  const std::string small = dir.file("small.jpg");
  writeTestJpeg(small, 16, 16, 3, Bytes(16 * 16 * 3, 128));
  std::string claim = readFile(small);
  const size_t frame = claim.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  claim.replace(frame + 5, 4, std::string("\x40\x00\x40\x00", 4));
  EXPECT_EXIT(load(dir.write("claim.jpg", claim)), testing::ExitedWithCode(1),
              "loadImage : unsupported image size in .*claim.jpg: 16384 x 16384 pixels");
}

// The number of files this process has open.
int countOpenFiles() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) count += entry.exists() ? 1 : 0;
  return count;
}

// The PNG's header chunk claiming another size, its checksum made right.
std::string withClaimedSize(std::string png, uint32_t width, uint32_t height) {
  const size_t type = png.find("IHDR");
  for (int i = 0; i < 4; ++i) {
    png[type + 4 + i] = static_cast<char>(width >> (24 - 8 * i));
    png[type + 8 + i] = static_cast<char>(height >> (24 - 8 * i));
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t k = type; k < type + 4 + 13; ++k) {
    crc ^= static_cast<unsigned char>(png[k]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  for (int i = 0; i < 4; ++i) png[type + 17 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return png;
}

TEST_F(ImageLoaderTest, AReportThatUnwindsLeavesNoFileOrDecoderBehind) {
  // A script's call in development mode turns the report on a refused size into an exception:
  // the loader's file and its PNG or JPEG decoder must go with it, load after load.
  const std::string whole = dir.file("whole.png");
  writeTestPng(whole, 4, 4, 3, Bytes(4 * 4 * 3, 9));
  const std::string bigPng = dir.write("big.png", withClaimedSize(readFile(whole), 16384, 16384));
  writeTestJpeg(dir.file("small.jpg"), 16, 16, 3, Bytes(16 * 16 * 3, 128));
  std::string jpeg = readFile(dir.file("small.jpg"));
  jpeg.replace(jpeg.find("\xFF\xC0") + 5, 4, std::string("\x40\x00\x40\x00", 4));
  const std::string bigJpeg = dir.write("big.jpg", jpeg);

  AssertionContext recoverable;
  recoverable.isRecoverable = true;
  const AssertionContext previous = setAssertionContext(recoverable);
  const auto loadBoth = [&] {
    for (const std::string& path : {bigPng, bigJpeg}) {
      testing::internal::CaptureStderr();
      EXPECT_THROW(load(path), AssertionFailure) << path;
      testing::internal::GetCapturedStderr();
    }
  };
  loadBoth();  // what the first reports allocate once
  const int filesBefore = countOpenFiles();
  [[maybe_unused]] const size_t heapBefore = mallinfo2().uordblks;
  for (int round = 0; round < 20; ++round) loadBoth();
  EXPECT_EQ(countOpenFiles(), filesBefore);
#ifndef __SANITIZE_ADDRESS__
  EXPECT_LT(mallinfo2().uordblks, heapBefore + 4096);
#endif
  setAssertionContext(previous);
}

// ------------------------------------------------------------------- formats, files, ImageLoader

TEST_F(ImageLoaderTest, TgaIsRecognisedWhateverTheCase) {
  const Bytes tga = concat({tgaHeader(3, 2, 2, 8), Bytes{1, 2, 3, 4}});
  for (const char* name : {"a.tga", "b.Tga", "c.TGA", "d.tGa"})
    EXPECT_EQ(2, load(writeTga(name, tga)).width) << name;
}

TEST_F(ImageLoaderDeathTest, UnknownFormatsAndMissingFilesAreFatalReports) {
  // Death-test children run the test again in a fresh temporary directory: match the names.
  const std::string mixedCase = dir.write("photo.Jpg", "whatever");
  EXPECT_EXIT(load(mixedCase), testing::ExitedWithCode(1),
              "loadImage : File format not recognised/tmp/[^ ]*/photo\\.Jpg");
  const std::string bitmap = dir.write("picture.bmp", "BM");
  EXPECT_EXIT(load(bitmap), testing::ExitedWithCode(1),
              "loadImage : File format not recognised/tmp/[^ ]*/picture\\.bmp");
  EXPECT_EXIT(load(dir.file("missing.png")), testing::ExitedWithCode(1),
              "loadImage: can't open '/tmp/[^ ]*/missing\\.png'");
  // No image in the file: the texture cannot be made.
  const std::string empty = writeTga("empty.tga", tgaHeader(0, 2, 2, 24));
  EXPECT_EXIT(ImageLoader image(empty), testing::ExitedWithCode(1), "data != NULL");
}

TEST_F(ImageLoaderTest, LoaderLogsItsLifeAndOwnsATexture) {
  const std::string path = dir.file("life.png");
  writeTestPng(path, 4, 4, 4, Bytes(64, 200));
  testing::internal::CaptureStdout();
  {
    ImageLoader image(path);
    EXPECT_EQ(4, image.getWidth());
    EXPECT_EQ(4, image.getHeight());
    EXPECT_TRUE(image.getSize() == Int2(4, 4));
    EXPECT_TRUE(image.getIsAlpha());
    EXPECT_EQ(path, image.getName());
    ASSERT_NE(-1, image.getTexture());
    EXPECT_TRUE(glIsTexture(static_cast<unsigned>(image.getTexture())));
    ASSERT_NE(nullptr, image.getPixels());
    EXPECT_EQ(200, image.getPixels()[63]);
    image.releasePixels();
    EXPECT_EQ(nullptr, image.getPixels());
  }
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Loading image '" + path + "' ... done.\nFreeing image '" + path + "'\n", log);
}

TEST_F(ImageLoaderTest, BlankImageIsFilledByItsOwner) {
  testing::internal::CaptureStdout();
  {
    ImageLoader blank;
    EXPECT_EQ(4, blank.getWidth());
    EXPECT_EQ(4, blank.getHeight());
    EXPECT_FALSE(blank.getIsAlpha());
    EXPECT_EQ(-1, blank.getTexture());
    EXPECT_TRUE(blank.getName().empty());
    for (int i = 0; i < 48; ++i) EXPECT_EQ(0, blank.getPixels()[i]);
    for (int i = 0; i < 48; ++i) blank.getPixels()[i] = static_cast<unsigned char>(i);
    blank.createTextureFromPixels();
    EXPECT_NE(-1, blank.getTexture());
  }
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

// ------------------------------------------------------------------ one picture, every format

// A 32 x 32 picture of four flat 16 x 16 quadrants (whole JPEG blocks, which JPEG keeps almost
// exactly): red top left, green top right, blue bottom left, yellow bottom right.
Bytes quadrantsPicture() {
  Bytes rgb;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int quadrant = (y < 16 ? 0 : 2) + (x < 16 ? 0 : 1);
      static const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                                                  {255, 255, 0}};
      rgb.insert(rgb.end(), colours[quadrant], colours[quadrant] + 3);
    }
  return rgb;
}

// The picture (RGB rows top first) as an uncompressed TGA of 24 or 16 bits, its rows stored
// bottom-up or top-down and its pixels left to right or right to left.
Bytes quadrantsTga(bool isTopDown, bool isRightToLeft, int depth) {
  const Bytes rgb = quadrantsPicture();
  Bytes tga = tgaHeader(2, 32, 32, depth);
  tga[17] = static_cast<unsigned char>((isTopDown ? 0x20 : 0) | (isRightToLeft ? 0x10 : 0));
  for (int row = 0; row < 32; ++row)
    for (int column = 0; column < 32; ++column) {
      const int y = isTopDown ? row : 31 - row;
      const int x = isRightToLeft ? 31 - column : column;
      const unsigned char* p = rgb.data() + (y * 32 + x) * 3;
      if (depth == 24) {
        tga.insert(tga.end(), {p[2], p[1], p[0]});
      } else {
        const int word = (p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3);
        tga.insert(tga.end(), {static_cast<unsigned char>(word & 255),
                               static_cast<unsigned char>(word >> 8)});
      }
    }
  return tga;
}

// What a sprite of the file draws at four times its size, read back from the window (RGBA, rows
// bottom-up), and the texture it is drawn with.
struct Drawn {
  std::vector<unsigned char> screen;
  std::vector<unsigned char> texture;
};

Drawn drawSprite(const std::string& path) {
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glColor4ub(255, 255, 255, 255);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  Sprite* sprite = GLManager::getSpriteManager()->createSprite(path, 1);
  sprite->position = Int2(100, 100);
  sprite->scale = Float2(4.f, 4.f);
  sprite->draw();
  glFinish();
  Drawn drawn;
  drawn.screen = GLTestWindow::readPixels(100, GLManager::getWindowHeight() - 100 - 128, 128, 128);
  drawn.texture.resize(32 * 32 * 3);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(sprite->getImages()[0]->getTexture()));
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, drawn.texture.data());
  glPopClientAttrib();
  GLManager::getSpriteManager()->deleteSprite(sprite);
  return drawn;
}

// Cube faces, the skybox, models and sprites all draw the texture the loader makes: the same
// texture and the same sprite on screen show the picture draws the same everywhere.
TEST_F(ImageLoaderTest, OnePictureDrawsTheSameWhateverItsFormat) {
  const std::string png = dir.file("quadrants.png");
  writeTestPng(png, 32, 32, 3, quadrantsPicture());
  const Drawn reference = drawSprite(png);
  ASSERT_EQ(quadrantsPicture(), reference.texture);
  // Window rows count from the bottom: red and green on top, blue and yellow below.
  const auto screenAt = [&reference](int x, int yFromTop) {
    const unsigned char* p = reference.screen.data() + ((127 - yFromTop) * 128 + x) * 4;
    return Bytes(p, p + 3);
  };
  EXPECT_EQ((Bytes{255, 0, 0}), screenAt(20, 20));
  EXPECT_EQ((Bytes{0, 255, 0}), screenAt(108, 20));
  EXPECT_EQ((Bytes{0, 0, 255}), screenAt(20, 108));
  EXPECT_EQ((Bytes{255, 255, 0}), screenAt(108, 108));

  const std::string jpeg = dir.file("quadrants.jpg");
  writeTestJpeg(jpeg, 32, 32, 3, quadrantsPicture());
  struct Variant {
    const char* name;
    bool isTopDown, isRightToLeft;
    int depth;
  };
  std::vector<std::pair<std::string, int>> files{{jpeg, 8}};  // JPEG within 8 levels
  for (const Variant& v : {Variant{"bottomup.tga", false, false, 24},
                           Variant{"topdown.tga", true, false, 24},
                           Variant{"righttoleft.tga", false, true, 24},
                           Variant{"topdownrighttoleft.tga", true, true, 24},
                           Variant{"sixteen.tga", false, false, 16},
                           Variant{"sixteentopdownrtl.tga", true, true, 16}})
    files.emplace_back(writeTga(v.name, quadrantsTga(v.isTopDown, v.isRightToLeft, v.depth)), 0);
  for (const auto& [path, tolerance] : files) {
    SCOPED_TRACE(path);
    const Drawn drawn = drawSprite(path);
    ASSERT_EQ(reference.screen.size(), drawn.screen.size());
    // JPEG smooths its colour planes across the quadrants' borders: it is compared two texels
    // away from them (texels 14 to 17 of each axis skipped); the others everywhere.
    const bool isJpeg = tolerance > 0;
    const auto isCompared = [isJpeg](int texelX, int texelY) {
      return !isJpeg || (std::abs(2 * texelX - 31) > 3 && std::abs(2 * texelY - 31) > 3);
    };
    int worst = 0;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x)
        for (int c = 0; c < 3 && isCompared(x / 4, y / 4); ++c) {
          const size_t i = (static_cast<size_t>(y) * 128 + x) * 4 + c;
          worst = std::max(worst, std::abs(drawn.screen[i] - reference.screen[i]));
        }
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        for (int c = 0; c < 3 && isCompared(x, y); ++c) {
          const size_t i = (static_cast<size_t>(y) * 32 + x) * 3 + c;
          worst = std::max(worst, std::abs(drawn.texture[i] - reference.texture[i]));
        }
    EXPECT_LE(worst, tolerance);
  }
}

}  // namespace
