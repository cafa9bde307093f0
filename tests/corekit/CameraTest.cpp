#include <gtest/gtest.h>

#include <cmath>

#include "Camera.h"
#include "MathManager.h"

namespace {

void expectSameOrientation(const Camera::Quaternion& a, const Camera::Quaternion& b) {
  // q and -q are the same rotation.
  float sign = (a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w) < 0.f ? -1.f : 1.f;
  EXPECT_NEAR(a.x, sign * b.x, 1e-5f);
  EXPECT_NEAR(a.y, sign * b.y, 1e-5f);
  EXPECT_NEAR(a.z, sign * b.z, 1e-5f);
  EXPECT_NEAR(a.w, sign * b.w, 1e-5f);
}

// The camera is oriented as a fresh camera turned by `yaw` and then pitched by `pitch`.
void expectOrientation(const Camera& camera, float pitch, float yaw) {
  Camera reference;
  reference.rotateYaw(yaw);
  reference.rotatePitch(pitch);
  expectSameOrientation(camera.getOrientation(), reference.getOrientation());
}

void expectMatrixNear(const float* a, const float* b) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], 1e-5f) << "element " << i;
}

// What glRotatef(-pitch, 1, 0, 0) then glRotatef(-yaw, 0, 1, 0) leave on an identity matrix,
// written out element by element (column-major).
void expectedRotationMatrix(float pitchDegrees, float yawDegrees, float m[16]) {
  float p = -pitchDegrees * static_cast<float>(M_PI) / 180.f;
  float y = -yawDegrees * static_cast<float>(M_PI) / 180.f;
  float cp = std::cos(p), sp = std::sin(p), cy = std::cos(y), sy = std::sin(y);
  const float columnMajor[16] = {cy,      sp * sy, -cp * sy, 0.f, 0.f, cp,  sp,  0.f,
                                 sy,      -sp * cy, cp * cy, 0.f, 0.f, 0.f, 0.f, 1.f};
  for (int i = 0; i < 16; ++i) m[i] = columnMajor[i];
}

}  // namespace

TEST(CameraTest, StartsAtTheOriginLookingAlongMinusZ) {
  Camera camera;
  EXPECT_EQ(camera.getPosition(), Float3(0.f, 0.f, 0.f));
  expectSameOrientation(camera.getOrientation(), Camera::Quaternion{0.f, 0.f, 0.f, 1.f});
  EXPECT_EQ(camera.getPitch(), 0.f);
  EXPECT_EQ(camera.getYaw(), 0.f);
  float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  expectMatrixNear(camera.getRotationMatrix(), identity);
}

TEST(CameraTest, QuaternionHelpersFollowTheHamiltonProduct) {
  // The axis is normalised: a long x axis gives the same quaternion as the unit one.
  Camera::Quaternion longAxis = Camera::quaternionFromAxisAngle(5.f, 0.f, 0.f, 1.f);
  expectSameOrientation(longAxis, Camera::Quaternion{std::sin(0.5f), 0.f, 0.f, std::cos(0.5f)});
  // i * j = k, j * i = -k.
  Camera::Quaternion i{1.f, 0.f, 0.f, 0.f}, j{0.f, 1.f, 0.f, 0.f};
  Camera::Quaternion k = Camera::multiply(i, j);
  EXPECT_FLOAT_EQ(k.z, 1.f);
  EXPECT_FLOAT_EQ(k.w, 0.f);
  EXPECT_FLOAT_EQ(Camera::multiply(j, i).z, -1.f);
  // A null axis gives no rotation instead of dividing by zero.
  Camera::Quaternion none = Camera::quaternionFromAxisAngle(0.f, 0.f, 0.f, 1.f);
  expectSameOrientation(none, Camera::Quaternion{0.f, 0.f, 0.f, 1.f});
}

