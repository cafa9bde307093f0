#include <gtest/gtest.h>
#include <GL/glew.h>
#include <GL/freeglut.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "DeviceManager.h"
#include "Font.h"
#include "GLTestWindow.h"
#include "KeyboardManager.h"
#include "script/LuaFuncsPrivate.h"
#include "shell/MainManager.h"
#include "shell/MenuState.h"
#include "Scene2D.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "world/CubeZoneLooks.h"

namespace {

using Pixel = std::array<unsigned char, 4>;

// Button fill of the generated menu images.
const Pixel buttonColor = {52, 84, 140, 255};

MouseEvent press(int x, int y) { return MouseEvent{x, y, GLUT_LEFT_BUTTON, MouseEvent::buttonPressed}; }

class MenuTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    keyboard = GLManager::getKeyboardManager();
    keyboard->releaseAllKeys();
    keyboard->clearKeysPressedThisFrame();
    DeviceManager::getInstance()->getConfig().setDouble("default_distance_vision", 1000.0);
    menu = std::make_unique<MenuState>();
  }
  void TearDown() override { menu.reset(); }

  // One click of the left button; returns the menu's answer.
  bool click(int x, int y) { return menu->manageInput({}, {press(x, y)}, false); }
  bool type(int key, bool isEditorPrompting = false) { return menu->manageInput({key}, {}, isEditorPrompting); }
  void openOptions() {
    menu->showMainMenu();
    ASSERT_TRUE(click(100, 260));
    ASSERT_TRUE(menu->getIsOptionsMenuShown());
  }

  KeyboardManager* keyboard = nullptr;
  std::unique_ptr<MenuState> menu;
};

TEST_F(MenuTest, StartsHiddenAndLoadsItsThreeSprites) {
  EXPECT_FALSE(menu->getIsMenuShown());
  SpriteManager* sprites = GLManager::getSpriteManager();
  EXPECT_EQ(1, sprites->getNbSpritesUsingImage(MenuState::mainMenuImage));
  EXPECT_EQ(1, sprites->getNbSpritesUsingImage(MenuState::optionsMenuImage));
  EXPECT_EQ(1, sprites->getNbSpritesUsingImage(MenuState::mouseImage));
  menu.reset();
  EXPECT_EQ(0, sprites->getNbSpritesUsingImage(MenuState::mainMenuImage));
  EXPECT_EQ(0, sprites->getNbSpritesUsingImage(MenuState::mouseImage));
}

TEST_F(MenuTest, MainMenuButtonsAnswerOnlyInsideTheirZones) {
  menu->showMainMenu();
  EXPECT_TRUE(click(100, 215));  // between resume and options
  EXPECT_TRUE(click(100, 250));
  EXPECT_TRUE(click(50, 180));   // left of the buttons
  EXPECT_TRUE(click(150, 180));  // right of them
  EXPECT_TRUE(click(100, 350));
  EXPECT_TRUE(click(100, 415));
  EXPECT_TRUE(click(235, 35));   // the version text
  EXPECT_TRUE(menu->manageInput({}, {MouseEvent{100, 180, GLUT_LEFT_BUTTON, MouseEvent::buttonReleased},
                                     MouseEvent{100, 180, -1, MouseEvent::motionWithButton}}, false));
  EXPECT_TRUE(menu->getIsMainMenuShown());

  EXPECT_TRUE(click(100, 214));  // resume, lower edge
  EXPECT_FALSE(menu->getIsMenuShown());
  menu->showMainMenu();
  EXPECT_TRUE(click(100, 151));  // resume, upper edge
  EXPECT_FALSE(menu->getIsMenuShown());

  menu->showMainMenu();
  EXPECT_TRUE(click(100, 251));
  EXPECT_FALSE(menu->getIsMainMenuShown());
  EXPECT_TRUE(menu->getIsOptionsMenuShown());

  menu->showMainMenu();
  EXPECT_FALSE(click(100, 351));  // quit
  menu->showMainMenu();
  EXPECT_FALSE(click(149, 414));
}

