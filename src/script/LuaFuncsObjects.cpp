#include "script/LuaFuncsObjects.h"

#include <GL/gl.h>
#include <lua.hpp>

#include "world/CustomObject.h"
#include "GLManager.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncsPrivate.h"
#include "Scene3D.h"
#include "Assert.h"

CustomObject* LuaFuncsObjects::requireCurrentObject() {
  assert(luaFuncsPrivate.currentObject != NULL);
  return luaFuncsPrivate.currentObject;
}

int LuaFuncsObjects::initActiveObjects(lua_State* lua) {
  const int argc = lua_gettop(lua);
  for (int i = 1; i <= argc; ++i) luaFuncsPrivate.activeObjectsNames.push_back(LuaArgs::argString(lua, i));
  return 0;
}

int LuaFuncsObjects::autoDestroyCurrentObject(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  requireCurrentObject()->setAutoDestroy();
  return 0;
}

int LuaFuncsObjects::getCurrentObjectPosition(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  return LuaArgs::pushFloat3(lua, requireCurrentObject()->getPosition());
}

int LuaFuncsObjects::setCurrentObjectPosition(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 position = LuaArgs::argFloat3(lua, 1);
  // The object keeps its region; the region moves it at its next step. A position that is not
  // a finite number is not kept: the object could never be found again, and the world file
  // saved with it would be refused as damaged.
  if (luaFuncsPrivate.currentObject != NULL && isFinite(position))
    luaFuncsPrivate.currentObject->setPosition(position);
  if (Scene3D* scene = GLManager::getScene3D()) {
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(scene->getViewMatrix());
    glTranslatef(position.x(), position.y(), position.z());
  }
  return 0;
}

int LuaFuncsObjects::setObjectLocalVariable(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  requireCurrentObject()->setObjectLocalVariable(LuaArgs::argString(lua, 1), lua_tonumber(lua, 2));
  return 0;
}

int LuaFuncsObjects::getObjectLocalVariable(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  lua_pushnumber(lua, requireCurrentObject()->getObjectLocalVariable(LuaArgs::argString(lua, 1)));
  return 1;
}

int LuaFuncsObjects::setObjectLocalVariablePos(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 4);
  const Float3 value = LuaArgs::argFloat3(lua, 2);
  requireCurrentObject()->setObjectLocalVariablePos(static_cast<int>(lua_tointeger(lua, 1)), value);
  return 0;
}

int LuaFuncsObjects::getObjectLocalVariablePos(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  return LuaArgs::pushFloat3(lua, requireCurrentObject()->getObjectLocalVariablePos(
                             static_cast<int>(lua_tointeger(lua, 1))));
}

int LuaFuncsObjects::setObjectLocalVariableString(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  requireCurrentObject()->setObjectLocalVariableString(LuaArgs::argString(lua, 1),
                                                       LuaArgs::argString(lua, 2));
  return 0;
}

int LuaFuncsObjects::getObjectLocalVariableString(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  const std::string& value =
      requireCurrentObject()->getObjectLocalVariableString(LuaArgs::argString(lua, 1));
  lua_pushlstring(lua, value.data(), value.size());
  return 1;
}
