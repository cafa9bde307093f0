#include "script/LuaFuncsGame.h"

#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "DeviceManager.h"
#include "editor/Editor3D.h"
#include "GLManager.h"
#include "KeyboardManager.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncsPrivate.h"
#include "scene/ConfiguredFiles.h"
#include "script/SaveGame.h"
#include "Utils.h"
#include "Assert.h"

namespace {

XMLSimple& config() {
  assert(DeviceManager::getInstance() != NULL, "changeConfigValue: no configuration store");
  return DeviceManager::getInstance()->getConfig();
}

KeyboardManager* keyboard() {
  assert(GLManager::getKeyboardManager() != NULL, "getKey: no keyboard");
  return GLManager::getKeyboardManager();
}

// The editor's step-by-step prompt takes the keys while it runs; the script must not see them.
bool isEditorPrompting() {
  return luaFuncsPrivate.editor != nullptr && luaFuncsPrivate.editor->isPrompting();
}

}  // namespace

int LuaFuncsGame::keyIndexFromName(const std::string& chars) {
  static const std::string prefix = "ASCII:";
  if (chars.size() > prefix.size() && chars.compare(0, prefix.size(), prefix) == 0) {
    const char* digits = chars.c_str() + prefix.size();
    char* end = nullptr;
    const long keyIndex = std::strtol(digits, &end, 10);
    assert(*end == '\0' && keyIndex >= 0 && keyIndex < KeyboardManager::nbKeys,
           "getKey: unknown key name " + chars);
    return static_cast<int>(keyIndex);
  }
  assert(chars.size() == 1);
  return static_cast<unsigned char>(chars[0]);
}

int LuaFuncsGame::print(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  std::cout << "lua print: ";
  switch (lua_type(lua, 1)) {
    case LUA_TLIGHTUSERDATA:
      std::cout << reinterpret_cast<uintptr_t>(lua_touserdata(lua, 1));
      break;
    case LUA_TNUMBER: {
      // As Lua writes numbers, so that whole numbers (times, counters) print in full.
      char text[LUAI_MAXNUMBER2STR];
      std::snprintf(text, sizeof text, LUA_NUMBER_FMT, lua_tonumber(lua, 1));
      std::cout << text;
      break;
    }
    case LUA_TBOOLEAN:
      std::cout << (lua_toboolean(lua, 1) ? 1 : 0);
      break;
    case LUA_TSTRING: {
      // Whole, even past a zero byte.
      size_t length = 0;
      const char* text = lua_tolstring(lua, 1, &length);
      std::cout.write(text, static_cast<std::streamsize>(length));
      break;
    }
    default:
      // nil, tables and functions have no text of their own.
      std::cout << luaL_typename(lua, 1);
      break;
  }
  std::cout << std::endl;
  return 0;
}

int LuaFuncsGame::assert_(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  assert(lua_tointeger(lua, 1), "An assert condition into lua script was false.");
  return 0;
}

int LuaFuncsGame::quitGame(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  luaFuncsPrivate.isQuitRequested = true;
  return 0;
}

int LuaFuncsGame::getTime(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  lua_pushnumber(lua, static_cast<lua_Number>(Utils::getTimeMs()));
  return 1;
}

int LuaFuncsGame::getPeriodDuration(lua_State* lua) {
  lua_pushnumber(lua, static_cast<lua_Number>(GLManager::getPeriodDuration()));
  return 1;
}

int LuaFuncsGame::setGlobalVar(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  assert(lua_isstring(lua, 1));
  assert(lua_isnumber(lua, 2));
  luaFuncsPrivate.globalVariables[LuaArgs::argString(lua, 1)] = LuaArgs::truncToInt32(lua_tonumber(lua, 2));
  return 0;
}

int LuaFuncsGame::getGlobalVar(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  assert(lua_isstring(lua, 1));
  const auto it = luaFuncsPrivate.globalVariables.find(LuaArgs::argString(lua, 1));
  lua_pushnumber(lua, it == luaFuncsPrivate.globalVariables.end() ? 0 : it->second);
  return 1;
}

