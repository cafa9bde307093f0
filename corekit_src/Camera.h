#ifndef COREKIT_CAMERA_H
#define COREKIT_CAMERA_H

#include <memory>

#include "BasicVector.h"

/// The one viewpoint of the program: a position, an orientation kept as a unit quaternion and
/// the two running angle sums (degrees) it was built from. The angles are not wrapped; readers
/// that want a range normalise them.
class Camera {
 public:
  /// Quaternion as (x, y, z, w).
  struct Quaternion {
    float x, y, z, w;
  };

  struct State {
    Float3 position{0.f, 0.f, 0.f};
    Quaternion orientation{0.f, 0.f, 0.f, 1.f};
    float pitch = 0.f;  ///< sum of all pitch rotations since the last reset, degrees
    float yaw = 0.f;    ///< sum of all yaw rotations since the last reset, degrees
  };

  Camera();
  ~Camera();
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  /// Turns about the camera's own x axis.
  void rotatePitch(float degrees);
  /// Turns about the world's y axis.
  void rotateYaw(float degrees);
  void setPitch(float degrees);
  void setYaw(float degrees);
  /// Pitch rot.x then yaw rot.y from the neutral orientation; the camera has no roll, so a
  /// non-zero rot.z is a fatal report (after the two turns were applied).
  void setRotation(Float3 rot);

  Float3& getPosition() { return state->position; }
  const Float3& getPosition() const { return state->position; }
  void setPosition(Float3 position) { state->position = position; }
  float getPitch() const { return state->pitch; }
  float getYaw() const { return state->yaw; }
  const Quaternion& getOrientation() const { return state->orientation; }
  /// Rotation by -pitch about x followed by -yaw about y, column-major as OpenGL takes it.
  const float* getRotationMatrix() const { return rotationMatrix; }

  // Quaternion helpers, also used by the 3D models.
  /// The axis is normalised; angle in radians.
  static Quaternion quaternionFromAxisAngle(float axisX, float axisY, float axisZ, float angle);
  /// Hamilton product a * b.
  static Quaternion multiply(const Quaternion& a, const Quaternion& b);
  static Quaternion conjugate(const Quaternion& q);
  /// Column-major 4x4 rotation matrix of a unit quaternion.
  static void quaternionToMatrix(const Quaternion& q, float matrix[16]);

 private:
  void computeRotationMatrix();

  std::unique_ptr<State> state;
  float rotationMatrix[16];
};

#endif
