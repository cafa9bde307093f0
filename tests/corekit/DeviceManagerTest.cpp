#include <gtest/gtest.h>
#include <GL/freeglut.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DeviceManager.h"
#include "GLTestWindow.h"
#include "KeyboardManager.h"
#include "Platform.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "TempDir.h"

namespace {

class DeviceManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    keyboard = GLManager::getKeyboardManager();
    keyboard->releaseAllKeys();
    keyboard->clearKeysPressedThisFrame();
  }

  KeyboardManager* keyboard = nullptr;
};

using DeviceManagerDeathTest = DeviceManagerTest;

// Pumps window events until the window reports `width` x `height` (or gives up).
void waitForWindowSize(int width, int height) {
  for (int i = 0; i < 100 && (GLManager::getWindowWidth() != width ||
                              GLManager::getWindowHeight() != height); ++i)
    GLManager::manageEvents();
}

TEST_F(DeviceManagerTest, OpensTheWindowWithItsRenderState) {
  DeviceManager* device = DeviceManager::getInstance();
  ASSERT_NE(nullptr, device);
  EXPECT_EQ(800, GLManager::getWindowWidth());
  EXPECT_EQ(600, GLManager::getWindowHeight());
  EXPECT_EQ(800, glutGet(GLUT_WINDOW_WIDTH));
  EXPECT_FALSE(GLManager::isFullscreen());
  ASSERT_NE(nullptr, GLManager::getScene2D());
  ASSERT_NE(nullptr, GLManager::getScene3D());
  ASSERT_NE(nullptr, GLManager::getSpriteManager());
  EXPECT_EQ("whiteTexture.png", GLManager::getSpriteManager()->getDefaultImageName());
  EXPECT_TRUE(GLManager::getScene2D()->windowSize == Int2(800, 600));
  EXPECT_TRUE(GLManager::getScene2D()->size2D == Int2(800, 600));
  EXPECT_TRUE(GLManager::getScene2D()->isFollowingWindow);

  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  // Multisampling makes the renderer ignore polygon smoothing.
  EXPECT_FALSE(glIsEnabled(GL_POLYGON_SMOOTH));
  GLint cullFace = 0;
  glGetIntegerv(GL_CULL_FACE_MODE, &cullFace);
  EXPECT_EQ(GL_FRONT, cullFace);
  GLint polygonModes[2] = {0, 0};
  glGetIntegerv(GL_POLYGON_MODE, polygonModes);
  EXPECT_EQ(GL_FILL, polygonModes[0]);
  EXPECT_EQ(GL_FILL, polygonModes[1]);

  // The configuration store is reached through the instance.
  device->getConfig().setInt("size_one_cube", 32);
  EXPECT_EQ(32, DeviceManager::getInstance()->getConfig().getInt("size_one_cube"));
}

// Opens the window without multisampling and prints its polygon smoothing, whether the renderer
// smooths polygons, and whether an opaque draw starts in the window's own state.
void exitWithTheSmoothingOfAWindowWithoutMultisampling() {
  TempDir dir;
  const std::string config = dir.write("world.xml", "<world><bool><disable_multisampling>true</disable_multisampling></bool></world>");
  DeviceManager::createInstance("enginetest", "", 800, 600, false, config);
  GLint sampleBuffers = -1;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  const bool isSmoothing = glIsEnabled(GL_POLYGON_SMOOTH) == GL_TRUE;
  glColor4f(1.f, 1.f, 1.f, 1.f);
  const bool isOpaque = GLManager::getScene3D()->beginOpaqueDraw(true);
  Scene3D::endOpaqueDraw(isOpaque);
  std::fprintf(stderr, "sample buffers %d, smoothing %d, smooths %d, opaque draw %d\n", sampleBuffers,
               isSmoothing ? 1 : 0, GLManager::isPolygonSmoothingEffective() ? 1 : 0, isOpaque ? 1 : 0);
  std::exit(0);
}

TEST(DeviceManagerStartDeathTest, PolygonSmoothingStaysOffWhereTheRendererDoesNotSmooth) {
  // Mesa's software renderer does not smooth polygons: smoothing on would only keep every
  // opaque draw blended.
  EXPECT_EXIT(exitWithTheSmoothingOfAWindowWithoutMultisampling(), testing::ExitedWithCode(0),
              "sample buffers 0, smoothing 0, smooths 0, opaque draw 1");
}

