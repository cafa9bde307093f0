#include "LuaFuncsSound.h"

#include <lua.hpp>

#include <algorithm>

#include "LuaFuncs.h"
#include "LuaFuncsGame.h"
#include "LuaFuncsPrivate.h"
#include "SoundManager.h"
#include "Sound_Abstract.h"
#include "Assert.h"

namespace {

Sound_Abstract* soundArgument(lua_State* lua, int index) {
  Sound_Abstract* soundp = static_cast<Sound_Abstract*>(lua_touserdata(lua, index));
  assert(soundp != 0);
  return soundp;
}

}  // namespace

unsigned char LuaFuncsSound::volumeFromScript(double volume) {
  return static_cast<unsigned char>(std::max(0, std::min(255, LuaFuncsGame::truncToInt32(volume * 256.))));
}

int LuaFuncsSound::loadSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  assert(luaFuncsPrivate.sound != NULL, "loadSound: the script has no sound system");
  lua_pushlightuserdata(lua, luaFuncsPrivate.sound->getSound(LuaFuncs::argString(lua, 1)));
  return 1;
}

int LuaFuncsSound::playSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  soundArgument(lua, 1)->play(false);
  return 0;
}

int LuaFuncsSound::stopSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  soundArgument(lua, 1)->stop();
  return 0;
}

int LuaFuncsSound::setSoundVolume(lua_State* lua) {
  assert(lua_gettop(lua) == 2);
  soundArgument(lua, 1)->setVolume(volumeFromScript(lua_tonumber(lua, 2)));
  return 0;
}

int LuaFuncsSound::isPlayingSound(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  lua_pushinteger(lua, soundArgument(lua, 1)->isPlaying() ? 1 : 0);
  return 1;
}
