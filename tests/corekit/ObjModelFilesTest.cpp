// OBJ and MTL files shaped like those that other tools write, and files that are not what the
// reader can use.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <unistd.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "Animated3DModel.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "ModelTestHelpers.h"
#include "ObjModel.h"
#include "ObjModelData.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"

namespace {

/// Reading alone needs no window (as long as no texture that exists is named).
class ObjFileTest : public testing::Test {
 protected:
  TempDir dir;
};

using ObjFileDeathTest = ObjFileTest;

class ObjFileDrawingTest : public testing::Test {
 protected:
  void SetUp() override { GLTestWindow::get(); }
  TempDir dir;
};

}  // namespace

// -------------------------------------------------------------------------------------- reading

// Files shaped like those common exporters write: statements the engine does not use are
// skipped, negative indices count back from the last vertex, texture coordinate and normal read
// so far, a colour of one value is grey and the other colour forms leave it alone.
TEST_F(ObjFileTest, ShapesOtherToolsWriteAreRead) {
  dir.write("tools.mtl",
            "# exported\nnewmtl Material.001\nNs 250\nKa 1.000000 1.000000 1.000000\n"
            "Kd 0.5\nKs 0\nKe 0.000000 0.000000 0.000000\nNi 1.450000\nd 1.000000\nillum 2\n"
            "Tf 1 1 1\nnorm normal.png\nmap_aat on\n"
            "newmtl spectral\nKd spectral red.rfl 2.0\nKa xyz 0.3 0.3 0.3\n");
  const std::string path = dir.write(
      "tools.obj",
      "# exported\nmtllib tools.mtl\no Cube\n"
      "v -2 -2 0\nv 2 -2 0\nv 2 2 0\nv -2 2 0\n"
      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\nvp 0.5 0.5\nvp 0.2\n"
      "s off\nmg 1 0.5\nusemap off\nmaplib a.map\n"
      "usemtl Material.001\nf -4/-4/-1 -3/-3/-1 -2/-2/-1 -1/-1/-1\n"
      "l 1 2 3\np 4\ns 1\no Second\ng\n"
      "v 0 0 5\nvn 1 0 0\nf 1/1/1 -4/-3/-2 -1/4/-1\n");
  testing::internal::CaptureStdout();
  ObjModelData model(path);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(model.getNbVertices(), 5);
  EXPECT_EQ(model.getNbNormals(), 2);
  ASSERT_EQ(model.getNbTriangles(), 3);
  expectCorners(model.triangles[0], 1, 2, 3);
  expectCorners(model.triangles[1], 1, 3, 4);
  EXPECT_EQ(model.triangles[1].tindices[2], 4);
  EXPECT_EQ(model.triangles[1].nindices[2], 1);
  expectCorners(model.triangles[2], 1, 2, 5);
  EXPECT_EQ(model.triangles[2].tindices[1], 2);
  EXPECT_EQ(model.triangles[2].nindices[1], 1);
  EXPECT_EQ(model.triangles[2].nindices[2], 2);

  ASSERT_EQ(model.materials.size(), 3u);
  const ObjMaterial& exported = model.materials[1];
  EXPECT_EQ(model.groups[0].material, 1);
  for (int k = 0; k < 3; ++k) {
    EXPECT_FLOAT_EQ(exported.diffuse[k], 0.5f);
    EXPECT_FLOAT_EQ(exported.specular[k], 0.f);
    EXPECT_FLOAT_EQ(exported.ambient[k], 1.f);
    EXPECT_FLOAT_EQ(model.materials[2].diffuse[k], 0.8f);
    EXPECT_FLOAT_EQ(model.materials[2].ambient[k], 0.2f);
  }
  EXPECT_FLOAT_EQ(exported.diffuse[3], 1.f);
  EXPECT_EQ(exported.texture, nullptr);
}

