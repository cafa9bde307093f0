#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "FileManager.h"
#include "Editor3DTestHelpers.h"
#include "editor/Editor3DWorldGeneration.h"
#include "GLTestWindow.h"
#include "world/IndexedWorld.h"
#include "TempDir.h"
#include "TestImages.h"
#include "world/WorldRegion.h"

// Cubes of edge 1; regions of R cubes. Six cube types (0..5) so that every (fill, top) pair of
// the images exists; types 0, 2, 4 fill and 1, 3, 5 top.
namespace {

using Generation = Editor3DWorldGeneration;

const bool defaultOptions[3] = {true, true, true};
const int32_t sixTypes[6] = {0, 1, 2, 3, 4, 5};

struct Pixel {
  unsigned char r, g, b;
};

std::vector<unsigned char> pixelsOf(const std::vector<Pixel>& pixels) {
  std::vector<unsigned char> bytes;
  for (const Pixel& p : pixels) bytes.insert(bytes.end(), {p.r, p.g, p.b});
  return bytes;
}

/// Runs the test body inside a temporary directory holding the generation images.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path) {
    EXPECT_NE(getcwd(previous, sizeof(previous)), nullptr);
    EXPECT_EQ(chdir(path.c_str()), 0);
  }
  ~WorkingDirectory() { EXPECT_EQ(chdir(previous), 0); }

 private:
  char previous[4096];
};

class Editor3DWorldGenerationTest : public testing::Test {
 protected:
  void SetUp() override { configure(8); }
  void TearDown() override {
    world.reset();
    Generation::resetSettings();
  }
  void configure(int cubesPerRegion) {
    world.reset();
    XMLSimple& config = GLTestWindow::get()->getConfig();
    config.setInt("size_one_region", cubesPerRegion);
    config.setDouble("size_one_cube", 1.0);
    config.setBool("fast_shadows", false);
    CubesTable::setSizeOneCube(1.f);
    world.reset(new IndexedWorld(emptyWorldFile()));
    const std::string names[6];
    for (int i = 0; i < 6; ++i) world->addCubeType(names, defaultOptions, true);
  }
  int32_t typeAt(int x, int y, int z) const { return world->getCubeTypeAtCell(Int3(x, y, z)); }
  /// Highest filled cell of the column + 1 (the column's top), scanning [low, high).
  int columnTop(int x, int z, int low, int high) const {
    int top = low;
    for (int y = low; y < high; ++y)
      if (typeAt(x, y, z) != -1) top = y + 1;
    return top;
  }
  int countCubes() const { return countEditorCubes(*world); }
  int countObjects(std::vector<Float3>* positions = nullptr) const { return countEditorObjects(*world, positions); }

  std::unique_ptr<IndexedWorld> world;
  TempDir dir;
};

TEST_F(Editor3DWorldGenerationTest, FlatRegionIsOneSlabOfTheTopTypeAroundTheCentre) {
  testing::internal::CaptureStdout();
  Generation::generateRegion(*world, Int3(0, 3, 0), 0, 0, 1);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Generate random at "), std::string::npos);
  EXPECT_NE(log.find(" (type 0)"), std::string::npos);
  EXPECT_EQ(countCubes(), 64);
  for (int x = -4; x < 4; ++x)
    for (int z = -4; z < 4; ++z) {
      EXPECT_EQ(typeAt(x, 3, z), 1);
      EXPECT_EQ(typeAt(x, 2, z), -1);
      EXPECT_EQ(typeAt(x, 4, z), -1);
    }
  EXPECT_EQ(typeAt(4, 3, 0), -1);
  EXPECT_EQ(typeAt(-5, 3, 0), -1);
}

TEST_F(Editor3DWorldGenerationTest, HillsidesAreStaircasesOfOneStepPerCube) {
  configure(32);
  Generation::generateRegion(*world, Int3(0, 0, 0), 1, 0, 1);
  EXPECT_EQ(countCubes(), 32 * 32);
  for (int k = -16; k < 16; ++k) {
    EXPECT_EQ(typeAt(k, k, 5), 1) << k;
    EXPECT_EQ(typeAt(k, k + 1, 5), -1) << k;
    EXPECT_EQ(typeAt(k, k - 1, 5), -1) << k;
  }
  configure(8);
  Generation::generateRegion(*world, Int3(0, 0, 0), 2, 0, 1);
  for (int k = -4; k < 4; ++k) EXPECT_EQ(typeAt(k, -k, 0), 1) << k;
  configure(8);
  Generation::generateRegion(*world, Int3(0, 0, 0), 3, 0, 1);
  for (int k = -4; k < 4; ++k) EXPECT_EQ(typeAt(0, k, k), 1) << k;
  configure(8);
  Generation::generateRegion(*world, Int3(0, 0, 0), 4, 0, 1);
  for (int k = -4; k < 4; ++k) EXPECT_EQ(typeAt(-3, -k, k), 1) << k;
  EXPECT_EQ(countCubes(), 64);
}

