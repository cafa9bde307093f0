#include <gtest/gtest.h>

#include <GL/glew.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "Camera.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "Scene3D.h"
#include "Sprite.h"
#include "SpriteManager.h"

namespace {

class Scene3DTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    scene = GLManager::getScene3D();
    camera = scene->getCamera();
    camera->setRotation(Float3(0.f, 0.f, 0.f));
    camera->setPosition(Float3(0.f, 0.f, 0.f));
    scene->setAspectRatio(800.f / 600.f);
    checker = GLManager::getSpriteManager()->createSprite("images_engine/default_texture.png", 1);
    glDisable(GL_FOG);  // fog has its own test; here the colours must stay as drawn
    glColor4ub(255, 255, 255, 255);
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
  }
  void TearDown() override { GLManager::getSpriteManager()->deleteSprite(checker); }

  int checkerTexture() const { return checker->getImages()[0]->getTexture(); }

  static bool isBlack(int x, int y) {
    std::array<unsigned char, 4> p = GLTestWindow::readPixel2D(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
  }

  static int countLit() {
    std::vector<unsigned char> pixels = GLTestWindow::readPixels(0, 0, 800, 600);
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] > 0 ? 1 : 0;
    return lit;
  }

  Scene3D* scene = nullptr;
  Camera* camera = nullptr;
  Sprite* checker = nullptr;
};

struct DrawState {
  GLboolean texturing, culling;
  GLint polygonModes[2];
  GLint cullFace;

  static DrawState read() {
    DrawState state;
    state.texturing = glIsEnabled(GL_TEXTURE_2D);
    state.culling = glIsEnabled(GL_CULL_FACE);
    glGetIntegerv(GL_POLYGON_MODE, state.polygonModes);
    glGetIntegerv(GL_CULL_FACE_MODE, &state.cullFace);
    return state;
  }
};

}  // namespace

TEST_F(Scene3DTest, WireframeBoxLeavesTheDrawStateAsItWas) {
  scene->apply3DView();
  DrawState before = DrawState::read();
  EXPECT_TRUE(before.texturing);
  EXPECT_TRUE(before.culling);
  EXPECT_EQ(before.polygonModes[0], GL_FILL);
  EXPECT_EQ(before.polygonModes[1], GL_LINE);
  EXPECT_EQ(before.cullFace, GL_BACK);

  glTranslatef(0.f, 0.f, -5.f);
  Scene3D::drawBox(nullptr, false, Float3(2.f, 2.f, 2.f), Float3(1.f, 1.f, 1.f));
  DrawState after = DrawState::read();
  EXPECT_EQ(after.texturing, before.texturing);
  EXPECT_EQ(after.culling, before.culling);
  EXPECT_EQ(after.polygonModes[0], before.polygonModes[0]);
  EXPECT_EQ(after.polygonModes[1], before.polygonModes[1]);
  EXPECT_EQ(after.cullFace, before.cullFace);
  // Edges only: lines were drawn, the middle of the front face stays empty.
  EXPECT_GT(countLit(), 100);
  EXPECT_TRUE(isBlack(400, 300));
}

TEST_F(Scene3DTest, InvertedBoxIsSeenFromInside) {
  const int textures[6] = {checkerTexture(), checkerTexture(), checkerTexture(),
                           checkerTexture(), checkerTexture(), checkerTexture()};
  scene->apply3DView();
  Scene3D::drawBox(textures, false, Float3(10.f, 10.f, 10.f), Float3(1.f, 1.f, 1.f));
  EXPECT_EQ(countLit(), 0) << "an ordinary box shows only its outside";
  Scene3D::drawBox(textures, true, Float3(10.f, 10.f, 10.f), Float3(1.f, 1.f, 1.f));
  EXPECT_FALSE(isBlack(400, 300));
  EXPECT_FALSE(isBlack(5, 5));
  EXPECT_FALSE(isBlack(795, 595));
}

