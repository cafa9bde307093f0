#include "Fog.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <cmath>
#include <cstring>
#include <string>

#include "Assert.h"

const unsigned char Fog::defaultColor[4] = {255, 255, 255, 255};

namespace {

typedef void (*FogCoordFunction)(GLfloat);
FogCoordFunction glFogCoordfEXTPointer = nullptr;

// The extension name as a whole blank-separated word of the extensions string.
bool hasExtension(const char* extensions, const char* name) {
  if (extensions == nullptr) return false;
  std::size_t length = std::strlen(name);
  for (const char* p = std::strstr(extensions, name); p != nullptr; p = std::strstr(p + 1, name)) {
    bool startsWord = p == extensions || p[-1] == ' ';
    bool endsWord = p[length] == ' ' || p[length] == '\0';
    if (startsWord && endsWord) return true;
  }
  return false;
}

}  // namespace

void Fog::initFog() {
  if (useVolumetricFog) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (hasExtension(extensions, "GL_EXT_fog_coord"))
      glFogCoordfEXTPointer = reinterpret_cast<FogCoordFunction>(
          glutGetProcAddress("glFogCoordfEXT"));
    else
      showProblem("extension GL_EXT_fog_coord missing ");
    glFogi(GL_FOG_COORDINATE_SOURCE_EXT, GL_FOG_COORDINATE_EXT);
  }
  glEnable(GL_FOG);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  setFogColor(defaultColor);
  if (!useVolumetricFog) {
    glFogf(GL_FOG_START, 0.f);
    glFogf(GL_FOG_END, 1.f);
  }
  glHint(GL_FOG_HINT, GL_NICEST);
}

void Fog::setFogColor(const unsigned char color[4]) {
  GLfloat fogColor[4];
  for (int i = 0; i < 4; ++i) fogColor[i] = color[i] / 256.f;
  glFogfv(GL_FOG_COLOR, fogColor);
}

void Fog::setFogDistance(float distance, const unsigned char color[4]) {
  glEnable(GL_FOG);
  if (!useVolumetricFog) {
    glFogf(GL_FOG_START, distance * 3.f * 0.25f);
    glFogf(GL_FOG_END, distance);
  }
  setFogColor(color);
}

float Fog::computeFogCoordinate(float x, float y, float z) {
  float product = x * y * z;
  // Below the ground plane the product can turn negative: no real root, no fog thickness.
  if (!(product >= 0.f)) return 0.f;
  return std::sqrt(product) / 300.f;
}

std::vector<float> Fog::computeFogCoordinates(int count, const float* positions) {
  assert(useVolumetricFog);
  std::vector<float> coordinates;
  if (count <= 0 || positions == nullptr) return coordinates;
  coordinates.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    coordinates[i] =
        computeFogCoordinate(positions[i * 3], positions[i * 3 + 1], positions[i * 3 + 2]);
  return coordinates;
}