TEST_F(MenuTest, ClicksAfterTheMenuClosedInTheSameFrameAreIgnored) {
  menu->showMainMenu();
  EXPECT_TRUE(menu->manageInput({}, {press(100, 180), press(100, 380)}, false));
  EXPECT_FALSE(menu->getIsMenuShown());
}

TEST_F(MenuTest, MainMenuKeys) {
  menu->showMainMenu();
  EXPECT_TRUE(type('a'));
  EXPECT_TRUE(menu->getIsMainMenuShown());
  EXPECT_FALSE(type('q'));
  EXPECT_FALSE(type('Q'));
  EXPECT_TRUE(menu->getIsMainMenuShown());

  EXPECT_TRUE(type(MenuState::keyEscape, true));  // the editor's prompt keeps the menu open
  EXPECT_TRUE(menu->getIsMainMenuShown());
  EXPECT_TRUE(type(MenuState::keyEscape));
  EXPECT_FALSE(menu->getIsMenuShown());
}

TEST_F(MenuTest, AnyKeyLeadsFromTheOptionsBackToTheMainMenu) {
  for (const int key : {int{'x'}, int{'q'}, MenuState::keyEscape}) {
    openOptions();
    EXPECT_TRUE(type(key)) << key;
    EXPECT_TRUE(menu->getIsMainMenuShown()) << key;
    EXPECT_FALSE(menu->getIsOptionsMenuShown()) << key;
  }
  // Back, then 'q' in the main menu, in one frame.
  openOptions();
  EXPECT_FALSE(menu->manageInput({'x', 'q'}, {}, false));
}

TEST_F(MenuTest, EscapeIsAnsweredByTheMenu) {
  menu->showMainMenu();
  keyboard->keyDown(MenuState::keyEscape);
  EXPECT_TRUE(menu->manageInput(keyboard->getKeysPressedThisFrame(), {}, false));
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat(MenuState::keyEscape));
  EXPECT_TRUE(keyboard->isKeyDown(MenuState::keyEscape));
  keyboard->keyUp(MenuState::keyEscape);

  // Held since before the menu took the input: still answered, though not typed this frame.
  keyboard->keyDown(MenuState::keyEscape);
  keyboard->clearKeysPressedThisFrame();
  menu->showMainMenu();
  EXPECT_TRUE(menu->manageInput({}, {}, false));
  EXPECT_TRUE(menu->getIsMainMenuShown());
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat(MenuState::keyEscape));
  keyboard->keyUp(MenuState::keyEscape);
}

TEST_F(MenuTest, MainMenuRequestIsDroppedDuringTheEditorsPrompt) {
  bool isRequested = true;
  EXPECT_FALSE(menu->takeMainMenuRequest(isRequested, true));
  EXPECT_FALSE(isRequested);
  EXPECT_FALSE(menu->getIsMenuShown());
  // Not postponed: the next frame without a request shows nothing.
  EXPECT_FALSE(menu->takeMainMenuRequest(isRequested, false));
  EXPECT_FALSE(menu->getIsMenuShown());

  isRequested = true;
  EXPECT_TRUE(menu->takeMainMenuRequest(isRequested, false));
  EXPECT_FALSE(isRequested);
  EXPECT_TRUE(menu->getIsMainMenuShown());
}

TEST_F(MenuTest, OptionsBackZoneIsOpen) {
  openOptions();
  click(200, 30);  // on the border: not the back button
  click(270, 30);
  click(230, 10);
  EXPECT_TRUE(menu->getIsOptionsMenuShown());
  click(201, 11);
  EXPECT_TRUE(menu->getIsMainMenuShown());
  EXPECT_FALSE(menu->getIsOptionsMenuShown());
}

