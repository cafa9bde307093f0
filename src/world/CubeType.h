#ifndef CUBETYPE_H
#define CUBETYPE_H

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "meshing/CubeTypeLook.h"

class Sprite;

/// How every cube of one kind looks and whether it blocks movement: six face textures, their
/// shadowed variants, optional bump maps, three texture-mapping options and a collidable
/// flag. The face textures are loaded lazily (loadTextures) and released when a drawn frame
/// did not use the type (freeTextures); the shadow texture lives as long as the type.
/// Face order of every six-element array: 0 top (+y), 1 bottom (-y), 2 front (+z),
/// 3 back (-z), 4 left (-x), 5 right (+x).
class CubeType {
 public:
  static const char* const directoryTextures;          ///< "cube_textures/"
  static const char* const directoryShadowedTextures;  ///< "cube_shadowed_textures/"
  static const char* const directoryBumpmapTextures;   ///< "cube_bumpmap_textures/"
  static const char* const defaultTextureName;         ///< "images_engine/default_texture.png"
  static const char* const shadowTextureName;          ///< "images_engine/black_semi_transparent.png"

  /// Copies the names and options; loads the shadow texture (needs the GL context).
  CubeType(const std::string parTextureNames[6], const bool parTextureOptions[3], bool parCollidable);
  /// Frees the face textures, then the shadow texture.
  ~CubeType();
  CubeType(const CubeType&) = delete;
  CubeType& operator=(const CubeType&) = delete;

  /// Loads the 18 face textures (face, shadowed, bump map, face 0 to 5) unless they are
  /// loaded. Safe to call from both mesh builders at once; the first load of a type must
  /// happen on the GL thread (the region loads every type it uses before meshing).
  void loadTextures();
  /// Releases the 18 face textures if loaded (the shadow texture stays).
  void freeTextures();
  /// New names, options and flag; the textures are reloaded.
  void modify(const std::string parTextureNames[6], const bool parTextureOptions[3], bool parCollidable);

  bool areTexturesLoaded() const { return texturesLoaded.load(std::memory_order_acquire); }
  /// The texture names, bump maps and options the mesh builders use; valid once the
  /// textures are loaded (the shadow texture is always there).
  const CubeTypeLook& getLook() const { return look; }

  bool getIsUsed() const { return isUsed.load(std::memory_order_relaxed); }
  void setIsUsed(bool used) { isUsed.store(used, std::memory_order_relaxed); }

  /// Set by the editor while it shows the type: its textures are never released.
  bool keepTextures = false;
  std::string textureNames[6];
  Sprite* textureFace[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  Sprite* textureFaceShadowed[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  Sprite* textureFaceBumpmap[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  /// true (the default) means: repeat per cube, count whole cubes, no random offset.
  bool textureOptions[3] = {true, true, true};
  Sprite* textureShadow = nullptr;
  bool collidable = false;

  /// GL texture name of the sprite's current image.
  static int getTextureId(const Sprite* sprite);

 private:
  void setDescription(const std::string parTextureNames[6], const bool parTextureOptions[3], bool parCollidable);
  void loadShadowTexture();
  void releaseShadowTexture();
  /// The bump map the builders use for a loaded bump map image: the image itself when it is
  /// 4 x 4 pixels; otherwise none (the flat default), with one problem report per file.
  Bumpmap usableBumpmap(const Sprite* sprite, const std::string& path);

  /// Set whenever the type is fetched by id (possibly from both builders at once); cleared
  /// for all types at the start of every world update.
  std::atomic<bool> isUsed{false};
  std::atomic<bool> texturesLoaded{false};
  /// Loads go through the shared texture registry, so two threads loading different types
  /// must not overlap either: one lock for all types.
  static std::mutex loadMutex;
  CubeTypeLook look;
  /// Bump map files already reported as unusable (textures are freed and reloaded often).
  std::set<std::string> reportedBumpmaps;
};

#endif
