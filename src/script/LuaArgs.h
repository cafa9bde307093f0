#ifndef ENGINE_LUAARGS_H
#define ENGINE_LUAARGS_H

#include <cstdint>
#include <string>

#include "BasicVector.h"

struct lua_State;
class Animated3DModel;
class Sound_Abstract;
class Sprite;

/// How the engine functions offered to the script read their arguments and push their
/// results: text, positions, cubes, the script's handles and numbers made integers. Every
/// script module uses them; none registers anything.
class LuaArgs {
 public:
  /// Argument `index` as text (numbers converted); "" when it is not a string or a number.
  static std::string argString(lua_State* lua, int index);
  /// Arguments `firstIndex` .. `firstIndex` + 2 as a real position.
  static Float3 argFloat3(lua_State* lua, int firstIndex);
  /// Arguments `firstIndex` .. `firstIndex` + 2 as a cube position: truncated, NaN as 0, held
  /// within +-1e9 so that cube arithmetic (a cube's far corner) cannot overflow.
  static Int3 argCube(lua_State* lua, int firstIndex);
  /// Argument `index` as a handle the script was given and still holds: a missing one fails
  /// "spritep != 0" (or "modelp != 0", "soundp != 0"), one that is freed or of another kind
  /// fails "<function>: not a live sprite handle" (model, sound), before anything touches it.
  static Sprite* argSprite(lua_State* lua, int index, const char* function);
  static Animated3DModel* argModel(lua_State* lua, int index, const char* function);
  static Sound_Abstract* argSound(lua_State* lua, int index, const char* function);
  /// Pushes the three components; returns 3, the number of results.
  static int pushFloat3(lua_State* lua, const Float3& value);
  static int pushInt3(lua_State* lua, const Int3& value);
  /// trunc(value) as a 32-bit integer, saturated at the ends of the range (NaN gives 0).
  static int32_t truncToInt32(double value);
};

#endif
