#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Animated3DModel.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "ObjModel.h"
#include "ModelTestHelpers.h"
#include "ObjModelData.h"
#include "TempDir.h"

namespace {

/// Four frames, each a square facing +z in its own colour: red, green, blue, white.
class Animated3DModelTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i) {
      const std::string name = "frame" + std::to_string(i);
      writeSolidPng(dir.file(name + ".png"), colours[i][0], colours[i][1], colours[i][2]);
      dir.write(name + ".mtl", "newmtl look\nmap_Kd " + name + ".png\n");
      files.push_back(dir.write(name + ".obj", "mtllib " + name +
                                                   ".mtl\nusemtl look\n"
                                                   "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                                                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                                   "f 1/1 2/2 3/3 4/4\n"));
    }
  }

  std::unique_ptr<Animated3DModel> load(const std::vector<std::string>& names, float scale) {
    testing::internal::CaptureStdout();
    auto model = std::make_unique<Animated3DModel>(names, scale);
    testing::internal::GetCapturedStdout();
    return model;
  }

  /// Frame numbers shown by successive steps at the given clock times.
  static std::vector<int> play(Animated3DModel& model, const std::vector<int64_t>& times) {
    std::vector<int> shown;
    for (int64_t now : times) {
      model.advance(now);
      shown.push_back(model.getCurrentFrame());
    }
    return shown;
  }

  TempDir dir;
  std::vector<std::string> files;
};

using Animated3DModelDeathTest = Animated3DModelTest;

}  // namespace

TEST_F(Animated3DModelTest, FreshModelPlaysAllItsFramesBackward) {
  std::unique_ptr<Animated3DModel> model = load(files, 1.f);
  EXPECT_EQ(model->getNbFrames(), 4);
  EXPECT_EQ(model->getIdFrameMin(), 0);
  EXPECT_EQ(model->getIdFrameMax(), 3);
  EXPECT_EQ(model->getCurrentFrame(), 0);
  EXPECT_EQ(model->getFrameDelay(), 500);
  EXPECT_FALSE(model->getIsForward());
  EXPECT_TRUE(model->getIsPlaying());
  EXPECT_EQ(model->getPosition(), Float3(0.f, 0.f, 0.f));
  // The first step changes at once (the next change time starts at 0), then one per delay.
  EXPECT_EQ(play(*model, {1000, 1400, 1500, 1501, 2001, 2002}),
            (std::vector<int>{3, 3, 3, 2, 2, 1}));
  EXPECT_EQ(model->getNextChange(), 2502);
}

TEST_F(Animated3DModelTest, FrameRangeResetsTheCurrentFrameAndBoundsThePlay) {
  std::unique_ptr<Animated3DModel> model = load(files, 1.f);
  model->setFrameRange(1, 3);
  EXPECT_EQ(model->getCurrentFrame(), 1);
  EXPECT_EQ(play(*model, {10, 511, 1012, 1513, 2014}), (std::vector<int>{3, 2, 1, 3, 2}));

  // Forward wraps from the last frame of the range to the first.
  model->setFrameRange(0, 2);
  EXPECT_EQ(model->getCurrentFrame(), 2);  // inside the new range: kept
  model->setForward(true);
  model->setFrameDelay(100);
  EXPECT_EQ(play(*model, {2515, 2616, 2717, 2818}), (std::vector<int>{0, 1, 2, 0}));

  // Stopped: the frame stays whatever the clock says.
  model->setPlaying(false);
  model->setCurrentFrame(0);
  EXPECT_EQ(play(*model, {5000, 9000}), (std::vector<int>{0, 0}));
  model->setPlaying(true);
  EXPECT_EQ(play(*model, {9001}), (std::vector<int>{1}));
}

