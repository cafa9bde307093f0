#include "script/LuaFuncsSound.h"

#include <lua.hpp>

#include <algorithm>

#include "script/LuaArgs.h"
#include "script/LuaFuncsPrivate.h"
#include "SoundManager.h"
#include "Sound_Abstract.h"
#include "Assert.h"

unsigned char LuaFuncsSound::volumeFromScript(double volume) {
  return static_cast<unsigned char>(std::max(0, std::min(255, LuaArgs::truncToInt32(volume * 256.))));
}

int LuaFuncsSound::loadSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  assert(luaFuncsPrivate.sound != NULL, "loadSound: the script has no sound system");
  Sound_Abstract* sound = luaFuncsPrivate.sound->getSound(LuaArgs::argString(lua, 1));
  // Sounds stay with the sound system, which outlives every script host.
  luaFuncsPrivate.handles.add(ScriptHandles::sound, sound);
  lua_pushlightuserdata(lua, sound);
  return 1;
}

int LuaFuncsSound::playSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  LuaArgs::argSound(lua, 1, __func__)->play(false);
  return 0;
}

int LuaFuncsSound::stopSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  LuaArgs::argSound(lua, 1, __func__)->stop();
  return 0;
}

int LuaFuncsSound::setSoundVolume(lua_State* lua) {
  assert(lua_gettop(lua) == 2);
  LuaArgs::argSound(lua, 1, __func__)->setVolume(volumeFromScript(lua_tonumber(lua, 2)));
  return 0;
}

int LuaFuncsSound::isPlayingSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  lua_pushinteger(lua, LuaArgs::argSound(lua, 1, __func__)->isPlaying() ? 1 : 0);
  return 1;
}
