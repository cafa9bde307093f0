#ifndef TESTS_MODELTESTHELPERS_H
#define TESTS_MODELTESTHELPERS_H

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BasicVector.h"
#include "Camera.h"
#include "GLManager.h"
#include "ObjModelData.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "TestImages.h"

// Shared set-up of the 3D model tests.

/// A square of side 4 in the plane z = 0, centred on the origin, facing +z, with texture
/// coordinates over the whole image.
inline const char* const squareObj =
    "v -2 -2 0\nv 2 -2 0\nv 2 2 0\nv -2 2 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";

inline void expectVector(Float3 actual, float x, float y, float z) {
  EXPECT_NEAR(actual.x(), x, 1e-5f);
  EXPECT_NEAR(actual.y(), y, 1e-5f);
  EXPECT_NEAR(actual.z(), z, 1e-5f);
}

inline void expectCorners(const ObjTriangle& triangle, int v0, int v1, int v2) {
  EXPECT_EQ(triangle.vindices[0], v0);
  EXPECT_EQ(triangle.vindices[1], v1);
  EXPECT_EQ(triangle.vindices[2], v2);
}

/// A 4 x 4 PNG of one colour.
inline void writeSolidPng(const std::string& path, unsigned char r, unsigned char g,
                          unsigned char b) {
  std::vector<unsigned char> pixels;
  for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {r, g, b});
  writeTestPng(path, 4, 4, 3, pixels);
}

/// Black screen and a 3D view from `cameraPosition` looking along -z, without fog or lighting,
/// so that a textured model shows its texture's colours as they are.
inline void startUnlitView(Float3 cameraPosition) {
  Scene3D* scene = GLManager::getScene3D();
  scene->getCamera()->setRotation(Float3(0.f, 0.f, 0.f));
  scene->getCamera()->setPosition(cameraPosition);
  scene->setAspectRatio(800.f / 600.f);
  glDisable(GL_FOG);
  glColor4ub(255, 255, 255, 255);
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  scene->apply3DView();
  glDisable(GL_LIGHTING);
}

#endif
