#include "scene/Skybox.h"

#include <GL/glew.h>

#include "GLManager.h"
#include "ImageLoader.h"
#include "Scene3D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "Assert.h"

Skybox::Skybox(const std::string& parDirectory) : directory(parDirectory) {
  SpriteManager* registry = GLManager::getSpriteManager();
  assert(registry != NULL, "Skybox: no texture registry");
  for (int face = 0; face < nbFaces; ++face) {
    sprites[face] = registry->createSprite(directory + faceFileNames[face], 1);
    textureIds[face] = sprites[face]->getImages()[0]->getTexture();
    isOpaque = isOpaque && !sprites[face]->getImages()[0]->getIsAlpha();
  }
}

Skybox::~Skybox() {
  SpriteManager* registry = GLManager::getSpriteManager();
  if (registry == nullptr) return;
  for (Sprite* sprite : sprites) registry->deleteSprite(sprite);
}

void Skybox::draw() {
  Scene3D* scene = GLManager::getScene3D();
  glColor4ub(255, 255, 255, 255);
  glPushMatrix();
  glLoadMatrixf(scene->getViewMatrix());
  const Float3& camera = scene->getCamera()->getPosition();
  glTranslatef(camera.x(), camera.y(), camera.z());
  const bool isOpaqueDraw = scene->beginOpaqueDraw(isOpaque);
  Scene3D::drawBox(textureIds, true, size, Float3(1.f, 1.f, 1.f));
  Scene3D::endOpaqueDraw(isOpaqueDraw);
  glPopMatrix();
}
