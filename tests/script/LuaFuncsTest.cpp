#include <gtest/gtest.h>

#include <GL/gl.h>
#include <lua.hpp>

#include <fstream>
#include <memory>
#include <string>

#include "GLManager.h"
#include "GLTestWindow.h"
#include "DeviceManager.h"
#include "EditText.h"
#include "Font.h"
#include "KeyboardManager.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncs.h"
#include "script/LuaFuncsGame.h"
#include "script/LuaFuncsPrivate.h"
#include "Platform.h"
#include "Scene2D.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "XMLSimple.h"
#include "Assert.h"

namespace {

// A script host on a script written into a temporary directory.
class ScriptHost {
 public:
  explicit ScriptHost(const std::string& script, const std::string& fileName = "world.lua")
      : scriptFile(dir.write(fileName, script)), host(std::make_unique<LuaFuncs>(scriptFile, nullptr, nullptr, nullptr)) {}

  /// Runs a chunk of Lua in the host's state; Lua errors come back as text.
  std::string run(const std::string& chunk) {
    lua_State* lua = host->getLuaState();
    if (luaL_dostring(lua, chunk.c_str()) != 0) {
      std::string error = lua_tostring(lua, -1);
      lua_pop(lua, 1);
      return error;
    }
    return "";
  }

  /// The value of a global of the script, as text.
  std::string global(const char* name) {
    lua_State* lua = host->getLuaState();
    lua_getglobal(lua, name);
    const std::string value = lua_isnil(lua, -1) ? "nil" : LuaArgs::argString(lua, -1);
    lua_pop(lua, 1);
    return value;
  }

  int stackSize() { return lua_gettop(host->getLuaState()); }

