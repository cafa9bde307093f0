#include "script/LuaFuncs.h"

#include <lua.hpp>

#include <iostream>

#include "world/CustomObject.h"
#include "EditText.h"
#include "script/LuaFuncs2D.h"
#include "script/LuaFuncs3D.h"
#include "script/LuaFuncsEditor.h"
#include "script/LuaFuncsGame.h"
#include "script/LuaFuncsObjects.h"
#include "script/LuaFuncsPrivate.h"
#include "script/LuaFuncsSound.h"
#include "script/LuaFuncsWorld.h"
#include "script/ScriptCallContext.h"
#include "Utils.h"
#include "AssertionFailure.h"
#include "Assert.h"

namespace {

// Every engine function the script sees, by domain. Each function checks its argument count
// first.
const luaL_Reg engineFunctions[] = {
    // Console, time and game state
    {"print", LuaFuncsGame::print},
    {"assert", LuaFuncsGame::assert_},
    {"quitGame", LuaFuncsGame::quitGame},
    {"getTime", LuaFuncsGame::getTime},
    {"getPeriodDuration", LuaFuncsGame::getPeriodDuration},
    {"setGlobalVar", LuaFuncsGame::setGlobalVar},
    {"getGlobalVar", LuaFuncsGame::getGlobalVar},
    {"addToGlobalVar", LuaFuncsGame::addToGlobalVar},
    {"loadGame", LuaFuncsGame::loadGame},
    {"saveGame", LuaFuncsGame::saveGame},
    {"startMainMenu", LuaFuncsGame::startMainMenu},
    {"setFogColor", LuaFuncsGame::setFogColor},
    {"changeConfigValueInt", LuaFuncsGame::changeConfigValueInt},
    {"changeConfigValueBool", LuaFuncsGame::changeConfigValueBool},
    {"changeConfigValueString", LuaFuncsGame::changeConfigValueString},
    {"changeConfigValueDouble", LuaFuncsGame::changeConfigValueDouble},
    // Input
    {"getKey", LuaFuncsGame::getKey},
    {"getKeyNoRepeat", LuaFuncsGame::getKeyNoRepeat},
    {"getMouseInfos", LuaFuncsGame::getMouseInfos},
    // 2D drawing and text
    {"getWindowSize", LuaFuncs2D::getWindowSize},
    {"setColor", LuaFuncs2D::setColor},
    {"drawText", LuaFuncs2D::drawText},
    {"scheduleDrawTextCenter", LuaFuncs2D::scheduleDrawTextCenter},
    {"load2DSprite", LuaFuncs2D::load2DSprite},
    {"draw2DSprite", LuaFuncs2D::draw2DSprite},
    {"scheduleDraw2DSprite", LuaFuncs2D::scheduleDraw2DSprite},
    {"unload2DSprite", LuaFuncs2D::unload2DSprite},
    {"drawSpriteFullscreen", LuaFuncs2D::drawSpriteFullscreen},
    {"drawSpriteFullscreenStretched", LuaFuncs2D::drawSpriteFullscreenStretched},
    {"createEditText", LuaFuncs2D::createEditText},
    {"removeEditTextAndGetText", LuaFuncs2D::removeEditTextAndGetText},
    // Script objects
    {"initActiveObjects", LuaFuncsObjects::initActiveObjects},
    {"autoDestroyCurrentObject", LuaFuncsObjects::autoDestroyCurrentObject},
    {"getCurrentObjectPosition", LuaFuncsObjects::getCurrentObjectPosition},
    {"setCurrentObjectPosition", LuaFuncsObjects::setCurrentObjectPosition},
    {"setObjectLocalVariable", LuaFuncsObjects::setObjectLocalVariable},
    {"getObjectLocalVariable", LuaFuncsObjects::getObjectLocalVariable},
    {"setObjectLocalVariablePos", LuaFuncsObjects::setObjectLocalVariablePos},
    {"getObjectLocalVariablePos", LuaFuncsObjects::getObjectLocalVariablePos},
    {"setObjectLocalVariableString", LuaFuncsObjects::setObjectLocalVariableString},
    {"getObjectLocalVariableString", LuaFuncsObjects::getObjectLocalVariableString},
    {"createObject", LuaFuncsWorld::createObject},
    {"removeObject", LuaFuncsWorld::removeObject},
    {"getObjectTypeAt", LuaFuncsWorld::getObjectTypeAt},
    // 3D models and the current drawing position
    {"load3DModel", LuaFuncs3D::load3DModel},
    {"load3DModelAnimated", LuaFuncs3D::load3DModelAnimated},
    {"draw3DModel", LuaFuncs3D::draw3DModel},
    {"unload3DModel", LuaFuncs3D::unload3DModel},
    {"setModelAnimationSpeed", LuaFuncs3D::setModelAnimationSpeed},
    {"startModelAnimation", LuaFuncs3D::startModelAnimation},
    {"stopModelAnimation", LuaFuncs3D::stopModelAnimation},
    {"setCurrentPosition", LuaFuncs3D::setCurrentPosition},
    {"setCurrentPositionReal", LuaFuncs3D::setCurrentPositionReal},
    {"move3DPosition", LuaFuncs3D::move3DPosition},
    {"rotatePosition", LuaFuncs3D::rotatePosition},
    // Player and camera
    {"getPlayerPositionReal", LuaFuncs3D::getPlayerPositionReal},
    {"setPlayerPositionReal", LuaFuncs3D::setPlayerPositionReal},
    {"getPlayerSpeed", LuaFuncs3D::getPlayerSpeed},
    {"setPlayerSpeed", LuaFuncs3D::setPlayerSpeed},
    {"setPlayerMovementWalk", LuaFuncs3D::setPlayerMovementWalk},
    {"setPlayerMovementCar", LuaFuncs3D::setPlayerMovementCar},
    {"setPlayerMovementFly", LuaFuncs3D::setPlayerMovementFly},
    {"setPlayerMovementNone", LuaFuncs3D::setPlayerMovementNone},
    {"getPlayerMovementType", LuaFuncs3D::getPlayerMovementType},
    {"getDistanceToPlayer", LuaFuncs3D::getDistanceToPlayer},
    {"setCameraAngleAndDistance", LuaFuncs3D::setCameraAngleAndDistance},
    {"getCameraAngleAndDistance", LuaFuncs3D::getCameraAngleAndDistance},
    {"getCameraPositionReal", LuaFuncs3D::getCameraPositionReal},
    {"get2DPosFrom3D", LuaFuncs3D::get2DPosFrom3D},
    {"cartesianCoordFromSphericalCoord", LuaFuncs3D::cartesianCoordFromSphericalCoord},
    // World and cubes
    {"getCubeTypeAt", LuaFuncsWorld::getCubeTypeAt},
    {"createCube", LuaFuncsWorld::createCube},
    {"removeCube", LuaFuncsWorld::removeCube},
    {"addCubesParallelepiped", LuaFuncsWorld::addCubesParallelepiped},
    {"addCubesSphere", LuaFuncsWorld::addCubesSphere},
    {"getCollidingCubeInfosPosReal", LuaFuncsWorld::getCollidingCubeInfosPosReal},
    {"saveWorld", LuaFuncsWorld::saveWorld},
    // Sound
    {"loadSound", LuaFuncsSound::loadSound},
    {"playSound", LuaFuncsSound::playSound},
    {"stopSound", LuaFuncsSound::stopSound},
    {"setSoundVolume", LuaFuncsSound::setSoundVolume},
    {"isPlayingSound", LuaFuncsSound::isPlayingSound},
    // Editor mode, cursor and the script's cube selection
    {"isEditorMode", LuaFuncsEditor::isEditorMode},
    {"setEditorMode", LuaFuncsEditor::setEditorMode},
    {"startCubeCreation", LuaFuncsEditor::startCubeCreation},
    {"manageCubeCreation", LuaFuncsEditor::manageCubeCreation},
    {"getEditorCursorPosition", LuaFuncsEditor::getEditorCursorPosition},
    // Path graph
    {"clearGraph", LuaFuncsEditor::clearGraph},
    {"addSegmentInGraph", LuaFuncsEditor::addSegmentInGraph},
    {"removeSegmentFromGraph", LuaFuncsEditor::removeSegmentFromGraph},
    {"findPathInGraph", LuaFuncsEditor::findPathInGraph},
    // Web
    {"getPageFromWebServer", LuaFuncsEditor::getPageFromWebServer},
    {nullptr, nullptr},
};

/// "lua ('<where>'): <error text on top of the stack>", the text of a script error.
std::string luaErrorText(lua_State* lua, const std::string& where) {
  const char* text = lua_tostring(lua, -1);
  return "lua ('" + where + "'): " + (text != nullptr ? text : "(error object is not a string)");
}

/// Raises the Lua error that tells the script it is stopped, with the mistake's text.
int raiseScriptStopped(lua_State* lua) {
  lua_pushlstring(lua, luaFuncsPrivate.scriptError.data(), luaFuncsPrivate.scriptError.size());
  return lua_error(lua);
}

/// Every engine function is registered through this binding, the function's index in
/// engineFunctions as its upvalue. While the function runs, reports point at the script
/// (ScriptCallContext). In development mode a report unwinds to here as an AssertionFailure:
/// it stops the script and becomes a Lua error once every C++ object of the binding is gone, so
/// that Lua's longjmp never crosses a C++ frame.
int callEngineFunction(lua_State* lua) {
  if (!luaFuncsPrivate.scriptError.empty()) return raiseScriptStopped(lua);
  const luaL_Reg& function = engineFunctions[lua_tointeger(lua, lua_upvalueindex(1))];
  int nbResults = 0;
  {
    const ScriptCallContext context(lua, function.name, luaFuncsPrivate.isDevelopmentMode);
    try {
      nbResults = function.func(lua);
    } catch (const AssertionFailure& failure) {
      luaFuncsPrivate.scriptError = failure.details();
    } catch (const std::exception& failure) {
      if (!luaFuncsPrivate.isDevelopmentMode) throw;
      luaFuncsPrivate.scriptError = std::string("Script function: ") + function.name + "\nC++ exception: " +
                                    failure.what() + "\n" + ScriptCallContext::traceback(lua, 0) + "\n";
    }
  }
  // Also when a script callback run by the function stopped the script.
  if (!luaFuncsPrivate.scriptError.empty()) return raiseScriptStopped(lua);
  return nbResults;
}

/// The message handler of every protected call: Lua's own error text, then the traceback.
/// An engine report that stopped the script already carries its own.
int addTraceback(lua_State* lua) {
  if (!luaFuncsPrivate.scriptError.empty()) return 1;
  if (!lua_isstring(lua, 1)) {
    lua_settop(lua, 0);
    lua_pushliteral(lua, "(error object is not a string)");
  }
  {
    const std::string trace = "\n" + ScriptCallContext::traceback(lua, 1);
    lua_pushlstring(lua, trace.data(), trace.size());
  }
  lua_concat(lua, 2);
  return 1;
}

}  // namespace

