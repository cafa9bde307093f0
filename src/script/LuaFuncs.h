#ifndef ENGINE_LUAFUNCS_H
#define ENGINE_LUAFUNCS_H

#include <cstdint>
#include <set>
#include <string>

#include "world/CustomObjectsCallback.h"
#include "KeyboardManager.h"

struct lua_State;
class Font;
class SoundManager;
class World;

/// The script host: runs the game script in one Lua 5.1 state, offers it the engine functions
/// as globals, and calls the script's `Game` callbacks and the callbacks of the script object
/// types. Every script error ends the program with its report, followed by the Lua traceback;
/// in development mode it stops the script instead (see isStopped). One host exists at a time;
/// while it lives it is the script objects' callback.
class LuaFuncs : public CustomObjectsCallback {
 public:
  /// Resets the shared record (luaFuncsPrivate), stores the engine parts (borrowed, may be
  /// null), then loads and runs the script file.
  LuaFuncs(const std::string& parScriptFile, Font* parFont, SoundManager* parSound,
           World* parWorld, bool isDevelopmentMode = false);
  /// Releases the scheduled sprites and texts, closes the Lua state, stops being the objects'
  /// callback, and frees the sprites and models the script still held (one report counts
  /// them). Game.uninit is the owner's call, before this.
  ~LuaFuncs() override;
  LuaFuncs(const LuaFuncs&) = delete;
  LuaFuncs& operator=(const LuaFuncs&) = delete;

  void gameInit();
  void gameManage();
  void gameDraw3D();
  /// Clears the full-screen sprite flag, calls Game.draw2D, then draws what the script
  /// scheduled and the active text entry.
  void gameDraw2D();
  /// Not run when the script file did not load.
  void gameUninit();

  /// Development mode: whether a mistake stopped the script; the host then calls none of its
  /// functions. The mistake's text and traceback, printed once to standard error.
  bool isStopped() const;
  const std::string& getError() const;
  /// Development mode: the key that reloads the script (F8; no mode, menu or sample game uses
  /// it).
  static constexpr int reloadKey = KeyboardManager::keyF1 + 7;
  /// What follows the mistake on the console.
  static constexpr const char* stoppedNotice =
      "Development mode: the script is stopped. Save its file or press F8 to reload it.";

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
  /// A script error: the fatal report, or in development mode the script stopped.
  void fail(const std::string& text);
  /// Prints the mistake that stopped the script, once.
  void printStop();

  lua_State* lua;
  /// Whether the script file loaded and ran.
  bool isLoaded = false;
  bool isErrorPrinted = false;
  /// The undefined types already reported.
  std::set<uint32_t> reportedUndefinedTypes;
};

#endif
