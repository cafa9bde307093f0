#ifndef CUBETYPEMANAGER_H
#define CUBETYPEMANAGER_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "world/CubeType.h"

/// The registry of cube types: the id of a type is its index, types are only appended or
/// removed from the end. One instance, owned by the indexed world and reached through
/// getInstance(). Also holds the default type (six empty names, all options true, not
/// collidable) that draws zones whose id is not a valid one.
class CubeTypeManager {
 public:
  /// Registers the instance. `parRemoveZonesOfType` removes every zone of a type id from the
  /// world (the indexed world gives it); removeLastCubeType calls it first.
  explicit CubeTypeManager(std::function<void(int)> parRemoveZonesOfType = nullptr);
  ~CubeTypeManager();
  CubeTypeManager(const CubeTypeManager&) = delete;
  CubeTypeManager& operator=(const CubeTypeManager&) = delete;

  static CubeTypeManager* getInstance() { return instance; }

  int getNbCubeType() const { return static_cast<int>(cubeTypes.size()); }
  /// The type of that id (which must exist), marked used.
  CubeType* getCubeType(int id);
  /// The type that draws a zone of that id, marked used: the default type when the id is
  /// negative or not below getNbCubeType().
  CubeType* getCubeTypeForDrawing(int id);
  CubeType* getDefaultCubeType() { return defaultCubeType.get(); }
  bool isValidId(int id) const { return id >= 0 && id < getNbCubeType(); }

  /// Appends a type and returns its id.
  int addCubeType(const std::string textureNames[6], const bool textureOptions[3], bool collidable);
  /// Removes the last type's zones from the world, then the type.
  void removeLastCubeType();
  void clearUsedFlags();
  /// Frees the textures of every type neither used since clearUsedFlags nor kept.
  void freeUnusedTextures();
  /// Destroys every type (before a world file is read).
  void clear();

 private:
  static CubeTypeManager* instance;

  std::vector<std::unique_ptr<CubeType>> cubeTypes;
  std::unique_ptr<CubeType> defaultCubeType;
  std::function<void(int)> removeZonesOfType;
};

#endif