TEST(DeviceManagerStartTest, WritesTheExtensionsIntoTheWorkingDirectory) {
  // Other test programs start windows in the game directory at the same time: this one starts
  // its own in a private directory and reads what that start wrote.
  if (DeviceManager::getInstance() != nullptr) DeviceManager::destroyInstance();
  char previous[4096];
  ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
  TempDir dir;
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  DeviceManager::createInstance("enginetest", "", 800, 600, false);
  const std::string extensions = readFile("extensions.txt");
  DeviceManager::destroyInstance();
  ASSERT_EQ(0, chdir(previous));

  EXPECT_EQ(0u, extensions.find("supported:"));
  ASSERT_GE(extensions.size(), 2u);
  EXPECT_EQ(" :", extensions.substr(extensions.size() - 2));
  EXPECT_NE(std::string::npos, extensions.find("GL_ARB_vertex_buffer_object"));
}

TEST_F(DeviceManagerTest, HeldKeyRepeatsInTheListButAnswersNoRepeatOnce) {
  keyboard->keyDown('a');
  keyboard->keyDown('a');
  keyboard->keyDown('a');
  EXPECT_EQ((std::vector<int>{'a', 'a', 'a'}), keyboard->getKeysPressedThisFrame());
  EXPECT_TRUE(keyboard->isKeyDown('a'));
  EXPECT_FALSE(keyboard->isKeyDown('A'));
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('a'));
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat('a'));
  keyboard->keyDown('a');
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat('a'));
  EXPECT_TRUE(keyboard->isKeyDown('a'));

  keyboard->keyUp('a');
  EXPECT_FALSE(keyboard->isKeyDown('a'));
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat('a'));
  keyboard->keyDown('a');
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('a'));

  // Characters arrive as unsigned bytes.
  keyboard->keyDown(233);
  EXPECT_TRUE(keyboard->isKeyDown(233));
}

TEST_F(DeviceManagerTest, SpecialKeysMapToTheirIndices) {
  keyboard->specialKeyDown(GLUT_KEY_PAGE_UP);
  EXPECT_TRUE(keyboard->isKeyDown(33));
  EXPECT_TRUE(keyboard->isKeyDown('!'));
  keyboard->specialKeyUp(GLUT_KEY_PAGE_UP);
  EXPECT_FALSE(keyboard->isKeyDown('!'));
  keyboard->keyDown('!');
  EXPECT_TRUE(keyboard->isKeyDown(KeyboardManager::keyPageUp));

  keyboard->clearKeysPressedThisFrame();
  for (int key : {GLUT_KEY_F1, GLUT_KEY_F12, GLUT_KEY_RIGHT, GLUT_KEY_LEFT, GLUT_KEY_UP,
                  GLUT_KEY_DOWN, GLUT_KEY_PAGE_DOWN})
    keyboard->specialKeyDown(key);
  EXPECT_EQ((std::vector<int>{256, 267, 28, 29, 30, 31, 34}), keyboard->getKeysPressedThisFrame());
  EXPECT_TRUE(keyboard->isKeyDown(267));
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat(256));
  keyboard->specialKeyUp(GLUT_KEY_F1);
  EXPECT_FALSE(keyboard->isKeyDown(256));

  // Home, End and Insert are not tracked: nothing changes.
  keyboard->releaseAllKeys();
  keyboard->clearKeysPressedThisFrame();
  for (int key : {GLUT_KEY_HOME, GLUT_KEY_END, GLUT_KEY_INSERT}) {
    keyboard->specialKeyDown(key);
    keyboard->specialKeyUp(key);
  }
  EXPECT_TRUE(keyboard->getKeysPressedThisFrame().empty());
  for (int index = 0; index < KeyboardManager::nbKeys; ++index)
    ASSERT_FALSE(keyboard->isKeyDown(index)) << index;

  // Indices outside the table are refused, never stored.
  keyboard->keyDown(300);
  keyboard->keyDown(-1);
  EXPECT_TRUE(keyboard->getKeysPressedThisFrame().empty());
  EXPECT_FALSE(keyboard->isKeyDown(-1));
  EXPECT_FALSE(keyboard->isKeyDown(KeyboardManager::nbKeys));
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat(KeyboardManager::nbKeys));
}

