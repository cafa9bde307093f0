#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "GLTestWindow.h"
#include "SpriteManager.h"
#include "VBO.h"
#include "VBODrawPass.h"

namespace {

std::vector<Float3> quadVertices(float x0, float y0, float x1, float y1) {
  return {Float3(x0, y0, 0.f), Float3(x1, y0, 0.f), Float3(x1, y1, 0.f), Float3(x0, y1, 0.f)};
}

std::vector<Float2> quadTexCoords() { return {Float2(0.f, 0.f), Float2(1.f, 0.f), Float2(1.f, 1.f), Float2(0.f, 1.f)}; }

std::vector<Float3> triangleVertices() { return {Float3(0.f, 0.f, 0.f), Float3(1.f, 0.f, 0.f), Float3(0.f, 1.f, 0.f)}; }

std::vector<Float2> triangleTexCoords() { return {Float2(0.f, 0.f), Float2(1.f, 0.f), Float2(0.f, 1.f)}; }

const std::vector<Float3> noVertices;
const std::vector<Float2> noTexCoords;

int solidTexture(unsigned char r, unsigned char g, unsigned char b) {
  const unsigned char pixels[2 * 2 * 3] = {r, g, b, r, g, b, r, g, b, r, g, b};
  return SpriteManager::createTexture(pixels, 2, 2, false);
}

}  // namespace

TEST(VBOExtension, NameMustBeAWholeBlankSeparatedWord) {
  const char* name = "GL_ARB_vertex_buffer_object";
  EXPECT_TRUE(VBO::isExtensionInString("GL_ARB_vertex_buffer_object", name));
  EXPECT_TRUE(VBO::isExtensionInString("GL_ARB_vertex_buffer_object GL_EXT_fog_coord", name));
  EXPECT_TRUE(VBO::isExtensionInString("GL_EXT_fog_coord GL_ARB_vertex_buffer_object", name));
  EXPECT_TRUE(VBO::isExtensionInString("GL_A GL_ARB_vertex_buffer_object GL_B ", name));
  EXPECT_FALSE(VBO::isExtensionInString("GL_ARB_vertex_buffer_object_rgb32", name));
  EXPECT_FALSE(VBO::isExtensionInString("GL_EXT_x GL_ARB_vertex_buffer_objects", name));
  EXPECT_FALSE(VBO::isExtensionInString("XGL_ARB_vertex_buffer_object", name));
  EXPECT_FALSE(VBO::isExtensionInString("", name));
  EXPECT_FALSE(VBO::isExtensionInString(nullptr, name));
  // A first occurrence inside a longer word does not hide a later whole one.
  EXPECT_TRUE(VBO::isExtensionInString("GL_ARB_vertex_buffer_object2 GL_ARB_vertex_buffer_object", name));
  EXPECT_TRUE(VBO::isExtensionInString("XGL_ARB_vertex_buffer_object GL_ARB_vertex_buffer_object", name));
}

TEST(VBOGroups, SameTextureGroupsAreConcatenatedInOrder) {
  VBO vbo;
  vbo.addGroup(4, quadVertices(0, 0, 1, 1), quadTexCoords(), noVertices, noTexCoords);
  vbo.addGroup(4, quadVertices(2, 2, 3, 3), quadTexCoords(), triangleVertices(), triangleTexCoords());
  ASSERT_EQ(vbo.getGroups().size(), 1u);
  const MeshGroup& group = vbo.getGroups().at(4);
  ASSERT_EQ(group.verticesQuadVect.size(), 8u);
  EXPECT_EQ(group.verticesQuadVect[0], Float3(0.f, 0.f, 0.f));
  EXPECT_EQ(group.verticesQuadVect[4], Float3(2.f, 2.f, 0.f));
  EXPECT_EQ(group.texCoordQuadVect.size(), 8u);
  EXPECT_EQ(group.verticesTriVect.size(), 3u);
  EXPECT_FALSE(group.drawnLast);
}

