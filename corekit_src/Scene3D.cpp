#include "Scene3D.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Fog.h"
#include "GLManager.h"
#include "MathManager.h"
#include "Scene2D.h"
#include "Assert.h"

namespace {

const GLfloat materialDiffuse[4] = {0.8f, 0.8f, 0.8f, 0.8f};
const GLfloat materialSpecular[4] = {1.f, 1.f, 1.f, 1.f};
const GLfloat materialAmbient[4] = {0.5f, 0.5f, 0.5f, 1.f};
const GLfloat materialShininess = 20.f;

constexpr float pi = static_cast<float>(M_PI);

// The six faces of a box in the engine's face order (top, bottom, front, back, left, right),
// each corner as signs of the half extents, counter-clockwise seen from outside.
constexpr int boxCorners[6][4][3] = {
    {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},
    {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
    {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
    {{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}},
    {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
    {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},
};
constexpr float boxNormals[6][3] = {{0, 1, 0},  {0, -1, 0}, {0, 0, 1},
                                    {0, 0, -1}, {-1, 0, 0}, {1, 0, 0}};
// The axis a face lies across, and the two axes its texture runs along.
constexpr int boxFaceAxis[6] = {1, 1, 2, 2, 0, 0};
constexpr int boxTextureAxes[6][2] = {{0, 2}, {0, 2}, {0, 1}, {0, 1}, {2, 1}, {2, 1}};

// A difference of angles (degrees) brought into -180..180. The camera angles are running sums
// that may be many turns apart from the target, so whole turns go first; what is left then
// needs one turn at most.
float shortestTurn(float difference) {
  difference = std::fmod(difference, 360.f);
  if (difference > 180.f) return difference - 360.f;
  if (difference < -180.f) return difference + 360.f;
  return difference;
}

// Whether the blending gives back a fragment of alpha 1 unchanged, colour and alpha.
bool isBlendKeepingOpaqueFragments() {
  GLint equations[2] = {0, 0}, sources[2] = {0, 0}, destinations[2] = {0, 0};
  glGetIntegerv(GL_BLEND_EQUATION_RGB, &equations[0]);
  glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &equations[1]);
  glGetIntegerv(GL_BLEND_SRC_RGB, &sources[0]);
  glGetIntegerv(GL_BLEND_SRC_ALPHA, &sources[1]);
  glGetIntegerv(GL_BLEND_DST_RGB, &destinations[0]);
  glGetIntegerv(GL_BLEND_DST_ALPHA, &destinations[1]);
  for (int i = 0; i < 2; ++i)
    if (equations[i] != GL_FUNC_ADD || (sources[i] != GL_SRC_ALPHA && sources[i] != GL_ONE) ||
        (destinations[i] != GL_ONE_MINUS_SRC_ALPHA && destinations[i] != GL_ZERO))
      return false;
  return true;
}

// Whether the alpha test lets a fragment of alpha 1 through (the reference lies within 0..1).
bool isAlphaTestPassingOpaqueFragments() {
  GLint function = GL_ALWAYS;
  GLfloat reference = 0.f;
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
  glGetFloatv(GL_ALPHA_TEST_REF, &reference);
  switch (function) {
    case GL_ALWAYS:
    case GL_GEQUAL:
      return true;
    case GL_GREATER:
    case GL_NOTEQUAL:
      return reference < 1.f;
    case GL_EQUAL:
    case GL_LEQUAL:
      return reference >= 1.f;
    default:
      return false;
  }
}

}  // namespace

Scene3D::Scene3D() {
  for (int i = 0; i < nbLights; ++i) {
    lightPositions[i][0] = 0.f;
    lightPositions[i][1] = 0.f;
    lightPositions[i][2] = 0.f;
    lightPositions[i][3] = 1.f;
    lightEnabled[i] = false;
    lightRange[i] = 1.f;
  }
  camera.reset(new Camera());

  quadric = gluNewQuadric();
  gluQuadricTexture(quadric, GL_TRUE);
  gluQuadricDrawStyle(quadric, GLU_FILL);
  gluQuadricOrientation(quadric, GLU_INSIDE);

  glMaterialfv(GL_FRONT, GL_DIFFUSE, materialDiffuse);
  glMaterialfv(GL_FRONT, GL_SPECULAR, materialSpecular);
  glMaterialfv(GL_FRONT, GL_AMBIENT, materialAmbient);
  glMaterialf(GL_FRONT, GL_SHININESS, materialShininess);
  glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  glShadeModel(GL_SMOOTH);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, materialAmbient);

  for (int i = 0; i < nbLights; ++i) glDisable(GL_LIGHT0 + i);
  std::fill(viewMatrix, viewMatrix + 16, 0.f);

  Fog::initFog();
}

Scene3D::~Scene3D() {
  if (quadric != nullptr) gluDeleteQuadric(quadric);
}

void Scene3D::apply3DDrawState() {
  if (isLighting) {
    glEnable(GL_LIGHTING);
    gluQuadricNormals(quadric, GLU_FLAT);
  } else {
    glDisable(GL_LIGHTING);
    gluQuadricNormals(quadric, GLU_NONE);
  }
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glCullFace(GL_BACK);
  glEnable(GL_TEXTURE_2D);
  glPolygonMode(GL_BACK, GL_LINE);
  glPolygonMode(GL_FRONT, GL_FILL);
  glEnable(GL_CULL_FACE);
}

void Scene3D::apply3DView() {
  apply3DDrawState();

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(fieldOfView, aspectRatio, 0.1, farPlane);

  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  float rotation[16];
  Camera::quaternionToMatrix(Camera::conjugate(camera->getOrientation()), rotation);
  glMultMatrixf(rotation);
  const Float3& position = camera->getPosition();
  glTranslatef(-position.x(), -position.y(), -position.z());
  glGetFloatv(GL_MODELVIEW_MATRIX, viewMatrix);

  for (int i = 0; i < nbLights; ++i) {
    if (!lightEnabled[i]) continue;
    GLenum light = GL_LIGHT0 + i;
    bool hasRange = lightRange[i] > 0.f;
    glLightf(light, GL_CONSTANT_ATTENUATION, 1.f);
    glLightf(light, GL_LINEAR_ATTENUATION, hasRange ? 1.f / lightRange[i] : 0.f);
    glLightf(light, GL_QUADRATIC_ATTENUATION, hasRange ? 0.00005f : 0.f);
    glLightfv(light, GL_DIFFUSE, materialDiffuse);
    glLightfv(light, GL_SPECULAR, materialSpecular);
    glLightfv(light, GL_AMBIENT, materialAmbient);
  }
  for (int i = 0; i < nbLights; ++i)
    if (lightEnabled[i]) glLightfv(GL_LIGHT0 + i, GL_POSITION, lightPositions[i]);
}

Float3 Scene3D::sphericalToCartesian(float pitch, float yaw, float distance) {
  const float theta = pitch * pi / 180.f + pi / 2.f;
  const float phi = pi / 2.f - yaw * pi / 180.f;
  return Float3(distance * std::sin(theta) * std::cos(phi), distance * std::cos(theta),
                distance * std::sin(theta) * std::sin(phi));
}

void Scene3D::placeCamera(Float3 position, float distance) {
  camera->setPosition(position + sphericalToCartesian(camera->getPitch(), camera->getYaw(), distance));
  apply3DView();
}

void Scene3D::smoothCameraAngles(float targetPitch, float targetYaw, float targetRoll) {
  smoothCameraAngles(targetPitch, targetYaw, targetRoll, GLManager::getPeriodDuration());
}

void Scene3D::smoothCameraAngles(float targetPitch, float targetYaw, float targetRoll,
                                 int64_t periodMicroseconds) {
  float pitchDifference = shortestTurn(camera->getPitch() - targetPitch);
  float yawDifference = shortestTurn(camera->getYaw() - targetYaw);
  float rollDifference = shortestTurn(0.f - targetRoll);
  float u = std::min(1.f, std::max(0.f, periodMicroseconds / 100000.f));
  float keep = 1.f - u;
  camera->setRotation(Float3(targetPitch + pitchDifference * keep, targetYaw + yawDifference * keep,
                             targetRoll + rollDifference * keep));
}

void Scene3D::turnCameraWithMouse(Int2 position, bool buttonHeld) {
  if (buttonHeld) {
    camera->rotatePitch(static_cast<float>(lastMousePosition.y() - position.y()));
    camera->rotateYaw(static_cast<float>(lastMousePosition.x() - position.x()));
  }
  lastMousePosition = position;
}

Int2 Scene3D::get2DPosFrom3D(Float3 point) {
  GLdouble modelview[16], projection[16];
  GLint viewport[4];
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  apply3DView();
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  GLdouble windowX = 0.0, windowY = 0.0, windowZ = 0.0;
  // A point in the eye's plane has no projection.
  const bool isProjected = gluProject(point.x(), point.y(), point.z(), modelview, projection,
                                      viewport, &windowX, &windowY, &windowZ) == GL_TRUE;
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();

  // Heading from the camera to the point against the camera's own heading, which for a yaw y
  // looks along (-sin y, -cos y) in (x, z): the direction whose angle below is -y.
  const Float3& eye = camera->getPosition();
  float a = MathManager::normalizeAngleRadians(
      std::atan2(eye.z() - point.z(), eye.x() - point.x()) - pi / 2.f);
  float c = MathManager::normalizeAngleRadians(-camera->getYaw() * pi / 180.f);
  if (isProjected && std::fabs(MathManager::normalizeAngleRadians(a - c)) < pi / 2.f) {
    Scene2D* scene2D = GLManager::getScene2D();
    int height = scene2D != nullptr ? scene2D->size2D.y() : GLManager::getWindowHeight();
    return Int2(Scene2D::toCoordinate(windowX),
                Scene2D::toCoordinate(static_cast<double>(height) -
                                      Scene2D::toCoordinate(windowY)));
  }
  return Int2(-10000, -10000);
}

bool Scene3D::beginOpaqueDraw(bool isTextureOpaque) {
  if (!isOpaqueDrawAllowed || !isTextureOpaque || glIsEnabled(GL_LIGHTING) || glIsEnabled(GL_COLOR_LOGIC_OP))
    return false;
  // Lit fragments take the material's alpha; unlit ones the current colour's (a texture without
  // alpha contributes 1 in every texture mode).
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  if (!(colour[3] >= 1.f)) return false;
  // Without multisampling, polygon smoothing may turn edge coverage into alpha.
  GLint sampleBuffers = 0;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  if (glIsEnabled(GL_POLYGON_SMOOTH) && !(sampleBuffers > 0 && glIsEnabled(GL_MULTISAMPLE))) return false;
  if (glIsEnabled(GL_BLEND) && !isBlendKeepingOpaqueFragments()) return false;
  if (glIsEnabled(GL_ALPHA_TEST) && !isAlphaTestPassingOpaqueFragments()) return false;
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  return true;
}

void Scene3D::endOpaqueDraw(bool isBegun) {
  if (isBegun) glPopAttrib();
}

void Scene3D::drawBox(const int* textures, bool inverted, Float3 size, Float3 textureScale) {
  const float half[3] = {size.x() / 2.f, size.y() / 2.f, size.z() / 2.f};
  if (textures == nullptr) {
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
    glDisable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_CULL_FACE);
  }
  int boundTexture = -1;
  for (int face = 0; face < 6; ++face) {
    if (textures != nullptr && (face == 0 || textures[face] != boundTexture)) {
      boundTexture = textures[face];
      glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    }
    const int axis = boxFaceAxis[face];
    const int s = boxTextureAxes[face][0];
    const int t = boxTextureAxes[face][1];
    glBegin(GL_QUADS);
    glNormal3fv(boxNormals[face]);
    for (int corner = 0; corner < 4; ++corner) {
      const int* sign = boxCorners[face][corner];
      glTexCoord2f(sign[s] > 0 ? textureScale[s] : 0.f, sign[t] > 0 ? textureScale[t] : 0.f);
      float vertex[3];
      for (int k = 0; k < 3; ++k)
        vertex[k] = sign[k] * half[k] * ((inverted && k == axis) ? -1.f : 1.f);
      glVertex3fv(vertex);
    }
    glEnd();
  }
  if (textures == nullptr) glPopAttrib();
}