TEST_F(MenuTest, ViewDistanceSteps) {
  openOptions();
  EXPECT_FLOAT_EQ(1000.f, menu->getViewDistance());
  click(350, 260);
  EXPECT_FLOAT_EQ(1120.f, menu->getViewDistance());
  click(300, 260);
  EXPECT_NEAR(1000.f, menu->getViewDistance(), 0.01f);

  for (const float distance : {410.f, 400.f, 300.f}) {
    menu->setViewDistance(distance);
    click(300, 299);
    EXPECT_EQ(distance, menu->getViewDistance());
  }
  // The farther choice never brings a distance at or below 400 nearer.
  for (const float distance : {400.f, 300.f, -5.f}) {
    menu->setViewDistance(distance);
    click(400, 260);
    EXPECT_EQ(distance, menu->getViewDistance());
  }
  menu->setViewDistance(401.f);
  click(400, 260);
  EXPECT_FLOAT_EQ(401.2f, menu->getViewDistance());
  menu->setViewDistance(412.f);
  click(300, 260);
  EXPECT_FLOAT_EQ(410.f, menu->getViewDistance());

  // Outside the columns nothing moves.
  menu->setViewDistance(1000.f);
  for (const int x : {250, 450, 200}) click(x, 260);
  click(300, 250);
  EXPECT_EQ(1000.f, menu->getViewDistance());
  EXPECT_TRUE(menu->getIsOptionsMenuShown());
}

TEST_F(MenuTest, SwitchesWriteTheirTargets) {
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  openOptions();

  click(300, 325);  // shadows off
  EXPECT_FALSE(shadowsEnabled);
  click(400, 325);
  EXPECT_TRUE(shadowsEnabled);

  click(400, 375);  // reversed mouse look
  EXPECT_TRUE(menu->getIsReverseMouseY());
  click(300, 375);
  EXPECT_FALSE(menu->getIsReverseMouseY());

  testing::internal::CaptureStdout();
  config.setBool("optimization_world_load_progressive", true);
  click(300, 425);
  EXPECT_FALSE(config.getBool("optimization_world_load_progressive"));
  click(400, 425);
  EXPECT_TRUE(config.getBool("optimization_world_load_progressive"));

  click(300, 475);
  EXPECT_EQ(0.0, config.getDouble("max_view_distance_detailed_in_region_units"));
  click(400, 499);
  EXPECT_EQ(1.0, config.getDouble("max_view_distance_detailed_in_region_units"));
  click(300, 500);  // below the last row
  EXPECT_EQ(1.0, config.getDouble("max_view_distance_detailed_in_region_units"));
  EXPECT_EQ("optimization_world_load_progressive: 0\noptimization_world_load_progressive: 1\n"
            "max_view_distance_detailed_in_region_units: 0\n"
            "max_view_distance_detailed_in_region_units: 1\n",
            testing::internal::GetCapturedStdout());
  EXPECT_TRUE(menu->getIsOptionsMenuShown());
}

// --- Drawing -----------------------------------------------------------------------------

class MenuDrawTest : public MenuTest {
 protected:
  void SetUp() override {
    MenuTest::SetUp();
    font = std::make_unique<Font>();
    GLManager::getScene2D()->apply2DState();
    SpriteManager::clearScreen(Color(255, 255, 255, 255));
    glColor4ub(255, 255, 255, 255);
  }
  void TearDown() override {
    font.reset();
    MenuTest::TearDown();
  }

  void draw(int64_t period = 20000, bool isEditorMode = false) {
    menu->draw(*font, MainManager::versionString, period, isEditorMode);
  }
  // Whether any pixel of the box differs from white.
  static bool isInked(int x, int y, int width, int height) {
    const std::vector<unsigned char> pixels =
        GLTestWindow::readPixels(x, GLManager::getWindowHeight() - y - height, width, height);
    for (size_t i = 0; i < pixels.size(); i += 4)
      if (pixels[i] != 255 || pixels[i + 1] != 255 || pixels[i + 2] != 255) return true;
    return false;
  }
  static std::vector<unsigned char> fpsLine() { return GLTestWindow::readPixels(155, 600 - 100 - 64, 200, 32); }

