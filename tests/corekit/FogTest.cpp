#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cmath>
#include <vector>

#include "Fog.h"
#include "GLTestWindow.h"

namespace {

float readFog(GLenum parameter) {
  GLfloat value = -1.f;
  glGetFloatv(parameter, &value);
  return value;
}

}  // namespace

TEST(FogTest, InitialisationSetsLinearFogInTheBaseColour) {
  GLTestWindow::get();
  Fog::initFog();
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  GLint mode = 0;
  glGetIntegerv(GL_FOG_MODE, &mode);
  EXPECT_EQ(mode, GL_LINEAR);
  EXPECT_EQ(readFog(GL_FOG_START), 0.f);
  EXPECT_EQ(readFog(GL_FOG_END), 1.f);
  GLfloat colour[4];
  glGetFloatv(GL_FOG_COLOR, colour);
  for (float component : colour) EXPECT_FLOAT_EQ(component, 0.99609375f);
  GLint hint = 0;
  glGetIntegerv(GL_FOG_HINT, &hint);
  EXPECT_EQ(hint, GL_NICEST);
}

TEST(FogTest, DistanceSetsStartAtThreeQuartersAndTheColour) {
  GLTestWindow::get();
  glDisable(GL_FOG);
  Fog::setFogDistance(200.f, BasicVector<4, unsigned char>(255, 0, 0, 255));
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  EXPECT_FLOAT_EQ(readFog(GL_FOG_START), 150.f);
  EXPECT_FLOAT_EQ(readFog(GL_FOG_END), 200.f);
  GLfloat colour[4];
  glGetFloatv(GL_FOG_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[0], 0.99609375f);
  EXPECT_FLOAT_EQ(colour[1], 0.f);
  EXPECT_FLOAT_EQ(colour[2], 0.f);
  EXPECT_FLOAT_EQ(colour[3], 0.99609375f);

  const unsigned char grey[4] = {128, 64, 0, 32};
  Fog::setFogColor(grey);
  glGetFloatv(GL_FOG_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[0], 0.5f);
  EXPECT_FLOAT_EQ(colour[1], 0.25f);
  EXPECT_FLOAT_EQ(colour[3], 0.125f);
}

TEST(FogTest, FogCoordinatesBelongToTheVolumetricVariantOnly) {
  EXPECT_FALSE(Fog::useVolumetricFog);
  const float positions[6] = {100.f, 100.f, 100.f, -1.f, 2.f, 3.f};
  EXPECT_EXIT(Fog::computeFogCoordinates(2, positions), testing::ExitedWithCode(1),
              "Condition: useVolumetricFog");
  // The formula the variant would use; a negative product has no thickness.
  EXPECT_NEAR(Fog::computeFogCoordinate(100.f, 100.f, 100.f), 1000.f / 300.f, 1e-4f);
  EXPECT_EQ(Fog::computeFogCoordinate(-1.f, 2.f, 3.f), 0.f);
  EXPECT_EQ(Fog::computeFogCoordinate(NAN, 2.f, 3.f), 0.f);
}
