#include "script/LuaFuncs3D.h"

#include <GL/gl.h>
#include <lua.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Animated3DModel.h"
#include "Camera.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "GLManager.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncsObjects.h"
#include "script/LuaFuncsPrivate.h"
#include "MathManager.h"
#include "scene/Player.h"
#include "Scene3D.h"
#include "scene/World.h"
#include "Assert.h"

namespace {

constexpr float pi = 3.14159265358979f;

// Hands a new model to the script: from now on it is a live model handle.
int pushModel(lua_State* lua, Animated3DModel* model) {
  luaFuncsPrivate.handles.add(ScriptHandles::model, model);
  lua_pushlightuserdata(lua, model);
  return 1;
}

Scene3D& scene3D(const char* function) {
  assert(GLManager::getScene3D() != NULL, std::string(function) + ": no 3D scene");
  return *GLManager::getScene3D();
}

Player& player(const char* function) {
  Player* player = luaFuncsPrivate.requireWorld(function).getPlayer();
  assert(player != NULL, std::string(function) + ": the world has no player");
  return *player;
}

// The current position starts over from the camera's view, then moves by `offset`.
void placeCurrentPosition(const Float3& offset, const char* function) {
  const Scene3D& scene = scene3D(function);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(scene.getViewMatrix());
  glTranslatef(offset.x(), offset.y(), offset.z());
}

int setMovement(lua_State* lua, int32_t type) {
  assert(lua_gettop(lua) == 0);
  player("setPlayerMovement").setMovementType(type);
  return 0;
}

}  // namespace

int LuaFuncs3D::frameDelayFromSpeed(double speed) {
  return std::max(0, LuaArgs::truncToInt32(100000. / speed));
}

int LuaFuncs3D::load3DModel(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  return pushModel(lua, new Animated3DModel({LuaArgs::argString(lua, 1)}, 1.f));
}

int LuaFuncs3D::load3DModelAnimated(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc >= 2);
  std::vector<std::string> fileNames;
  for (int i = 2; i <= argc; ++i) fileNames.push_back(LuaArgs::argString(lua, i));
  Animated3DModel* model = new Animated3DModel(fileNames, 1.f);
  model->setFrameDelay(std::max(0, LuaArgs::truncToInt32(lua_tonumber(lua, 1))));
  return pushModel(lua, model);
}

int LuaFuncs3D::draw3DModel(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  LuaArgs::argModel(lua, 1, __func__)->draw();
  return 0;
}

int LuaFuncs3D::unload3DModel(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  Animated3DModel* model = LuaArgs::argModel(lua, 1, __func__);
  luaFuncsPrivate.handles.remove(ScriptHandles::model, model);
  delete model;
  return 0;
}

int LuaFuncs3D::setModelAnimationSpeed(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 2);
  LuaArgs::argModel(lua, 1, __func__)->setFrameDelay(frameDelayFromSpeed(lua_tonumber(lua, 2)));
  return 0;
}

int LuaFuncs3D::startModelAnimation(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  LuaArgs::argModel(lua, 1, __func__)->setPlaying(true);
  return 0;
}

int LuaFuncs3D::stopModelAnimation(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 1);
  LuaArgs::argModel(lua, 1, __func__)->setPlaying(false);
  return 0;
}

int LuaFuncs3D::setCurrentPosition(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 cube = LuaArgs::argFloat3(lua, 1);
  const float s = CubesTable::getSizeOneCube();
  // Whole cubes, as the script's integers are.
  placeCurrentPosition(Float3(std::trunc(cube.x()) * s, std::trunc(cube.y()) * s, std::trunc(cube.z()) * s),
                       "setCurrentPosition");
  return 0;
}

int LuaFuncs3D::setCurrentPositionReal(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  placeCurrentPosition(LuaArgs::argFloat3(lua, 1), "setCurrentPositionReal");
  return 0;
}

int LuaFuncs3D::move3DPosition(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 offset = LuaArgs::argFloat3(lua, 1);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(offset.x(), offset.y(), offset.z());
  return 0;
}

int LuaFuncs3D::rotatePosition(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 angles = LuaArgs::argFloat3(lua, 1);
  glMatrixMode(GL_MODELVIEW);
  glRotatef(angles.x(), 1.f, 0.f, 0.f);
  glRotatef(angles.y(), 0.f, 1.f, 0.f);
  glRotatef(angles.z(), 0.f, 0.f, 1.f);
  return 0;
}

int LuaFuncs3D::getPlayerPositionReal(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  return LuaArgs::pushFloat3(lua, player("getPlayerPositionReal").getPosition());
}

