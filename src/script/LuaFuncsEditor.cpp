#include "script/LuaFuncsEditor.h"

#include <lua.hpp>

#include <optional>
#include <string>

#include "DeviceManager.h"
#include "editor/Editor3D.h"
#include "script/Graph.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncsPrivate.h"
#include "Network.h"
#include "Assert.h"

namespace {

bool inEditorMode() { return luaFuncsPrivate.isEditorMode != nullptr && *luaFuncsPrivate.isEditorMode; }

}  // namespace

int LuaFuncsEditor::isEditorMode(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  lua_pushboolean(lua, inEditorMode());
  return 1;
}

int LuaFuncsEditor::setEditorMode(lua_State* lua) {
  assert(lua_gettop(lua) == 1);
  if (luaFuncsPrivate.isEditorMode != nullptr) *luaFuncsPrivate.isEditorMode = lua_toboolean(lua, 1) != 0;
  return 0;
}

int LuaFuncsEditor::startCubeCreation(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  // The editor ignores a start while a selection is under way.
  if (luaFuncsPrivate.editor != nullptr && !inEditorMode())
    luaFuncsPrivate.editor->startCubeCreation(LuaArgs::argFloat3(lua, 1));
  return 0;
}

int LuaFuncsEditor::manageCubeCreation(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  Int3 moving(0, 0, 0);
  Int3 start(0, 0, 0);
  bool isDone = false;
  Editor3D* editor = luaFuncsPrivate.editor;
  if (editor != nullptr && !inEditorMode() && editor->isCubeCreationActive())
    isDone = editor->manageCubeCreation(moving, start);
  lua_pushinteger(lua, isDone ? 1 : 0);
  LuaArgs::pushInt3(lua, moving);
  LuaArgs::pushInt3(lua, start);
  return 7;
}

int LuaFuncsEditor::getEditorCursorPosition(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  // Without an editor (a script run on its own) the cursor rests at the origin.
  const Int3 cursor = luaFuncsPrivate.editor != nullptr ? luaFuncsPrivate.editor->getCursorPosition() : Int3(0, 0, 0);
  return LuaArgs::pushInt3(lua, cursor);
}

int LuaFuncsEditor::clearGraph(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  Graph::getInstance()->clearGraph();
  return 0;
}

int LuaFuncsEditor::addSegmentInGraph(lua_State* lua) {
  assert(lua_gettop(lua) == 6);
  Graph::getInstance()->addSegmentInGraph(LuaArgs::argFloat3(lua, 1), LuaArgs::argFloat3(lua, 4));
  return 0;
}

int LuaFuncsEditor::removeSegmentFromGraph(lua_State* lua) {
  assert(lua_gettop(lua) == 6);
  Graph::getInstance()->removeSegmentFromGraph(LuaArgs::argFloat3(lua, 1), LuaArgs::argFloat3(lua, 4));
  return 0;
}

int LuaFuncsEditor::findPathInGraph(lua_State* lua) {
  assert(lua_gettop(lua) == 6);
  lua_pushinteger(lua, Graph::getInstance()->findPathInGraph(LuaArgs::argFloat3(lua, 1), LuaArgs::argFloat3(lua, 4)));
  return 1;
}

int LuaFuncsEditor::getPageFromWebServer(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  // A page that cannot be had was reported by the client; the script gets an empty page and
  // the status 0.
  const DeviceManager* device = DeviceManager::getInstance();
  const double timeoutSeconds =
      device != nullptr ? device->getConfig().getDouble("web_request_timeout") : 0.0;
  int status = 0;
  const std::optional<std::string> page =
      Network::getPageFromWebServer(lua_toboolean(lua, 2) != 0, LuaArgs::argString(lua, 1),
                                    luaFuncsPrivate.webServerPort, timeoutSeconds, &status);
  const std::string body = page.value_or(std::string());
  // With its length: a binary page keeps its zero bytes.
  lua_pushlstring(lua, body.data(), body.size());
  lua_pushinteger(lua, status);
  return 2;
}
