#include <gtest/gtest.h>

#include <GL/gl.h>
#include <arpa/inet.h>
#include <lua.hpp>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Animated3DModel.h"
#include "Camera.h"
#include "world/CustomObject.h"
#include "editor/Editor3D.h"
#include "Font.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "ImageLoader.h"
#include "script/Graph.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncs.h"
#include "script/LuaFuncs3D.h"
#include "script/LuaFuncsPrivate.h"
#include "script/LuaFuncsSound.h"
#include "scene/Player.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "Sprite.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "scene/Water.h"
#include "scene/World.h"
#include "WorldTestHelpers.h"

// The engine functions that reach the 3D world, the sound system, the editor, the path graph
// and the web client, run from a real Lua state against a real world scene (sample
// configuration: cubes of edge 10).
namespace {

// Runs Lua chunks in a host; errors come back as text, globals are read back as numbers.
class Script {
 public:
  Script(World* world, SoundManager* sound)
      : host(std::make_unique<LuaFuncs>(dir.write("world.lua", "Game = {}\n"), nullptr, sound, world)) {}

  std::string run(const std::string& chunk) {
    lua_State* lua = host->getLuaState();
    if (luaL_dostring(lua, chunk.c_str()) == 0) return "";
    std::string error = lua_tostring(lua, -1);
    lua_pop(lua, 1);
    return error;
  }

  /// The values of `chunk`'s return, as numbers (booleans as 0 or 1).
  std::vector<double> values(const std::string& expression) {
    lua_State* lua = host->getLuaState();
    const int top = lua_gettop(lua);
    EXPECT_EQ(luaL_dostring(lua, ("return " + expression).c_str()), 0) << lua_tostring(lua, -1);
    std::vector<double> result;
    for (int i = top + 1; i <= lua_gettop(lua); ++i)
      result.push_back(lua_isboolean(lua, i) ? lua_toboolean(lua, i) : lua_tonumber(lua, i));
    lua_settop(lua, top);
    return result;
  }
  double value(const std::string& expression) { return values(expression).at(0); }

  /// The first value of `expression`, as text.
  std::string text(const std::string& expression) {
    lua_State* lua = host->getLuaState();
    const int top = lua_gettop(lua);
    EXPECT_EQ(luaL_dostring(lua, ("return " + expression).c_str()), 0) << lua_tostring(lua, -1);
    const std::string result = LuaArgs::argString(lua, top + 1);
    lua_settop(lua, top);
    return result;
  }

  void* handle(const std::string& expression) {
    lua_State* lua = host->getLuaState();
    EXPECT_EQ(luaL_dostring(lua, ("return " + expression).c_str()), 0) << lua_tostring(lua, -1);
    void* result = lua_touserdata(lua, -1);
    lua_pop(lua, 1);
    return result;
  }

  TempDir dir;
  std::unique_ptr<LuaFuncs> host;
};

class ScriptWorldTest : public testing::Test {
 protected:
  void SetUp() override {
    loadSampleConfiguration();
    world = std::make_unique<World>(emptyWorldFile(), nullptr, testSoundSystem(), "world.lua");
    const std::string names[6];
    const bool options[3] = {true, true, true};
    stone = world->getIndexedWorld().addCubeType(names, options, true);
    script = std::make_unique<Script>(world.get(), testSoundSystem());
  }
  void TearDown() override {
    script.reset();
    world.reset();
  }

  std::string cube(int x, int y, int z) {
    return std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z);
  }

  static Camera* camera() { return GLManager::getScene3D()->getCamera(); }

  std::unique_ptr<World> world;
  int stone = 0;
  std::unique_ptr<Script> script;
};

// A socket listening on 127.0.0.1 at an ephemeral port (written to `port`).
int listenOnLoopback(int& port) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  EXPECT_EQ(listen(listener, 1), 0);
  socklen_t length = sizeof(address);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}

// A web server on 127.0.0.1 (ephemeral port) that answers one request with `response`.
class OnePageServer {
 public:
  explicit OnePageServer(std::string response) {
    listener = listenOnLoopback(port);
    worker = std::thread([this, response] {
      const int client = accept(listener, nullptr, nullptr);
      if (client < 0) return;
      char block[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t nbReceived = recv(client, block, sizeof(block), 0);
        if (nbReceived <= 0) break;
        request.append(block, static_cast<size_t>(nbReceived));
      }
      send(client, response.data(), response.size(), MSG_NOSIGNAL);
      close(client);
    });
  }
  ~OnePageServer() {
    worker.join();
    close(listener);
  }