void LuaFuncs::fail(const std::string& text) {
  if (!luaFuncsPrivate.isDevelopmentMode)
    showAssertionReport(__DATE__, __FILE__, nullptr, __LINE__, __TIME__, text);
  if (luaFuncsPrivate.scriptError.empty()) luaFuncsPrivate.scriptError = text + "\n";
  printStop();
}

void LuaFuncs::printStop() {
  if (isErrorPrinted || luaFuncsPrivate.scriptError.empty()) return;
  isErrorPrinted = true;
  std::cerr << "ERROR : " << luaFuncsPrivate.scriptError << stoppedNotice << std::endl;
}

bool LuaFuncs::isStopped() const { return !luaFuncsPrivate.scriptError.empty(); }

const std::string& LuaFuncs::getError() const { return luaFuncsPrivate.scriptError; }

LuaFuncs::LuaFuncs(const std::string& parScriptFile, Font* parFont, SoundManager* parSound,
                   World* parWorld, bool isDevelopmentMode)
    : lua(nullptr) {
  luaFuncsPrivate.reset();
  luaFuncsPrivate.isDevelopmentMode = isDevelopmentMode;
  luaFuncsPrivate.sound = parSound;
  luaFuncsPrivate.world = parWorld;
  luaFuncsPrivate.font = parFont;
  luaFuncsPrivate.globalVariables.clear();
  luaFuncsPrivate.isQuitRequested = false;
  CustomObject::setCallback(this);

  std::cout << "Loading script '" << parScriptFile << "' ... " << std::flush;
  lua = luaL_newstate();
  assert(lua != NULL, "cannot create the Lua state");
  luaL_openlibs(lua);
  registerEngineFunctions(lua);
  lua_pushcfunction(lua, addTraceback);
  if (luaL_loadfile(lua, parScriptFile.c_str()) != 0 || lua_pcall(lua, 0, LUA_MULTRET, 1) != 0) {
    if (!isStopped()) fail(luaErrorText(lua, "in file " + parScriptFile));
    printStop();
  } else {
    isLoaded = true;
  }
  lua_settop(lua, 0);
  std::cout << (isLoaded ? "done." : "stopped.") << std::endl;
}

