#ifndef ENGINE_LUAFUNCSGAME_H
#define ENGINE_LUAFUNCSGAME_H

#include <cstdint>
#include <string>

struct lua_State;

/// Engine functions for the script: console, time, global variables, save games, requests to
/// the main loop, configuration and input.
class LuaFuncsGame {
 public:
  static int print(lua_State* lua);
  static int assert_(lua_State* lua);
  static int quitGame(lua_State* lua);
  static int getTime(lua_State* lua);
  static int getPeriodDuration(lua_State* lua);
  static int setGlobalVar(lua_State* lua);
  static int getGlobalVar(lua_State* lua);
  static int addToGlobalVar(lua_State* lua);
  static int loadGame(lua_State* lua);
  static int saveGame(lua_State* lua);
  static int startMainMenu(lua_State* lua);
  static int setFogColor(lua_State* lua);
  static int changeConfigValueInt(lua_State* lua);
  static int changeConfigValueBool(lua_State* lua);
  static int changeConfigValueString(lua_State* lua);
  static int changeConfigValueDouble(lua_State* lua);
  static int getKey(lua_State* lua);
  static int getKeyNoRepeat(lua_State* lua);
  static int getMouseInfos(lua_State* lua);

  /// Key index of a key name: one character (its byte), or "ASCII:" and a decimal key index.
  /// Anything else, or an index outside the keyboard's keys, is a fatal report.
  static int keyIndexFromName(const std::string& chars);
};

#endif
