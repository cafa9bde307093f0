#include "world/CubeZoneLooks.h"

#include "world/CubeType.h"
#include "world/CubeTypeManager.h"
#include "Assert.h"
#include "ImageLoader.h"
#include "Sprite.h"

bool shadowsEnabled = true;

namespace {

/// Whether every face image of a type (lit and shadowed) is without alpha channel. Its
/// textures must be loaded.
bool hasOpaqueFaces(const CubeType& type) {
  for (int i = 0; i < 6; ++i)
    for (const Sprite* sprite : {type.textureFace[i], type.textureFaceShadowed[i]})
      if (sprite == nullptr || sprite->getImages()[sprite->currentImage]->getIsAlpha()) return false;
  return true;
}

}  // namespace

std::vector<CubeZone::DrawLook> CubeZoneLooks::drawLooksOf(const CubeZone* zones, size_t nbZones) {
  CubeTypeManager* manager = CubeTypeManager::getInstance();
  const bool withShadows = shadowsEnabled;
  std::vector<CubeZone::DrawLook> looks(nbZones);
  for (size_t k = 0; k < nbZones; ++k) {
    CubeType* cubeType = manager->getCubeTypeForDrawing(zones[k].id);
    cubeType->loadTextures();
    looks[k].look = &cubeType->getLook();
    looks[k].drawShadowTriangles = manager->isValidId(zones[k].id) && withShadows;
    looks[k].isOpaque = hasOpaqueFaces(*cubeType);
  }
  return looks;
}

void CubeZoneLooks::buildFar(const CubeZone& zone, MeshGroupMap& groups, const CubesTable& table) {
  CubeTypeManager* manager = CubeTypeManager::getInstance();
  CubeType* cubeType = manager->getCubeTypeForDrawing(zone.id);
  cubeType->loadTextures();
  zone.buildFar(groups, table, cubeType->getLook(), manager->isValidId(zone.id) && shadowsEnabled);
}

void CubeZoneLooks::buildNear(const CubeZone& zone, MeshGroupMap& groups, const CubesTable& table) {
  CubeType* cubeType = CubeTypeManager::getInstance()->getCubeTypeForDrawing(zone.id);
  cubeType->loadTextures();
  zone.buildNear(groups, table, cubeType->getLook());
}

void CubeZoneLooks::buildFar(const CubeZone* zones, size_t nbZones, MeshGroupMap& groups, const CubesTable& table,
                             SharedRange* claims, bool joinFaces) {
  const std::vector<CubeZone::DrawLook> looks = drawLooksOf(zones, nbZones);
  CubeZone::buildFar(zones, looks.data(), nbZones, groups, table, claims, joinFaces);
}

void CubeZoneLooks::buildNear(const CubeZone* zones, size_t nbZones, MeshGroupMap& groups, const CubesTable& table,
                              SharedRange* claims, bool joinFaces) {
  const std::vector<CubeZone::DrawLook> looks = drawLooksOf(zones, nbZones);
  CubeZone::buildNear(zones, looks.data(), nbZones, groups, table, claims, joinFaces);
}

bool CubeZoneLooks::contains(const CubeZone& zone, const Float3& point) {
  const int32_t id = zone.id;
  assert(id >= 0);
  // Fetching by id checks "id < cubeTypes.size()" and marks the type used.
  const CubeType* cubeType = CubeTypeManager::getInstance()->getCubeType(id);
  if (!cubeType->collidable) return false;
  return zone.isInBox(point);
}