  TempDir dir;
  std::string scriptFile;
  std::unique_ptr<LuaFuncs> host;
};

// A file of the temporary directory in a report: a death test re-runs the test in a new
// process, whose temporary directory has another name.
std::string inTempDir(const std::string& fileName) {
  std::string escaped = "[^']*/";
  for (const char c : fileName) {
    if (c == '.') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

const char* const recordingGame = R"(
calls = ""
Game = {}
function Game.init() calls = calls .. "init," end
function Game.manage() calls = calls .. "manage," end
function Game.draw3D() calls = calls .. "draw3D," end
function Game.draw2D() calls = calls .. "draw2D," end
function Game.uninit() calls = calls .. "uninit," end
)";

}  // namespace

TEST(LuaFuncsTest, RunsTheScriptThenEachGameCallbackWithABalancedStack) {
  testing::internal::CaptureStdout();
  ScriptHost script(std::string(recordingGame) + "loaded = 1\n");
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Loading script '" + script.scriptFile + "' ... done.\n", output);
  EXPECT_EQ("1", script.global("loaded"));
  EXPECT_EQ("", script.global("calls"));

  script.host->gameInit();
  script.host->gameManage();
  script.host->gameDraw3D();
  script.host->gameUninit();
  EXPECT_EQ("init,manage,draw3D,uninit,", script.global("calls"));
  EXPECT_EQ(0, script.stackSize());
}

TEST(LuaFuncsTest, EngineFunctionsReplacePrintAndAssert) {
  ScriptHost script("Game = {}\n");
  lua_State* lua = script.host->getLuaState();
  for (const char* name : {"print", "assert", "quitGame", "getKey", "draw2DSprite", "initActiveObjects",
                           "getObjectLocalVariableString"}) {
    lua_getglobal(lua, name);
    EXPECT_TRUE(lua_iscfunction(lua, -1)) << name;
    lua_pop(lua, 1);
  }
  // The standard libraries are there too.
  EXPECT_EQ("", script.run("x = string.format('%d', math.floor(2.5))"));
  EXPECT_EQ("2", script.global("x"));

  testing::internal::CaptureStdout();
  EXPECT_EQ("", script.run("print(1.5) print(true) print(false) print('text') print(nil) print(3) print(86400000)"));
  EXPECT_EQ("lua print: 1.5\nlua print: 1\nlua print: 0\nlua print: text\nlua print: nil\nlua print: 3\n"
            "lua print: 86400000\n",
            testing::internal::GetCapturedStdout());
}

TEST(LuaFuncsTest, GlobalVariables) {
  ScriptHost script("Game = {}\n");
  EXPECT_EQ("", script.run("a = addToGlobalVar('n', 2.9)"));
  EXPECT_EQ("2", script.global("a"));
  EXPECT_EQ(2, luaFuncsPrivate.globalVariables["n"]);
  EXPECT_EQ("", script.run("a = addToGlobalVar('n', -7.9)"));
  EXPECT_EQ("-5", script.global("a"));

  EXPECT_EQ("", script.run("setGlobalVar('x', -3.7) b = getGlobalVar('x') c = getGlobalVar('absent')"));
  EXPECT_EQ("-3", script.global("b"));
  EXPECT_EQ("0", script.global("c"));
  // Far outside 32 bits: saturated, not undefined.
  EXPECT_EQ("", script.run("setGlobalVar('big', 1e300) d = getGlobalVar('big')"));
  EXPECT_EQ("2147483647", script.global("d"));
  EXPECT_EQ(0, script.stackSize());
}

TEST(LuaFuncsTest, RequestsForTheMainLoop) {
  ScriptHost script("Game = {}\n");
  luaFuncsPrivate.worldDataFile = "some/dir/myworld.dat";
  EXPECT_EQ("", script.run("saveGame() loadGame()"));
  EXPECT_EQ("myworld.dat.savegame", luaFuncsPrivate.pendingSaveName);
  EXPECT_EQ("myworld.dat.savegame", luaFuncsPrivate.pendingLoadName);
  EXPECT_EQ("", script.run("saveGame('a.sav') loadGame('b.sav')"));
  EXPECT_EQ("a.sav", luaFuncsPrivate.pendingSaveName);
  EXPECT_EQ("b.sav", luaFuncsPrivate.pendingLoadName);

  EXPECT_FALSE(luaFuncsPrivate.isQuitRequested);
  EXPECT_FALSE(luaFuncsPrivate.isMainMenuRequested);
  EXPECT_EQ("", script.run("quitGame() startMainMenu() setFogColor(10, 20, 30)"));
  EXPECT_TRUE(luaFuncsPrivate.isQuitRequested);
  EXPECT_TRUE(luaFuncsPrivate.isMainMenuRequested);
  EXPECT_EQ(10, luaFuncsPrivate.clearColor[0]);
  EXPECT_EQ(20, luaFuncsPrivate.clearColor[1]);
  EXPECT_EQ(30, luaFuncsPrivate.clearColor[2]);
  EXPECT_EQ(255, luaFuncsPrivate.clearColor[3]);
  luaFuncsPrivate.worldDataFile = "world.dat";
}

TEST(LuaFuncsTest, ANewHostStartsEmpty) {
  auto first = std::make_unique<ScriptHost>("Game = {}\n");
  EXPECT_EQ("", first->run("setGlobalVar('g', 4) quitGame() setFogColor(0, 0, 0) initActiveObjects('A') "
                           "scheduleDrawTextCenter('hello', 100000) saveGame('x')"));
  EXPECT_EQ(1u, luaFuncsPrivate.scheduledTexts.size());
  first.reset();
  EXPECT_TRUE(luaFuncsPrivate.scheduledTexts.empty());

  ScriptHost second("Game = {}\n");
  EXPECT_TRUE(luaFuncsPrivate.globalVariables.empty());
  EXPECT_FALSE(luaFuncsPrivate.isQuitRequested);
  EXPECT_TRUE(luaFuncsPrivate.activeObjectsNames.empty());
  EXPECT_TRUE(luaFuncsPrivate.scheduledTexts.empty());
  EXPECT_TRUE(luaFuncsPrivate.scheduledSprites.empty());
  EXPECT_TRUE(luaFuncsPrivate.pendingSaveName.empty());
  EXPECT_EQ(255, luaFuncsPrivate.clearColor[0]);
  EXPECT_EQ("", second.run("a = getGlobalVar('g')"));
  EXPECT_EQ("0", second.global("a"));
}

TEST(LuaFuncsTest, KeyNames) {
  EXPECT_EQ('a', LuaFuncsGame::keyIndexFromName("a"));
  EXPECT_EQ(97, LuaFuncsGame::keyIndexFromName("ASCII:97"));
  EXPECT_EQ(27, LuaFuncsGame::keyIndexFromName("ASCII:27"));
  EXPECT_EQ(267, LuaFuncsGame::keyIndexFromName("ASCII:267"));
  EXPECT_EQ(255, LuaFuncsGame::keyIndexFromName("\xff"));
  // One character, even the prefix's own letters.
  EXPECT_EQ(':', LuaFuncsGame::keyIndexFromName(":"));
}

TEST(LuaFuncsDeathTest, ScriptErrorsAreFatalWithTheirReport) {
  TempDir dir;
  const std::string badFile = dir.write("bad.lua", "Game = {}\nlocal x = = 1\n");
  EXPECT_EXIT(LuaFuncs(badFile, nullptr, nullptr, nullptr), testing::ExitedWithCode(1),
              "\nMessage: lua \\('in file " + inTempDir("bad.lua") + "'\\): " + inTempDir("bad.lua") +
                  ":2: unexpected symbol near '='\n");
  // The report carries no condition line.
  EXPECT_EXIT(LuaFuncs(badFile, nullptr, nullptr, nullptr), testing::ExitedWithCode(1),
              "Program version: \\(unknown\\)\nMessage: lua");

  const std::string missingFile = dir.file("missing.lua");
  EXPECT_EXIT(LuaFuncs(missingFile, nullptr, nullptr, nullptr), testing::ExitedWithCode(1),
              "Message: lua \\('in file " + inTempDir("missing.lua") + "'\\): cannot open ");

  // Errors while the file runs are reported "in file" too.
  const std::string failingFile = dir.write("failing.lua", "error('at load')\n");
  EXPECT_EXIT(LuaFuncs(failingFile, nullptr, nullptr, nullptr), testing::ExitedWithCode(1),
              "lua \\('in file " + inTempDir("failing.lua") + "'\\): " + inTempDir("failing.lua") +
                  ":1: at load");

  const std::string runtimeFile =
      dir.write("runtime.lua", "Game = {}\nfunction Game.manage()\n  local t = nil\n  return t.field\nend\n");
  EXPECT_EXIT(
      {
        LuaFuncs host(runtimeFile, nullptr, nullptr, nullptr);
        host.gameManage();
      },
      testing::ExitedWithCode(1),
      "\nMessage: lua \\('calling function Game:manage'\\): " + inTempDir("runtime.lua") +
          ":4: attempt to index local 't' \\(a nil value\\)\n");
}

TEST(LuaFuncsDeathTest, ReportsPointAtTheScriptWithATraceback) {
  TempDir dir;
  // An engine report below a script call: the report, then the function, the script's line
  // and the traceback.
  const std::string drawing =
      dir.write("drawing.lua", "Game = {}\nlocal function show()\n  draw2DSprite(nil)\nend\nfunction Game.draw2D() show() end\n");
  const std::string file = inTempDir("drawing.lua");
  EXPECT_EXIT(
      {
        LuaFuncs host(drawing, nullptr, nullptr, nullptr);
        host.gameDraw2D();
      },
      testing::ExitedWithCode(1),
      "\nCondition: spritep != 0\nScript function: draw2DSprite\nCalled from: " + file +
          ":3\nstack traceback:\n\t\\[C\\]: in function 'draw2DSprite'\n\t" + file + ":3: in function 'show'\n\t" +
          file + ":5: in function <" + file + ":5>\n");
  // A Lua error of the script: its message, then the traceback.
  const std::string failing =
      dir.write("failing.lua", "Game = {}\nfunction Game.manage()\n  error('game over')\nend\n");
  EXPECT_EXIT(
      {
        LuaFuncs host(failing, nullptr, nullptr, nullptr);
        host.gameManage();
      },
      testing::ExitedWithCode(1),
      "\nMessage: lua \\('calling function Game:manage'\\): " + inTempDir("failing.lua") +
          ":3: game over\nstack traceback:\n\t\\[C\\]: in function 'error'\n\t" + inTempDir("failing.lua") +
          ":3: in function <" + inTempDir("failing.lua") + ":2>\n");
}

TEST(LuaFuncsTest, DevelopmentModeStopsTheScriptAtItsFirstMistake) {
  TempDir dir;
  testing::internal::CaptureStderr();
  const auto global = [](LuaFuncs& host, const char* name) {
    lua_getglobal(host.getLuaState(), name);
    const std::string value = lua_isnil(host.getLuaState(), -1) ? "nil" : LuaArgs::argString(host.getLuaState(), -1);
    lua_pop(host.getLuaState(), 1);
    return value;
  };
  {
    // A Lua error: the host stops and calls nothing more.
    LuaFuncs host(dir.write("a.lua", "calls = 0\nGame = {}\nfunction Game.manage() calls = calls + 1 error('boom') end\n"
                                     "function Game.draw3D() calls = calls + 10 end\nfunction Game.uninit() calls = 100 end\n"),
                  nullptr, nullptr, nullptr, true);
    EXPECT_FALSE(host.isStopped());
    host.gameManage();
    ASSERT_TRUE(host.isStopped());
    host.gameDraw3D();
    host.gameManage();
    host.gameUninit();
    EXPECT_EQ("1", global(host, "calls"));
    EXPECT_EQ(0u, host.getError().find("lua ('calling function Game:manage'): ")) << host.getError();
    EXPECT_NE(std::string::npos, host.getError().find(":3: boom\nstack traceback:\n\t[C]: in function 'error'\n"))
        << host.getError();
    EXPECT_EQ(0, lua_gettop(host.getLuaState()));
  }
  {
    // An engine report unwinds to the binding, which turns it into a Lua error: caught by the
    // script's pcall, it stops the script all the same, and the binding's context is gone.
    LuaFuncs host(dir.write("b.lua", "Game = {}\nfunction Game.draw3D()\n  if not pcall(draw2DSprite, nil) then caught = 1 end\nend\n"
                                     "function Game.manage() ran = true end\n"),
                  nullptr, nullptr, nullptr, true);
    host.gameDraw3D();
    ASSERT_TRUE(host.isStopped());
    EXPECT_EQ("1", global(host, "caught"));
    EXPECT_EQ(nullptr, setAssertionContext(AssertionContext()).describe);
    const std::string& error = host.getError();
    EXPECT_EQ(0u, error.find("__DATE__ ")) << error;
    EXPECT_NE(std::string::npos, error.find("\nCondition: spritep != 0\nScript function: draw2DSprite\nCalled from: ")) << error;
    EXPECT_NE(std::string::npos, error.find("b.lua:3\nstack traceback:\n\t[C]: ?\n\t[C]: in function 'pcall'\n")) << error;
    host.gameManage();
    EXPECT_EQ("nil", global(host, "ran"));
    // What the script still reaches of the engine answers with the mistake.
    EXPECT_NE(0, luaL_dostring(host.getLuaState(), "getTime()"));
    lua_settop(host.getLuaState(), 0);
  }
  {
    // A script that does not load is stopped from the start; its Game functions never run.
    LuaFuncs host(dir.write("c.lua", "Game = {\n"), nullptr, nullptr, nullptr, true);
    EXPECT_TRUE(host.isStopped());
    EXPECT_EQ(0u, host.getError().find("lua ('in file ")) << host.getError();
    host.gameInit();
    host.gameUninit();
  }
  // Each mistake is printed once.
  const std::string errors = testing::internal::GetCapturedStderr();
  size_t count = 0;
  for (size_t at = errors.find(LuaFuncs::stoppedNotice); at != std::string::npos;
       at = errors.find(LuaFuncs::stoppedNotice, at + 1))
    ++count;
  EXPECT_EQ(3u, count) << errors;
}

TEST(LuaFuncsDeathTest, MissingCallbacksAndTablesFailAlike) {
  TempDir dir;
  const std::string noCallback = dir.write("a.lua", "Game = {}\n");
  EXPECT_EXIT(
      {
        LuaFuncs host(noCallback, nullptr, nullptr, nullptr);
        host.gameDraw3D();
      },
      testing::ExitedWithCode(1), "Message: lua \\('calling function Game:draw3D'\\): attempt to call a nil value");
  const std::string noTable = dir.write("b.lua", "x = 1\n");
  EXPECT_EXIT(
      {
        LuaFuncs host(noTable, nullptr, nullptr, nullptr);
        host.gameInit();
      },
      testing::ExitedWithCode(1), "Message: lua \\('calling function Game:init'\\): attempt to call a nil value");
}

TEST(LuaFuncsDeathTest, ArgumentChecks) {
  ScriptHost script("Game = {}\n");
  EXPECT_EXIT(script.run("assert(true)"), testing::ExitedWithCode(1),
              "Condition: lua_tointeger\\(lua, 1\\)\nMessage: An assert condition into lua script was false.");
  EXPECT_EXIT(script.run("assert(0)"), testing::ExitedWithCode(1), "Condition: lua_tointeger\\(lua, 1\\)");
  EXPECT_EQ("", script.run("assert(1)"));
  EXPECT_EXIT(script.run("getKey('ab')"), testing::ExitedWithCode(1), "Condition: chars.size\\(\\) == 1\n");
  EXPECT_EXIT(script.run("getKey('')"), testing::ExitedWithCode(1), "Condition: chars.size\\(\\) == 1\n");
  EXPECT_EXIT(script.run("getKeyNoRepeat('ASCII:')"), testing::ExitedWithCode(1), "Condition: chars.size\\(\\) == 1\n");
  // A key code outside the keyboard must not read past its tables.
  EXPECT_EXIT(script.run("getKey('ASCII:268')"), testing::ExitedWithCode(1), "unknown key name ASCII:268");
  EXPECT_EXIT(script.run("getKey('ASCII:-1')"), testing::ExitedWithCode(1), "unknown key name ASCII:-1");
  EXPECT_EXIT(script.run("getKey()"), testing::ExitedWithCode(1), "Condition: argc == 1\n");
  EXPECT_EXIT(script.run("quitGame(1)"), testing::ExitedWithCode(1), "Condition: argc == 0\n");
  EXPECT_EXIT(script.run("print(1, 2)"), testing::ExitedWithCode(1), "Condition: argc == 1\n");
  EXPECT_EXIT(script.run("saveGame('a', 'b')"), testing::ExitedWithCode(1), "Condition: argc == 0 \\|\\| argc == 1\n");
  EXPECT_EXIT(script.run("setGlobalVar('a', 'b')"), testing::ExitedWithCode(1), "Condition: lua_isnumber\\(lua, 2\\)\n");
  EXPECT_EXIT(script.run("getGlobalVar({})"), testing::ExitedWithCode(1), "Condition: lua_isstring\\(lua, 1\\)\n");
  EXPECT_EXIT(script.run("setFogColor(256, 0, 0)"), testing::ExitedWithCode(1),
              "Condition: r < 256 && g < 256 && b < 256\n");
  EXPECT_EXIT(script.run("setFogColor(0, -1, 0)"), testing::ExitedWithCode(1), "Condition: r >= 0 && g >= 0 && b >= 0\n");
  EXPECT_EXIT(script.run("setColor(0, 0, 0, 256)"), testing::ExitedWithCode(1),
              "Condition: r < 256 && g < 256 && b < 256 && a < 256\n");
  EXPECT_EXIT(script.run("draw2DSprite(nil, 1)"), testing::ExitedWithCode(1),
              "Condition: argc == 1 \\|\\| argc == 3 \\|\\| argc == 4 \\|\\| argc == 6\n");
  // A missing handle stops with its report instead of reading through null.
  EXPECT_EXIT(script.run("draw2DSprite(nil)"), testing::ExitedWithCode(1), "Condition: spritep != 0\n");
  EXPECT_EXIT(script.run("unload2DSprite(0)"), testing::ExitedWithCode(1), "Condition: spritep != 0\n");
  EXPECT_EXIT(script.run("scheduleDraw2DSprite('a.png', 1, 2)"), testing::ExitedWithCode(1),
              "Condition: argc == 4 \\|\\| argc == 2\n");
  EXPECT_EXIT(script.run("drawText('a', 1)"), testing::ExitedWithCode(1), "Condition: argc == 3 \\|\\| argc == 1\n");
  EXPECT_EXIT(script.run("createEditText(1, 2)"), testing::ExitedWithCode(1), "Condition: argc == 3 \\|\\| argc == 4\n");
  EXPECT_EXIT(script.run("changeConfigValueString('a')"), testing::ExitedWithCode(1),
              "Condition: lua_gettop\\(lua\\) == 2\n");
}

TEST(LuaFuncsDeathTest, ObjectFunctionsNeedACurrentObject) {
  ScriptHost script("Game = {}\n");
  for (const char* call : {"getCurrentObjectPosition()", "autoDestroyCurrentObject()", "setObjectLocalVariable('a', 1)",
                           "getObjectLocalVariable('a')", "setObjectLocalVariablePos(1, 2, 3, 4)",
                           "getObjectLocalVariablePos(1)", "setObjectLocalVariableString('a', 'b')",
                           "getObjectLocalVariableString('a')"}) {
    EXPECT_EXIT(script.run(call), testing::ExitedWithCode(1), "Condition: luaFuncsPrivate.currentObject != NULL\n")
        << call;
  }
  // Without an object only the current position moves.
  EXPECT_EQ("", script.run("setCurrentObjectPosition(1, 2, 3)"));
}

// Keys, mouse and 2D drawing need the window.
class LuaFuncsWindowTest : public testing::Test {
 protected:
  void SetUp() override { GLTestWindow::get(); }
};

TEST_F(LuaFuncsWindowTest, KeysByCharacterAndByCode) {
  ScriptHost script("Game = {}\n");
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  keyboard->keyUp('a');
  EXPECT_EQ("", script.run("byChar = tostring(getKey('a')) byCode = tostring(getKey('ASCII:97'))"));
  EXPECT_EQ("false", script.global("byChar"));
  EXPECT_EQ("false", script.global("byCode"));
  keyboard->keyDown('a');
  EXPECT_EQ("", script.run("byChar = getKey('a') and 1 or 0 byCode = getKey('ASCII:97') and 1 or 0"));
  EXPECT_EQ("1", script.global("byChar"));
  EXPECT_EQ("1", script.global("byCode"));
  keyboard->keyUp('a');
  EXPECT_EQ("", script.run("byChar = getKey('a') and 1 or 0 byCode = getKey('ASCII:97') and 1 or 0"));
  EXPECT_EQ("0", script.global("byChar"));
  EXPECT_EQ("0", script.global("byCode"));
  // Upper case is another key.
  keyboard->keyDown('a');
  EXPECT_EQ("", script.run("upper = getKey('A') and 1 or 0"));
  EXPECT_EQ("0", script.global("upper"));
  keyboard->keyUp('a');
}

TEST_F(LuaFuncsWindowTest, KeyNoRepeatAnswersOncePerPress) {
  ScriptHost script("Game = {}\n");
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  const char* const query = "n = getKeyNoRepeat('z') and 1 or 0";
  keyboard->keyDown('z');
  EXPECT_EQ("", script.run(query));
  EXPECT_EQ("1", script.global("n"));
  for (int frame = 0; frame < 3; ++frame) {
    keyboard->keyDown('z');  // auto-repeat
    EXPECT_EQ("", script.run(query));
    EXPECT_EQ("0", script.global("n"));
  }
  keyboard->keyUp('z');
  EXPECT_EQ("", script.run(query));
  EXPECT_EQ("0", script.global("n"));
  keyboard->keyDown('z');
  EXPECT_EQ("", script.run(query));
  EXPECT_EQ("1", script.global("n"));
  keyboard->keyUp('z');
}

TEST_F(LuaFuncsWindowTest, MouseAndWindowSize) {
  ScriptHost script("Game = {}\n");
  GLManager::mouseButton(2, 0, 10, 20);
  GLManager::mousePassiveMotion(33, 44);
  EXPECT_EQ("", script.run("b0, b1, b2, b3, b4, x, y = getMouseInfos() "
                           "s = (b0 and 1 or 0) .. (b1 and 1 or 0) .. (b2 and 1 or 0) .. (b3 and 1 or 0) .. (b4 and 1 or 0)"));
  EXPECT_EQ("00100", script.global("s"));
  EXPECT_EQ("33", script.global("x"));
  EXPECT_EQ("44", script.global("y"));
  GLManager::mouseButton(2, 1, 10, 20);

  EXPECT_EQ("", script.run("w, h = getWindowSize()"));
  EXPECT_EQ(std::to_string(GLManager::getScene2D()->size2D.x()), script.global("w"));
  EXPECT_EQ(std::to_string(GLManager::getScene2D()->size2D.y()), script.global("h"));
}

TEST_F(LuaFuncsWindowTest, ConfigurationWritesAndDrawingColour) {
  ScriptHost script("Game = {}\n");
  EXPECT_EQ("", script.run("changeConfigValueInt('script_int', 42.9) changeConfigValueBool('script_bool', true) "
                           "changeConfigValueString('script_string', 'text') changeConfigValueDouble('script_double', 2.5)"));
  const XMLSimple& config = DeviceManager::getInstance()->getConfig();
  EXPECT_EQ(42, config.getInt("script_int"));
  EXPECT_TRUE(config.getBool("script_bool"));
  EXPECT_EQ("text", config.getString("script_string"));
  EXPECT_EQ(2.5, config.getDouble("script_double"));

  EXPECT_EQ("", script.run("setColor(10, 20, 30, 40)"));
  EXPECT_EQ(Color(10, 20, 30, 40), SpriteManager::getCurrentColor());
  glColor4ub(255, 255, 255, 255);
}

namespace {

// An uncompressed 24-bit TGA of one colour, top row first.
std::string writeTga(const TempDir& dir, const std::string& name, int width, int height, unsigned char r,
                     unsigned char g, unsigned char b) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = static_cast<char>(width);
  bytes[13] = static_cast<char>(width >> 8);
  bytes[14] = static_cast<char>(height);
  bytes[15] = static_cast<char>(height >> 8);
  bytes[16] = 24;
  bytes[17] = 0x20;
  for (int i = 0; i < width * height; ++i) {
    bytes += static_cast<char>(b);
    bytes += static_cast<char>(g);
    bytes += static_cast<char>(r);
  }
  return dir.write(name, bytes);
}

void start2DFrame() {
  GLManager::getScene2D()->apply2DState();
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  glColor4ub(255, 255, 255, 255);
}

}  // namespace