TEST(VBOGroups, UploadOrderQuadsFirstAndDrawnLastGroupsAtTheEnd) {
  VBO vbo;
  vbo.addGroup(7, noVertices, noTexCoords, triangleVertices(), triangleTexCoords());
  vbo.addGroup(5, quadVertices(0, 0, 1, 1), quadTexCoords(), triangleVertices(), triangleTexCoords());
  vbo.addGroup(3, quadVertices(0, 0, 1, 1), quadTexCoords(), noVertices, noTexCoords);
  vbo.addGroup(9, noVertices, noTexCoords, noVertices, noTexCoords);
  vbo.getGroup(3).drawnLast = true;
  const std::pair<int, int> result = vbo.finish();
  EXPECT_EQ(result.first, 4);
  EXPECT_EQ(result.second, 4 + 3 + 3 + 4);
  const auto& buffers = vbo.getBuffers();
  ASSERT_EQ(buffers.size(), 4u);
  EXPECT_EQ(buffers[0]->textureId, 5);
  EXPECT_TRUE(buffers[0]->isQuads);
  EXPECT_EQ(buffers[1]->textureId, 5);
  EXPECT_FALSE(buffers[1]->isQuads);
  EXPECT_EQ(buffers[2]->textureId, 7);
  EXPECT_FALSE(buffers[2]->isQuads);
  EXPECT_EQ(buffers[3]->textureId, 3);
  EXPECT_EQ(buffers[3]->nbVertices, 4);
  vbo.destroy();
  EXPECT_TRUE(vbo.getBuffers().empty());
  EXPECT_TRUE(vbo.getGroups().empty());
}

TEST(VBOGroups, AMeshAddedInPartsUploadsAsTheMergedGroups) {
  GLTestWindow::get();
  ASSERT_TRUE(VBO::isVBOSupported());
  auto part = [](int texture, float x, bool withTriangles) {
    MeshGroup group;
    group.verticesQuadVect = quadVertices(x, 0, x + 1, 1);
    group.texCoordQuadVect = quadTexCoords();
    if (withTriangles) {
      group.verticesTriVect = triangleVertices();
      group.texCoordTriVect = triangleTexCoords();
    }
    MeshGroupMap groups;
    groups[texture] = group;
    groups[texture + 1] = group;
    return groups;
  };
  // Texture 5 has lists in every part, 4 and 6 in some; 6 is drawn last.
  std::vector<MeshGroupMap> parts = {part(5, 0, true), part(4, 10, false), part(5, 20, true)};
  VBO merged;
  for (const MeshGroupMap& groups : parts)
    for (const auto& entry : groups) merged.addGroup(entry.first, entry.second);
  merged.getGroup(6).drawnLast = true;
  const std::pair<int, int> mergedResult = merged.finish();

  // Parts copied by a runner that takes them last first, as threads may.
  VBO inParts;
  for (auto& entry : parts[0]) inParts.addGroup(entry.first, std::move(entry.second));
  inParts.getGroup(6).drawnLast = true;
  inParts.addPart(std::move(parts[1]));
  inParts.addPart(std::move(parts[2]));
  int nbRuns = 0;
  EXPECT_EQ(inParts.finish([&nbRuns](void (*task)(void*, int), void* context, int nbParts) {
    ++nbRuns;
    for (int p = nbParts - 1; p >= 0; --p) task(context, p);
  }), mergedResult);
  EXPECT_EQ(nbRuns, 1);
  EXPECT_EQ(mergedResult, std::make_pair(5, 4 + 12 + 6 + 8 + 6));
  EXPECT_EQ(inParts.getBuffers().back()->textureId, 6);
  EXPECT_TRUE(GLTestWindow::readUploadedMesh(inParts) == GLTestWindow::readUploadedMesh(merged));
}

TEST(VBOGroupsDeathTest, MismatchedListsStop) {
  VBO vbo;
  vbo.addGroup(1, quadVertices(0, 0, 1, 1), noTexCoords, noVertices, noTexCoords);
  EXPECT_EXIT(vbo.finish(), testing::ExitedWithCode(1), "verticesQuadVect.size\\(\\) == texCoordQuadVect.size\\(\\)");
  VBO triangles;
  triangles.addGroup(1, noVertices, noTexCoords, triangleVertices(), quadTexCoords());
  EXPECT_EXIT(triangles.finish(), testing::ExitedWithCode(1), "verticesTriVect.size\\(\\) == texCoordTriVect.size\\(\\)");
}