int LuaFuncsGame::addToGlobalVar(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  const int32_t added = LuaArgs::truncToInt32(lua_tonumber(lua, 2));
  const auto inserted =
      luaFuncsPrivate.globalVariables.insert({LuaArgs::argString(lua, 1), added});
  int32_t& value = inserted.first->second;
  // Wraps around on overflow instead of leaving it undefined.
  if (!inserted.second)
    value = static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(added));
  lua_pushnumber(lua, value);
  return 1;
}

int LuaFuncsGame::loadGame(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0 || argc == 1);
  luaFuncsPrivate.pendingLoadName = argc == 1 ? LuaArgs::argString(lua, 1)
                                              : SaveGame::defaultName(luaFuncsPrivate.worldDataFile);
  return 0;
}

int LuaFuncsGame::saveGame(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0 || argc == 1);
  luaFuncsPrivate.pendingSaveName = argc == 1 ? LuaArgs::argString(lua, 1)
                                              : SaveGame::defaultName(luaFuncsPrivate.worldDataFile);
  return 0;
}

int LuaFuncsGame::startMainMenu(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  luaFuncsPrivate.isMainMenuRequested = true;
  return 0;
}

int LuaFuncsGame::setFogColor(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const lua_Integer r = lua_tointeger(lua, 1);
  const lua_Integer g = lua_tointeger(lua, 2);
  const lua_Integer b = lua_tointeger(lua, 3);
  assert(r < 256 && g < 256 && b < 256);
  assert(r >= 0 && g >= 0 && b >= 0);
  luaFuncsPrivate.clearColor[0] = static_cast<unsigned char>(r);
  luaFuncsPrivate.clearColor[1] = static_cast<unsigned char>(g);
  luaFuncsPrivate.clearColor[2] = static_cast<unsigned char>(b);
  luaFuncsPrivate.clearColor[3] = 255;
  return 0;
}

int LuaFuncsGame::changeConfigValueInt(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  config().setInt(LuaArgs::argString(lua, 1), static_cast<int>(lua_tointeger(lua, 2)));
  return 0;
}

int LuaFuncsGame::changeConfigValueBool(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  config().setBool(LuaArgs::argString(lua, 1), lua_toboolean(lua, 2) != 0);
  return 0;
}

int LuaFuncsGame::changeConfigValueString(lua_State* lua) {
  assert(lua_gettop(lua) == 2);
  const std::string key = LuaArgs::argString(lua, 1);
  const std::string value = LuaArgs::argString(lua, 2);
  // A file the scene cannot load would end the game frames later, naming only the file.
  const std::string problem = ConfiguredFiles::findProblem(key, value);
  if (!problem.empty()) {
    showProblem("changeConfigValueString(\"" + key + "\", \"" + value + "\") is refused: " + problem +
                "; \"" + key + "\" keeps its value \"" + config().getString(key) + "\"");
    return 0;
  }
  config().setString(key, value);
  return 0;
}

int LuaFuncsGame::changeConfigValueDouble(lua_State* lua) {
  assert(lua_gettop(lua) == 2);
  config().setDouble(LuaArgs::argString(lua, 1), lua_tonumber(lua, 2));
  return 0;
}

int LuaFuncsGame::getKey(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  const int keyIndex = keyIndexFromName(LuaArgs::argString(lua, 1));
  lua_pushboolean(lua, keyboard()->isKeyDown(keyIndex) && !isEditorPrompting());
  return 1;
}

int LuaFuncsGame::getKeyNoRepeat(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  const int keyIndex = keyIndexFromName(LuaArgs::argString(lua, 1));
  // The prompt is checked first so that it does not use up the press.
  lua_pushboolean(lua, !isEditorPrompting() && keyboard()->isKeyDownNoRepeat(keyIndex));
  return 1;
}

int LuaFuncsGame::getMouseInfos(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  for (int button = 0; button < GLManager::nbMouseButtons; ++button)
    lua_pushboolean(lua, GLManager::isMouseButtonDown(button));
  const Int2 position = GLManager::getMousePosition();
  lua_pushnumber(lua, position.x());
  lua_pushnumber(lua, position.y());
  return GLManager::nbMouseButtons + 2;
}