TEST_F(Animated3DModelTest, DrawShowsTheCurrentFrame) {
  std::unique_ptr<Animated3DModel> model = load(files, 2.f);
  model->setPlaying(false);
  const std::array<unsigned char, 3> expected[4] = {
      {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int frame = 0; frame < 4; ++frame) {
    SCOPED_TRACE(frame);
    model->setCurrentFrame(frame);
    startUnlitView(Float3(0.f, 0.f, 0.f));
    glTranslatef(0.f, 0.f, -5.f);
    model->draw();
    EXPECT_EQ(model->getCurrentFrame(), frame);
    const std::array<unsigned char, 4> centre = GLTestWindow::readPixel2D(400, 300);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(centre[k], expected[frame][k], 8);
  }
}

TEST_F(Animated3DModelTest, FramesShareTheModelCacheAndCollideThroughTheCurrentFrame) {
  const std::vector<std::string> twice = {files[0], files[1], files[0]};
  std::unique_ptr<Animated3DModel> model = load(twice, 1.f);
  ASSERT_EQ(model->getNbFrames(), 3);
  EXPECT_EQ(model->getFrame(0)->getCacheIndex(), model->getFrame(2)->getCacheIndex());
  const int index = model->getFrame(0)->getCacheIndex();
  EXPECT_EQ(ObjModel::getCache()[index].nbUses, 2);

  Float3 hit;
  EXPECT_TRUE(model->testCollision(Float3(0.5f, 0.5f, 1.f), Float3(0.5f, 0.5f, -1.f), hit));
  EXPECT_FLOAT_EQ(hit.z(), 0.f);
  EXPECT_FALSE(model->testCollision(Float3(2.f, 0.f, 1.f), Float3(2.f, 0.f, -1.f), hit));

  testing::internal::CaptureStdout();
  model.reset();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(ObjModel::getCache()[index].nbUses, 0);
  EXPECT_EQ(ObjModel::getCache()[index].fileName, "");
  EXPECT_NE(log.find("Ungetting model '" + files[0] + "'"), std::string::npos);
}

TEST_F(Animated3DModelTest, SamplePlayerModelFitsTheCollisionBox) {
  // The player loads its five frames from "player_model_directory" with the factor 0.3.
  std::vector<std::string> names;
  for (int i = 1; i <= 5; ++i) names.push_back("models/player/player_frame" + std::to_string(i) + ".obj");
  testing::internal::CaptureStderr();
  std::unique_ptr<Animated3DModel> player = load(names, 0.3f);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(player->getNbFrames(), 5);
  player->setFrameRange(3, 4);
  player->setFrameRange(0, 2);
  // Collision box of the sample configuration: 18 high, 6 either side on x and z.
  for (int frame = 0; frame < 5; ++frame) {
    SCOPED_TRACE(frame);
    const ObjModelData* data = player->getFrame(frame)->getModel();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->getNbTriangles(), 72);
    ASSERT_EQ(data->materials.size(), 2u);
    EXPECT_NE(data->materials[1].texture, nullptr);
    float lowest = 1e9f, highest = -1e9f;
    for (int v = 1; v <= data->getNbVertices(); ++v) {
      const Float3 p = data->vertices[v];
      lowest = std::min(lowest, p.y());
      highest = std::max(highest, p.y());
      EXPECT_LE(std::abs(p.x()), 6.f);
      EXPECT_LE(std::abs(p.z()), 6.f);
    }
    EXPECT_FLOAT_EQ(lowest, 0.f);  // every frame stands on the ground
    EXPECT_LE(highest, frame >= 3 ? 20.f : 18.f);
    EXPECT_GE(highest, 17.f);
  }
  // Drawn from behind at the player's camera distance, the figure covers the window's middle.
  startUnlitView(Float3(0.f, 9.f, 30.f));
  player->setPlaying(false);
  player->draw();
  const std::array<unsigned char, 4> centre = GLTestWindow::readPixel2D(400, 300);
  EXPECT_GT(centre[0] + centre[1] + centre[2], 60);
  const std::array<unsigned char, 4> aside = GLTestWindow::readPixel2D(100, 300);
  EXPECT_EQ(aside[0] + aside[1] + aside[2], 0);

  testing::internal::CaptureStdout();
  player.reset();
  testing::internal::GetCapturedStdout();
}

TEST_F(Animated3DModelDeathTest, BadFrameRangesAndFramesAreFatalReports) {
  std::unique_ptr<Animated3DModel> model = load(files, 1.f);
  EXPECT_EXIT(model->setFrameRange(2, 2), testing::ExitedWithCode(1),
              "idFrameMin < idFrameMax && idFrameMin >= 0");
  EXPECT_EXIT(model->setFrameRange(-1, 2), testing::ExitedWithCode(1),
              "idFrameMin < idFrameMax && idFrameMin >= 0");
  EXPECT_EXIT(model->setFrameRange(1, 4), testing::ExitedWithCode(1),
              "idFrameMax < frames.size\\(\\)");
  EXPECT_EXIT(model->setCurrentFrame(4), testing::ExitedWithCode(1),
              "frame >= 0 && frame < getNbFrames\\(\\)");
  EXPECT_EXIT(Animated3DModel({}, 1.f), testing::ExitedWithCode(1), "parFilenames.size\\(\\) > 0");
}
