#include <gtest/gtest.h>

#include <GL/freeglut.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "shell/CommandLine.h"
#include "DeviceManager.h"
#include "editor/Editor3D.h"
#include "GLManager.h"
#include "KeyboardManager.h"
#include "script/LuaFuncsPrivate.h"
#include "shell/MainManager.h"
#include "shell/MenuState.h"
#include "scene/Player.h"
#include "shell/FrameTimings.h"
#include "GLTestWindow.h"
#include "Screenshot.h"
#include "TempDir.h"
#include "scene/World.h"
#include "script/LuaFuncs.h"
#include "EditText.h"
#include "Assert.h"

namespace {

struct ProgramRun {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

// Runs the engine program in `directory` with `arguments`.
ProgramRun runProgram(const std::string& directory, const std::string& arguments) {
  const std::string command =
      "cd '" + directory + "' && '" + std::string(ENGINE_PROGRAM) + "' " + arguments + " 2>&1 </dev/null";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

TEST(CommandLineTest, DefaultsOptionsAndOverrides) {
  const CommandLine defaults({"/bin/engine"});
  EXPECT_EQ("/bin/engine", defaults.programPath);
  EXPECT_FALSE(defaults.isFullscreen);
  EXPECT_EQ("world.dat", defaults.worldDataFile);
  EXPECT_EQ("world.lua", defaults.worldLuaFile);
  EXPECT_EQ("world.xml", defaults.worldConfigFile);
  EXPECT_FALSE(defaults.isDevelopmentMode);
  EXPECT_TRUE(CommandLine({"engine", "--dev"}).isDevelopmentMode);

  const CommandLine options({"engine", "--world_dat", "a.dat", "--unknown", "--world_lua", "a.lua",
                             "--fullscreen", "--world_xml", "a.xml", "--world_dat", "b.dat"});
  EXPECT_TRUE(options.isFullscreen);
  EXPECT_EQ("b.dat", options.worldDataFile);  // a later repetition wins
  EXPECT_EQ("a.lua", options.worldLuaFile);
  EXPECT_EQ("a.xml", options.worldConfigFile);

  // An option's value is taken as a file name even when it looks like an option.
  const CommandLine valueLikeOption({"engine", "--world_lua", "--fullscreen"});
  EXPECT_EQ("--fullscreen", valueLikeOption.worldLuaFile);
  EXPECT_FALSE(valueLikeOption.isFullscreen);
}

TEST(CommandLineDeathTest, OptionWithoutValueIsFatal) {
  EXPECT_EXIT(CommandLine({"engine", "--fullscreen", "--world_dat"}), testing::ExitedWithCode(1),
              "Condition: arguments.size\\(\\) >= i\\+1\nMessage: Bad arguments!");
  EXPECT_EXIT(CommandLine({"engine", "--world_xml"}), testing::ExitedWithCode(1), "Bad arguments!");
}

TEST(FrameTimingsTest, ReportBlockLayout) {
  FrameTimings timings;
  timings.period = 20000;
  timings.swapBuffers = 1;
  timings.events = 2;
  timings.draw3D = 3;
  timings.draw3DLua = 4;
  timings.draw2D = 5;
  timings.draw2DLua = 6;
  timings.manage = 7;
  timings.manageLua = 8;
  std::ostringstream out;
  timings.print(out);
  EXPECT_EQ("Total: 20000\nFPS: 50\nTime swap buffers:1\nTime events:2\nTime draw3D:3\n"
            "Time draw3D lua:4\nTime draw2D:5\nTime draw2D lua:6\nTime manage:7\n"
            "Time manage lua:8\n\n",
            out.str());
}

TEST(MainManagerProgramTest, MissingDataFilesAreReportedInOrder) {
  TempDir dir;
  struct Case {
    const char* fileToCreate;  // before the run, in addition to the earlier ones
    const char* arguments;
    const char* report;
  };
  const Case cases[] = {
      {nullptr, "", "Condition: FileManager::fileExists(worldDataFile)\nMessage: Missing file: world.dat"},
      {"w.dat", "--world_dat w.dat --world_lua game.lua",
       "Condition: FileManager::fileExists(worldLuaFile)\nMessage: Missing file: game.lua"},
      {"game.lua", "--world_dat w.dat --world_lua game.lua",
       "Condition: FileManager::fileExists(worldConfigFile)\nMessage: Missing file: world.xml"},
      {nullptr, "--world_dat", "Message: Bad arguments!"},
  };
  for (const Case& c : cases) {
    if (c.fileToCreate != nullptr) dir.write(c.fileToCreate, "");
    const ProgramRun run = runProgram(dir.path(), c.arguments);
    EXPECT_EQ(1, run.exitCode) << c.arguments;
    EXPECT_NE(std::string::npos, run.output.find(c.report)) << run.output;
  }
}

namespace {

// Keys reach the engine during the frame step's event pump, as from the window system.
std::vector<int> pendingKeys;
void deliverPendingKeys(int) {
  for (const int key : pendingKeys) GLManager::getKeyboardManager()->keyDown(key);
}

// One frame with `keys` pressed during its event pump; they are released after the frame.
void frameWithKeys(MainManager& manager, std::vector<int> keys) {
  pendingKeys = keys;
  glutTimerFunc(0, deliverPendingKeys, 0);
  manager.manage();
  for (const int key : keys) GLManager::getKeyboardManager()->keyUp(key);
}

// Runs in a process of its own: the main manager opens the process's only window. The death
// test shows only standard error, so each failed check is written there.
bool isLoopCheckFailed = false;
void loopCheck(bool isTrue, const char* what) {
  if (isTrue) return;
  std::fprintf(stderr, "failed: %s\n", what);
  isLoopCheckFailed = true;
}

void runEditorModeTakesTheKeys() {
  TempDir dir;
  const std::string script = dir.write("world.lua", R"(
Game = {}
function Game.init() end
function Game.manage()
  if getKeyNoRepeat("e") then setEditorMode(not isEditorMode()) end
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  {
    MainManager manager("maintest", false, emptyWorldFile(), script, "world.xml");
    Editor3D* editor = manager.getEditor();
    loopCheck(editor != nullptr, "the main manager has an editor");
    const Int3 start = editor->getCursorPosition();

    frameWithKeys(manager, {KeyboardManager::keyPageUp});
    loopCheck(start == editor->getCursorPosition(), "in play mode the editor ignores the keys");
    loopCheck(!manager.getIsEditorMode(), "play mode at first");

    frameWithKeys(manager, {'e'});
    loopCheck(manager.getIsEditorMode(), "the script turned editor mode on");
    loopCheck(editor == luaFuncsPrivate.editor, "the script functions reach the editor");
    frameWithKeys(manager, {KeyboardManager::keyPageUp});
    loopCheck(start != editor->getCursorPosition(), "the editor moves its cursor in editor mode");
    manager.manage();  // the editor's camera, marks and overlay draw without trouble
  }
  loopCheck(DeviceManager::getInstance() == nullptr, "the device manager is gone");
  std::fprintf(stderr, "editor loop checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

}  // namespace

TEST(MainManagerLoopDeathTest, EditorModeTakesTheKeys) {
  EXPECT_EXIT(runEditorModeTakesTheKeys(), testing::ExitedWithCode(0), "editor loop checks done");
}

namespace {

void pressF12(int) { GLManager::getKeyboardManager()->specialKeyDown(GLUT_KEY_F12); }

void runScreenshotKeyWritesTheWindow() {
  TempDir dir;
  const std::string script = dir.write("world.lua", R"(
Game = {}
function Game.init() setFogColor(20, 120, 40) end
function Game.manage() end
function Game.draw3D() end
function Game.draw2D() drawText("top left", 10, 10) end
function Game.uninit() end
)");
  {
    MainManager manager("maintest", false, emptyWorldFile(), script, "world.xml");
    manager.manage();
    // Pictures go to screenshots/ under the working directory, the game's.
    char gameDirectory[4096];
    loopCheck(getcwd(gameDirectory, sizeof gameDirectory) != nullptr, "the working directory is known");
    loopCheck(chdir(dir.path().c_str()) == 0, "into the temporary directory");
    testing::internal::CaptureStdout();
    glutTimerFunc(0, pressF12, 0);
    manager.manage();  // F12 is pressed during this frame's event pump (a tap: released at once)
    GLManager::getKeyboardManager()->specialKeyUp(GLUT_KEY_F12);
    const std::vector<unsigned char> frame =
        GLTestWindow::readPixels(0, 0, GLManager::getWindowWidth(), GLManager::getWindowHeight());
    const std::string output = testing::internal::GetCapturedStdout();
    const std::string prefix = "Screenshot saved to 'screenshots/screenshot-";
    const size_t start = output.find(prefix);
    loopCheck(start != std::string::npos, "the path is printed");
    const size_t end = output.find("'\n", start);
    const std::string path = output.substr(start + 21, end - start - 21);
    loopCheck(path.size() == std::string("screenshots/screenshot-20261207-112108-017.png").size(),
              "the name is time-stamped to the millisecond");
    png_image picture{};
    picture.version = PNG_IMAGE_VERSION;
    loopCheck(png_image_begin_read_from_file(&picture, path.c_str()) != 0, "the picture is a PNG file");
    const int width = static_cast<int>(picture.width), height = static_cast<int>(picture.height);
    loopCheck(width == GLManager::getWindowWidth() && height == GLManager::getWindowHeight(),
              "the picture has the window's size");
    picture.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(picture));
    loopCheck(png_image_finish_read(&picture, nullptr, pixels.data(), 0, nullptr) != 0, "the picture reads");
    // The picture is the frame, its first row the window's top row (OpenGL's last).
    bool isSame = pixels.size() == static_cast<size_t>(width) * height * 3;
    for (int y = 0; y < height && isSame; ++y)
      for (int x = 0; x < width && isSame; ++x)
        for (int c = 0; c < 3; ++c)
          isSame = isSame && pixels[(y * width + x) * 3 + c] == frame[((height - 1 - y) * width + x) * 4 + c];
    loopCheck(isSame, "the picture holds the frame's pixels, top row first");
    loopCheck(chdir(gameDirectory) == 0, "back into the game directory");
  }
  std::fprintf(stderr, "screenshot checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

}  // namespace

TEST(MainManagerLoopDeathTest, TheScreenshotKeyWritesTheWindowAsAPng) {
  EXPECT_EXIT(runScreenshotKeyWritesTheWindow(), testing::ExitedWithCode(0), "screenshot checks done");
}

TEST(ScreenshotTest, NamesCarryTheLocalDateAndTimeToTheMillisecond) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(Screenshot::fileName(0, 5999), "screenshot-19700101-000000-005.png");
  EXPECT_EQ(Screenshot::fileName(1796642468, 17000), "screenshot-20261207-112108-017.png");
}

namespace {

// The sample game of game/ as shipped: its world, its script, its keys.
void runSampleGameKeys() {
  {
    MainManager manager("maintest", false, "world.dat", "world.lua", "world.xml");
    const Player* player = manager.getWorld()->getPlayer();
    manager.manage();
    loopCheck(player->getMvtType() == Player::MVT_TYPE_WALK, "the player starts walking");
    frameWithKeys(manager, {'m'});
    loopCheck(player->getMvtType() == Player::MVT_TYPE_CAR, "m: car");
    frameWithKeys(manager, {'m'});
    loopCheck(player->getMvtType() == Player::MVT_TYPE_FLY, "m again: fly");
    frameWithKeys(manager, {'m'});
    loopCheck(player->getMvtType() == Player::MVT_TYPE_WALK, "and back to walking");

    frameWithKeys(manager, {27});  // the script asks for the main menu
    manager.manage();
    loopCheck(manager.getMenu()->getIsMainMenuShown(), "Escape opens the main menu");
    loopCheck(manager.getIsRunning(), "Escape does not quit");
    frameWithKeys(manager, {27});
    manager.manage();
    loopCheck(!manager.getMenu()->getIsMenuShown() && manager.getIsRunning(), "Escape again resumes");
  }
  std::fprintf(stderr, "sample game key checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

}  // namespace

TEST(MainManagerLoopDeathTest, TheSampleGameCyclesMovementsAndOpensTheMainMenuOnEscape) {
  EXPECT_EXIT(runSampleGameKeys(), testing::ExitedWithCode(0), "sample game key checks done");
}

namespace {

// Opens the program's window with the given configuration and exits with its number of
// multisample buffers.
void exitWithSampleBuffers(const std::string& configText) {
  TempDir dir;
  const std::string config = dir.write("world.xml", configText);
  const std::string script = dir.write("world.lua", R"(
Game = {}
function Game.init() end
function Game.manage() end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  GLint sampleBuffers = -1;
  {
    MainManager manager("maintest", false, emptyWorldFile(), script, config);
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  }
  std::fprintf(stderr, "sample buffers %d\n", sampleBuffers);
  std::exit(0);
}

}  // namespace

TEST(MainManagerLoopDeathTest, TheConfigurationChoosesAWindowWithOrWithoutMultisampling) {
  const std::string sample = readFile("world.xml");
  const std::string key = "<disable_multisampling>true</disable_multisampling>";
  const size_t at = sample.find(key);
  ASSERT_NE(std::string::npos, at);
  std::string without = sample;
  without.erase(at, key.size());
  EXPECT_EXIT(exitWithSampleBuffers(without), testing::ExitedWithCode(0), "sample buffers 1");
  EXPECT_EXIT(exitWithSampleBuffers(sample), testing::ExitedWithCode(0), "sample buffers 0");
}

namespace {

void pressF8(int) { GLManager::getKeyboardManager()->specialKeyDown(GLUT_KEY_F8); }

// One frame with F8 tapped during its event pump.
void frameWithReloadKey(MainManager& manager) {
  glutTimerFunc(0, pressF8, 0);
  manager.manage();
  GLManager::getKeyboardManager()->specialKeyUp(GLUT_KEY_F8);
}

bool isPanelAtTopLeft() {
  const std::vector<unsigned char> pixel = GLTestWindow::readPixels(2, GLManager::getWindowHeight() - 3, 1, 1);
  return pixel[0] == MainManager::errorPanelColour[0] && pixel[1] == MainManager::errorPanelColour[1] &&
         pixel[2] == MainManager::errorPanelColour[2];
}

void runDevelopmentModeFromTheConfiguration() {
  TempDir dir;
  std::string config = readFile("world.xml");
  config.replace(config.find("<bool>"), 6, "<bool>\n    <script_development_mode>true</script_development_mode>");
  const std::string configFile = dir.write("world.xml", config);
  const std::string inits = dir.file("inits.txt");
  // Each Game.init adds a letter to a file (the script has Lua's io library).
  const std::string common = "Game = {}\nfunction Game.init() local f = io.open('" + inits +
                             "', 'a') f:write('i') f:close() end\nfunction Game.draw3D() end\n"
                             "function Game.draw2D() end\nfunction Game.uninit() end\n";
  const std::string script = dir.write("world.lua", common + "function Game.manage() error('broken') end\n");
  testing::internal::CaptureStderr();
  {
    MainManager manager("maintest", false, emptyWorldFile(), script, configFile);
    loopCheck(manager.getIsDevelopmentMode(), "the configuration key turns development mode on");
    Player* player = manager.getWorld()->getPlayer();
    manager.manage();
    loopCheck(manager.isScriptStopped() && manager.getIsRunning(), "the script's error stops the script, not the game");
    loopCheck(isPanelAtTopLeft(), "the error is drawn over the frame");
    manager.manage();
    loopCheck(manager.getIsRunning(), "the game goes on");

    dir.write("world.lua", common + "function Game.manage() end\n");
    frameWithReloadKey(manager);
    loopCheck(!manager.isScriptStopped(), "the reload key loads the fixed script");
    loopCheck(player == manager.getWorld()->getPlayer(), "the world and its player are kept");
    manager.manage();
    loopCheck(!isPanelAtTopLeft(), "the error is gone");
    frameWithReloadKey(manager);
    loopCheck(readFile(inits) == "iii", "the reload key reloads a script that runs fine too");
  }
  const std::string errors = testing::internal::GetCapturedStderr();
  loopCheck(errors.find(LuaFuncs::stoppedNotice) == errors.rfind(LuaFuncs::stoppedNotice) &&
                errors.find(LuaFuncs::stoppedNotice) != std::string::npos,
            "the error is printed once");
  std::fprintf(stderr, "development mode checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

void runTextEntryTakesTheKeysFromThePlayer() {
  TempDir dir;
  const std::string script = dir.write("world.lua", R"(
Game = {}
function Game.init() setPlayerMovementFly() createEditText(10, 10, 20) end
function Game.manage() if getKey("e") then addToGlobalVar("e", 1) end end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  {
    MainManager manager("maintest", false, emptyWorldFile(), script, "world.xml");
    const Player* player = manager.getWorld()->getPlayer();
    manager.manage();
    const Float3 start = player->getPosition();
    for (int frame = 0; frame < 5; ++frame) frameWithKeys(manager, {'e'});
    loopCheck(player->getPosition() == start, "typing into the text entry leaves the player");
    loopCheck(luaFuncsPrivate.activeEditText && luaFuncsPrivate.activeEditText->getText() == "eeeee",
              "the text entry takes the keys");
    loopCheck(luaFuncsPrivate.globalVariables["e"] == 5, "the script's getKey still sees them");
    luaFuncsPrivate.activeEditText.reset();
    for (int frame = 0; frame < 5; ++frame) frameWithKeys(manager, {'e'});
    loopCheck(!(player->getPosition() == start), "without a text entry the key moves the player");
  }
  std::fprintf(stderr, "text entry checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

}  // namespace

TEST(MainManagerLoopDeathTest, DevelopmentModeStopsTheScriptShowsTheErrorAndReloads) {
  EXPECT_EXIT(runDevelopmentModeFromTheConfiguration(), testing::ExitedWithCode(0), "development mode checks done");
}

TEST(MainManagerLoopDeathTest, TypingIntoTheTextEntryDoesNotDriveThePlayer) {
  EXPECT_EXIT(runTextEntryTakesTheKeysFromThePlayer(), testing::ExitedWithCode(0), "text entry checks done");
}