TEST(CameraTest, AnglesAreRunningSumsNotWrapped) {
  Camera camera;
  camera.rotateYaw(300.f);
  camera.rotateYaw(100.f);
  camera.rotatePitch(20.f);
  camera.rotatePitch(-50.f);
  EXPECT_FLOAT_EQ(camera.getYaw(), 400.f);
  EXPECT_FLOAT_EQ(camera.getPitch(), -30.f);
  // What the script's getCameraAngleAndDistance reports.
  EXPECT_NEAR(MathManager::normalizeAngleDegrees(camera.getYaw()), 40.f, 1e-4f);
}

TEST(CameraTest, SetPitchAndSetYawRebuildFromTheRunningSums) {
  Camera turned;
  turned.rotatePitch(12.f);
  turned.rotateYaw(70.f);
  turned.rotatePitch(-44.f);
  turned.rotatePitch(5.f);
  turned.setPitch(30.f);
  EXPECT_FLOAT_EQ(turned.getPitch(), 30.f);

  expectOrientation(turned, 30.f, 70.f);

  turned.setYaw(-15.f);
  EXPECT_FLOAT_EQ(turned.getYaw(), -15.f);
  expectOrientation(turned, 30.f, -15.f);
}

TEST(CameraTest, PitchTurnsAboutTheCameraAxisYawAboutTheWorldAxis) {
  Camera yawFirst;
  yawFirst.rotateYaw(90.f);
  yawFirst.rotatePitch(10.f);
  Camera pitchFirst;
  pitchFirst.rotatePitch(10.f);
  pitchFirst.rotateYaw(90.f);
  expectSameOrientation(yawFirst.getOrientation(), pitchFirst.getOrientation());

  // Yaw 90 then pitch 10 about the turned camera's own x axis, which is the world's -z axis.
  Camera::Quaternion expected = Camera::multiply(
      Camera::quaternionFromAxisAngle(0.f, 0.f, -1.f, 10.f * static_cast<float>(M_PI) / 180.f),
      Camera::quaternionFromAxisAngle(0.f, 1.f, 0.f, static_cast<float>(M_PI) / 2.f));
  expectSameOrientation(yawFirst.getOrientation(), expected);
}

TEST(CameraTest, RotationMatrixIsMinusPitchThenMinusYaw) {
  Camera camera;
  camera.rotatePitch(25.f);
  camera.rotateYaw(-130.f);
  float expected[16];
  expectedRotationMatrix(25.f, -130.f, expected);
  expectMatrixNear(camera.getRotationMatrix(), expected);

  // The view's rotation (the conjugate orientation) is the same matrix.
  float fromQuaternion[16];
  Camera::quaternionToMatrix(Camera::conjugate(camera.getOrientation()), fromQuaternion);
  expectMatrixNear(fromQuaternion, expected);
}

TEST(CameraTest, PitchClampOfTheMouseLookEndsExactlyAtTheLimit) {
  Camera camera;
  camera.rotateYaw(33.f);
  camera.rotatePitch(95.f);
  // The player's clamp above 90.
  camera.rotatePitch(-camera.getPitch());
  camera.setPitch(90.f);
  EXPECT_FLOAT_EQ(camera.getPitch(), 90.f);
  expectOrientation(camera, 90.f, 33.f);
}

TEST(CameraTest, SetRotationAppliesPitchAndYawFromNeutral) {
  Camera camera;
  camera.rotatePitch(50.f);
  camera.rotateYaw(50.f);
  camera.setRotation(Float3(10.f, 20.f, 0.f));
  EXPECT_FLOAT_EQ(camera.getPitch(), 10.f);
  EXPECT_FLOAT_EQ(camera.getYaw(), 20.f);
  expectOrientation(camera, 10.f, 20.f);
}

TEST(CameraTest, SetRotationWithARollIsFatal) {
  EXPECT_EXIT(
      {
        Camera camera;
        camera.setRotation(Float3(10.f, 20.f, 5.f));
      },
      testing::ExitedWithCode(1), "Condition: rot.z\\(\\) == 0.f");
}