void Scene3D::drawQuadHorizontal(Float2 size, int textureName, Float2 textureScale,
                                 bool facingDown) {
  if (textureName != -1) glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textureName));
  const float x = size.x() / 2.f, z = size.y() / 2.f;
  const float sx = textureScale.x(), sz = textureScale.y();
  glBegin(GL_QUADS);
  if (facingDown) {
    glNormal3f(0.f, -1.f, 0.f);
    glTexCoord2f(0.f, 0.f);
    glVertex3f(-x, 0.f, -z);
    glTexCoord2f(sx, 0.f);
    glVertex3f(x, 0.f, -z);
    glTexCoord2f(sx, sz);
    glVertex3f(x, 0.f, z);
    glTexCoord2f(0.f, sz);
    glVertex3f(-x, 0.f, z);
  } else {
    glNormal3f(0.f, 1.f, 0.f);
    glTexCoord2f(0.f, 0.f);
    glVertex3f(-x, 0.f, -z);
    glTexCoord2f(0.f, sz);
    glVertex3f(-x, 0.f, z);
    glTexCoord2f(sx, sz);
    glVertex3f(x, 0.f, z);
    glTexCoord2f(sx, 0.f);
    glVertex3f(x, 0.f, -z);
  }
  glEnd();
}

void Scene3D::drawQuad(int textureName, const Float3 corners[4], Float2 textureScale) {
  if (textureName != -1) glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textureName));
  const float sx = textureScale.x(), sy = textureScale.y();
  const float texCoords[4][2] = {{sx, sy}, {sx, 0.f}, {0.f, 0.f}, {0.f, sy}};
  glBegin(GL_QUADS);
  glNormal3f(0.f, -1.f, 0.f);
  for (int i = 0; i < 4; ++i) {
    glTexCoord2fv(texCoords[i]);
    glVertex3f(corners[i].x(), corners[i].y(), corners[i].z());
  }
  glEnd();
}

