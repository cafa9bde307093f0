#ifndef CUBETYPELOOK_H
#define CUBETYPELOOK_H

#include "meshing/Bumpmap.h"

/// What the mesh builders need of a cube type with its textures loaded: GL texture names per
/// face, the bump maps and the texture-mapping options. Plain data, so the builders can be
/// run and tested without a GL context.
struct CubeTypeLook {
  int textureFace[6] = {0, 0, 0, 0, 0, 0};
  int textureFaceShadowed[6] = {0, 0, 0, 0, 0, 0};
  int textureShadow = 0;
  /// A face without bump map has pixels == nullptr.
  Bumpmap bumpmaps[6];
  /// true: repeat per cube, count whole cubes, no random offset (see CubeType).
  bool textureOptions[3] = {true, true, true};
};

#endif