  int port = 0;
  std::string request;

 private:
  int listener = -1;
  std::thread worker;
};

}  // namespace

TEST(LuaFuncs3DTest, EveryEngineFunctionIsAGlobalOfTheScript) {
  Script script(nullptr, nullptr);
  const char* names[] = {
      "createObject", "removeObject", "getObjectTypeAt", "load3DModel", "load3DModelAnimated", "draw3DModel",
      "unload3DModel", "setModelAnimationSpeed", "startModelAnimation", "stopModelAnimation", "setCurrentPosition",
      "setCurrentPositionReal", "move3DPosition", "rotatePosition", "getPlayerPositionReal", "setPlayerPositionReal",
      "getPlayerSpeed", "setPlayerSpeed", "setPlayerMovementWalk", "setPlayerMovementCar", "setPlayerMovementFly",
      "setPlayerMovementNone", "getPlayerMovementType", "getDistanceToPlayer", "setCameraAngleAndDistance",
      "getCameraAngleAndDistance", "getCameraPositionReal", "get2DPosFrom3D", "cartesianCoordFromSphericalCoord",
      "getCubeTypeAt", "createCube", "removeCube", "addCubesParallelepiped", "addCubesSphere",
      "getCollidingCubeInfosPosReal", "saveWorld", "isEditorMode", "setEditorMode", "loadSound", "playSound",
      "stopSound", "setSoundVolume", "isPlayingSound", "startCubeCreation", "manageCubeCreation",
      "getEditorCursorPosition", "clearGraph", "addSegmentInGraph", "removeSegmentFromGraph", "findPathInGraph",
      "getPageFromWebServer"};
  EXPECT_EQ(sizeof(names) / sizeof(names[0]), 51u);
  lua_State* lua = script.host->getLuaState();
  for (const char* name : names) {
    lua_getglobal(lua, name);
    EXPECT_TRUE(lua_iscfunction(lua, -1)) << name;
    lua_pop(lua, 1);
  }
}

TEST(LuaFuncs3DTest, WrongArgumentCountsAndMissingHandlesStopTheProgram) {
  struct Case {
    const char* call;
    const char* condition;
  };
  const Case cases[] = {
      {"createCube(1, 2, 3)", "argc == 4"},
      {"getPlayerPositionReal(1)", "lua_gettop\\(lua\\) == 0"},
      {"setPlayerMovementWalk(1)", "argc == 0"},
      {"load3DModelAnimated(100)", "argc >= 2"},
      {"saveWorld('a', 'b')", "argc == 0 \\|\\| argc == 1"},
      {"createObject(1, 2, 3, 'Door')", "argc == 5 \\|\\| argc == 6"},
      {"getObjectTypeAt(1, 2)", "lua_gettop\\(lua\\) == 3"},
      {"setSoundVolume(nil)", "lua_gettop\\(lua\\) == 2"},
      {"addSegmentInGraph(1, 2, 3, 4, 5)", "lua_gettop\\(lua\\) == 6"},
      {"manageCubeCreation(1)", "argc == 0"},
      {"getPageFromWebServer('http://127.0.0.1/')", "argc == 2"},
      {"playSound(nil)", "soundp != 0"},
      {"draw3DModel(nil)", "modelp != 0"},
      {"getDistanceToPlayer()", "luaFuncsPrivate.currentObject != NULL"},
  };
  for (const Case& c : cases)
    EXPECT_EXIT(
        {
          Script script(nullptr, nullptr);
          script.run(c.call);
        },
        testing::ExitedWithCode(1), std::string("Condition: ") + c.condition + "\n")
        << c.call;
}