TEST_F(LuaFuncsWindowTest, SpritesDrawWhereTheScriptPutsThem) {
  TempDir images;
  const std::string red = writeTga(images, "red.tga", 16, 16, 255, 0, 0);
  ScriptHost script("Game = {}\nfunction Game.draw2D() draw2DSprite(sprite, 100, 50) end\n");
  const size_t spritesBefore = GLManager::getSpriteManager()->getSprites().size();
  EXPECT_EQ("", script.run("sprite = load2DSprite('" + red + "')"));
  EXPECT_EQ(spritesBefore + 1, GLManager::getSpriteManager()->getSprites().size());

  start2DFrame();
  script.host->gameDraw2D();
  const auto inside = GLTestWindow::readPixel2D(104, 54);
  EXPECT_EQ(255, inside[0]);
  EXPECT_EQ(0, inside[1]);
  const auto outside = GLTestWindow::readPixel2D(96, 54);
  EXPECT_EQ(0, outside[0]);
  EXPECT_FALSE(luaFuncsPrivate.isFullscreenSpriteDrawn);
  // A NaN angle has no integer part: the sprite stays upright where it was put.
  start2DFrame();
  EXPECT_EQ("", script.run("draw2DSprite(sprite, 100, 50, 0/0)"));
  EXPECT_EQ(255, GLTestWindow::readPixel2D(104, 54)[0]);

  // Full screen: the flag says so for this frame only.
  EXPECT_EQ("", script.run("drawSpriteFullscreenStretched(sprite)"));
  EXPECT_TRUE(luaFuncsPrivate.isFullscreenSpriteDrawn);
  const auto centre = GLTestWindow::readPixel2D(400, 300);
  EXPECT_EQ(255, centre[0]);
  start2DFrame();
  script.host->gameDraw2D();
  EXPECT_FALSE(luaFuncsPrivate.isFullscreenSpriteDrawn);

  EXPECT_EQ("", script.run("unload2DSprite(sprite)"));
  EXPECT_EQ(spritesBefore, GLManager::getSpriteManager()->getSprites().size());
}