// A missing material library or texture is one report naming the file and the model, which
// goes on: with the default material, or with the material drawn without its texture.
TEST_F(ObjFileTest, MissingLibrariesAndTexturesAreReportedOnceAndTheModelGoesOn) {
  const std::string noLibrary = dir.write(
      "nolib.obj", std::string(squareObj) + "mtllib absent.mtl\nusemtl red\nf 1 2 3\n"
                                            "mtllib absent.mtl\nusemtl blue\nf 1 3 4\n");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  {
    ObjModelData model(noLibrary);
    ASSERT_EQ(model.materials.size(), 1u);
    EXPECT_EQ(model.materials[0].name, "default");
    EXPECT_EQ(model.groups[0].material, 0);
    EXPECT_EQ(model.getNbTriangles(), 2);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR : glmReadMTL(): can't open material file \"" + dir.file("absent.mtl") +
                "\" of model \"" + noLibrary + "\"; the model uses the default material.\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  dir.write("lib.mtl", "newmtl red\nKd 1 0 0\nmap_Kd gone.jpg\nnewmtl again\nmap_Kd gone.jpg\n");
  const std::string noTexture =
      dir.write("notex.obj", std::string(squareObj) + "mtllib lib.mtl\nusemtl red\nf 1 2 3\n");
  testing::internal::CaptureStderr();
  {
    ObjModelData model(noTexture);
    ASSERT_EQ(model.materials.size(), 3u);
    EXPECT_EQ(model.materials[1].texture, nullptr);
    EXPECT_FLOAT_EQ(model.materials[1].diffuse[0], 1.f);
    EXPECT_EQ(model.groups[0].material, 1);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR : glmReadMTL(): can't open texture file \"" + dir.file("gone.jpg") +
                "\" of model \"" + noTexture + "\"; its material \"red\" is drawn without "
                "texture.\n");
}

// Text the reader cannot use: a UTF-16 library is reported like a missing one; a UTF-8 byte
// order mark is no part of the first statement.
TEST_F(ObjFileTest, Utf16LibrariesAreReportedAndUtf8MarksSkipped) {
  const std::string utf16Mtl("\xFF\xFEn\0e\0w\0m\0t\0l\0 \0r\0\n\0", 20);
  dir.write("wide.mtl", utf16Mtl);
  const std::string path = dir.write(
      "marked.obj",
      "\xEF\xBB\xBFv 1 2 3\n" + std::string(squareObj) + "mtllib wide.mtl\nf -1 -2 -3\n");
  testing::internal::CaptureStderr();
  ObjModelData model(path);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("can't open material file \"" + dir.file("wide.mtl") +
                     "\" (not text in ASCII or UTF-8"),
            std::string::npos)
      << log;
  EXPECT_EQ(model.materials.size(), 1u);
  EXPECT_EQ(model.getNbVertices(), 5);
  expectVector(model.vertices[1], 1.f, 2.f, 3.f);
}

// ------------------------------------------------------------------------------ refused files

// What is not a text file of a bounded size is refused before it is read: a device (which
// would be read without end), a file over the bound (a sparse file: no disk is used), a UTF-16
// file (which would read as an empty model).
TEST_F(ObjFileDeathTest, FilesThatAreNoUsableTextAreRefused) {
  // As load3DModel loads it.
  EXPECT_EXIT(Animated3DModel({"/dev/zero"}, 1.f), testing::ExitedWithCode(1),
              "glmReadOBJ\\(\\) failed: can't open data file:/dev/zero \\(not a regular file\\)");
  const std::string huge = dir.write("huge.obj", squareObj);
  ASSERT_EQ(::truncate(huge.c_str(), ObjModelData::maxFileBytes + 1), 0);
  EXPECT_EXIT(ObjModelData{huge}, testing::ExitedWithCode(1),
              "can't open data file:/.*huge.obj \\(larger than 268435456 bytes\\)");
  std::string utf16("\xFF\xFE", 2);
  for (char c : std::string(squareObj) + "f 1 2 3\n") utf16 += std::string(1, c) + '\0';
  const std::string wide = dir.write("wide.obj", utf16);
  EXPECT_EXIT(ObjModelData{wide}, testing::ExitedWithCode(1),
              "can't open data file:/.*wide.obj \\(not text in ASCII or UTF-8");
}

// ---------------------------------------------------------------------------------- drawing