TEST_F(ScriptWorldTest, CubesAreCreatedQueriedAndRemovedInTheWorld) {
  const std::string at = cube(2, 40, 3);
  ASSERT_EQ(script->value("getCubeTypeAt(" + at + ")"), -1);
  EXPECT_EQ(script->run("createCube(" + at + ", " + std::to_string(stone) + ")"), "");
  EXPECT_EQ(script->value("getCubeTypeAt(" + at + ")"), stone);
  EXPECT_EQ(world->getIndexedWorld().getCubeTypeAtCell(Int3(2, 40, 3)), stone);

  // The zone that holds the real point 25, 405, 35: the cube from 20 to 30 on x.
  EXPECT_EQ(script->values("getCollidingCubeInfosPosReal(25, 405, 35)"),
            (std::vector<double>{double(stone), 25, 405, 35, 10, 10, 10}));
  EXPECT_EQ(script->values("getCollidingCubeInfosPosReal(25, 505, 35)"), (std::vector<double>{-1, 0, 0, 0, 0, 0, 0}));

  script->run("removeCube(" + at + ")");
  EXPECT_EQ(script->value("getCubeTypeAt(" + at + ")"), -1);

  // A box of 2 x 3 x 4 cubes (the far corner excluded), then emptied with type -1.
  script->run("addCubesParallelepiped(10, 40, 10, 12, 43, 14, " + std::to_string(stone) + ")");
  EXPECT_EQ(script->value("getCubeTypeAt(11, 42, 13)"), stone);
  EXPECT_EQ(script->value("getCubeTypeAt(12, 42, 13)"), -1);
  script->run("addCubesParallelepiped(10, 40, 10, 12, 43, 14, -1)");
  EXPECT_EQ(script->value("getCubeTypeAt(11, 42, 13)"), -1);

  script->run("addCubesSphere(30, 40, 30, 25, " + std::to_string(stone) + ")");
  EXPECT_EQ(script->value("getCubeTypeAt(30, 40, 30)"), stone);
  EXPECT_EQ(script->value("getCubeTypeAt(36, 40, 30)"), -1);
  // A radius that is not a number changes nothing and does not stop the program.
  EXPECT_EQ(script->run("addCubesSphere(30, 40, 30, 0/0, -1)"), "");
  EXPECT_EQ(script->value("getCubeTypeAt(30, 40, 30)"), stone);

  // Cube positions out of any world are refused by the world, not turned into undefined integers.
  EXPECT_EQ(script->run("createCube(1e300, 0/0, -1e300, " + std::to_string(stone) + ")"), "");
  EXPECT_EQ(script->value("getCubeTypeAt(1e300, 0, -1e300)"), -1);

  const std::string saved = script->dir.file("saved.dat");
  EXPECT_EQ(script->run("saveWorld('" + saved + "')"), "");
  std::ifstream file(saved, std::ios::binary);
  std::string magic(5, '\0');
  file.read(&magic[0], 5);
  EXPECT_EQ(magic, "WORLD");
}

TEST_F(ScriptWorldTest, ObjectsAreCreatedFoundAndRemovedByPosition) {
  ASSERT_EQ(script->run("initActiveObjects('Lamp', 'Door')\n"
                        "uninits = 0\n"
                        "Door = {load = function() end, init = function() end, manage = function() end,\n"
                        "        draw = function() end, unload = function() end,\n"
                        "        uninit = function() uninits = uninits + 1 end}\n"),
            "");
  EXPECT_EQ(script->run("createObject(205, 405, 305, 'Door', false, 'opened')"), "");
  EXPECT_EQ(script->run("createObject(215, 405, 305, 'Window', false)"), "");
  EXPECT_EQ(script->run("createObject(0/0, 405, 305, 'Door', false)"), "");
  EXPECT_EQ(script->text("getObjectTypeAt(205, 405, 305)"), "Door");
  EXPECT_EQ(script->text("getObjectTypeAt(215, 405, 305)"), "");
  EXPECT_EQ(world->getIndexedWorld().getCustomObjectIdAt(Float3(205.f, 405.f, 305.f)), 1);

  EXPECT_EQ(script->value("removeObject(205, 405, 305)"), 1);
  EXPECT_EQ(script->value("uninits"), 1);
  EXPECT_EQ(script->value("removeObject(205, 405, 305)"), 0);
  EXPECT_EQ(script->text("getObjectTypeAt(205, 405, 305)"), "");
}