LuaFuncs::~LuaFuncs() {
  luaFuncsPrivate.releaseScheduled();
  luaFuncsPrivate.activeEditText.reset();
  luaFuncsPrivate.currentObject = nullptr;
  if (CustomObject::getCallback() == this) CustomObject::setCallback(nullptr);
  lua_close(lua);
  // What the script forgot to unload goes with it, so that quitting is no crash.
  luaFuncsPrivate.handles.releaseHeld();
}

void LuaFuncs::registerEngineFunctions(lua_State* lua) {
  for (int index = 0; engineFunctions[index].name != nullptr; ++index) {
    lua_pushinteger(lua, index);
    lua_pushcclosure(lua, callEngineFunction, 1);
    lua_setfield(lua, LUA_GLOBALSINDEX, engineFunctions[index].name);
  }
}

void LuaFuncs::call(const char* table, const char* function) {
  if (isStopped()) return;
  // Read and put back after the call: the contexts of the engine functions it runs end there.
  const AssertionContext outerContext = setAssertionContext(AssertionContext());
  setAssertionContext(outerContext);
  const int top = lua_gettop(lua);
  lua_pushcfunction(lua, addTraceback);
  lua_getfield(lua, LUA_GLOBALSINDEX, table);
  if (lua_istable(lua, -1))
    lua_getfield(lua, -1, function);
  else
    lua_pushnil(lua);
  const int status = lua_pcall(lua, 0, 0, top + 1);
  setAssertionContext(outerContext);
  if (status != 0 && !isStopped()) fail(luaErrorText(lua, std::string("calling function ") + table + ":" + function));
  // A mistake the script caught with its own pcall stops it all the same.
  printStop();
  lua_settop(lua, top);
}