// Models and materials without texture are drawn with texturing off in their material colour,
// whatever texture was bound before (the default material's grey for a model without library);
// a textured one drawn after them keeps its texture's colours, and texturing is left as found.
TEST_F(ObjFileDrawingTest, UntexturedModelsShowTheirMaterialColourWhateverTextureWasBound) {
  writeSolidPng(dir.file("sky.png"), 135, 206, 235);
  writeSolidPng(dir.file("red.png"), 255, 0, 0);
  dir.write("look.mtl", "newmtl green\nKd 0 1 0\nmap_Kd absent.png\nnewmtl red\nmap_Kd red.png\n");
  const std::string square = std::string(squareObj) + "mtllib look.mtl\n";
  const std::string face = "f 1/1 2/2 3/3 4/4\n";
  const std::string plainPath = dir.write("plain.obj", squareObj + face);
  const std::string greenPath = dir.write("green.obj", square + "usemtl green\n" + face);
  const std::string redPath = dir.write("red.obj", square + "usemtl red\n" + face);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  ObjModel plain(plainPath, 0.25f, 0.f);  // squares of side 1
  ObjModel green(greenPath, 0.25f, 0.f);
  ObjModel red(redPath, 0.25f, 0.f);
  const std::string reports = testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_NE(reports.find("absent.png"), std::string::npos);

  SpriteManager* sprites = GLManager::getSpriteManager();
  Sprite* sky = sprites->createSprite(dir.file("sky.png"), 1);
  startUnlitView(Float3(0.f, 0.f, 0.f));
  const GLuint skyTexture = static_cast<GLuint>(sky->getImages()[0]->getTexture());
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, skyTexture);
  const float places[3] = {-1.5f, 0.f, 1.5f};
  ObjModel* models[3] = {&plain, &green, &red};
  for (int i = 0; i < 3; ++i) {
    glPushMatrix();
    glTranslatef(places[i], 0.f, -5.f);
    models[i]->draw();
    glPopMatrix();
  }
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), skyTexture);
  sprites->deleteSprite(sky);

  // A unit at distance 5 is about 42 pixels: the squares stand around x = 337, 400 and 463.
  const std::array<unsigned char, 3> expected[3] = {{204, 204, 204}, {0, 255, 0}, {255, 0, 0}};
  for (int i = 0; i < 3; ++i) {
    const std::array<unsigned char, 4> pixel =
        GLTestWindow::readPixel2D(400 + static_cast<int>(places[i] * 42.f), 300);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pixel[k], expected[i][k], 2) << i << " " << k;
  }
}

// Lit, an untextured group shows its material's colours and leaves the colour material as it
// found it: the textured group after it, and a textured model after that, are lit as they are
// when drawn alone.
TEST_F(ObjFileDrawingTest, LitUntexturedGroupsLeaveLaterTexturedOnesAlone) {
  writeSolidPng(dir.file("red.png"), 255, 0, 0);
  dir.write("look.mtl", "newmtl green\nKd 0 1 0\nnewmtl red\nmap_Kd red.png\n");
  const std::string square = std::string(squareObj) + "mtllib look.mtl\n";
  // Lower right half green, upper left half red.
  const std::string mixedPath = dir.write(
      "mixed.obj", square + "usemtl green\nf 1/1 2/2 3/3\ng b\nusemtl red\nf 1/1 3/3 4/4\n");
  const std::string redPath = dir.write("red.obj", square + "usemtl red\nf 1/1 2/2 3/3 4/4\n");
  testing::internal::CaptureStdout();
  ObjModel mixed(mixedPath, 0.25f, 0.f);
  ObjModel red(redPath, 0.25f, 0.f);
  testing::internal::GetCapturedStdout();

  const auto drawLit = [](std::vector<std::pair<ObjModel*, float>> models) {
    startUnlitView(Float3(0.f, 0.f, 0.f));
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float towardsViewer[4] = {0.f, 0.f, 1.f, 0.f};
    glLightfv(GL_LIGHT0, GL_POSITION, towardsViewer);
    for (const auto& model : models) {
      glPushMatrix();
      glTranslatef(model.second, 0.f, -5.f);
      model.first->draw();
      glPopMatrix();
    }
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
  };
  drawLit({{&red, 1.5f}});
  const std::array<unsigned char, 4> alone = GLTestWindow::readPixel2D(463, 300);
  EXPECT_GT(alone[0], 150);
  EXPECT_LT(alone[1], 40);

  drawLit({{&mixed, -1.5f}, {&red, 1.5f}});
  const std::array<unsigned char, 4> greenHalf = GLTestWindow::readPixel2D(337 + 12, 300 + 12);
  EXPECT_LT(greenHalf[0], 60);
  EXPECT_GT(greenHalf[1], 200);
  for (const std::array<unsigned char, 4>& pixel :
       {GLTestWindow::readPixel2D(337 - 12, 300 - 12), GLTestWindow::readPixel2D(463, 300)})
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pixel[k], alone[k], 2) << k;
}