TEST_F(ScriptWorldTest, AnObjectMovedBeyondTheWorldsLimitsStaysWhereItWas) {
  ASSERT_EQ(script->run("initActiveObjects('Runner')\n"
                        "Runner = {load = function() end, init = function() end, draw = function() end,\n"
                        "          uninit = function() end, unload = function() end,\n"
                        "          manage = function() setCurrentObjectPosition(x, 5, 5) end}\n"
                        "x = 1e9\n"
                        "createObject(5, 5, 5, 'Runner', false)"),
            "");
  camera()->setPosition(Float3(0.f, 0.f, 0.f));
  const Int3 tableSize = world->getIndexedWorld().getTableRegionSize();
  testing::internal::CaptureStderr();
  world->manage(false);
  world->manage(false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR : A script object of type id 0 cannot move to (1e+09, 5, 5), beyond the limits of the world: "
            "it stays where it was\n");
  EXPECT_EQ(script->text("getObjectTypeAt(5, 5, 5)"), "Runner");
  EXPECT_EQ(world->getIndexedWorld().getTableRegionSize(), tableSize);
  // A move within the limits still takes it along.
  script->run("x = 25");
  world->manage(false);
  EXPECT_EQ(script->text("getObjectTypeAt(5, 5, 5)"), "");
  EXPECT_EQ(script->text("getObjectTypeAt(25, 5, 5)"), "Runner");
}

TEST_F(ScriptWorldTest, PlayerAndCameraFollowTheScript) {
  script->run("setPlayerPositionReal(1.5, 2, 3)");
  EXPECT_EQ(world->getPlayer()->getPosition(), Float3(1.5f, 2.f, 3.f));
  EXPECT_EQ(script->values("getPlayerPositionReal()"), (std::vector<double>{1.5, 2, 3}));
  // Positions that are not numbers are ignored.
  script->run("setPlayerPositionReal(0/0, 1, 1)");
  EXPECT_EQ(world->getPlayer()->getPosition(), Float3(1.5f, 2.f, 3.f));

  script->run("setPlayerSpeed(50, 25, -100)");
  EXPECT_FLOAT_EQ(world->getPlayer()->getSpeedForward(), 0.5f);
  EXPECT_FLOAT_EQ(world->getPlayer()->getSpeedLateral(), -1.f);
  const std::vector<double> speeds = script->values("getPlayerSpeed()");
  ASSERT_EQ(speeds.size(), 3u);
  EXPECT_NEAR(speeds[1], 25, 1e-4);

  const char* movements[] = {"Car", "Fly", "None", "Walk"};
  const int types[] = {Player::MVT_TYPE_CAR, Player::MVT_TYPE_FLY, Player::MVT_TYPE_NONE, Player::MVT_TYPE_WALK};
  for (int i = 0; i < 4; ++i) {
    script->run("setPlayerSpeed(50, 25, -100) setPlayerMovement" + std::string(movements[i]) + "()");
    EXPECT_EQ(script->value("getPlayerMovementType()"), types[i]) << movements[i];
    EXPECT_EQ(script->values("getPlayerSpeed()"), (std::vector<double>{0, 0, 0})) << movements[i];
  }

  // Angles beyond a half turn come back normalised.
  script->run("setCameraAngleAndDistance(30, 190, 50)");
  EXPECT_FLOAT_EQ(camera()->getPitch(), 30.f);
  EXPECT_EQ(world->getPlayer()->getCameraDistance(), 50.f);
  const std::vector<double> angles = script->values("getCameraAngleAndDistance()");
  ASSERT_EQ(angles.size(), 3u);
  EXPECT_NEAR(angles[0], 30, 1e-3);
  EXPECT_NEAR(angles[1], -170, 1e-3);
  EXPECT_EQ(angles[2], 50);
  script->run("setCameraAngleAndDistance(1/0, 0, 10)");
  EXPECT_FLOAT_EQ(camera()->getPitch(), 30.f);

  camera()->setPosition(Float3(7.f, 8.f, 9.f));
  EXPECT_EQ(script->values("getCameraPositionReal()"), (std::vector<double>{7, 8, 9}));
  EXPECT_EQ(script->values("get2DPosFrom3D(1, 2, 3)").size(), 2u);

  // Pitch 0, yaw 0 points along +z; pitch -90 straight up.
  std::vector<double> v = script->values("cartesianCoordFromSphericalCoord(0, 0, 10)");
  EXPECT_NEAR(v.at(0), 0, 1e-4);
  EXPECT_NEAR(v.at(1), 0, 1e-4);
  EXPECT_NEAR(v.at(2), 10, 1e-4);
  v = script->values("cartesianCoordFromSphericalCoord(-90, 0, 10)");
  EXPECT_NEAR(v.at(1), 10, 1e-4);

  // From an object's callback, the distance between the object and the player.
  script->run("initActiveObjects('Lamp') Lamp = {uninit = function() end}");
  CustomObject object(false, Float3(4.5f, 6.f, 3.f), 0, "");
  luaFuncsPrivate.currentObject = &object;
  EXPECT_DOUBLE_EQ(script->value("getDistanceToPlayer()"), 5.);
  luaFuncsPrivate.currentObject = nullptr;
}

