#ifndef ENGINE_LUAFUNCS3D_H
#define ENGINE_LUAFUNCS3D_H

struct lua_State;

/// Engine functions for the script's 3D: models (light userdata handles to Animated3DModel,
/// owned by the script from load to unload), the current drawing position, the player and
/// the camera.
class LuaFuncs3D {
 public:
  // Models and the current position
  static int load3DModel(lua_State* lua);
  static int load3DModelAnimated(lua_State* lua);
  static int draw3DModel(lua_State* lua);
  static int unload3DModel(lua_State* lua);
  static int setModelAnimationSpeed(lua_State* lua);
  static int startModelAnimation(lua_State* lua);
  static int stopModelAnimation(lua_State* lua);
  static int setCurrentPosition(lua_State* lua);
  static int setCurrentPositionReal(lua_State* lua);
  static int move3DPosition(lua_State* lua);
  static int rotatePosition(lua_State* lua);

  // Player
  static int getPlayerPositionReal(lua_State* lua);
  static int setPlayerPositionReal(lua_State* lua);
  static int getPlayerSpeed(lua_State* lua);
  static int setPlayerSpeed(lua_State* lua);
  static int setPlayerMovementWalk(lua_State* lua);
  static int setPlayerMovementCar(lua_State* lua);
  static int setPlayerMovementFly(lua_State* lua);
  static int setPlayerMovementNone(lua_State* lua);
  static int getPlayerMovementType(lua_State* lua);
  static int getDistanceToPlayer(lua_State* lua);

  // Camera
  static int setCameraAngleAndDistance(lua_State* lua);
  static int getCameraAngleAndDistance(lua_State* lua);
  static int getCameraPositionReal(lua_State* lua);
  static int get2DPosFrom3D(lua_State* lua);
  static int cartesianCoordFromSphericalCoord(lua_State* lua);

  /// Frame delay of an animation speed: trunc(100000 / speed) ms, held to 0 .. the int range
  /// (a speed of 0 stops the frames rather than overflowing).
  static int frameDelayFromSpeed(double speed);
};

#endif
