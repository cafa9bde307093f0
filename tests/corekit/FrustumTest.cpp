#include <gtest/gtest.h>

#include <GL/glew.h>

#include "Frustum.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "Scene3D.h"

namespace {

/// A cube of edge 2 r around a point.
bool isCubeOutside(const Frustum& frustum, const Float3& centre, float r) {
  return frustum.isBoxOutside(Float3(centre.x() - r, centre.y() - r, centre.z() - r),
                              Float3(centre.x() + r, centre.y() + r, centre.z() + r));
}

}  // namespace

// The planes come from the projection and view the engine really applies.
TEST(FrustumTest, RegionBoxesInsideOutsideStraddlingAndBehindTheCamera) {
  GLTestWindow::get();
  Scene3D* scene = GLManager::getScene3D();
  scene->setFarPlane(1000.f);
  scene->getCamera()->setPosition(Float3(100.f, 50.f, 100.f));
  scene->getCamera()->setRotation(Float3(0.f, 90.f, 0.f));  // looking along -x
  scene->apply3DView();
  float projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  const Frustum frustum(projection, scene->getViewMatrix());

  EXPECT_FALSE(isCubeOutside(frustum, Float3(-100.f, 50.f, 100.f), 16.f));    // ahead
  EXPECT_FALSE(isCubeOutside(frustum, Float3(100.f, 50.f, 100.f), 16.f));     // around the camera
  EXPECT_TRUE(isCubeOutside(frustum, Float3(200.f, 50.f, 100.f), 16.f));      // behind
  EXPECT_TRUE(isCubeOutside(frustum, Float3(0.f, 50.f, 500.f), 16.f));        // far to the side
  EXPECT_TRUE(isCubeOutside(frustum, Float3(-1100.f, 50.f, 100.f), 16.f));    // beyond the far plane
  // Straddling: the box is kept although its centre lies outside.
  const Float3 sideways(0.f, 50.f, 400.f);
  ASSERT_TRUE(isCubeOutside(frustum, sideways, 1.f));
  EXPECT_FALSE(isCubeOutside(frustum, sideways, 300.f));
  // Turned round, what lay behind is seen and the rest is not.
  scene->getCamera()->setRotation(Float3(0.f, -90.f, 0.f));
  scene->apply3DView();
  const Frustum turned(projection, scene->getViewMatrix());
  EXPECT_FALSE(isCubeOutside(turned, Float3(300.f, 50.f, 100.f), 16.f));
  EXPECT_TRUE(isCubeOutside(turned, Float3(-100.f, 50.f, 100.f), 16.f));
  // Unset, it sees everything.
  EXPECT_FALSE(isCubeOutside(Frustum(), Float3(1e9f, -1e9f, 0.f), 1.f));
  scene->setFarPlane(10000.f);
}
