#ifndef ENGINE_CUSTOMOBJECT_H
#define ENGINE_CUSTOMOBJECT_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "BasicVector.h"

class CustomObjectsCallback;

/// A scripted thing placed in the world: a position, a type (whose behaviour is the Lua table
/// named after it) and three tables of variables the script uses while the object's callbacks
/// run. Regions hold their objects by value; global objects are also listed process-wide and
/// managed every frame wherever they lie.
///
/// Life: copying an object makes a second object (a copy of a global object is registered as
/// global too, and both get `uninit` when they go). Moving an object hands its life over: the
/// moved-from shell gets no `uninit` and leaves the global list, the new one takes its slot.
/// So a region moving an object to another region must std::move it, while erasing an object
/// from a list (assignment over it) destroys it and runs its type's `uninit`.
/// While a callback of an object runs, the object must stay where it is: manage() and draw()
/// go on using it afterwards, and the script reaches it as the current object. Lists that a
/// callback can grow (createObject) keep their objects at stable addresses, and an object
/// removed from inside its own callback is destroyed only after the callback.
class CustomObject {
 public:
  /// Size of the object record in the world file.
  static constexpr int recordSize = 20;
  /// Type ids at or beyond this are refused (a damaged world file must not make the type
  /// table grow without end).
  static constexpr uint32_t maxTypeId = 1u << 20;

  CustomObject(bool parIsGlobal, const Float3& parPosition, uint32_t parTypeId,
               const std::string& parInitString);
  /// From a world file record: position, type id, global flag, needs-init flag, two reserved
  /// bytes (little-endian). The variable tables start empty; a global object is registered.
  static CustomObject fromRecord(const unsigned char (&record)[recordSize]);
  /// The same 20 bytes back (reserved bytes 0).
  void toRecord(unsigned char (&record)[recordSize]) const;

  CustomObject(const CustomObject& other);
  CustomObject(CustomObject&& other) noexcept;
  CustomObject& operator=(const CustomObject& other);
  CustomObject& operator=(CustomObject&& other) noexcept;
  /// Runs the type's `uninit` and leaves the global list.
  ~CustomObject();

  /// A copy that owns no life: it gets no `uninit` and takes no place in the global list (the
  /// undo log keeps removed objects this way). A copy made of it is a live object again.
  CustomObject makeInertCopy() const;
  /// Memory held by the object and its variables, roughly (the undo log's budget).
  size_t getApproximateBytes() const;

  /// One frame of the object: loads its type when needed, runs `init` once, then `manage`.
  /// Returns true when the object asked to be destroyed (the owner then destroys it).
  bool manage();
  /// Draws the object through its type, with the model-view matrix at the object (camera
  /// view matrix translated to the position). In editor mode a wire-frame box marks it.
  void draw(bool isEditorMode = false);

  const Float3& getPosition() const { return position; }
  void setPosition(const Float3& parPosition) { position = parPosition; }
  uint32_t getTypeId() const { return typeId; }
  bool getIsGlobal() const { return isGlobal; }
  bool getIsAutoDestroy() const { return isAutoDestroy; }
  void setAutoDestroy() { isAutoDestroy = true; }
  bool getNeedsInit() const { return needsInit; }
  const std::string& getName() const { return name; }
  void setName(const std::string& parName) { name = parName; }

  /// Fatal report "it!=localVariables.end()" for an unknown name.
  double getObjectLocalVariable(const std::string& varName) const;
  void setObjectLocalVariable(const std::string& varName, double value);
  /// Fatal report "it!=localVariablesPos.end()" for an unknown index.
  Float3 getObjectLocalVariablePos(int index) const;
  void setObjectLocalVariablePos(int index, const Float3& value);
  /// Fatal report "it!=localVariablesString.end()" for an unknown name.
  const std::string& getObjectLocalVariableString(const std::string& varName) const;
  void setObjectLocalVariableString(const std::string& varName, const std::string& value);

  /// Where every object reaches its type: the script host while there is one. Null puts back
  /// the do-nothing callback. The callback is borrowed.
  static void setCallback(CustomObjectsCallback* parCallback);
  static CustomObjectsCallback* getCallback();

  /// Start of a frame: every type managed last frame (state 2) becomes merely loaded (1).
  static void resetUsedTypes();
  /// End of a frame: every loaded type that was not managed (state 1) gets `unload` (to 0).
  static void unloadUnusedTypes();
  /// Manages every registered global object once.
  static void manageGlobalObjects();

  /// Type states: 0 not loaded, 1 loaded, 2 loaded and managed during this frame.
  static int getTypeState(uint32_t typeId);
  /// Registered global objects (empty slots not counted).
  static int getNbGlobalObjects();

 private:
  void registerGlobal();
  void unregisterGlobal();
  /// Ends the life of the current value: `uninit`, then out of the global list.
  void release();
  /// Copies the fields of `other` (not the life).
  void copyFields(const CustomObject& other);
  /// Grows the type table to cover this object's type and loads the type when needed.
  void loadTypeIfNeeded();

  Float3 position;
  uint32_t typeId;
  std::map<std::string, double> localVariables;
  std::map<int, Float3> localVariablesPos;
  std::map<std::string, std::string> localVariablesString;
  std::string name;
  bool isAutoDestroy = false;
  bool isGlobal;
  bool needsInit = true;
  /// False once moved from: a shell that owns no life (no uninit, no global slot).
  bool isLive = true;
  /// Index in the global list, -1 when not registered.
  int globalSlot = -1;

  static std::vector<int> customObjectIsUsed;
  static std::vector<CustomObject*> globalObjects;
};

#endif