int LuaFuncs3D::setPlayerPositionReal(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 position = LuaArgs::argFloat3(lua, 1);
  // A position that is not a number would become the camera's and the streaming's viewpoint.
  if (isFinite(position)) player("setPlayerPositionReal").setPosition(position);
  return 0;
}

int LuaFuncs3D::getPlayerSpeed(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  const Player& p = player("getPlayerSpeed");
  lua_pushnumber(lua, p.getSpeedForward() * 100.);
  lua_pushnumber(lua, p.getSpeedVertical() * 100.);
  lua_pushnumber(lua, p.getSpeedLateral() * 100.);
  return 3;
}

int LuaFuncs3D::setPlayerSpeed(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 speeds = LuaArgs::argFloat3(lua, 1);
  if (isFinite(speeds))
    player("setPlayerSpeed").setSpeeds(speeds.x() * 0.01f, speeds.y() * 0.01f, speeds.z() * 0.01f);
  return 0;
}

int LuaFuncs3D::setPlayerMovementWalk(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 0);
  player("setPlayerMovementWalk").setMovementType(Player::MVT_TYPE_WALK);
  return 0;
}

int LuaFuncs3D::setPlayerMovementCar(lua_State* lua) { return setMovement(lua, Player::MVT_TYPE_CAR); }
int LuaFuncs3D::setPlayerMovementFly(lua_State* lua) { return setMovement(lua, Player::MVT_TYPE_FLY); }
int LuaFuncs3D::setPlayerMovementNone(lua_State* lua) { return setMovement(lua, Player::MVT_TYPE_NONE); }

int LuaFuncs3D::getPlayerMovementType(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  lua_pushinteger(lua, player("getPlayerMovementType").getMvtType());
  return 1;
}

int LuaFuncs3D::getDistanceToPlayer(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  const Float3 difference =
      player("getDistanceToPlayer").getPosition() - LuaFuncsObjects::requireCurrentObject()->getPosition();
  lua_pushnumber(lua, std::sqrt(double(difference.x()) * difference.x() + double(difference.y()) * difference.y() +
                                double(difference.z()) * difference.z()));
  return 1;
}

int LuaFuncs3D::setCameraAngleAndDistance(lua_State* lua) {
  const int argc = lua_gettop(lua);
  assert(argc == 3);
  const Float3 values = LuaArgs::argFloat3(lua, 1);
  // Infinite or NaN angles would make the camera's angles unreadable (getCameraAngleAndDistance).
  if (!isFinite(values)) return 0;
  Camera* camera = scene3D("setCameraAngleAndDistance").getCamera();
  camera->setPitch(values.x());
  camera->setYaw(values.y());
  player("setCameraAngleAndDistance").setCameraDistance(values.z());
  return 0;
}

int LuaFuncs3D::getCameraAngleAndDistance(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  const Camera* camera = scene3D("getCameraAngleAndDistance").getCamera();
  lua_pushnumber(lua, MathManager::normalizeAngleDegrees(camera->getPitch()));
  lua_pushnumber(lua, MathManager::normalizeAngleDegrees(camera->getYaw()));
  lua_pushnumber(lua, player("getCameraAngleAndDistance").getCameraDistance());
  return 3;
}

int LuaFuncs3D::getCameraPositionReal(lua_State* lua) {
  assert(lua_gettop(lua) == 0);
  return LuaArgs::pushFloat3(lua, scene3D("getCameraPositionReal").getCamera()->getPosition());
}

int LuaFuncs3D::get2DPosFrom3D(lua_State* lua) {
  assert(lua_gettop(lua) == 3);
  const Float3 point = LuaArgs::argFloat3(lua, 1);
  // The projection sets up the 3D view to read its matrices (depth test, back-face culling,
  // texturing, the lights): called from Game.draw2D, that state would hide every later 2D
  // drawing of the frame. The caller's state (and matrix mode) comes back as it was.
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  const Int2 position = scene3D("get2DPosFrom3D").get2DPosFrom3D(point);
  glPopAttrib();
  lua_pushinteger(lua, position.x());
  lua_pushinteger(lua, position.y());
  return 2;
}

int LuaFuncs3D::cartesianCoordFromSphericalCoord(lua_State* lua) {
  assert(lua_gettop(lua) == 3);
  // The conversion that places the camera around its target: angle 1 is the pitch, angle 2 the
  // yaw, both in degrees.
  return LuaArgs::pushFloat3(lua, Scene3D::sphericalToCartesian(static_cast<float>(lua_tonumber(lua, 1)),
                                                                static_cast<float>(lua_tonumber(lua, 2)),
                                                                static_cast<float>(lua_tonumber(lua, 3))));
}