TEST_F(Editor3DWorldGenerationTest, HeightmapGivesExactColumnHeightsAndTypePairs) {
  // 2 x 2 regions of 8 cubes read a 16 x 16 image: one pixel per cube column. Column (x, z)
  // of the landscape reads pixel (x + 0, z + 0) from the cursor (the regions start at it).
  std::vector<Pixel> heights(16 * 16, Pixel{0, 0, 0});
  std::vector<Pixel> ground(16 * 16, Pixel{0, 0, 0});
  heights[0 + 0 * 16] = {200, 100, 100};  // red, top 20
  heights[1 + 0 * 16] = {50, 200, 60};    // green, top 10
  heights[0 + 1 * 16] = {10, 20, 250};    // blue, top 2
  heights[9 + 9 * 16] = {255, 255, 255};  // red (ties go to red), top 51
  ground[9 + 9 * 16] = {100, 0, 0};       // bottom 20
  writeTestPng(dir.file("world_heightmap.png"), 16, 16, 3, pixelsOf(heights));
  writeTestPng(dir.file("world_groundmap.png"), 16, 16, 3, pixelsOf(ground));
  const Int3 cursor(0, 5, 0);
  {
    WorkingDirectory in(dir.path());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Generation::generateFromHeightmap(*world, cursor, 2, sixTypes, 0));
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Generate random full world ..."), std::string::npos);
    EXPECT_NE(log.find("... Generate random full world done."), std::string::npos);
  }
  // The regions (p, q) = -1..0 are centred on cursor + (p*8 + 4, 0, q*8 + 4): the landscape
  // runs from x = -8 to 8; image column a*8 + i lies at x = -8 + a*8 + i.
  auto column = [](int px) { return px - 8; };
  EXPECT_EQ(columnTop(column(0), column(0), 0, 80), 5 + 20);
  EXPECT_EQ(typeAt(column(0), 5, column(0)), 0);
  EXPECT_EQ(typeAt(column(0), 23, column(0)), 0);
  EXPECT_EQ(typeAt(column(0), 24, column(0)), 1);
  EXPECT_EQ(typeAt(column(0), 4, column(0)), -1);
  EXPECT_EQ(columnTop(column(1), column(0), 0, 80), 5 + 10);
  EXPECT_EQ(typeAt(column(1), 14, column(0)), 3);
  EXPECT_EQ(typeAt(column(1), 13, column(0)), 2);
  EXPECT_EQ(columnTop(column(0), column(1), 0, 80), 5 + 2);
  EXPECT_EQ(typeAt(column(0), 6, column(1)), 5);
  EXPECT_EQ(typeAt(column(0), 5, column(1)), 4);
  // Ground 20 under a top of 51: the column starts at the cursor's height + 20.
  EXPECT_EQ(typeAt(column(9), 5 + 19, column(9)), -1);
  EXPECT_EQ(typeAt(column(9), 5 + 20, column(9)), 0);
  EXPECT_EQ(typeAt(column(9), 5 + 50, column(9)), 1);
  EXPECT_EQ(columnTop(column(9), column(9), 0, 80), 5 + 51);
  // Black pixels: nothing there, and nothing outside the 16 x 16 columns.
  EXPECT_EQ(columnTop(column(5), column(5), -10, 80), -10);
  EXPECT_EQ(countCubes(), 20 + 10 + 2 + 31);
}

TEST_F(Editor3DWorldGenerationTest, BlackGroundmapStartsEveryColumnAtTheCursorHeight) {
  // One region per pixel: 4 x 4 regions of 8 cubes over a 4 x 4 image, accuracy 2 (4 x 4
  // samples of 2 x 2 columns each, all reading the region's pixel).
  std::vector<Pixel> heights(16, Pixel{100, 100, 100});  // top 20 with factor 0.2
  writeTestPng(dir.file("world_heightmap.png"), 4, 4, 3, pixelsOf(heights));
  writeTestPng(dir.file("world_groundmap.png"), 4, 4, 3, pixelsOf(std::vector<Pixel>(16, Pixel{0, 0, 0})));
  Generation::heightmapAccuracy = 2;
  {
    WorkingDirectory in(dir.path());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Generation::generateFromHeightmap(*world, Int3(0, -3, 0), 4, sixTypes, 0));
    testing::internal::GetCapturedStdout();
  }
  for (int x = -16; x < 16; x += 3)
    for (int z = -16; z < 16; z += 5) {
      EXPECT_EQ(typeAt(x, -3, z), 0) << x << "," << z;
      EXPECT_EQ(typeAt(x, -4, z), -1) << x << "," << z;
      EXPECT_EQ(columnTop(x, z, -10, 40), -3 + 20);
    }
  EXPECT_EQ(countCubes(), 32 * 32 * 20);
}