TEST_F(LuaFuncsWindowTest, AScheduledSpriteOfNoDurationIsDrawnOnce) {
  TempDir images;
  const std::string green = writeTga(images, "green.tga", 8, 8, 0, 255, 0);
  ScriptHost script("Game = {}\nfunction Game.draw2D() end\n");
  const size_t spritesBefore = GLManager::getSpriteManager()->getSprites().size();
  EXPECT_EQ("", script.run("scheduleDraw2DSprite('" + green + "', 20, 30, 0)"));
  EXPECT_EQ(1u, luaFuncsPrivate.scheduledSprites.size());
  start2DFrame();
  // The end time is "now + 0": the removal test (end before now) needs the clock to move on.
  Platform::sleepMs(2);
  script.host->gameDraw2D();
  EXPECT_EQ(0, GLTestWindow::readPixel2D(22, 32)[0]);
  EXPECT_EQ(255, GLTestWindow::readPixel2D(22, 32)[1]);
  EXPECT_TRUE(luaFuncsPrivate.scheduledSprites.empty());
  EXPECT_EQ(spritesBefore, GLManager::getSpriteManager()->getSprites().size());

  // A long one stays until the host goes, which releases it.
  EXPECT_EQ("", script.run("scheduleDraw2DSprite('" + green + "', 100000)"));
  script.host->gameDraw2D();
  EXPECT_EQ(1u, luaFuncsPrivate.scheduledSprites.size());
  script.host.reset();
  EXPECT_EQ(spritesBefore, GLManager::getSpriteManager()->getSprites().size());
}

