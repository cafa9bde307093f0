#include "script/LuaFuncsWorld.h"

#include <lua.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "world/CustomObject.h"
#include "world/IndexedWorld.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncsPrivate.h"
#include "scene/World.h"
#include "Assert.h"

namespace {

IndexedWorld& indexedWorld(const char* function) {
  return luaFuncsPrivate.requireWorld(function).getIndexedWorld();
}

int32_t cubeTypeArgument(lua_State* lua, int index) {
  return LuaArgs::truncToInt32(lua_tonumber(lua, index));
}

}  // namespace

int LuaFuncsWorld::getCubeTypeAt(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  lua_pushinteger(lua, indexedWorld("getCubeTypeAt").getCubeTypeAtCell(LuaArgs::argCube(lua, 1)));
  return 1;
}

int LuaFuncsWorld::createCube(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 4);
  indexedWorld("createCube").createCube(LuaArgs::argCube(lua, 1), cubeTypeArgument(lua, 4));
  return 0;
}

int LuaFuncsWorld::removeCube(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  indexedWorld("removeCube").removeCube(LuaArgs::argCube(lua, 1));
  return 0;
}

int LuaFuncsWorld::addCubesParallelepiped(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 7);
  indexedWorld("addCubesParallelepiped")
      .addCubesParallelepiped(LuaArgs::argCube(lua, 1), LuaArgs::argCube(lua, 4), cubeTypeArgument(lua, 7));
  return 0;
}

int LuaFuncsWorld::addCubesSphere(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 5);
  indexedWorld("addCubesSphere")
      .addCubesSphere(LuaArgs::argCube(lua, 1), static_cast<float>(lua_tonumber(lua, 4)), cubeTypeArgument(lua, 5));
  return 0;
}

int LuaFuncsWorld::getCollidingCubeInfosPosReal(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  Float3 centre(0.f, 0.f, 0.f);
  Float3 size(0.f, 0.f, 0.f);
  const int32_t code =
      indexedWorld("getCollidingCubeInfosPosReal").getCollidingCubeInfos(LuaArgs::argFloat3(lua, 1), centre, size);
  lua_pushinteger(lua, code);
  LuaArgs::pushFloat3(lua, centre);
  LuaArgs::pushFloat3(lua, size);
  return 7;
}

int LuaFuncsWorld::saveWorld(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0 || argc == 1);
  World& world = luaFuncsPrivate.requireWorld("saveWorld");
  const std::string name = argc == 1 ? LuaArgs::argString(lua, 1) : std::string();
  world.getIndexedWorld().saveWorld(name.empty() ? world.getWorldFile() : name);
  return 0;
}

int LuaFuncsWorld::createObject(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 5 || argc == 6);
  const Float3 position = LuaArgs::argFloat3(lua, 1);
  const std::vector<std::string>& names = luaFuncsPrivate.activeObjectsNames;
  const auto found = std::find(names.begin(), names.end(), LuaArgs::argString(lua, 4));
  // An object at a position that is not a number could never be found again, yet would be
  // saved with the world.
  if (found == names.end() || !isFinite(position)) return 0;
  const uint32_t typeId = static_cast<uint32_t>(found - names.begin());
  const std::string initString = argc == 6 ? LuaArgs::argString(lua, 6) : std::string();
  indexedWorld("createObject")
      .addCustomObject(std::make_unique<CustomObject>(lua_toboolean(lua, 5) != 0, position, typeId, initString));
  return 0;
}

int LuaFuncsWorld::removeObject(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  // The region defers the destruction of an object whose own callback is running.
  lua_pushboolean(lua, indexedWorld("removeObject").removeCustomObject(LuaArgs::argFloat3(lua, 1), false));
  return 1;
}

int LuaFuncsWorld::getObjectTypeAt(lua_State* lua) {
  assert(lua_gettop(lua) == 3);
  const int32_t id = indexedWorld("getObjectTypeAt").getCustomObjectIdAt(LuaArgs::argFloat3(lua, 1));
  // An object of a type this script does not name (kept from a world saved with another
  // script) has no name here.
  const std::vector<std::string>& names = luaFuncsPrivate.activeObjectsNames;
  const std::string name = id < 0 || static_cast<size_t>(id) >= names.size() ? std::string() : names[static_cast<size_t>(id)];
  lua_pushlstring(lua, name.data(), name.size());
  return 1;
}
