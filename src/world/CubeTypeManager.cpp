#include "world/CubeTypeManager.h"

#include <iostream>

#include "Assert.h"

CubeTypeManager* CubeTypeManager::instance = nullptr;

CubeTypeManager::CubeTypeManager(std::function<void(int)> parRemoveZonesOfType)
    : removeZonesOfType(std::move(parRemoveZonesOfType)) {
  const std::string noNames[6];
  const bool defaultOptions[3] = {true, true, true};
  defaultCubeType.reset(new CubeType(noNames, defaultOptions, false));
  instance = this;
}

CubeTypeManager::~CubeTypeManager() {
  clear();
  defaultCubeType.reset();
  if (instance == this) instance = nullptr;
}

// A negative id converts to a huge size and fails the check too.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
CubeType* CubeTypeManager::getCubeType(int id) {
  assert(id < cubeTypes.size());
#pragma GCC diagnostic pop
  CubeType* cubeType = cubeTypes[id].get();
  cubeType->setIsUsed(true);
  return cubeType;
}

CubeType* CubeTypeManager::getCubeTypeForDrawing(int id) {
  if (isValidId(id)) return getCubeType(id);
  defaultCubeType->setIsUsed(true);
  return defaultCubeType.get();
}

int CubeTypeManager::addCubeType(const std::string textureNames[6], const bool textureOptions[3], bool collidable) {
  std::cout << "Add cube type with " << textureNames[0] << ", etc. and collidable = " << (collidable ? 1 : 0)
            << std::endl;
  cubeTypes.emplace_back(new CubeType(textureNames, textureOptions, collidable));
  return getNbCubeType() - 1;
}

void CubeTypeManager::removeLastCubeType() {
  if (cubeTypes.empty()) return;
  if (removeZonesOfType) removeZonesOfType(getNbCubeType() - 1);
  cubeTypes.pop_back();
}

void CubeTypeManager::clearUsedFlags() {
  for (auto& cubeType : cubeTypes) cubeType->setIsUsed(false);
}

void CubeTypeManager::freeUnusedTextures() {
  for (auto& cubeType : cubeTypes)
    if (!cubeType->getIsUsed() && !cubeType->keepTextures) cubeType->freeTextures();
}

void CubeTypeManager::clear() { cubeTypes.clear(); }