TEST(VBODraw, BuffersAreUploadedAndDrawnInOrder) {
  GLTestWindow::get();
  ASSERT_TRUE(VBO::isVBOSupported());
  // Green gets the smaller texture name: only its drawnLast mark puts it after red.
  const int green = solidTexture(0, 255, 0);
  const int red = solidTexture(255, 0, 0);
  ASSERT_LT(green, red);

  GLTestWindow::pushPlainDrawing();
  glClearColor(0.f, 0.f, 1.f, 1.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  VBO vbo;
  vbo.addGroup(red, quadVertices(100, 100, 500, 500), quadTexCoords(), noVertices, noTexCoords);
  vbo.addGroup(green, quadVertices(300, 100, 700, 500), quadTexCoords(), noVertices, noTexCoords);
  vbo.getGroup(green).drawnLast = true;
  vbo.addGroup(red, noVertices, noTexCoords, {Float3(600, 520, 0), Float3(700, 520, 0), Float3(600, 590, 0)},
               triangleTexCoords());
  EXPECT_EQ(vbo.finish(), std::make_pair(3, 11));
  for (const auto& buffer : vbo.getBuffers()) {
    EXPECT_NE(buffer->vboVertices, 0u);
    EXPECT_NE(buffer->vboTexCoords, 0u);
    EXPECT_EQ(buffer->vboFogCoords, 0u);  // no volumetric fog
  }
  vbo.draw();
  glFinish();

  auto pixelAt = [](int x, int y) { return GLTestWindow::readPixels(x, y, 1, 1); };
  const std::vector<unsigned char> redPixel = pixelAt(200, 300);
  EXPECT_EQ(redPixel[0], 255);
  EXPECT_EQ(redPixel[1], 0);
  const std::vector<unsigned char> overlap = pixelAt(400, 300);
  EXPECT_EQ(overlap[0], 0);
  EXPECT_EQ(overlap[1], 255);
  const std::vector<unsigned char> triangle = pixelAt(620, 530);
  EXPECT_EQ(triangle[0], 255);
  const std::vector<unsigned char> background = pixelAt(50, 50);
  EXPECT_EQ(background[2], 255);
  EXPECT_EQ(background[0], 0);

  // The unmarked buffers alone (red), then the drawnLast ones alone (green over them).
  glClear(GL_COLOR_BUFFER_BIT);
  vbo.draw(VBO::Pass::unmarked);
  glFinish();
  EXPECT_EQ(pixelAt(400, 300)[0], 255);
  EXPECT_EQ(pixelAt(620, 530)[0], 255);
  EXPECT_EQ(pixelAt(600, 300)[2], 255);
  vbo.draw(VBO::Pass::drawnLast);
  glFinish();
  EXPECT_EQ(pixelAt(400, 300)[1], 255);
  EXPECT_EQ(pixelAt(600, 300)[1], 255);
  EXPECT_EQ(pixelAt(200, 300)[0], 255);

  const GLuint firstBuffer = vbo.getBuffers()[0]->vboVertices;
  vbo.destroy();
  EXPECT_FALSE(glIsBufferARB(firstBuffer));

  GLTestWindow::popPlainDrawing();
  GLuint textures[2] = {(GLuint)red, (GLuint)green};
  glDeleteTextures(2, textures);
}

TEST(VBODraw, DrawnLastGroupsShowOverTheirFacesFarAway) {
  // A wall about 1500 units away, turned from the eye, and shadow triangles 0.1 in front of
  // it: farther than the depth buffer can tell them apart under a near plane of 0.1, as the
  // world draws.
  GLTestWindow::get();
  const int green = solidTexture(0, 255, 0);
  const int red = solidTexture(255, 0, 0);
  // The wall's plane z = -1500 + x / 2, and the same plane pushed 0.1 along its normal.
  const float unit = std::sqrt(1.25f);
  const auto onWall = [unit](float x, float y, float push) {
    return Float3(x - 0.5f * push / unit, y, -1500.f + x / 2.f + push / unit);
  };
  VBO vbo;
  const std::vector<Float3> wall = {onWall(-2000, -2000, 0), onWall(2000, -2000, 0), onWall(2000, 2000, 0),
                                    onWall(-2000, 2000, 0)};
  const std::vector<Float3> shadow = {onWall(-300, -300, 0.1f), onWall(300, -300, 0.1f), onWall(300, 300, 0.1f),
                                      onWall(-300, -300, 0.1f), onWall(300, 300, 0.1f), onWall(-300, 300, 0.1f)};
  const std::vector<Float2> shadowCoords = {Float2(0, 0), Float2(1, 0), Float2(1, 1),
                                            Float2(0, 0), Float2(1, 1), Float2(0, 1)};
  vbo.addGroup(red, wall, quadTexCoords(), noVertices, noTexCoords);
  vbo.addGroup(green, noVertices, noTexCoords, shadow, shadowCoords);
  vbo.getGroup(green).drawnLast = true;
  vbo.finish();

  GLTestWindow::pushPlainDrawing();
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60.0, 800.0 / 600.0, 0.1, 6000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  vbo.draw();
  glFinish();
  // The triangles span about 170 pixels or more around the middle; the wall shows around them.
  const std::vector<unsigned char> middle = GLTestWindow::readPixels(340, 240, 120, 120);
  int notGreen = 0;
  for (size_t i = 0; i < middle.size(); i += 4) notGreen += middle[i + 1] == 255 && middle[i] == 0 ? 0 : 1;
  EXPECT_EQ(notGreen, 0);
  EXPECT_EQ(GLTestWindow::readPixels(100, 100, 1, 1)[0], 255);
  EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
  GLTestWindow::popPlainDrawing();
  GLuint textures[2] = {(GLuint)red, (GLuint)green};
  glDeleteTextures(2, textures);
}

TEST(VBODraw, FacesLeftOutFacingAwayChangeNoPixel) {
  GLTestWindow::get();
  ASSERT_TRUE(VBO::isVBOSupported());
  // Two cubes, faces counter-clockwise seen from outside: one face per texture, and one texture
  // for all six faces, split in small bumped quads.
  int textures[6];
  for (int f = 0; f < 6; ++f) textures[f] = solidTexture(40 * f, 255 - 40 * f, (f % 2) * 255);
  auto faceQuads = [](const Float3& centre, int face, int split) {
    const int n = face / 2, u = (n + 1) % 3, v = (n + 2) % 3;
    const float sign = face % 2 == 0 ? 1.f : -1.f;
    std::vector<Float3> vertices;
    for (int i = 0; i < split; ++i)
      for (int j = 0; j < split; ++j) {
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int c = 0; c < 4; ++c) {
          const int k = sign > 0 ? c : 3 - c;
          Float3 p = centre;
          p[u] += -1.f + 2.f * (i + corners[k][0]) / split;
          p[v] += -1.f + 2.f * (j + corners[k][1]) / split;
          p[n] += sign * (1.f + ((i + j + c) % 3) * 0.05f * (split > 1));
          vertices.push_back(p);
        }
      }
    return vertices;
  };
  auto texCoordsFor = [](size_t nbVertices) {
    std::vector<Float2> coords;
    for (size_t i = 0; i < nbVertices; ++i) coords.push_back(Float2((float)(i % 2), (float)(i / 2 % 2)));
    return coords;
  };
  VBO vbo;
  std::vector<std::pair<int, std::vector<Float3>>> immediate;
  for (int f = 0; f < 6; ++f) {
    const std::vector<Float3> alone = faceQuads(Float3(-1.5f, 0, 0), f, 1);
    const std::vector<Float3> split = faceQuads(Float3(1.5f, 0, 0), f, 3);
    vbo.addGroup(textures[f], alone, texCoordsFor(alone.size()), noVertices, noTexCoords);
    vbo.addGroup(textures[0], split, texCoordsFor(split.size()), noVertices, noTexCoords);
    immediate.push_back({textures[f], alone});
    immediate.push_back({textures[0], split});
  }
  vbo.finish();

  GLTestWindow::pushPlainDrawing();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60.0, 800.0 / 600.0, 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  const Float3 eyes[] = {Float3(4, 3, 6), Float3(-5, -4, -3), Float3(0.5f, 7, 0.2f), Float3(1.5f, 0, 0.9f)};
  for (const Float3& eye : eyes) {
    glLoadIdentity();
    gluLookAt(eye.x(), eye.y(), eye.z(), 0, 0, 0, 0, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (const auto& entry : immediate) {
      glBindTexture(GL_TEXTURE_2D, (GLuint)entry.first);
      const std::vector<Float2> coords = texCoordsFor(entry.second.size());
      glBegin(GL_QUADS);
      for (size_t i = 0; i < entry.second.size(); ++i) {
        glTexCoord2f(coords[i].x(), coords[i].y());
        glVertex3f(entry.second[i].x(), entry.second[i].y(), entry.second[i].z());
      }
      glEnd();
    }
    glFinish();
    const std::vector<unsigned char> expected = GLTestWindow::readPixels(0, 0, 800, 600);
    // Drawn one buffer after the other, and as an opaque pass (each mesh's runs nearest first).
    for (const bool opaquePass : {false, true}) {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      VBODrawPass pass;
      pass.begin(opaquePass);
      EXPECT_TRUE(pass.getMayLeaveOut());
      EXPECT_NEAR(pass.getEye().x(), eye.x(), 1e-3f);
      EXPECT_NEAR(pass.getEye().z(), eye.z(), 1e-3f);
      int leftOut = 0;
      for (const auto& buffer : vbo.getBuffers())
        for (size_t r = 0; r < buffer->runs.size(); ++r) leftOut += FacingRuns::isFacingAway(buffer->runs[r], pass.getEye());
      EXPECT_GE(leftOut, 2);
      pass.draw(vbo, VBO::Pass::all);
      pass.end();
      glFinish();
      EXPECT_TRUE(GLTestWindow::readPixels(0, 0, 800, 600) == expected) << "eye " << eye << " opaque pass " << opaquePass;
    }
  }
  GLTestWindow::popPlainDrawing();
  for (int texture : textures) {
    const GLuint name = (GLuint)texture;
    glDeleteTextures(1, &name);
  }
}
