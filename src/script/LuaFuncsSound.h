#ifndef ENGINE_LUAFUNCSSOUND_H
#define ENGINE_LUAFUNCSSOUND_H

struct lua_State;

/// Engine functions for the script's sounds. A handle is a light userdata pointing at a sound
/// that the sound system keeps (cached by file name) until it ends.
class LuaFuncsSound {
 public:
  static int loadSound(lua_State* lua);
  static int playSound(lua_State* lua);
  static int stopSound(lua_State* lua);
  static int setSoundVolume(lua_State* lua);
  static int isPlayingSound(lua_State* lua);

  /// trunc(volume * 256) held to 0..255 (NaN gives 0).
  static unsigned char volumeFromScript(double volume);
};

#endif
