#ifndef COREKIT_OBJMODEL_H
#define COREKIT_OBJMODEL_H

#include <memory>
#include <string>
#include <vector>

#include "Object3D.h"

class ObjModelData;

/// A Wavefront OBJ model, read once per file name into a process-wide cache and drawn through
/// a compiled display list. Every ObjModel of the same file shares the cache element, which is
/// freed with its last user; the element keeps its slot (with an empty name) for good.
/// Needs the OpenGL context (display lists, textures) and is used on the main thread only.
class ObjModel : public Object3D {
 public:
  /// One entry of the model cache.
  struct CacheElement {
    std::unique_ptr<ObjModelData> model;  ///< null once unloaded
    std::string fileName;                 ///< empty once unloaded
    unsigned int displayList = 0;
    int nbUses = 0;
  };

  /// Takes the cached model of that file or loads it: vertices multiplied by `scale`,
  /// vertices welded within `weldDistance` when it is positive. An empty name, a missing or a
  /// damaged file, or one that is no text file within ObjModelData::maxFileBytes (a device, a
  /// UTF-16 file) is a fatal report; a missing material library or texture is reported and the
  /// model goes on without it.
  ObjModel(const std::string& parFilename, float scale, float weldDistance);
  /// Releases one use of the cache element; the last one frees the model and its list.
  ~ObjModel() override;
  ObjModel(const ObjModel&) = delete;
  ObjModel& operator=(const ObjModel&) = delete;

  /// Calls the display list.
  void draw() override;
  /// The segment test of the model's triangles, in the model's own coordinates.
  bool testCollision(Float3 start, Float3 end, Float3& hitPoint) override;

  int getCacheIndex() const { return cacheIndex; }
  const ObjModelData* getModel() const;
  unsigned int getDisplayList() const;
  const std::string& getFileName() const;

  /// The cache, for inspection: elements in order of loading.
  static const std::vector<CacheElement>& getCache() { return cache; }

 private:
  int cacheIndex = -1;

  static std::vector<CacheElement> cache;
};

#endif