TEST_F(LuaFuncsWindowTest, TextEntryIsCreatedOnceAndGivesItsText) {
  ScriptHost script("Game = {}\n");
  EXPECT_EQ("", script.run("createEditText(10, 10, -1)"));
  ASSERT_TRUE(luaFuncsPrivate.activeEditText);
  EditText* first = luaFuncsPrivate.activeEditText.get();
  first->setText("typed");
  EXPECT_EQ("", script.run("createEditText(50, 50, 3, 'xy')"));
  EXPECT_EQ(first, luaFuncsPrivate.activeEditText.get());
  EXPECT_EQ("", script.run("t = removeEditTextAndGetText()"));
  EXPECT_EQ("typed", script.global("t"));
  EXPECT_FALSE(luaFuncsPrivate.activeEditText);
  EXPECT_EQ("", script.run("t = removeEditTextAndGetText()"));
  EXPECT_EQ("", script.global("t"));
}

namespace {

// Whether anything but black was drawn in the band of 2D rows [top, top + height).
bool isAnythingDrawn(int top, int height) {
  const int windowHeight = GLManager::getWindowHeight();
  const std::vector<unsigned char> pixels =
      GLTestWindow::readPixels(0, windowHeight - top - height, GLManager::getWindowWidth(), height);
  for (size_t i = 0; i < pixels.size(); i += 4)
    if (pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 0) return true;
  return false;
}

}  // namespace