TEST_F(ScriptWorldTest, A2DLabelDrawnAfterGet2DPosFrom3DInTheDraw2DPassShows) {
  // The 2D pass as the main loop sets it up before Game.draw2D.
  GLManager::getScene2D()->apply2DState();
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  glColor4ub(255, 255, 255, 255);
  EXPECT_EQ("", script->run("label = load2DSprite('whiteTexture.png')\n"
                            "local x, y = get2DPosFrom3D(0, 0, -100)\n"
                            "draw2DSprite(label, 100, 100)\n"
                            "unload2DSprite(label)"));
  const std::array<unsigned char, 4> pixel = GLTestWindow::readPixel2D(103, 103);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 255);
  EXPECT_EQ(pixel[2], 255);
  GLint matrixMode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(ScriptWorldTest, AConfigurationChangeToAFileThatDoesNotLoadIsRefusedAndTheOldValueKept) {
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  const std::string water = config.getString("water_texture");
  const std::string skybox = config.getString("skybox_directory");
  Sprite* const waterSprite = world->getWater()->getTexture();
  testing::internal::CaptureStderr();
  EXPECT_EQ("", script->run("changeConfigValueString('water_texture', 'a')\n"
                            "changeConfigValueString('skybox_directory', 'world.lua')\n"
                            "changeConfigValueString('player_sound_walk', 'sounds')"));
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("changeConfigValueString(\"water_texture\", \"a\") is refused: there is no file 'a'; "
                        "\"water_texture\" keeps its value \"" + water + "\""),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("(\"skybox_directory\", \"world.lua\")"), std::string::npos) << report;
  EXPECT_NE(report.find("'sounds' is not a regular file"), std::string::npos) << report;
  EXPECT_EQ(config.getString("water_texture"), water);
  EXPECT_EQ(config.getString("skybox_directory"), skybox);
  world->manage(false);  // the frame that would have loaded them
  EXPECT_EQ(world->getWater()->getTexture(), waterSprite);

  // A file that loads is taken, as are the keys that name no file.
  EXPECT_EQ("", script->run("changeConfigValueString('water_texture', 'whiteTexture.png')\n"
                            "changeConfigValueString('some_key', 'a')"));
  EXPECT_EQ(config.getString("water_texture"), "whiteTexture.png");
  EXPECT_EQ(config.getString("some_key"), "a");
  world->manage(false);
  EXPECT_EQ(world->getWater()->getTexture()->getImages()[0]->getName(), "whiteTexture.png");
  config.setString("water_texture", water);
  world->manage(false);
}

