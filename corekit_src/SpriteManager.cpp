#include "SpriteManager.h"

#include <GL/gl.h>
#include <GL/glu.h>


#include "ImageLoader.h"
#include "Sprite.h"
#include "Assert.h"

SpriteManager::SpriteManager(const std::string& parDefaultImageName)
    : defaultImageName(parDefaultImageName) {}

SpriteManager::~SpriteManager() {
  assert(sprites.size() == 0);
}

Sprite* SpriteManager::createSprite(const std::string& fileName, int hotSpotAlignment) {
  ImageLoader* image = acquireImage(fileName.empty() ? defaultImageName : fileName);
  const std::vector<ImageLoader*> spriteImages{image};
  Sprite* tmpsprite = new Sprite(spriteImages, hotSpotAlignment);
  assert(tmpsprite != NULL);
  sprites.emplace(nbSpritesCreated, tmpsprite);
  spriteNumbers.emplace(tmpsprite, nbSpritesCreated);
  ++nbSpritesCreated;
  return tmpsprite;
}

std::vector<Sprite*> SpriteManager::getSprites() const {
  std::vector<Sprite*> live;
  live.reserve(sprites.size());
  for (const auto& numbered : sprites) live.push_back(numbered.second);
  return live;
}

ImageLoader* SpriteManager::acquireImage(const std::string& fileName) {
  const auto found = images.find(fileName);
  if (found != images.end()) {
    ++found->second.nbSpritesUsingThisImage;
    return found->second.image.get();
  }
  std::unique_ptr<ImageLoader> image(new ImageLoader(fileName, false));
  ImageLoader* result = image.get();
  images.emplace(fileName, ImageEntry{1, std::move(image)});
  return result;
}

void SpriteManager::deleteSprite(Sprite* sprite) {
  const auto found = spriteNumbers.find(sprite);
  if (found == spriteNumbers.end()) return;
  sprites.erase(found->second);
  spriteNumbers.erase(found);
  for (ImageLoader* image : sprite->getImages()) removeSprite(image);
  delete sprite;
}

void SpriteManager::removeSprite(ImageLoader* image) {
  auto lii = images.begin();
  while (lii != images.end() && lii->second.image.get() != image) ++lii;
  if (lii == images.end()) return;
  assert(lii->second.nbSpritesUsingThisImage > 0,
         "SpriteManager::removeSprite : the sprite has no image ?");
  if (--lii->second.nbSpritesUsingThisImage == 0) images.erase(lii);
}

int SpriteManager::getNbSpritesUsingImage(const std::string& fileName) const {
  const auto found = images.find(fileName);
  return found == images.end() ? 0 : found->second.nbSpritesUsingThisImage;
}

int SpriteManager::createTexture(const unsigned char* data, int width, int height,
                                 bool hasAlpha) {
  assert(data != NULL);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  // The rows are tightly packed: RGB rows of a 2-pixel-wide image are 6 bytes, which the
  // default 4-byte alignment would read past.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  const int mipmapres =
      gluBuild2DMipmaps(GL_TEXTURE_2D, hasAlpha ? 4 : 3, width, height,
                        hasAlpha ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, data);
  glPopClientAttrib();
  assert(mipmapres == 0);
  return static_cast<int>(texture);
}

bool SpriteManager::isTextureWithoutAlpha(int texture) {
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  GLint alphaSize = 1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaSize);
  return alphaSize == 0;
}

namespace {

// The current colour is kept unclamped: a component set above 1 or below 0 (or NaN) must not
// reach the byte conversion, which is undefined outside 0..255.
unsigned char colorByte(GLfloat component) {
  if (!(component > 0.f)) return 0;
  if (component >= 1.f) return 255;
  return static_cast<unsigned char>(component * 255);
}

}  // namespace

Color SpriteManager::getCurrentColor() {
  GLfloat color[4];
  glGetFloatv(GL_CURRENT_COLOR, color);
  return Color(colorByte(color[0]), colorByte(color[1]), colorByte(color[2]), colorByte(color[3]));
}

void SpriteManager::clearScreen(Color color) {
  glClearColor(color[0] / 255.f, color[1] / 255.f, color[2] / 255.f, color[3] / 255.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
