#ifndef COREKIT_FOG_H
#define COREKIT_FOG_H

#include <vector>

#include "BasicVector.h"

/// OpenGL linear fog hiding the far end of the view. The volumetric variant (a fog coordinate
/// per vertex through GL_EXT_fog_coord) is built in behind useVolumetricFog, which is off.
class Fog {
 public:
  static constexpr bool useVolumetricFog = false;

  /// The base colour of the program, used until the script changes it.
  static const unsigned char defaultColor[4];

  /// Called once by the 3D scene's construction; needs the OpenGL context.
  static void initFog();
  /// Four bytes red, green, blue, alpha; each byte is divided by 256.
  static void setFogColor(const unsigned char color[4]);
  static void setFogColor(BasicVector<4, unsigned char> color) { setFogColor(&color[0]); }
  /// Fog from three quarters of `distance` to `distance`, in `color`.
  static void setFogDistance(float distance, const unsigned char color[4]);
  static void setFogDistance(float distance, BasicVector<4, unsigned char> color) {
    setFogDistance(distance, &color[0]);
  }
  /// Volumetric variant only (fatal report otherwise): one coordinate per position (x, y, z
  /// triples in `positions`).
  static std::vector<float> computeFogCoordinates(int count, const float* positions);
  /// One fog coordinate; a position whose component product is negative or not a number
  /// gets 0.
  static float computeFogCoordinate(float x, float y, float z);
};

#endif