TEST_F(Editor3DWorldGenerationTest, MissingHeightmapAnswersFalseAndBuildsNothing) {
  WorkingDirectory in(dir.path());
  EXPECT_FALSE(Generation::generateFromHeightmap(*world, Int3(0, 0, 0), 8, sixTypes, 0));
  EXPECT_EQ(countCubes(), 0);
}

TEST_F(Editor3DWorldGenerationTest, OddAndTinyImagesStayInBoundsEveryRegionSize) {
  // A 3 x 5 image (stretched by the loader) and a 1 x 1 one read by 64 x 64 regions of 4 cubes:
  // every sample lands on a pixel of the image.
  configure(4);
  for (const Int2 size : {Int2(3, 5), Int2(1, 1), Int2(7, 2)}) {
    const int n = size.x() * size.y();
    writeTestPng(dir.file("world_heightmap.png"), size.x(), size.y(), 3,
                 pixelsOf(std::vector<Pixel>(static_cast<size_t>(n), Pixel{50, 50, 50})));
    writeTestPng(dir.file("world_groundmap.png"), size.x(), size.y(), 3,
                 pixelsOf(std::vector<Pixel>(static_cast<size_t>(n), Pixel{0, 0, 0})));
    configure(4);
    WorkingDirectory in(dir.path());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Generation::generateFromHeightmap(*world, Int3(0, 0, 0), 64, sixTypes, 0));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(columnTop(0, 0, -5, 40), 10);
    EXPECT_EQ(columnTop(-128, -128, -5, 40), 10);
    EXPECT_EQ(columnTop(127, 127, -5, 40), 10);
  }
}

TEST_F(Editor3DWorldGenerationTest, ImagesOfDifferentSizesAreReportedAndNothingIsBuilt) {
  writeTestPng(dir.file("world_heightmap.png"), 4, 4, 3, pixelsOf(std::vector<Pixel>(16, Pixel{90, 90, 90})));
  writeTestPng(dir.file("world_groundmap.png"), 8, 4, 3, pixelsOf(std::vector<Pixel>(32, Pixel{0, 0, 0})));
  WorkingDirectory in(dir.path());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Generation::generateFromHeightmap(*world, Int3(0, 0, 0), 2, sixTypes, 0));
  testing::internal::GetCapturedStdout();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("must have the size of"), std::string::npos);
  EXPECT_EQ(countCubes(), 0);
}

TEST_F(Editor3DWorldGenerationTest, MissingGroundmapIsReportedAndTheGroundIsAtTheCursor) {
  writeTestPng(dir.file("world_heightmap.png"), 2, 2, 3, pixelsOf(std::vector<Pixel>(4, Pixel{50, 60, 70})));
  WorkingDirectory in(dir.path());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Generation::generateFromHeightmap(*world, Int3(0, 0, 0), 2, sixTypes, 0));
  testing::internal::GetCapturedStdout();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("world_groundmap.png"), std::string::npos);
  EXPECT_EQ(columnTop(3, 3, -5, 40), 10);
  EXPECT_EQ(typeAt(3, 0, 3), 4);  // blue pixel: the third pair
}