TEST_F(DeviceManagerTest, ReleasingAllKeysForgetsHeldAndAnsweredKeys) {
  keyboard->keyDown('x');
  keyboard->specialKeyDown(GLUT_KEY_F5);
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('x'));
  keyboard->releaseAllKeys();
  EXPECT_FALSE(keyboard->isKeyDown('x'));
  EXPECT_FALSE(keyboard->isKeyDown(260));
  keyboard->keyDown('x');
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('x'));
}

TEST_F(DeviceManagerTest, MouseButtonsMotionAndEvents) {
  GLManager::manageEvents();
  // The pump may have taken a real event of the shared display (another test's window opening
  // under the pointer): the events below follow whatever it took.
  const size_t pumped = GLManager::getMouseEvents().size();
  GLManager::mouseButton(GLUT_RIGHT_BUTTON, GLUT_DOWN, 10, 20);
  EXPECT_TRUE(GLManager::isMouseButtonDown(2));
  GLManager::mouseButton(7, GLUT_DOWN, 11, 21);
  EXPECT_TRUE(GLManager::isMouseButtonDown(0));
  GLManager::mouseButton(7, GLUT_UP, 12, 22);
  EXPECT_FALSE(GLManager::isMouseButtonDown(0));
  EXPECT_TRUE(GLManager::isMouseButtonDown(2));
  GLManager::mouseButton(GLUT_RIGHT_BUTTON, GLUT_UP, 13, 23);
  EXPECT_FALSE(GLManager::isMouseButtonDown(2));
  EXPECT_FALSE(GLManager::isMouseButtonDown(5));
  EXPECT_FALSE(GLManager::isMouseButtonDown(-1));

  GLManager::mouseMotion(100, 50);
  EXPECT_TRUE(GLManager::getMousePosition() == Int2(100, 50));
  EXPECT_TRUE(GLManager::getMousePosition2D() == Int2(100, 50));
  Scene2D* screen = GLManager::getScene2D();
  screen->isFollowingWindow = false;
  screen->size2D = Int2(400, 300);
  screen->applyProjection();
  GLManager::mousePassiveMotion(200, 120);
  EXPECT_TRUE(GLManager::getMousePosition() == Int2(200, 120));
  EXPECT_TRUE(GLManager::getMousePosition2D() == Int2(100, 60));
  screen->isFollowingWindow = true;
  screen->size2D = screen->windowSize;
  screen->applyProjection();

  const std::vector<MouseEvent>& events = GLManager::getMouseEvents();
  ASSERT_EQ(pumped + 6u, events.size());
  const int expected[6][4] = {{10, 20, 2, 0}, {11, 21, 7, 0}, {12, 22, 7, 1},
                              {13, 23, 2, 1}, {100, 50, -1, 2}, {200, 120, -1, 3}};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(expected[i][0], events[pumped + i].x) << i;
    EXPECT_EQ(expected[i][1], events[pumped + i].y) << i;
    EXPECT_EQ(expected[i][2], events[pumped + i].button) << i;
    EXPECT_EQ(expected[i][3], events[pumped + i].kind) << i;
  }

  // The frame step starts a new frame: both lists are emptied.
  keyboard->keyDown('k');
  GLManager::manageEvents();
  EXPECT_TRUE(GLManager::getMouseEvents().empty());
  EXPECT_TRUE(keyboard->getKeysPressedThisFrame().empty());
  EXPECT_TRUE(keyboard->isKeyDown('k'));
}

TEST_F(DeviceManagerTest, FrameCapAndPeriodCap) {
  EXPECT_EQ(10, GLManager::computeFrameSleepMs(0));
  EXPECT_EQ(9, GLManager::computeFrameSleepMs(1500));
  EXPECT_EQ(1, GLManager::computeFrameSleepMs(9999));
  EXPECT_EQ(0, GLManager::computeFrameSleepMs(10000));
  EXPECT_EQ(0, GLManager::computeFrameSleepMs(1000000));
  EXPECT_EQ(200000, GLManager::capPeriodDuration(1000000));
  EXPECT_EQ(200000, GLManager::capPeriodDuration(200001));
  EXPECT_EQ(15000, GLManager::capPeriodDuration(15000));

  // A step long after the previous one reports the capped period.
  GLManager::manageEvents();
  Platform::sleepMs(300);
  const int swapDuration = GLManager::manageEvents();
  EXPECT_GE(swapDuration, 0);
  EXPECT_EQ(200000, GLManager::getPeriodDuration());
  // Steps in a row are held to at least 10 ms each.
  for (int i = 0; i < 3; ++i) {
    GLManager::manageEvents();
    EXPECT_GE(GLManager::getPeriodDuration(), 10000);
    EXPECT_LE(GLManager::getPeriodDuration(), 200000);
  }
}