TEST_F(ScriptWorldTest, ModelsAnimateAndTheCurrentPositionFollowsTheCamera) {
  void* model = script->handle("load3DModel('models/player/player_frame1.obj')");
  ASSERT_NE(model, nullptr);
  script->run("model = load3DModel('models/player/player_frame1.obj')");
  Animated3DModel* animated = static_cast<Animated3DModel*>(script->handle("model"));
  EXPECT_EQ(animated->getNbFrames(), 1);
  script->run("setModelAnimationSpeed(model, 8)");
  EXPECT_EQ(animated->getFrameDelay(), 12500);
  script->run("setModelAnimationSpeed(model, 0)");
  EXPECT_EQ(animated->getFrameDelay(), INT_MAX);
  script->run("setModelAnimationSpeed(model, -4)");
  EXPECT_EQ(animated->getFrameDelay(), 0);
  script->run("startModelAnimation(model)");
  EXPECT_TRUE(animated->getIsPlaying());
  script->run("stopModelAnimation(model)");
  EXPECT_FALSE(animated->getIsPlaying());

  script->run("walk = load3DModelAnimated(250, 'models/player/player_frame1.obj', 'models/player/player_frame2.obj')");
  Animated3DModel* walk = static_cast<Animated3DModel*>(script->handle("walk"));
  EXPECT_EQ(walk->getNbFrames(), 2);
  EXPECT_EQ(walk->getFrameDelay(), 250);

  // Camera at (100, 0, 0) looking along -z: the view only translates by -100 on x.
  camera()->setRotation(Float3(0.f, 0.f, 0.f));
  camera()->setPosition(Float3(100.f, 0.f, 0.f));
  GLManager::getScene3D()->apply3DView();
  auto translation = [] {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    return Float3(m[12], m[13], m[14]);
  };
  script->run("setCurrentPositionReal(1, 2, 3)");
  EXPECT_EQ(translation(), Float3(-99.f, 2.f, 3.f));
  script->run("setCurrentPosition(1, 2, 3.9)");
  EXPECT_EQ(translation(), Float3(-90.f, 20.f, 30.f));
  script->run("move3DPosition(0, 0, -5)");
  EXPECT_EQ(translation(), Float3(-90.f, 20.f, 25.f));
  script->run("rotatePosition(0, 90, 0) move3DPosition(1, 0, 0)");
  const Float3 turned = translation();
  EXPECT_NEAR(turned.z(), 24.f, 1e-4);

  EXPECT_EQ(script->run("draw3DModel(model) draw3DModel(walk)"), "");
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(script->run("unload3DModel(model) unload3DModel(walk)"), "");
  // The first model is the script's too: unloaded through it (the host would free it at its end).
  lua_pushlightuserdata(script->host->getLuaState(), model);
  lua_setfield(script->host->getLuaState(), LUA_GLOBALSINDEX, "first");
  EXPECT_EQ(script->run("unload3DModel(first)"), "");
}

// A handle that was unloaded, or that is of another kind, ends with a report naming the function
// and the kind instead of touching freed or foreign memory.
using ScriptHandleDeathTest = ScriptWorldTest;
TEST_F(ScriptHandleDeathTest, StaleOrForeignHandlesAreReported) {
  const std::string load =
      "sprite = load2DSprite('whiteTexture.png') "
      "model = load3DModel('models/player/player_frame1.obj') "
      "sound = loadSound('sounds/walk.wav') ";
  struct Case {
    const char* call;
    const char* report;
  };
  const Case cases[] = {
      {"unload2DSprite(sprite) draw2DSprite(sprite, 1, 2)", "draw2DSprite: not a live sprite handle"},
      {"unload3DModel(model) unload3DModel(model)", "unload3DModel: not a live model handle"},
      {"draw2DSprite(sound)", "draw2DSprite: not a live sprite handle"},
      {"draw3DModel(sprite)", "draw3DModel: not a live model handle"},
      {"playSound(model)", "playSound: not a live sound handle"},
  };
  for (const Case& c : cases)
    EXPECT_EXIT(script->run(load + c.call), testing::ExitedWithCode(1), c.report) << c.call;
  // Live handles of the right kind still work after all this.
  EXPECT_EQ(script->run(load + "draw2DSprite(sprite, 1, 2) draw3DModel(model) isPlayingSound(sound) "
                               "unload2DSprite(sprite) unload3DModel(model)"),
            "");
}