TEST_F(Scene3DTest, HorizontalQuadFacesUpUnlessToldOtherwise) {
  camera->setPitch(-90.f);  // looking straight down
  camera->setPosition(Float3(0.f, 5.f, 0.f));
  scene->apply3DView();
  Scene3D::drawQuadHorizontal(Float2(4.f, 4.f), checkerTexture(), Float2(1.f, 1.f), true);
  EXPECT_TRUE(isBlack(400, 300)) << "facing down: seen from its back, culled";
  Scene3D::drawQuadHorizontal(Float2(4.f, 4.f), checkerTexture(), Float2(1.f, 1.f), false);
  EXPECT_FALSE(isBlack(400, 300));
}

TEST_F(Scene3DTest, LightRangeGivesTheAttenuation) {
  scene->setLight(0, Float3(1.f, 2.f, 3.f), 0.f, true);
  scene->setLight(1, Float3(0.f, 10.f, 0.f), 50.f, true);
  scene->setLight(9, Float3(0.f, 0.f, 0.f), 50.f, true);  // no such slot: ignored
  scene->apply3DView();
  GLfloat value = -1.f;
  glGetLightfv(GL_LIGHT0, GL_LINEAR_ATTENUATION, &value);
  EXPECT_EQ(value, 0.f);
  glGetLightfv(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, &value);
  EXPECT_EQ(value, 0.f);
  glGetLightfv(GL_LIGHT1, GL_LINEAR_ATTENUATION, &value);
  EXPECT_FLOAT_EQ(value, 0.02f);
  glGetLightfv(GL_LIGHT1, GL_QUADRATIC_ATTENUATION, &value);
  EXPECT_FLOAT_EQ(value, 0.00005f);
  GLfloat position[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, position);
  EXPECT_FLOAT_EQ(position[1], 2.f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  scene->setLightEnabled(0, false);
  scene->setLightEnabled(1, false);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
  EXPECT_FALSE(scene->getLightEnabled(9));
}

TEST_F(Scene3DTest, ViewUsesTheCameraOrientationAndPosition) {
  camera->rotateYaw(30.f);
  camera->rotatePitch(-20.f);
  camera->setPosition(Float3(5.f, 6.f, 7.f));
  scene->apply3DView();
  // The saved view matrix is the camera's rotation matrix followed by minus its position.
  const float* view = scene->getViewMatrix();
  const float* rotation = camera->getRotationMatrix();
  for (int col = 0; col < 3; ++col)
    for (int row = 0; row < 3; ++row)
      EXPECT_NEAR(view[col * 4 + row], rotation[col * 4 + row], 1e-5f);
  for (int row = 0; row < 3; ++row) {
    float translated = -(rotation[row] * 5.f + rotation[4 + row] * 6.f + rotation[8 + row] * 7.f);
    EXPECT_NEAR(view[12 + row], translated, 1e-4f);
  }
  // The same as the fixed-function rotations the matrix stands for.
  GLfloat reference[16];
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glRotatef(20.f, 1.f, 0.f, 0.f);
  glRotatef(-30.f, 0.f, 1.f, 0.f);
  glGetFloatv(GL_MODELVIEW_MATRIX, reference);
  glPopMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(rotation[i], reference[i], 1e-5f) << i;
}

TEST_F(Scene3DTest, PlaceCameraMovesAlongTheAngles) {
  scene->placeCamera(Float3(1.f, 2.f, 3.f), -10.f);
  EXPECT_NEAR(camera->getPosition().x(), 1.f, 1e-4f);
  EXPECT_NEAR(camera->getPosition().y(), 2.f, 1e-4f);
  EXPECT_NEAR(camera->getPosition().z(), -7.f, 1e-4f);
  EXPECT_NEAR(scene->getViewMatrix()[14], 7.f, 1e-4f);

  camera->setYaw(90.f);
  scene->placeCamera(Float3(1.f, 2.f, 3.f), 10.f);
  EXPECT_NEAR(camera->getPosition().x(), 11.f, 1e-4f);
  EXPECT_NEAR(camera->getPosition().z(), 3.f, 1e-4f);

  camera->setYaw(0.f);
  camera->setPitch(90.f);
  scene->placeCamera(Float3(1.f, 2.f, 3.f), 10.f);
  EXPECT_NEAR(camera->getPosition().y(), -8.f, 1e-4f);
}

TEST_F(Scene3DTest, ProjectsPointsInFrontAndRejectsPointsBehind) {
  GLfloat modelviewBefore[16], modelviewAfter[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelviewBefore);
  EXPECT_EQ(scene->get2DPosFrom3D(Float3(0.f, 0.f, -10.f)), Int2(400, 300));
  glGetFloatv(GL_MODELVIEW_MATRIX, modelviewAfter);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(modelviewBefore[i], modelviewAfter[i]);

  Int2 above = scene->get2DPosFrom3D(Float3(0.f, 2.f, -10.f));
  EXPECT_EQ(above.x(), 400);
  EXPECT_LT(above.y(), 300) << "2D y grows downward";
  EXPECT_EQ(scene->get2DPosFrom3D(Float3(0.f, 0.f, 10.f)), Int2(-10000, -10000));

  // Turned a quarter to the left the camera looks along -x.
  camera->setYaw(90.f);
  Int2 ahead = scene->get2DPosFrom3D(Float3(-10.f, 0.f, 0.f));
  EXPECT_NEAR(ahead.x(), 400, 1);  // truncated: float rounding may land just left of the middle
  EXPECT_EQ(ahead.y(), 300);
  EXPECT_EQ(scene->get2DPosFrom3D(Float3(10.f, 0.f, 0.f)), Int2(-10000, -10000));
  // Facing +z, points ahead on either side of the half-turn angle are in front.
  camera->setYaw(180.f);
  EXPECT_NE(scene->get2DPosFrom3D(Float3(-0.5f, 0.f, 10.f)).x(), -10000);
  EXPECT_NE(scene->get2DPosFrom3D(Float3(0.5f, 0.f, 10.f)).x(), -10000);
  // A point in the eye's plane, on the side the heading test counts as ahead, has no
  // projection.
  camera->setYaw(30.f);
  EXPECT_EQ(scene->get2DPosFrom3D(Float3(0.f, 0.f, 0.f)), Int2(-10000, -10000));
}

TEST_F(Scene3DTest, SmoothingApproachesTheTargetTheShortWay) {
  camera->setRotation(Float3(10.f, 20.f, 0.f));
  scene->smoothCameraAngles(30.f, 60.f, 0.f, 100000);
  EXPECT_FLOAT_EQ(camera->getPitch(), 30.f);
  EXPECT_FLOAT_EQ(camera->getYaw(), 60.f);

  scene->smoothCameraAngles(-40.f, -80.f, 0.f, 0);
  EXPECT_NEAR(camera->getPitch(), 30.f, 1e-4f);
  EXPECT_NEAR(camera->getYaw(), 60.f, 1e-4f);

  camera->setRotation(Float3(0.f, 270.f, 0.f));
  scene->smoothCameraAngles(0.f, 0.f, 0.f, 50000);
  EXPECT_NEAR(camera->getYaw(), -45.f, 1e-4f) << "270 degrees away is -90 the short way";

  scene->smoothCameraAngles(0.f, 0.f, 0.f, 5000000);
  EXPECT_NEAR(camera->getYaw(), 0.f, 1e-4f) << "a long period snaps";

  // The yaw is a running sum: after the player turned twice round, the target is still a
  // quarter turn away the short way, not two turns.
  camera->setRotation(Float3(0.f, 720.f + 90.f, 0.f));
  scene->smoothCameraAngles(0.f, 0.f, 0.f, 50000);
  EXPECT_NEAR(camera->getYaw(), 45.f, 1e-3f);
}

TEST_F(Scene3DTest, RollTargetIsFatal) {
  EXPECT_EXIT(scene->smoothCameraAngles(0.f, 0.f, 10.f, 100000), testing::ExitedWithCode(1),
              "Condition: rot.z\\(\\) == 0.f");
}

TEST_F(Scene3DTest, MouseLookTurnsOnlyWhileTheButtonIsHeld) {
  scene->turnCameraWithMouse(Int2(100, 100), false);
  scene->turnCameraWithMouse(Int2(110, 95), true);
  EXPECT_FLOAT_EQ(camera->getPitch(), 5.f);
  EXPECT_FLOAT_EQ(camera->getYaw(), -10.f);
  scene->turnCameraWithMouse(Int2(300, 300), false);
  scene->turnCameraWithMouse(Int2(301, 300), true);
  EXPECT_FLOAT_EQ(camera->getYaw(), -11.f);
}

TEST_F(Scene3DTest, OpaqueDrawTurnsBlendingOffOnlyForFragmentsOfAlphaOne) {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.1f);
  glDisable(GL_LIGHTING);
  glColor4ub(255, 255, 255, 255);

  ASSERT_TRUE(scene->beginOpaqueDraw(true));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  Scene3D::endOpaqueDraw(true);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));

  // Whatever could leave a fragment translucent, or make blending or the alpha test change an
  // opaque one, keeps the state as it is.
  const auto refused = [this](bool isTextureOpaque) {
    const bool isBegun = scene->beginOpaqueDraw(isTextureOpaque);
    Scene3D::endOpaqueDraw(isBegun);
    return !isBegun && glIsEnabled(GL_BLEND) && glIsEnabled(GL_ALPHA_TEST);
  };
  EXPECT_TRUE(refused(false));
  glColor4ub(255, 255, 255, 254);
  EXPECT_TRUE(refused(true));
  glColor4ub(255, 255, 255, 255);
  glEnable(GL_LIGHTING);
  EXPECT_TRUE(refused(true));
  glDisable(GL_LIGHTING);
  glBlendFunc(GL_ONE, GL_ONE);
  EXPECT_TRUE(refused(true));
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glAlphaFunc(GL_LESS, 0.5f);
  EXPECT_TRUE(refused(true));
  glAlphaFunc(GL_GREATER, 0.1f);
  scene->setIsOpaqueDrawAllowed(false);
  EXPECT_TRUE(refused(true));
  scene->setIsOpaqueDrawAllowed(true);
}

