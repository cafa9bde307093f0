#ifndef ENGINE_LUAFUNCSOBJECTS_H
#define ENGINE_LUAFUNCSOBJECTS_H

struct lua_State;
class CustomObject;

/// Engine functions for script objects: the type names, and what an object's callback does
/// with its own object (position, variables, self-destruction).
class LuaFuncsObjects {
 public:
  static int initActiveObjects(lua_State* lua);
  static int autoDestroyCurrentObject(lua_State* lua);
  static int getCurrentObjectPosition(lua_State* lua);
  static int setCurrentObjectPosition(lua_State* lua);
  static int setObjectLocalVariable(lua_State* lua);
  static int getObjectLocalVariable(lua_State* lua);
  static int setObjectLocalVariablePos(lua_State* lua);
  static int getObjectLocalVariablePos(lua_State* lua);
  static int setObjectLocalVariableString(lua_State* lua);
  static int getObjectLocalVariableString(lua_State* lua);

  /// The object whose callback runs now; outside object callbacks, the fatal report
  /// "luaFuncsPrivate.currentObject != NULL".
  static CustomObject* requireCurrentObject();
};

#endif