TEST_F(ScriptWorldTest, SoundsLoadOncePlayStopAndTakeTheirVolume) {
  void* walk = script->handle("loadSound('sounds/walk.wav')");
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(script->handle("loadSound('sounds/walk.wav')"), walk);
  script->run("walk = loadSound('sounds/walk.wav')");
  EXPECT_EQ(script->run("setSoundVolume(walk, 0.5) playSound(walk)"), "");
  EXPECT_EQ(script->value("isPlayingSound(walk)"), 1);
  script->run("stopSound(walk)");
  EXPECT_EQ(script->value("isPlayingSound(walk)"), 0);

  EXPECT_EQ(LuaFuncsSound::volumeFromScript(1.0), 255);
  EXPECT_EQ(LuaFuncsSound::volumeFromScript(0.5), 128);
  EXPECT_EQ(LuaFuncsSound::volumeFromScript(-0.5), 0);
  EXPECT_EQ(LuaFuncsSound::volumeFromScript(1e300), 255);
  EXPECT_EQ(LuaFuncsSound::volumeFromScript(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST_F(ScriptWorldTest, EditorModeCursorAndScriptCubeSelection) {
  // Without an editor: no selection, cursor at the origin.
  EXPECT_EQ(script->values("manageCubeCreation()"), (std::vector<double>{0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(script->values("getEditorCursorPosition()"), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(script->value("isEditorMode()"), 0);

  Font font;
  Editor3D editor(&font, &world->getIndexedWorld(), "world.dat", "world.lua");
  bool isEditorMode = false;
  luaFuncsPrivate.editor = &editor;
  luaFuncsPrivate.isEditorMode = &isEditorMode;

  editor.setCursorPosition(Int3(4, -5, 6));
  EXPECT_EQ(script->values("getEditorCursorPosition()"), (std::vector<double>{4, -5, 6}));
  script->run("setEditorMode(true)");
  EXPECT_TRUE(isEditorMode);
  EXPECT_EQ(script->value("isEditorMode()"), 1);

  // In editor mode the script cannot start a selection.
  script->run("startCubeCreation(15, 25, 35)");
  EXPECT_FALSE(editor.isCubeCreationActive());
  script->run("setEditorMode(false) startCubeCreation(15, 25, 35)");
  ASSERT_TRUE(editor.isCubeCreationActive());
  EXPECT_EQ(script->values("manageCubeCreation()"), (std::vector<double>{0, 1, 2, 3, 1, 2, 3}));
  // A second start while one is under way changes nothing.
  script->run("startCubeCreation(95, 95, 95)");
  EXPECT_EQ(script->values("manageCubeCreation()"), (std::vector<double>{0, 1, 2, 3, 1, 2, 3}));

  // Confirmed by the user: reported once as done, and the selection ends.
  editor.manageCubeCreationKey(13);
  EXPECT_EQ(script->values("manageCubeCreation()"), (std::vector<double>{1, 1, 2, 3, 1, 2, 3}));
  EXPECT_FALSE(editor.isCubeCreationActive());
  EXPECT_EQ(script->values("manageCubeCreation()"), (std::vector<double>{0, 0, 0, 0, 0, 0, 0}));

  luaFuncsPrivate.editor = nullptr;
  luaFuncsPrivate.isEditorMode = nullptr;
}

TEST(LuaFuncs3DTest, GraphPathsAndWebPagesReachTheScript) {
  Script script(nullptr, nullptr);
  testing::internal::CaptureStdout();
  script.run("clearGraph() addSegmentInGraph(0, 0, 0, 1, 0, 0) addSegmentInGraph(1, 0, 0, 2, 0.5, 0)");
  EXPECT_EQ(script.value("findPathInGraph(0, 0, 0, 2, 0.5, 0)"), 2);
  EXPECT_EQ(script.value("findPathInGraph(1, 0, 0, 1, 0, 0)"), 0);
  script.run("removeSegmentFromGraph(1, 0, 0, 2, 0.5, 0)");
  EXPECT_EQ(script.value("findPathInGraph(0, 0, 0, 2, 0.5, 0)"), -1);
  script.run("clearGraph()");
  EXPECT_TRUE(Graph::getInstance()->getNodes().empty());
  testing::internal::GetCapturedStdout();

  OnePageServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nscore=42");
  luaFuncsPrivate.webServerPort = server.port;
  EXPECT_EQ(script.text("getPageFromWebServer('http://127.0.0.1/scores?id=7', false)"), "score=42");
  luaFuncsPrivate.webServerPort = 80;
}

TEST_F(ScriptWorldTest, SilentWebServerGivesAnEmptyPageAfterTheConfiguredTime) {
  // A server that takes the connection and never answers: after the configured time the script
  // gets an empty page and goes on.
  const int silent = listenOnLoopback(luaFuncsPrivate.webServerPort);
  script->run("changeConfigValueDouble('web_request_timeout', 0.2)");
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(script->text("getPageFromWebServer('http://127.0.0.1/', false)"), "");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no answer within 0.2 s"), std::string::npos);
  script->run("changeConfigValueDouble('web_request_timeout', 0)");
  close(silent);
  luaFuncsPrivate.webServerPort = 80;
}
