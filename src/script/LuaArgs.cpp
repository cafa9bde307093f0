#include "script/LuaArgs.h"

#include <lua.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

#include "script/LuaFuncsPrivate.h"

std::string LuaArgs::argString(lua_State* lua, int index) {
  size_t length = 0;
  const char* text = lua_tolstring(lua, index, &length);
  return text != nullptr ? std::string(text, length) : std::string();
}

Float3 LuaArgs::argFloat3(lua_State* lua, int firstIndex) {
  return Float3(static_cast<float>(lua_tonumber(lua, firstIndex)),
                static_cast<float>(lua_tonumber(lua, firstIndex + 1)),
                static_cast<float>(lua_tonumber(lua, firstIndex + 2)));
}

Int3 LuaArgs::argCube(lua_State* lua, int firstIndex) {
  constexpr int32_t farthest = 1000000000;
  Int3 cube;
  for (int axis = 0; axis < 3; ++axis) {
    const int32_t value = truncToInt32(lua_tonumber(lua, firstIndex + axis));
    cube[axis] = std::max(-farthest, std::min(farthest, value));
  }
  return cube;
}

Sprite* LuaArgs::argSprite(lua_State* lua, int index, const char* function) {
  return static_cast<Sprite*>(
      luaFuncsPrivate.handles.requireLive(ScriptHandles::sprite, lua_touserdata(lua, index), function));
}

Animated3DModel* LuaArgs::argModel(lua_State* lua, int index, const char* function) {
  return static_cast<Animated3DModel*>(
      luaFuncsPrivate.handles.requireLive(ScriptHandles::model, lua_touserdata(lua, index), function));
}

Sound_Abstract* LuaArgs::argSound(lua_State* lua, int index, const char* function) {
  return static_cast<Sound_Abstract*>(
      luaFuncsPrivate.handles.requireLive(ScriptHandles::sound, lua_touserdata(lua, index), function));
}

int LuaArgs::pushFloat3(lua_State* lua, const Float3& value) {
  for (int axis = 0; axis < 3; ++axis) lua_pushnumber(lua, value[axis]);
  return 3;
}

int LuaArgs::pushInt3(lua_State* lua, const Int3& value) {
  for (int axis = 0; axis < 3; ++axis) lua_pushinteger(lua, value[axis]);
  return 3;
}

int32_t LuaArgs::truncToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}