TEST(Scene3DGeometryTest, BoxGeometryFollowsTheFaceTable) {
  float vertices[72], texCoords[48];
  const Float3 a(0.1f, 0.2f, 0.3f), b(0.4f, 0.5f, 0.6f), c(0.7f, 0.8f, 0.9f), d(1.1f, 1.2f, 1.3f);
  Scene3D::computeBoxGeometry(Float3(1.f, 2.f, 3.f), a, b, c, d, false, vertices, texCoords);
  const float top[12] = {-1, 2, -3, -1, 2, 3, 1, 2, 3, 1, 2, -3};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(vertices[i], top[i]);
  const float right[12] = {1, -2, -3, 1, 2, -3, 1, 2, 3, 1, -2, 3};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(vertices[60 + i], right[i]);
  const float topTex[8] = {0.1f, 0.3f, 0.1f, 1.3f, 1.1f, 1.3f, 1.1f, 0.3f};
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(texCoords[i], topTex[i]);
  const float backTex[8] = {0.9f, 0.2f, -0.1f, 0.2f, -0.1f, 1.2f, 0.9f, 1.2f};
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(texCoords[24 + i], backTex[i]);
  const float rightTex[8] = {0.3f, 1.2f, 0.3f, 0.2f, 1.3f, 0.2f, 1.3f, 1.2f};
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(texCoords[40 + i], rightTex[i]);

  // Random offset: one shift per pair of opposite faces, drawn r1 then r2, each 15 bits, so a
  // shift never exceeds b along its axis.
  float shifted[48];
  std::srand(17);
  Scene3D::computeBoxGeometry(Float3(1.f, 2.f, 3.f), a, b, c, d, true, vertices, shifted);
  std::srand(17);
  const float pairAxes[3][2] = {{b.x(), b.z()}, {b.x(), b.y()}, {b.z(), b.y()}};
  for (int pair = 0; pair < 3; ++pair) {
    int r1 = std::rand() % 32768;
    int r2 = std::rand() % 32768;
    for (int i = pair * 16; i < pair * 16 + 16; i += 2) {
      EXPECT_FLOAT_EQ(shifted[i], texCoords[i] + pairAxes[pair][0] * r2 / 32767.f);
      EXPECT_FLOAT_EQ(shifted[i + 1], texCoords[i + 1] + pairAxes[pair][1] * r1 / 32767.f);
      EXPECT_LE(shifted[i] - texCoords[i], pairAxes[pair][0] * 1.0001f);
      EXPECT_LE(shifted[i + 1] - texCoords[i + 1], pairAxes[pair][1] * 1.0001f);
    }
  }
}
