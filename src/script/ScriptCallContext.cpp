#include "script/ScriptCallContext.h"

#include <lua.hpp>

namespace {

// As Lua's own traceback: the first levels, then "...", then the last ones.
constexpr int firstLevels = 12;
constexpr int lastLevels = 10;

bool hasLevel(lua_State* lua, int level) {
  lua_Debug record;
  return lua_getstack(lua, level, &record) != 0;
}

}  // namespace

ScriptCallContext::ScriptCallContext(lua_State* parLua, const char* parFunction, bool isRecoverable)
    : lua(parLua), function(parFunction) {
  AssertionContext context;
  context.describe = &ScriptCallContext::describe;
  context.data = this;
  context.isRecoverable = isRecoverable;
  previous = setAssertionContext(context);
}

ScriptCallContext::~ScriptCallContext() { setAssertionContext(previous); }

std::string ScriptCallContext::traceback(lua_State* lua, int level) {
  std::string text = "stack traceback:";
  lua_Debug record;
  for (bool isFirst = true; lua_getstack(lua, level, &record) != 0; ++level) {
    if (level >= firstLevels && isFirst && hasLevel(lua, level + lastLevels)) {
      text += "\n\t...";
      // Jump to the last levels: find the deepest one, then step back.
      int last = level + lastLevels;
      while (hasLevel(lua, last + 1)) ++last;
      level = last - lastLevels;
      isFirst = false;
      continue;
    }
    lua_getinfo(lua, "Snl", &record);
    text += "\n\t";
    text += record.short_src;
    text += ":";
    if (record.currentline > 0) text += std::to_string(record.currentline) + ":";
    if (*record.namewhat != '\0')
      text += std::string(" in function '") + record.name + "'";
    else if (*record.what == 'm')
      text += " in main chunk";
    else if (*record.what == 'C' || *record.what == 't')
      text += " ?";
    else
      text += std::string(" in function <") + record.short_src + ":" + std::to_string(record.linedefined) + ">";
  }
  return text;
}

std::string ScriptCallContext::where(lua_State* lua, int level) {
  lua_Debug record;
  for (; lua_getstack(lua, level, &record) != 0; ++level) {
    lua_getinfo(lua, "Sl", &record);
    if (record.currentline > 0) return std::string(record.short_src) + ":" + std::to_string(record.currentline);
  }
  return "";
}

std::string ScriptCallContext::describe(const void* data) {
  const ScriptCallContext& call = *static_cast<const ScriptCallContext*>(data);
  const std::string at = where(call.lua, 1);
  return std::string("Script function: ") + call.function + "\nCalled from: " + (at.empty() ? "(no script line)" : at) +
         "\n" + traceback(call.lua, 0) + "\n";
}
