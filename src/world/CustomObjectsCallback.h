#ifndef ENGINE_CUSTOMOBJECTSCALLBACK_H
#define ENGINE_CUSTOMOBJECTSCALLBACK_H

#include <cstdint>

class CustomObject;

/// How script objects reach the behaviour of their type: the script host implements it by
/// calling the functions of the type's Lua table. This base does nothing, so objects can live
/// (loaded from a world file, edited) while no script is loaded.
class CustomObjectsCallback {
 public:
  virtual ~CustomObjectsCallback() = default;

  /// First use of the type since it was last unloaded.
  virtual void load(uint32_t typeId);
  /// Once per object, before its first manage.
  virtual void init(uint32_t typeId, CustomObject* object);
  virtual void manage(uint32_t typeId, CustomObject* object);
  /// The model-view matrix is placed at the object when this runs.
  virtual void draw(uint32_t typeId, CustomObject* object);
  /// The object is being destroyed (whether or not init ran).
  virtual void uninit(uint32_t typeId, CustomObject* object);
  /// No object of the type was managed during the last frame.
  virtual void unload(uint32_t typeId);
  /// Whether the type has a behaviour to run. Objects of a type that has none (a world saved
  /// with another script) stay in the world as they are, but none of the operations above is
  /// called for them. This base defines every type.
  virtual bool isTypeDefined(uint32_t typeId);
};

#endif
