#include <gtest/gtest.h>

#include <GL/glew.h>

#include <memory>
#include <vector>

#include "GLTestWindow.h"
#include "SpriteManager.h"
#include "VBO.h"
#include "VBOArena.h"
#include "VBODrawPass.h"

TEST(VBOArena, RangesAreTakenFirstFitGivenBackJoinedAndEmptyBlocksDeleted) {
  GLTestWindow::get();
  ASSERT_TRUE(VBO::isVBOSupported());
  VBOArena arena;
  const VBOArena::Range a = arena.allocate(100, false);
  const VBOArena::Range b = arena.allocate(200, false);
  const VBOArena::Range c = arena.allocate(300, false);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(b.first, 100);
  EXPECT_EQ(c.first, 300);
  // Blocks with fog coordinates are apart.
  const VBOArena::Range fogged = arena.allocate(10, true);
  EXPECT_NE(fogged.name, a.name);
  EXPECT_EQ(arena.getNbBlocks(), 2u);

  // a and b given back join into one hole of 300, which c's size fits exactly.
  arena.release(b);
  arena.release(a);
  const VBOArena::Range d = arena.allocate(300, false);
  EXPECT_EQ(d.name, a.name);
  EXPECT_EQ(d.first, 0);
  // A full block makes a new one.
  std::vector<VBOArena::Range> filling;
  for (int i = 0; i < VBOArena::blockVertices / VBOArena::largestShared + 1; ++i)
    filling.push_back(arena.allocate(VBOArena::largestShared, false));
  EXPECT_EQ(arena.getNbBlocks(), 3u);
  for (const VBOArena::Range& range : filling) arena.release(range);
  arena.release(c);
  arena.release(d);
  EXPECT_FALSE(glIsBufferARB(a.name));
  arena.release(fogged);
  EXPECT_EQ(arena.getNbBlocks(), 0u);
}

TEST(VBOArena, SharedBuffersDrawnInBatchesGiveThePixelsOfTheirOwn) {
  GLTestWindow::get();
  ASSERT_TRUE(VBO::isVBOSupported());
  const unsigned char redPixels[2 * 2 * 3] = {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0};
  const unsigned char greenPixels[2 * 2 * 3] = {0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0};
  const int red = SpriteManager::createTexture(redPixels, 2, 2, false);
  const int green = SpriteManager::createTexture(greenPixels, 2, 2, false);
  auto quad = [](float x0, float y0, float x1, float y1, float z) {
    return std::vector<Float3>{Float3(x0, y0, z), Float3(x1, y0, z), Float3(x1, y1, z), Float3(x0, y1, z)};
  };
  const std::vector<Float2> coords = {Float2(0, 0), Float2(1, 0), Float2(1, 1), Float2(0, 1)};
  // Two meshes of two textures each, overlapping at different depths; a big one of its own.
  auto fill = [&](VBO& vbo, float x, float z) {
    vbo.addGroup(red, quad(x, 100, x + 300, 400, z), coords, {}, {});
    vbo.addGroup(green, quad(x + 150, 250, x + 450, 550, -z), coords, {}, {});
  };
  auto arena = std::make_shared<VBOArena>();
  VBO sharedA(arena), sharedB(arena), ownA, ownB;
  fill(sharedA, 50, 0.5f);
  fill(sharedB, 250, -0.2f);
  fill(ownA, 50, 0.5f);
  fill(ownB, 250, -0.2f);
  VBO big(arena);
  std::vector<Float3> many;
  std::vector<Float2> manyCoords;
  for (int i = 0; i < VBOArena::largestShared / 4 + 1; ++i) {
    const std::vector<Float3> q = quad(700, 10 + i * 0.01f, 790, 20 + i * 0.01f, 0.9f);
    many.insert(many.end(), q.begin(), q.end());
    manyCoords.insert(manyCoords.end(), coords.begin(), coords.end());
  }
  big.addGroup(red, many, manyCoords, {}, {});
  for (VBO* vbo : {&sharedA, &sharedB, &ownA, &ownB, &big}) vbo->finish();
  EXPECT_NE(sharedA.getBuffers()[0]->shared.name, 0u);
  EXPECT_EQ(sharedA.getBuffers()[0]->shared.name, sharedB.getBuffers()[1]->shared.name);
  EXPECT_EQ(big.getBuffers()[0]->shared.name, 0u);
  EXPECT_EQ(ownA.getBuffers()[0]->shared.name, 0u);

  GLTestWindow::pushPlainDrawing();
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  auto drawn = [](const std::vector<const VBO*>& meshes, bool batch) {
    glClearColor(0.f, 0.f, 1.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    VBODrawPass pass;
    pass.begin(batch);
    for (const VBO* vbo : meshes) pass.draw(*vbo, VBO::Pass::all);
    pass.end();
    glFinish();
    return GLTestWindow::readPixels(0, 0, 800, 600);
  };
  const std::vector<unsigned char> expected = drawn({&ownA, &ownB, &big}, false);
  EXPECT_TRUE(drawn({&sharedA, &sharedB, &big}, true) == expected);
  EXPECT_EQ(GLTestWindow::readPixels(100, 200, 1, 1)[0], 255);
  EXPECT_EQ(GLTestWindow::readPixels(450, 500, 1, 1)[1], 255);
  // The arena outlives the streamer that made it: the meshes hold it.
  arena.reset();
  EXPECT_TRUE(drawn({&sharedA, &sharedB, &big}, false) == expected);
  GLTestWindow::popPlainDrawing();
  const GLuint textures[2] = {(GLuint)red, (GLuint)green};
  glDeleteTextures(2, textures);
}