void Scene3D::rotateXYZ(float x, float y, float z) {
  glRotatef(x, 1.f, 0.f, 0.f);
  glRotatef(y, 0.f, 1.f, 0.f);
  glRotatef(z, 0.f, 0.f, 1.f);
}

void Scene3D::computeBoxGeometry(Float3 halfExtents, Float3 a, Float3 b, Float3 c, Float3 d,
                                 bool randomOffset, float vertices[72], float texCoords[48]) {
  for (int face = 0; face < 6; ++face)
    for (int corner = 0; corner < 4; ++corner)
      for (int k = 0; k < 3; ++k)
        vertices[(face * 4 + corner) * 3 + k] = boxCorners[face][corner][k] * halfExtents[k];

  const float faceTexCoords[48] = {
      // top
      a.x(), a.z(), a.x(), d.z(), d.x(), d.z(), d.x(), a.z(),
      // bottom
      c.x(), c.z(), b.x(), c.z(), b.x(), b.z(), c.x(), b.z(),
      // front
      c.x(), c.y(), b.x(), c.y(), b.x(), b.y(), c.x(), b.y(),
      // back
      1.f - a.x(), a.y(), 1.f - d.x(), a.y(), 1.f - d.x(), d.y(), 1.f - a.x(), d.y(),
      // left
      c.z(), c.y(), b.z(), c.y(), b.z(), b.y(), c.z(), b.y(),
      // right
      a.z(), d.y(), a.z(), a.y(), d.z(), a.y(), d.z(), d.y()};
  std::copy(faceTexCoords, faceTexCoords + 48, texCoords);

  if (!randomOffset) return;
  // One shift per pair of opposite faces, along the pair's two texture axes of b, by a fraction
  // 0..1 of b. The fraction is a 15-bit draw over 32767: the C library's rand() may reach far
  // beyond that, and a shift of thousands of texture repeats would cost the texture coordinates
  // their precision.
  const float pairAxes[3][2] = {{b.x(), b.z()}, {b.x(), b.y()}, {b.z(), b.y()}};
  for (int pair = 0; pair < 3; ++pair) {
    int r1 = std::rand() % 32768;
    int r2 = std::rand() % 32768;
    float shiftS = pairAxes[pair][0] * r2 / 32767.f;
    float shiftT = pairAxes[pair][1] * r1 / 32767.f;
    for (int i = pair * 16; i < pair * 16 + 16; i += 2) {
      texCoords[i] += shiftS;
      texCoords[i + 1] += shiftT;
    }
  }
}

void Scene3D::setLight(int slot, Float3 position, float range, bool enabled) {
  if (slot < 0 || slot >= nbLights) return;
  lightPositions[slot][0] = position.x();
  lightPositions[slot][1] = position.y();
  lightPositions[slot][2] = position.z();
  lightPositions[slot][3] = 1.f;
  lightRange[slot] = range;
  setLightEnabled(slot, enabled);
}

void Scene3D::setLightEnabled(int slot, bool enabled) {
  if (slot < 0 || slot >= nbLights) return;
  lightEnabled[slot] = enabled;
  if (enabled)
    glEnable(GL_LIGHT0 + slot);
  else
    glDisable(GL_LIGHT0 + slot);
}

bool Scene3D::getLightEnabled(int slot) const {
  return slot >= 0 && slot < nbLights && lightEnabled[slot];
}

float Scene3D::getLightRange(int slot) const {
  return (slot >= 0 && slot < nbLights) ? lightRange[slot] : 0.f;
}

Float3 Scene3D::getLightPosition(int slot) const {
  if (slot < 0 || slot >= nbLights) return Float3(0.f, 0.f, 0.f);
  return Float3(lightPositions[slot][0], lightPositions[slot][1], lightPositions[slot][2]);
}