TEST_F(DeviceManagerTest, ResizeIsLoggedAndFollowedBy2DAnd3D) {
  testing::internal::CaptureStdout();
  glutReshapeWindow(640, 480);
  waitForWindowSize(640, 480);
  for (int i = 0; i < 3; ++i) GLManager::manageEvents();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Rescaling to (640,480)\n", log);
  EXPECT_TRUE(GLManager::getWindowSize() == Int2(640, 480));
  EXPECT_TRUE(GLManager::getScene2D()->windowSize == Int2(640, 480));
  EXPECT_TRUE(GLManager::getScene2D()->size2D == Int2(640, 480));
  EXPECT_FLOAT_EQ(640.f / 480.f, GLManager::getScene3D()->getAspectRatio());
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(640, viewport[2]);
  EXPECT_EQ(480, viewport[3]);

  // A 2D screen that does not follow the window keeps its size.
  GLManager::getScene2D()->isFollowingWindow = false;
  testing::internal::CaptureStdout();
  glutReshapeWindow(800, 600);
  waitForWindowSize(800, 600);
  log = testing::internal::GetCapturedStdout();
  EXPECT_EQ("Rescaling to (800,600)\n", log);
  EXPECT_TRUE(GLManager::getScene2D()->windowSize == Int2(800, 600));
  EXPECT_TRUE(GLManager::getScene2D()->size2D == Int2(640, 480));
  GLManager::getScene2D()->isFollowingWindow = true;
  GLManager::resize(800, 600);
  EXPECT_TRUE(GLManager::getScene2D()->size2D == Int2(800, 600));

  // A window shrunk to nothing keeps the last usable size.
  testing::internal::CaptureStdout();
  GLManager::resize(800, 0);
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_TRUE(GLManager::getWindowSize() == Int2(800, 600));
}

TEST_F(DeviceManagerDeathTest, FullscreenSwitchSetsTheFlagForGood) {
  EXPECT_EXIT(
      {
        testing::internal::CaptureStdout();
        GLManager::setFullscreen(1024, 768);
        for (int i = 0; i < 20; ++i) GLManager::manageEvents();
        GLManager::setWindowed(800, 600);
        for (int i = 0; i < 20; ++i) GLManager::manageEvents();
        const std::string log = testing::internal::GetCapturedStdout();
        fprintf(stderr, "%sfullscreen=%d\n", log.c_str(), GLManager::isFullscreen() ? 1 : 0);
        exit(0);
      },
      testing::ExitedWithCode(0),
      "Set to fullscreen mode 1024x768\nFound window handle\n(.|\n)*"
      "Set to windowed mode 800x600\nFound window handle\n(.|\n)*fullscreen=1");
}

TEST_F(DeviceManagerDeathTest, SingletonMisuseIsAFatalReport) {
  EXPECT_EXIT(DeviceManager::createInstance("again", "", 800, 600, false),
              testing::ExitedWithCode(1), "deviceManager == NULL");
  EXPECT_EXIT(
      {
        DeviceManager::destroyInstance();
        DeviceManager::destroyInstance();
      },
      testing::ExitedWithCode(1), "deviceManager != NULL");
}

}  // namespace

// GLX's current drawable (an X window id); <GL/glx.h> itself would bring X11's `Font` typedef,
// which clashes with the engine's class.
extern "C" unsigned long glXGetCurrentDrawable(void);