void LuaFuncs::gameInit() { call("Game", "init"); }
void LuaFuncs::gameManage() { call("Game", "manage"); }
void LuaFuncs::gameDraw3D() { call("Game", "draw3D"); }
void LuaFuncs::gameUninit() {
  // A script that never loaded has no Game.uninit to run.
  if (isLoaded) call("Game", "uninit");
}

void LuaFuncs::gameDraw2D() {
  luaFuncsPrivate.isFullscreenSpriteDrawn = false;
  call("Game", "draw2D");
  luaFuncsPrivate.drawScheduled(Utils::getTimeMs());
}

void LuaFuncs::callType(uint32_t typeId, const char* function, CustomObject* object) {
  if (isStopped()) return;
  if (typeId >= luaFuncsPrivate.activeObjectsNames.size()) {
    lua_pushstring(lua, "unknown script object type");
    const std::string text = luaErrorText(lua, "calling function (type id " + std::to_string(typeId) + "):" + function);
    lua_pop(lua, 1);
    fail(text);
    return;
  }
  // Saved and put back rather than cleared: a callback may destroy another object, whose
  // uninit runs inside it.
  CustomObject* previousObject = luaFuncsPrivate.currentObject;
  if (object != nullptr) luaFuncsPrivate.currentObject = object;
  // A copy: the callback may add type names, which moves the list.
  const std::string table = luaFuncsPrivate.activeObjectsNames[typeId];
  call(table.c_str(), function);
  luaFuncsPrivate.currentObject = previousObject;
}

void LuaFuncs::load(uint32_t typeId) { callType(typeId, "load", nullptr); }
void LuaFuncs::init(uint32_t typeId, CustomObject* object) { callType(typeId, "init", object); }
void LuaFuncs::manage(uint32_t typeId, CustomObject* object) { callType(typeId, "manage", object); }
void LuaFuncs::draw(uint32_t typeId, CustomObject* object) { callType(typeId, "draw", object); }
void LuaFuncs::uninit(uint32_t typeId, CustomObject* object) { callType(typeId, "uninit", object); }
void LuaFuncs::unload(uint32_t typeId) { callType(typeId, "unload", nullptr); }

bool LuaFuncs::isTypeDefined(uint32_t typeId) {
  const std::vector<std::string>& names = luaFuncsPrivate.activeObjectsNames;
  bool isDefined = typeId < names.size();
  if (isDefined) {
    lua_getfield(lua, LUA_GLOBALSINDEX, names[typeId].c_str());
    isDefined = lua_istable(lua, -1);
    lua_pop(lua, 1);
  }
  if (!isDefined && reportedUndefinedTypes.insert(typeId).second) {
    const std::string type =
        typeId < names.size() ? "type '" + names[typeId] + "'" : "type id " + std::to_string(typeId);
    showProblem("The script defines no script object " + type +
                ": its objects are kept in the world but not run");
  }
  return isDefined;
}