  std::unique_ptr<Font> font;
};

TEST_F(MenuDrawTest, NothingWhileHidden) {
  GLManager::mousePassiveMotion(300, 300);
  draw();
  EXPECT_FALSE(isInked(0, 0, 800, 600));
}

TEST_F(MenuDrawTest, MainMenuOverATranslucentVeil) {
  menu->showMainMenu();
  GLManager::mousePassiveMotion(700, 100);
  draw();
  EXPECT_EQ(buttonColor, GLTestWindow::readPixel2D(60, 170));
  EXPECT_EQ(buttonColor, GLTestWindow::readPixel2D(100, 300));
  const Pixel veil = GLTestWindow::readPixel2D(700, 500);
  EXPECT_NEAR(127, veil[0], 2);
  EXPECT_NEAR(127, veil[2], 2);
  EXPECT_TRUE(isInked(155, 100, 200, 64)) << "version and frame rate";
  const Pixel cursor = GLTestWindow::readPixel2D(703, 108);
  EXPECT_EQ(255, cursor[0]) << "cursor at the mouse";
  EXPECT_EQ(255, cursor[2]) << "cursor at the mouse";
  Color current = SpriteManager::getCurrentColor();
  EXPECT_TRUE(current == Color(255, 255, 255, 255));
}

TEST_F(MenuDrawTest, FrameRateFollowsTheLastPeriod) {
  menu->showMainMenu();
  GLManager::mousePassiveMotion(700, 500);
  draw(10000);
  const std::vector<unsigned char> at100 = fpsLine();
  SpriteManager::clearScreen(Color(255, 255, 255, 255));
  draw(20000);
  const std::vector<unsigned char> at50 = fpsLine();
  EXPECT_NE(at100, at50);
  SpriteManager::clearScreen(Color(255, 255, 255, 255));
  draw(0);  // no period measured yet
  EXPECT_NE(at100, fpsLine());
}

TEST_F(MenuDrawTest, OptionsMenuAndTheEditorsCursor) {
  openOptions();
  GLManager::mousePassiveMotion(700, 100);
  draw();
  EXPECT_EQ(buttonColor, GLTestWindow::readPixel2D(255, 285));
  EXPECT_EQ(buttonColor, GLTestWindow::readPixel2D(235, 19));

  // In the editor the cursor is drawn without a menu, and without the veil.
  menu->showMainMenu();
  click(100, 180);
  SpriteManager::clearScreen(Color(255, 255, 255, 255));
  GLManager::mousePassiveMotion(400, 400);
  draw(20000, true);
  EXPECT_TRUE(isInked(400, 400, 32, 32));
  EXPECT_FALSE(isInked(0, 0, 800, 390));
}

// --- The main loop -------------------------------------------------------------------------

// Events reach the engine during the frame step's event pump, as from the window system.
std::vector<MouseEvent> pendingClicks;
std::vector<int> pendingKeys;
void deliverPendingInput(int) {
  for (const MouseEvent& event : pendingClicks) {
    GLManager::mouseButton(event.button, GLUT_DOWN, event.x, event.y);
    GLManager::mouseButton(event.button, GLUT_UP, event.x, event.y);
  }
  for (const int key : pendingKeys) GLManager::getKeyboardManager()->keyDown(key);
  pendingClicks.clear();
  pendingKeys.clear();
}

void frameWithInput(MainManager& manager, std::vector<MouseEvent> clicks, std::vector<int> keys) {
  pendingClicks = std::move(clicks);
  pendingKeys = std::move(keys);
  glutTimerFunc(0, deliverPendingInput, 0);
  manager.manage();
}