TEST_F(Editor3DWorldGenerationTest, DamagedHeightmapIsTheLoadersFatalReport) {
  dir.write("world_heightmap.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\x07'));
  dir.write("world_groundmap.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\x07'));
  WorkingDirectory in(dir.path());
  EXPECT_EXIT(Generation::generateFromHeightmap(*world, Int3(0, 0, 0), 2, sixTypes, 0),
              testing::ExitedWithCode(1), "");
}

TEST_F(Editor3DWorldGenerationTest, DefaultSettingsAddNoIslandsNoBlocksAndNoObjects) {
  testing::internal::CaptureStdout();
  Generation::generateFloatingIslands(*world, Int3(0, 0, 0), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Generate 0 cubes"), std::string::npos);
  EXPECT_EQ(countCubes(), 0);
  world->setObjectTypeNames({"Crate"});
  Generation::generateRegion(*world, Int3(0, 0, 0), 0, 0, 1);
  EXPECT_EQ(countCubes(), 64);
  testing::internal::CaptureStdout();
  Generation::addRandomObjects(*world, 2, Int3(0, 0, 0), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Generate 0 random objects on "), std::string::npos);
  EXPECT_EQ(countObjects(), 0);
}

TEST_F(Editor3DWorldGenerationTest, RandomBlocksStayInTheRegionOnTheSurfaceAndFollowTheSeed) {
  configure(16);
  Generation::nbAdditionalRandomCubes = 250;
  std::srand(7);
  Generation::generateRegion(*world, Int3(0, 0, 0), 0, 0, 1);
  const int cubes = countCubes();
  EXPECT_GT(cubes, 16 * 16);
  // Blocks are clipped to the region's columns; the slab stays whole.
  for (int x = -20; x < 20; ++x)
    for (int z = -20; z < 20; ++z) {
      const bool inside = x >= -8 && x < 8 && z >= -8 && z < 8;
      if (!inside) EXPECT_EQ(columnTop(x, z, -20, 40), -20) << x << "," << z;
      else EXPECT_NE(typeAt(x, 0, z), -1) << x << "," << z;
    }
  configure(16);
  std::srand(7);
  Generation::generateRegion(*world, Int3(0, 0, 0), 0, 0, 1);
  EXPECT_EQ(countCubes(), cubes);
}

TEST_F(Editor3DWorldGenerationTest, RandomObjectsStandOnTheRecordedTops) {
  world->setObjectTypeNames({"Crate", "Tree"});
  Generation::nbCustomObjects = 20;
  std::srand(3);
  Generation::generateRegion(*world, Int3(0, 2, 0), 0, 0, 1, 1);
  std::vector<Float3> positions;
  const int count = countObjects(&positions);
  EXPECT_LT(count, 20);
  for (const Float3& p : positions) {
    EXPECT_FLOAT_EQ(p.y(), 3.f);
    EXPECT_GE(p.x(), -4.f);
    EXPECT_LT(p.x(), 4.f);
  }
  // addRandomObjects: n x n regions around the cursor, objects on the ground of their column.
  std::srand(5);
  testing::internal::CaptureStdout();
  Generation::addRandomObjects(*world, 2, Int3(0, 0, 0), 0);
  testing::internal::GetCapturedStdout();
  positions.clear();
  const int total = countObjects(&positions);
  EXPECT_GE(total, count);
  for (const Float3& p : positions) {
    EXPECT_GE(p.x(), -11.f);
    EXPECT_LE(p.x(), 13.f);
    const bool onSlab = p.x() >= -4.f && p.x() < 4.f && p.z() >= -4.f && p.z() < 4.f;
    if (onSlab) EXPECT_FLOAT_EQ(p.y(), 3.f);
    else EXPECT_FLOAT_EQ(p.y(), 0.f);
  }
}

TEST_F(Editor3DWorldGenerationTest, FloatingIslandsAreBoxesAroundTheCursor) {
  Generation::nbAdditionalRandomCubes = 20;
  std::srand(11);
  testing::internal::CaptureStdout();
  Generation::generateFloatingIslands(*world, Int3(100, 50, -40), 2);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Generate 1024 cubes"), std::string::npos);
  EXPECT_NE(log.find("... generate done."), std::string::npos);
  EXPECT_GT(countCubes(), 0);
  EXPECT_EQ(typeAt(100, 50, -40), 2);  // the first block is centred on the walk's start
  // Every zone lies within the islands' box grown by the largest block and walk steps.
  const Int3 size = world->getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k)
        for (const CubeZone& zone : world->getRegion(Int3(i, j, k))->getCubeZonesList()) {
          EXPECT_EQ(zone.id, 2);
        }
}

}  // namespace

namespace {

TEST_F(Editor3DWorldGenerationTest, SampleImagesOfTheGameBuildALandscape) {
  // The game directory's images (tools/make_heightmaps): 8 x 8 regions of 8 cubes, coarse.
  ASSERT_TRUE(FileManager::fileExists("world_heightmap.png"));
  Generation::heightmapAccuracy = 4;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(Generation::generateFromHeightmap(*world, Int3(0, 0, 0), 8, sixTypes, 0));
  testing::internal::GetCapturedStdout();
  EXPECT_GT(countCubes(), 32 * 32);
  for (int x = -32; x < 32; x += 7)
    for (int z = -32; z < 32; z += 7) EXPECT_GT(columnTop(x, z, -1, 80), 0) << x << "," << z;
}

}  // namespace
