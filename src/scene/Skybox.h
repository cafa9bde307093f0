#ifndef ENGINE_SKYBOX_H
#define ENGINE_SKYBOX_H

#include <string>

#include "BasicVector.h"

class Sprite;

/// A textured box centred on the camera, seen from inside, drawn after the opaque scene where
/// nothing covers it (depth tested) and before anything translucent. Its six images come from
/// one directory; the sprites are owned through the texture registry (released by the
/// destructor), so the device manager must outlive it.
class Skybox {
 public:
  static constexpr int nbFaces = 6;
  /// File names inside the directory, in the order of the sprites and texture names: bottom,
  /// top, left, right, front, back. Drawn as an inverted box this order puts each image on the
  /// side it is named after.
  static constexpr const char* faceFileNames[nbFaces] = {"/bottom.png", "/top.png",   "/left.png",
                                                         "/right.png",  "/front.png", "/back.png"};

  /// Loads the six images of the directory through the texture registry.
  explicit Skybox(const std::string& parDirectory);
  /// Releases the six sprites.
  ~Skybox();
  Skybox(const Skybox&) = delete;
  Skybox& operator=(const Skybox&) = delete;

  /// White, the saved view matrix of the 3D scene translated to the camera position, then the
  /// inverted textured box of `size`; the matrix is restored. Images without alpha are drawn
  /// without blending (Scene3D::beginOpaqueDraw), which gives the same pixels faster.
  void draw();

  const std::string& getDirectory() const { return directory; }
  Sprite* getSprite(int face) const { return sprites[face]; }
  /// The six texture names, in the order of faceFileNames.
  const int* getTextureIds() const { return textureIds; }
  /// None of the six images has an alpha channel.
  bool getIsOpaque() const { return isOpaque; }

  /// Edge lengths; the world sets all three to the far plane - 1 before each draw.
  Float3 size{100.f, 100.f, 100.f};

 private:
  Sprite* sprites[nbFaces] = {};
  int textureIds[nbFaces] = {};
  bool isOpaque = true;
  std::string directory;
};

#endif
