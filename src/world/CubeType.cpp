#include "world/CubeType.h"

#include <iostream>

#include "FileManager.h"
#include "GLManager.h"
#include "ImageLoader.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Assert.h"

const char* const CubeType::directoryTextures = "cube_textures/";
const char* const CubeType::directoryShadowedTextures = "cube_shadowed_textures/";
const char* const CubeType::directoryBumpmapTextures = "cube_bumpmap_textures/";
const char* const CubeType::defaultTextureName = "images_engine/default_texture.png";
const char* const CubeType::shadowTextureName = "images_engine/black_semi_transparent.png";

std::mutex CubeType::loadMutex;

namespace {

/// directory + name when that file exists, else the empty string.
std::string existingFile(const char* directory, const std::string& name) {
  if (name.empty()) return std::string();
  const std::string path = directory + name;
  return FileManager::fileExists(path) ? path : std::string();
}

Sprite* createSprite(const std::string& path) { return GLManager::getSpriteManager()->createSprite(path, 1); }

Sprite* createFaceSprite(const char* directory, const std::string& name) {
  const std::string path = existingFile(directory, name);
  return createSprite(path.empty() ? std::string(CubeType::defaultTextureName) : path);
}

Bumpmap bumpmapOf(const Sprite* sprite) {
  Bumpmap bumpmap;
  if (sprite == nullptr) return bumpmap;
  const ImageLoader* image = sprite->getImages()[sprite->currentImage];
  bumpmap.pixels = image->getPixels();
  bumpmap.width = image->getWidth();
  bumpmap.height = image->getHeight();
  bumpmap.bytesPerPixel = image->getIsAlpha() ? 4 : 3;
  return bumpmap;
}

}  // namespace

CubeType::CubeType(const std::string parTextureNames[6], const bool parTextureOptions[3], bool parCollidable) {
  setDescription(parTextureNames, parTextureOptions, parCollidable);
  loadShadowTexture();
}

CubeType::~CubeType() {
  freeTextures();
  releaseShadowTexture();
}

int CubeType::getTextureId(const Sprite* sprite) { return sprite->getImages()[sprite->currentImage]->getTexture(); }

void CubeType::setDescription(const std::string parTextureNames[6], const bool parTextureOptions[3],
                              bool parCollidable) {
  for (int i = 0; i < 6; ++i) textureNames[i] = parTextureNames[i];
  for (int i = 0; i < 3; ++i) {
    textureOptions[i] = parTextureOptions[i];
    look.textureOptions[i] = parTextureOptions[i];
  }
  collidable = parCollidable;
}

void CubeType::loadShadowTexture() {
  textureShadow = createSprite(shadowTextureName);
  look.textureShadow = getTextureId(textureShadow);
}

void CubeType::releaseShadowTexture() {
  assert(textureShadow != NULL);
  GLManager::getSpriteManager()->deleteSprite(textureShadow);
  textureShadow = nullptr;
}

void CubeType::loadTextures() {
  if (texturesLoaded.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(loadMutex);
  if (textureFace[0] != NULL) return;
  for (int i = 0; i < 6; ++i) {
    assert(textureFace[i] == NULL);
    assert(textureFaceShadowed[i] == NULL);
    assert(textureFaceBumpmap[i] == NULL);
    textureFace[i] = createFaceSprite(directoryTextures, textureNames[i]);
    textureFaceShadowed[i] = createFaceSprite(directoryShadowedTextures, textureNames[i]);
    const std::string bumpmapPath = existingFile(directoryBumpmapTextures, textureNames[i]);
    if (!bumpmapPath.empty()) textureFaceBumpmap[i] = createSprite(bumpmapPath);

    look.textureFace[i] = getTextureId(textureFace[i]);
    look.textureFaceShadowed[i] = getTextureId(textureFaceShadowed[i]);
    look.bumpmaps[i] = usableBumpmap(textureFaceBumpmap[i], bumpmapPath);
  }
  texturesLoaded.store(true, std::memory_order_release);
}

Bumpmap CubeType::usableBumpmap(const Sprite* sprite, const std::string& path) {
  const Bumpmap bumpmap = bumpmapOf(sprite);
  if (sprite == nullptr || (bumpmap.width == 4 && bumpmap.height == 4)) return bumpmap;
  // The near builder cuts every cube face into one small quad per bump map pixel: other sizes
  // would break its grid (or multiply the quads), so they are drawn flat.
  if (reportedBumpmaps.insert(path).second)
    showProblem("Bump map '" + path + "' is " + std::to_string(bumpmap.width) + " x " +
                std::to_string(bumpmap.height) + " pixels, not 4 x 4: its faces are drawn flat");
  return Bumpmap();
}

void CubeType::freeTextures() {
  std::lock_guard<std::mutex> lock(loadMutex);
  if (textureFace[0] == NULL) return;
  texturesLoaded.store(false, std::memory_order_release);
  std::cout << "Free unused texture for CubeType ..." << std::flush;
  SpriteManager* spriteManager = GLManager::getSpriteManager();
  for (int i = 0; i < 6; ++i) {
    assert(textureFace[i] != NULL);
    assert(textureFaceShadowed[i] != NULL);
    spriteManager->deleteSprite(textureFace[i]);
    textureFace[i] = nullptr;
    spriteManager->deleteSprite(textureFaceShadowed[i]);
    textureFaceShadowed[i] = nullptr;
    if (textureFaceBumpmap[i] != NULL) {
      spriteManager->deleteSprite(textureFaceBumpmap[i]);
      textureFaceBumpmap[i] = nullptr;
    }
    look.bumpmaps[i] = Bumpmap();
  }
  std::cout << " ... free unused texture done" << std::endl;
}

void CubeType::modify(const std::string parTextureNames[6], const bool parTextureOptions[3], bool parCollidable) {
  releaseShadowTexture();
  freeTextures();
  setDescription(parTextureNames, parTextureOptions, parCollidable);
  loadShadowTexture();
  loadTextures();
}