// Runs in a process of its own: the main manager opens its own window, which must be the only
// one (the window system's current window follows the event pump).
void runScriptOpensTheMenu() {
  TempDir dir;
  const std::string script = dir.write("world.lua", R"(
Game = {}
local frame = 0
function Game.init() setGlobalVar("escapes", 0) end
function Game.manage()
  frame = frame + 1
  if frame == 1 or frame == 4 or frame == 7 then startMainMenu() end
  if getKeyNoRepeat("ASCII:27") then addToGlobalVar("escapes", 1) end
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  {
    MainManager manager("menutest", false, emptyWorldFile(), script, "world.xml");
    MenuState* menu = manager.getMenu();
    EXPECT_NE(nullptr, menu);

    manager.manage();  // the script asks for the menu
    EXPECT_FALSE(menu->getIsMenuShown());
    manager.manage();
    EXPECT_TRUE(menu->getIsMainMenuShown());
    EXPECT_EQ(buttonColor, GLTestWindow::readPixel2D(60, 170));

    frameWithInput(manager, {press(100, 180)}, {});  // resume
    EXPECT_FALSE(menu->getIsMenuShown());
    EXPECT_NE(buttonColor, GLTestWindow::readPixel2D(60, 170));
    EXPECT_TRUE(manager.getIsRunning());

    manager.manage();
    manager.manage();
    EXPECT_TRUE(menu->getIsMainMenuShown());
    frameWithInput(manager, {}, {MenuState::keyEscape});
    EXPECT_FALSE(menu->getIsMenuShown());
    EXPECT_EQ(0, luaFuncsPrivate.globalVariables["escapes"]) << "the menu answered Escape";
    GLManager::getKeyboardManager()->keyUp(MenuState::keyEscape);

    manager.manage();
    manager.manage();
    EXPECT_TRUE(menu->getIsMainMenuShown());
    frameWithInput(manager, {}, {'q'});
    EXPECT_FALSE(manager.getIsRunning());
  }
  EXPECT_EQ(nullptr, DeviceManager::getInstance());
  std::fprintf(stderr, "main loop checks done\n");
  std::exit(testing::Test::HasFailure() ? 2 : 0);
}

TEST(MenuMainLoopDeathTest, ScriptOpensTheMenuResumeAndEscapeCloseIt) {
  EXPECT_EXIT(runScriptOpensTheMenu(), testing::ExitedWithCode(0), "main loop checks done");
}

// --- Display modes (last: the window stays full screen for the rest of the process) --------

using MenuDisplayModeTest = MenuTest;

TEST_F(MenuDisplayModeTest, WindowedChoiceIsRefusedOnceFullScreenWasEntered) {
  ASSERT_FALSE(MenuState::getIsFullscreenEntered()) << "run this test in a process of its own";
  openOptions();
  testing::internal::CaptureStdout();
  click(100, 125);  // windowed 800 x 600, allowed so far
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find("Set to windowed mode 800x600"));
  EXPECT_FALSE(MenuState::getIsFullscreenNow());

  testing::internal::CaptureStdout();
  click(150, 175);  // column 1 of the second row: 1280 x 1024
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find("Set to fullscreen mode 1280x1024"));
  EXPECT_TRUE(MenuState::getIsFullscreenEntered());
  EXPECT_TRUE(MenuState::getIsFullscreenNow());

  testing::internal::CaptureStdout();
  click(100, 125);
  EXPECT_EQ(std::string::npos, testing::internal::GetCapturedStdout().find("windowed"));
  EXPECT_TRUE(MenuState::getIsFullscreenNow());
  EXPECT_TRUE(menu->getIsOptionsMenuShown());

  // The plain full-screen switch counts as well.
  click(200, 125);
  EXPECT_TRUE(MenuState::getIsFullscreenEntered());
  click(100, 125);
  EXPECT_TRUE(MenuState::getIsFullscreenNow());
}

}  // namespace
