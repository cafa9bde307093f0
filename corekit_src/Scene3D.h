#ifndef COREKIT_SCENE3D_H
#define COREKIT_SCENE3D_H

#include <cstdint>
#include <memory>

#include "BasicVector.h"
#include "Camera.h"

struct GLUquadric;

/// The one 3D scene: perspective projection, eight light slots and the camera, applied at the
/// start of every 3D pass, plus the drawing primitives (boxes, quads) and the box geometry of
/// the zone mesh builder. Created and deleted by GLManager; every call needs the OpenGL context.
class Scene3D {
 public:
  static constexpr int nbLights = 8;

  Scene3D();
  ~Scene3D();
  Scene3D(const Scene3D&) = delete;
  Scene3D& operator=(const Scene3D&) = delete;

  /// Draw state, projection, camera and lights for a 3D pass; saves the view matrix.
  void apply3DView();
  /// Puts the camera `distance` back from `position`, against its view direction (so the
  /// player's positive camera distance keeps it behind the player; negative goes ahead), then
  /// applies the 3D view.
  void placeCamera(Float3 position, float distance);
  /// The offset at `distance` from a point seen under `pitch` and `yaw` (degrees): where the
  /// camera stands around its target.
  static Float3 sphericalToCartesian(float pitch, float yaw, float distance);
  /// Lets the camera angles approach the targets, at the pace of the frame period.
  void smoothCameraAngles(float targetPitch, float targetYaw, float targetRoll);
  /// Same with an explicit frame period in microseconds.
  void smoothCameraAngles(float targetPitch, float targetYaw, float targetRoll,
                          int64_t periodMicroseconds);
  /// Editor mouse look: turns by the motion since the last position while the button is held.
  void turnCameraWithMouse(Int2 position, bool buttonHeld);
  /// Window position of a 3D point, y counted from the bottom of the 2D area; (-10000, -10000)
  /// for a point behind the camera or one that cannot be projected.
  Int2 get2DPosFrom3D(Float3 point);

  /// Applies the 3D draw state only (lighting, depth, culling, texturing, polygon modes).
  void apply3DDrawState();

  /// Starts drawing fragments that come out with an alpha of exactly 1: a texture without alpha
  /// (`isTextureOpaque`), lighting off and an opaque current colour. Blending such a fragment
  /// gives the fragment itself and the alpha test lets it through, so both are switched off
  /// (the software renderer then shades it several times faster and can test depth before
  /// texturing); the pixels are the same. Answers whether it did so: then endOpaqueDraw(true)
  /// must follow. Does nothing when any condition fails or opaque drawing is not allowed.
  bool beginOpaqueDraw(bool isTextureOpaque);
  /// Restores the blending and alpha test state after beginOpaqueDraw when `isBegun`.
  static void endOpaqueDraw(bool isBegun);
  /// On by default; off, every pass draws as if its fragments could be translucent, the world
  /// draws its sky first under everything and clears the whole screen (the reference that the
  /// shortcut's pixels are checked against).
  bool getIsOpaqueDrawAllowed() const { return isOpaqueDrawAllowed; }
  void setIsOpaqueDrawAllowed(bool isAllowed) { isOpaqueDrawAllowed = isAllowed; }

  /// Box centred on the origin. `textures`: null or six texture names in face order (top,
  /// bottom, front, back, left, right); null draws a wireframe and restores the draw state.
  static void drawBox(const int* textures, bool inverted, Float3 size, Float3 textureScale);
  /// One quad in the plane y = 0, centred, size.x by size.y; textureName -1 binds nothing.
  static void drawQuadHorizontal(Float2 size, int textureName, Float2 textureScale,
                                 bool facingDown);
  /// One quad through the four corners; textureName -1 binds nothing.
  static void drawQuad(int textureName, const Float3 corners[4], Float2 textureScale);
  /// Rotates by x degrees about x, then y about y, then z about z.
  static void rotateXYZ(float x, float y, float z);
  /// 24 vertices (72 floats) and 24 texture coordinate pairs (48 floats) of a box centred on
  /// the origin: faces top, bottom, front, back, left, right, four corners each.
  static void computeBoxGeometry(Float3 halfExtents, Float3 a, Float3 b, Float3 c, Float3 d,
                                 bool randomOffset, float vertices[72], float texCoords[48]);

  Camera* getCamera() { return camera.get(); }
  GLUquadric* getQuadric() { return quadric; }
  float getAspectRatio() const { return aspectRatio; }
  void setAspectRatio(float parAspectRatio) { aspectRatio = parAspectRatio; }
  float getFieldOfView() const { return fieldOfView; }
  void setFieldOfView(float parFieldOfView) { fieldOfView = parFieldOfView; }
  float getFarPlane() const { return farPlane; }
  void setFarPlane(float parFarPlane) { farPlane = parFarPlane; }
  bool getIsLighting() const { return isLighting; }
  void setIsLighting(bool parIsLighting) { isLighting = parIsLighting; }
  /// Modelview matrix saved by the last apply3DView; reload it before drawing objects.
  const float* getViewMatrix() const { return viewMatrix; }

  /// Light slot i (OpenGL light i); out-of-range slots are ignored.
  void setLight(int slot, Float3 position, float range, bool enabled);
  void setLightEnabled(int slot, bool enabled);
  bool getLightEnabled(int slot) const;
  float getLightRange(int slot) const;
  Float3 getLightPosition(int slot) const;

 private:
  float fieldOfView = 110.f;
  GLUquadric* quadric = nullptr;
  bool isLighting = false;
  bool isOpaqueDrawAllowed = true;
  Int2 lastMousePosition{0, 0};
  float aspectRatio = 1.3333334f;
  float viewMatrix[16] = {};
  float lightPositions[nbLights][4];
  bool lightEnabled[nbLights];
  float lightRange[nbLights];
  float farPlane = 10000.f;
  std::unique_ptr<Camera> camera;
};

#endif
