#ifndef ENGINE_SCRIPTCALLCONTEXT_H
#define ENGINE_SCRIPTCALLCONTEXT_H

#include <string>

#include "Assert.h"

struct lua_State;

/// One engine function running for the script. While it lives, every report raised on the main
/// thread is followed by the function's name, the script's file and line of the call and the
/// Lua traceback; when recoverable (development mode) the report unwinds as an
/// AssertionFailure to the binding that called the function, instead of ending the program.
class ScriptCallContext {
 public:
  ScriptCallContext(lua_State* parLua, const char* parFunction, bool isRecoverable);
  /// Puts back the context that was set before (an engine function may run a script callback
  /// that calls another).
  ~ScriptCallContext();
  ScriptCallContext(const ScriptCallContext&) = delete;
  ScriptCallContext& operator=(const ScriptCallContext&) = delete;

  /// "stack traceback:" then one line per call level from `level` on, as Lua's
  /// debug.traceback writes them ("\n\tfile:line: in function 'name'").
  static std::string traceback(lua_State* lua, int level);
  /// "file:line" of the first script function at `level` or above, "" when none has a line.
  static std::string where(lua_State* lua, int level);

 private:
  /// The lines that follow a report: the function, where the script called it, the traceback.
  static std::string describe(const void* data);

  lua_State* lua;
  const char* function;
  AssertionContext previous;
};

#endif
