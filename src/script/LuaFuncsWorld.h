#ifndef ENGINE_LUAFUNCSWORLD_H
#define ENGINE_LUAFUNCSWORLD_H

struct lua_State;

/// Engine functions for the script's world: cube edits and queries (cube units unless the
/// name ends in Real), the world file, and the script objects placed in the world.
class LuaFuncsWorld {
 public:
  static int getCubeTypeAt(lua_State* lua);
  static int createCube(lua_State* lua);
  static int removeCube(lua_State* lua);
  static int addCubesParallelepiped(lua_State* lua);
  static int addCubesSphere(lua_State* lua);
  static int getCollidingCubeInfosPosReal(lua_State* lua);
  static int saveWorld(lua_State* lua);

  static int createObject(lua_State* lua);
  static int removeObject(lua_State* lua);
  static int getObjectTypeAt(lua_State* lua);
};

#endif