TEST_F(DeviceManagerTest, AKeyHeldPastTheAutoRepeatDelayAnswersNoRepeatOnce) {
  // The X server's own auto-repeat, with real key events: each repeat must not look like a new
  // press (a held key would toggle a menu or cycle a mode again at every repeat).
  const std::string window = std::to_string(glXGetCurrentDrawable());
  ASSERT_EQ(0, std::system(("timeout 20 xdotool windowfocus --sync " + window).c_str()));
  ASSERT_EQ(0, std::system("timeout 20 xdotool keydown b"));
  int nbNoRepeat = 0;
  size_t nbPresses = 0;
  const int64_t end = Platform::getMicroseconds() + 1500000;
  while (Platform::getMicroseconds() < end) {
    keyboard->clearKeysPressedThisFrame();
    GLManager::manageEvents();
    if (keyboard->isKeyDownNoRepeat('b')) ++nbNoRepeat;
    for (int key : keyboard->getKeysPressedThisFrame()) nbPresses += key == 'b';
    Platform::sleepMs(10);
  }
  ASSERT_EQ(0, std::system("timeout 20 xdotool keyup b"));
  for (int i = 0; i < 20; ++i) GLManager::manageEvents();
  EXPECT_GT(nbPresses, 1u) << "the server repeated the held key";
  EXPECT_EQ(1, nbNoRepeat);
  EXPECT_FALSE(keyboard->isKeyDown('b'));
}

TEST_F(DeviceManagerTest, ATapWithinOneEventPumpIsHeldUntilTheNextPump) {
  keyboard->beginEventPump();
  keyboard->keyDown('t');
  keyboard->keyUp('t');
  keyboard->specialKeyDown(GLUT_KEY_F2);
  keyboard->specialKeyUp(GLUT_KEY_F2);
  keyboard->endEventPump();
  EXPECT_TRUE(keyboard->isKeyDown('t'));
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('t'));
  EXPECT_FALSE(keyboard->isKeyDownNoRepeat('t'));
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat(KeyboardManager::keyF1 + 1));
  keyboard->beginEventPump();
  keyboard->endEventPump();
  EXPECT_FALSE(keyboard->isKeyDown('t'));
  EXPECT_FALSE(keyboard->isKeyDown(KeyboardManager::keyF1 + 1));

  // Pressed again in the pump that lets the tap go: held, and a new press.
  keyboard->beginEventPump();
  keyboard->keyDown('t');
  keyboard->keyUp('t');
  keyboard->endEventPump();
  keyboard->beginEventPump();
  keyboard->keyDown('t');
  keyboard->endEventPump();
  EXPECT_TRUE(keyboard->isKeyDownNoRepeat('t'));
  // A release in a later pump than the press takes effect at once.
  keyboard->beginEventPump();
  keyboard->keyUp('t');
  keyboard->endEventPump();
  EXPECT_FALSE(keyboard->isKeyDown('t'));
}

TEST_F(DeviceManagerTest, TapsShorterThanASlowFrameAreNeverLost) {
  // Real key events: 10 ms taps of the X server against frames of 200 ms.
  const std::string window = std::to_string(glXGetCurrentDrawable());
  ASSERT_EQ(0, std::system(("timeout 20 xdotool windowfocus --sync " + window).c_str()));
  constexpr int64_t frameMicroseconds = 200000;
  int nbSeen = 0, nbSeenOnce = 0, nbInList = 0, nbReleased = 0;
  for (int tap = 0; tap < 10; ++tap) {
    GLManager::manageEvents();
    const int64_t frameStart = Platform::getMicroseconds();
    ASSERT_EQ(0, std::system("timeout 20 xdotool keydown t sleep 0.01 keyup t"));
    const int64_t rest = frameMicroseconds - (Platform::getMicroseconds() - frameStart);
    if (rest > 0) Platform::sleepMs(static_cast<int>(rest / 1000));
    GLManager::manageEvents();
    nbSeen += keyboard->isKeyDown('t');
    nbSeenOnce += keyboard->isKeyDownNoRepeat('t') && !keyboard->isKeyDownNoRepeat('t');
    for (int key : keyboard->getKeysPressedThisFrame()) nbInList += key == 't';
    Platform::sleepMs(static_cast<int>(frameMicroseconds / 1000));
    GLManager::manageEvents();
    nbReleased += !keyboard->isKeyDown('t');
  }
  EXPECT_EQ(10, nbSeen);
  EXPECT_EQ(10, nbSeenOnce);
  EXPECT_EQ(10, nbInList);
  EXPECT_EQ(10, nbReleased);
}
