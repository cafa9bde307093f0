#ifndef COREKIT_SPRITEMANAGER_H
#define COREKIT_SPRITEMANAGER_H

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "BasicVector.h"

class ImageLoader;
class Sprite;

/// Colour as four bytes: red, green, blue, alpha.
using Color = BasicVector<4, unsigned char>;

/// The texture registry: every image file is read and uploaded once and shared by file name
/// between all sprites that use it, with a use count; the live sprites are listed in creation
/// order. One instance, created and deleted by GLManager (reach it through
/// GLManager::getSpriteManager()). Every sprite must be deleted before the registry goes.
///
/// The shared texture services (texture creation, current colour, screen clearing) are static
/// members here, as they only need the OpenGL context.
class SpriteManager {
 public:
  explicit SpriteManager(const std::string& parDefaultImageName);
  /// Fatal report "sprites.size() == 0" when a sprite is still alive.
  ~SpriteManager();
  SpriteManager(const SpriteManager&) = delete;
  SpriteManager& operator=(const SpriteManager&) = delete;

  /// A new sprite holding the shared image of `fileName` (the default image when empty); the
  /// registry keeps ownership: release it with deleteSprite.
  Sprite* createSprite(const std::string& fileName, int hotSpotAlignment);
  /// Releases the sprite's images and deletes it; an unknown sprite (or null) is ignored.
  void deleteSprite(Sprite* sprite);
  /// Releases one use of a shared image; frees it with its last use. Unknown images are ignored.
  void removeSprite(ImageLoader* image);

  const std::string& getDefaultImageName() const { return defaultImageName; }
  /// Live sprites, in creation order.
  std::vector<Sprite*> getSprites() const;
  /// Number of files loaded now.
  int getNbImages() const { return static_cast<int>(images.size()); }
  /// How many sprite image slots use that file (0 when it is not loaded).
  int getNbSpritesUsingImage(const std::string& fileName) const;

  /// Mip-mapped 2D texture from tightly packed rows of bytes (RGBA when hasAlpha, else RGB);
  /// returns its name. Null data is the fatal report "data != NULL".
  static int createTexture(const unsigned char* data, int width, int height, bool hasAlpha);
  /// Binds the texture and answers whether it has no alpha channel (its fragments then take
  /// their alpha from the colour alone).
  static bool isTextureWithoutAlpha(int texture);
  /// The current OpenGL colour, each component x 255 truncated.
  static Color getCurrentColor();
  /// Clears the colour and depth buffers with that colour.
  static void clearScreen(Color color);

 private:
  struct ImageEntry {
    int nbSpritesUsingThisImage;
    std::unique_ptr<ImageLoader> image;
  };

  ImageLoader* acquireImage(const std::string& fileName);

  std::string defaultImageName;
  std::map<std::string, ImageEntry> images;
  /// Live sprites by creation number, and the number of each: a model library may hold tens of
  /// thousands of textured materials, and deleting a sprite must not search them all.
  std::map<unsigned long long, Sprite*> sprites;
  std::unordered_map<const Sprite*, unsigned long long> spriteNumbers;
  unsigned long long nbSpritesCreated = 0;
};

#endif
