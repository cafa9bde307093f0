#include "Camera.h"

#include <cmath>

#include "Assert.h"

namespace {

constexpr float degreesToRadians = 0.017453292f;

// Row-major 3x3 product, used to build the rotation matrix without the OpenGL matrix stack.
void multiply3x3(const float a[3][3], const float b[3][3], float out[3][3]) {
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col)
      out[row][col] = a[row][0] * b[0][col] + a[row][1] * b[1][col] + a[row][2] * b[2][col];
}

}  // namespace

Camera::Camera() : state(new State()) { computeRotationMatrix(); }

Camera::~Camera() = default;

Camera::Quaternion Camera::quaternionFromAxisAngle(float axisX, float axisY, float axisZ,
                                                   float angle) {
  float length = std::sqrt(axisX * axisX + axisY * axisY + axisZ * axisZ);
  // A null axis has no direction to turn about: no rotation.
  if (!(length > 0.f)) return Quaternion{0.f, 0.f, 0.f, 1.f};
  float s = std::sin(angle / 2.f) / length;
  return Quaternion{axisX * s, axisY * s, axisZ * s, std::cos(angle / 2.f)};
}

Camera::Quaternion Camera::multiply(const Quaternion& a, const Quaternion& b) {
  Quaternion r;
  r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
  r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
  r.y = a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z;
  r.z = a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x;
  return r;
}

Camera::Quaternion Camera::conjugate(const Quaternion& q) {
  return Quaternion{-q.x, -q.y, -q.z, q.w};
}

void Camera::quaternionToMatrix(const Quaternion& q, float m[16]) {
  float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  float xw = q.x * q.w, yw = q.y * q.w, zw = q.z * q.w;
  m[0] = 1.f - 2.f * (yy + zz);
  m[1] = 2.f * (xy + zw);
  m[2] = 2.f * (xz - yw);
  m[3] = 0.f;
  m[4] = 2.f * (xy - zw);
  m[5] = 1.f - 2.f * (xx + zz);
  m[6] = 2.f * (yz + xw);
  m[7] = 0.f;
  m[8] = 2.f * (xz + yw);
  m[9] = 2.f * (yz - xw);
  m[10] = 1.f - 2.f * (xx + yy);
  m[11] = 0.f;
  m[12] = 0.f;
  m[13] = 0.f;
  m[14] = 0.f;
  m[15] = 1.f;
}

void Camera::rotatePitch(float degrees) {
  Quaternion q = quaternionFromAxisAngle(1.f, 0.f, 0.f, degrees * degreesToRadians);
  state->orientation = multiply(state->orientation, q);
  state->pitch += degrees;
  computeRotationMatrix();
}

void Camera::rotateYaw(float degrees) {
  Quaternion q = quaternionFromAxisAngle(0.f, 1.f, 0.f, degrees * degreesToRadians);
  state->orientation = multiply(q, state->orientation);
  state->yaw += degrees;
  computeRotationMatrix();
}

void Camera::setPitch(float degrees) {
  rotatePitch(-state->pitch);
  state->pitch = 0.f;
  rotatePitch(degrees);
}

void Camera::setYaw(float degrees) {
  rotateYaw(-state->yaw);
  state->yaw = 0.f;
  rotateYaw(degrees);
}

void Camera::setRotation(Float3 rot) {
  state->orientation = Quaternion{0.f, 0.f, 0.f, 1.f};
  state->pitch = 0.f;
  state->yaw = 0.f;
  rotatePitch(rot.x());
  rotateYaw(rot.y());
  assert(rot.z() == 0.f);
}

// The same matrix glRotatef(-pitch, 1, 0, 0) then glRotatef(-yaw, 0, 1, 0) leaves on an
// identity modelview, computed directly so that the camera works without a GL context.
void Camera::computeRotationMatrix() {
  float p = -state->pitch * static_cast<float>(M_PI) / 180.f;
  float y = -state->yaw * static_cast<float>(M_PI) / 180.f;
  float cp = std::cos(p), sp = std::sin(p), cy = std::cos(y), sy = std::sin(y);
  const float rx[3][3] = {{1.f, 0.f, 0.f}, {0.f, cp, -sp}, {0.f, sp, cp}};
  const float ry[3][3] = {{cy, 0.f, sy}, {0.f, 1.f, 0.f}, {-sy, 0.f, cy}};
  float r[3][3];
  multiply3x3(rx, ry, r);
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row)
      rotationMatrix[col * 4 + row] =
          (col < 3 && row < 3) ? r[row][col] : (col == row ? 1.f : 0.f);
}
