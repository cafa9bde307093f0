#include <gtest/gtest.h>

#include <lua.hpp>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "script/LuaFuncs.h"
#include "TempDir.h"

// docs/script-api.md against the functions the script host really registers: a function added
// to the registration table without its description, or described but not registered, fails.
namespace {

/// The C functions among the globals of the state, by name.
std::map<std::string, lua_CFunction> globalCFunctions(lua_State* lua) {
  std::map<std::string, lua_CFunction> functions;
  lua_pushnil(lua);
  while (lua_next(lua, LUA_GLOBALSINDEX) != 0) {
    if (lua_type(lua, -2) == LUA_TSTRING && lua_iscfunction(lua, -1))
      functions[lua_tostring(lua, -2)] = lua_tocfunction(lua, -1);
    lua_pop(lua, 1);
  }
  return functions;
}

/// The functions the engine registers: the globals it adds or replaces.
std::set<std::string> registeredFunctions() {
  lua_State* lua = luaL_newstate();
  luaL_openlibs(lua);
  const std::map<std::string, lua_CFunction> standard = globalCFunctions(lua);
  LuaFuncs::registerEngineFunctions(lua);
  std::set<std::string> engine;
  for (const auto& [name, function] : globalCFunctions(lua)) {
    const auto before = standard.find(name);
    if (before == standard.end() || before->second != function) engine.insert(name);
  }
  lua_close(lua);
  return engine;
}

/// The functions the document describes: the first cell of its table rows, "| `name` |",
/// leaving out the callbacks ("Game.init", "Type.load").
std::set<std::string> documentedFunctions(const std::string& text) {
  std::set<std::string> names;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, 3, "| `") != 0) continue;
    const size_t end = line.find('`', 3);
    if (end == std::string::npos || line.compare(end, 3, "` |") != 0) continue;
    const std::string name = line.substr(3, end - 3);
    if (name.find('.') == std::string::npos) names.insert(name);
  }
  return names;
}

}  // namespace

TEST(ScriptApiDocTest, EveryRegisteredFunctionIsDocumentedAndNothingElse) {
  const std::string document = readFile(std::string(ENGINE_SOURCE_DIR) + "/docs/script-api.md");
  ASSERT_FALSE(document.empty());
  const std::set<std::string> registered = registeredFunctions();
  const std::set<std::string> documented = documentedFunctions(document);
  EXPECT_EQ(registered.size(), 92u);
  for (const std::string& name : registered) EXPECT_EQ(documented.count(name), 1u) << name << " is not documented";
  for (const std::string& name : documented) EXPECT_EQ(registered.count(name), 1u) << name << " is not registered";
}
