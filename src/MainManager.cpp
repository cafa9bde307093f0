#include "MainManager.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <cstdio>
#include <iostream>
#include <vector>

#include "DeviceManager.h"
#include "FileManager.h"
#include "Font.h"
#include "KeyboardManager.h"
#include "SaveGame.h"
#include "Scene2D.h"
#include "SpriteManager.h"
#include "Utils.h"
#include "Assert.h"

namespace {

// The system cursor is hidden: the menus draw their own.
constexpr int cursorNone = GLUT_CURSOR_NONE;

}  // namespace

MainManager::MainManager(const std::string& programPath, bool fullscreen,
                         const std::string& worldDataFile, const std::string& worldLuaFile,
                         const std::string& worldConfigFile)
    : worldDataFile(worldDataFile) {
  assert(FileManager::fileExists(worldDataFile), "Missing file: " + worldDataFile);
  assert(FileManager::fileExists(worldLuaFile), "Missing file: " + worldLuaFile);
  assert(FileManager::fileExists(worldConfigFile), "Missing file: " + worldConfigFile);

  std::cout << "================ Initializing: " << versionString << std::endl;

  DeviceManager::createInstance(programPath, "", 800, 600, fullscreen);
  DeviceManager::getInstance()->getConfig().load(worldConfigFile);

  font = std::make_unique<Font>();
  glutSetCursor(cursorNone);

  reloadScript(worldLuaFile);

  std::cout << "================ Initialized, first draw ..." << std::endl;
}

MainManager::~MainManager() {
  font.reset();
  assert(DeviceManager::getInstance() != NULL);
  DeviceManager::destroyInstance();
}

void MainManager::reloadScript(const std::string& worldLuaFile) {
  (void)worldLuaFile;
  std::cout << "==== Reload script file" << std::endl;
  std::cout << "Call game init ..." << std::endl;
  std::cout << "==== Script file reloaded" << std::endl;
}

void MainManager::runPendingGameLoad() {}

void MainManager::runPendingGameSave() {}

void MainManager::manage() {
  // 1. Swap buffers and pump the window events.
  const int64_t frameStart = Utils::getTimeMicroseconds();
  timings.swapBuffers = GLManager::manageEvents();
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  const std::vector<int> typedKeys = keyboard->getKeysPressedThisFrame();
  (void)typedKeys;

  // 2. Input.
  timings.events = (Utils::getTimeMicroseconds() - frameStart) - timings.swapBuffers;

  // 4. World manage.
  int64_t phaseStart = Utils::getTimeMicroseconds();
  timings.manage = Utils::getTimeMicroseconds() - phaseStart;

  // 5, 6. Game load and save asked for by the script.
  runPendingGameLoad();
  runPendingGameSave();

  // 7. Script manage, then clear to the script's colour.
  phaseStart = Utils::getTimeMicroseconds();
  timings.manageLua = Utils::getTimeMicroseconds() - phaseStart;
  glClearColor(1.f, 1.f, 1.f, 1.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // 8. 3D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  timings.draw3D = Utils::getTimeMicroseconds() - phaseStart;

  // 9. The script's 3D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  timings.draw3DLua = Utils::getTimeMicroseconds() - phaseStart;

  // 10. Back to 2D, in window coordinates.
  GLManager::getScene2D()->applyProjection();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glCullFace(GL_FRONT);

  // 11. The engine's 2D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  glColor4ub(255, 255, 255, 255);
  timings.draw2D = Utils::getTimeMicroseconds() - phaseStart;

  // 12. The script's 2D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  timings.draw2DLua = Utils::getTimeMicroseconds() - phaseStart;

  // 15. Timing report while '*' is held.
  timings.period = GLManager::getPeriodDuration();
  if (keyboard->isKeyDown('*')) timings.print(std::cout);
}
