#ifndef ENGINE_LUAFUNCS_H
#define ENGINE_LUAFUNCS_H

#include <cstdint>
#include <set>
#include <string>

#include "world/CustomObjectsCallback.h"

struct lua_State;
class Font;
class SoundManager;
class World;

/// The script host: runs the game script in one Lua 5.1 state, offers it the engine functions
/// as globals, and calls the script's `Game` callbacks and the callbacks of the script object
/// types. Every script error ends the program with its report. One host exists at a time;
/// while it lives it is the script objects' callback.
class LuaFuncs : public CustomObjectsCallback {
 public:
  /// Resets the shared record (luaFuncsPrivate), stores the engine parts (borrowed, may be
  /// null), then loads and runs the script file.
  LuaFuncs(const std::string& parScriptFile, Font* parFont, SoundManager* parSound,
           World* parWorld);
  /// Releases the scheduled sprites and texts, closes the Lua state and stops being the
  /// objects' callback. Game.uninit is the owner's call, before this.
  ~LuaFuncs() override;
  LuaFuncs(const LuaFuncs&) = delete;
  LuaFuncs& operator=(const LuaFuncs&) = delete;

  void gameInit();
  void gameManage();
  void gameDraw3D();
  /// Clears the full-screen sprite flag, calls Game.draw2D, then draws what the script
  /// scheduled and the active text entry.
  void gameDraw2D();
  void gameUninit();

  void load(uint32_t typeId) override;
  void init(uint32_t typeId, CustomObject* object) override;
  void manage(uint32_t typeId, CustomObject* object) override;
  void draw(uint32_t typeId, CustomObject* object) override;
  void uninit(uint32_t typeId, CustomObject* object) override;
  void unload(uint32_t typeId) override;
  /// Whether the id is among the script's type names and a table of that name exists. The
  /// first time a type is found undefined it is reported (its objects are kept, not run).
  bool isTypeDefined(uint32_t typeId) override;

  lua_State* getLuaState() { return lua; }

  /// Registers every engine function as a global of the state (print and assert replace the
  /// standard ones).
  static void registerEngineFunctions(lua_State* lua);

 private:
  /// `table.function()` with no arguments and no results, the stack left as found. A missing
  /// table fails like a missing function.
  void call(const char* table, const char* function);
  /// The callback of an object type; `object` becomes the current object while it runs.
  void callType(uint32_t typeId, const char* function, CustomObject* object);

  lua_State* lua;
  /// The undefined types already reported.
  std::set<uint32_t> reportedUndefinedTypes;
};

#endif