TEST_F(LuaFuncsWindowTest, ScheduledTextIsDrawnCentredUntilItsEndTime) {
  Font font;
  TempDir dir;
  LuaFuncs host(dir.write("text.lua", "Game = {}\nfunction Game.draw2D() end\n"), &font, nullptr, nullptr);
  const int centreY = GLManager::getScene2D()->size2D.y() / 2;
  ASSERT_EQ(0, luaL_dostring(host.getLuaState(), "scheduleDrawTextCenter('HELLO', 0)"));
  start2DFrame();
  Platform::sleepMs(2);
  host.gameDraw2D();
  EXPECT_TRUE(isAnythingDrawn(centreY, font.getHeight()));
  EXPECT_FALSE(isAnythingDrawn(0, centreY - 1));
  EXPECT_TRUE(luaFuncsPrivate.scheduledTexts.empty());
  start2DFrame();
  host.gameDraw2D();
  EXPECT_FALSE(isAnythingDrawn(centreY, font.getHeight()));
  // A duration too long for the clock means "for good", not "already over".
  ASSERT_EQ(0, luaL_dostring(host.getLuaState(), "scheduleDrawTextCenter('LATER', 1e300)"));
  host.gameDraw2D();
  EXPECT_EQ(1u, luaFuncsPrivate.scheduledTexts.size());

  // drawText at a place.
  start2DFrame();
  ASSERT_EQ(0, luaL_dostring(host.getLuaState(), "drawText('HELLO', 10, 20)"));
  EXPECT_TRUE(isAnythingDrawn(20, font.getHeight()));
  EXPECT_FALSE(isAnythingDrawn(20 + font.getHeight(), 100));
}
