#include "shell/MainManager.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "editor/Editor3D.h"
#include "EditText.h"
#include "FileManager.h"
#include "Font.h"
#include "KeyboardManager.h"
#include "script/LuaFuncs.h"
#include "script/LuaFuncsPrivate.h"
#include "shell/MenuState.h"
#include "Platform.h"
#include "scene/Player.h"
#include "script/SaveGame.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "Screenshot.h"
#include "SoundManager.h"
#include "SpriteManager.h"
#include "Utils.h"
#include "scene/World.h"
#include "Assert.h"

namespace {

// The system cursor is hidden: the menus draw their own.
constexpr int cursorNone = GLUT_CURSOR_NONE;

// The script file's modification time (in the file clock's ticks) and size; -1 when unreadable.
void readFileStamp(const std::string& path, int64_t& time, int64_t& size) {
  std::error_code error;
  const auto modified = std::filesystem::last_write_time(path, error);
  time = error ? -1 : static_cast<int64_t>(modified.time_since_epoch().count());
  const auto bytes = std::filesystem::file_size(path, error);
  size = error ? -1 : static_cast<int64_t>(bytes);
}

}  // namespace

MainManager::MainManager(const std::string& programPath, bool fullscreen,
                         const std::string& worldDataFile, const std::string& worldLuaFile,
                         const std::string& worldConfigFile, bool isDevelopmentMode)
    : worldDataFile(worldDataFile), worldLuaFile(worldLuaFile), isDevelopmentMode(isDevelopmentMode) {
  assert(FileManager::fileExists(worldDataFile), "Missing file: " + worldDataFile);
  assert(FileManager::fileExists(worldLuaFile), "Missing file: " + worldLuaFile);
  assert(FileManager::fileExists(worldConfigFile), "Missing file: " + worldConfigFile);

  std::cout << "================ Initializing: " << versionString << std::endl;

  DeviceManager::createInstance(programPath, "", 800, 600, fullscreen, worldConfigFile);
  if (DeviceManager::getInstance()->getConfig().getBool("script_development_mode")) this->isDevelopmentMode = true;
  if (this->isDevelopmentMode)
    std::cout << "Script development mode: a script mistake stops the script; it reloads when its file changes or on F8"
              << std::endl;

  sound = std::make_unique<SoundManager>(programPath);
  font = std::make_unique<Font>();
  glutSetCursor(cursorNone);

  menu = std::make_unique<MenuState>();

  // One list of script object type names: the script declares them (initActiveObjects), the
  // editor places them.
  world = std::make_unique<World>(worldDataFile, font.get(), sound.get(), worldLuaFile,
                                  &luaFuncsPrivate.activeObjectsNames);
  // The options menu steps the view distance from where the world starts.
  menu->setViewDistance(world->getViewDistance());
  menu->setWorld(world.get());

  luaFuncsPrivate.worldDataFile = worldDataFile;
  reloadScript(worldLuaFile);

  std::cout << "================ Initialized, first draw ..." << std::endl;

  world->setPassTimings(&passTimings);
  editor = std::make_unique<Editor3D>(font.get(), &world->getIndexedWorld(), worldDataFile, worldLuaFile);
  CustomObject::setCallback(luaFuncs.get());
}

MainManager::~MainManager() {
  if (passTimings.getIsEnabled()) passTimings.print(std::cout);
  menu.reset();  // before the world it acts on
  luaFuncsPrivate.editor = nullptr;
  editor.reset();
  // The script objects of the world run their types' uninit while the script host exists.
  world.reset();
  luaFuncsPrivate.world = nullptr;
  releaseScript();
  sound.reset();
  font.reset();
  DeviceManager* deviceManager = DeviceManager::getInstance();
  assert(deviceManager != NULL);
  DeviceManager::destroyInstance();
}

void MainManager::reloadScript(const std::string& worldLuaFile) {
  std::cout << "==== Reload script file" << std::endl;
  releaseScript();
  assert(luaFuncs == NULL);
  // Stamped before loading: a save during the load is seen at the next look.
  readFileStamp(worldLuaFile, scriptFileTime, scriptFileSize);
  luaFuncs = std::make_unique<LuaFuncs>(worldLuaFile, font.get(), sound.get(), world.get(), isDevelopmentMode);
  luaFuncsPrivate.isEditorMode = &isEditorMode;
  std::cout << "Call game init ..." << std::endl;
  luaFuncs->gameInit();
  std::cout << "==== Script file reloaded" << std::endl;
}

bool MainManager::isScriptStopped() const { return luaFuncs && luaFuncs->isStopped(); }

void MainManager::watchScript(const std::vector<int>& typedKeys) {
  bool isReloadAsked = std::find(typedKeys.begin(), typedKeys.end(), LuaFuncs::reloadKey) != typedKeys.end();
  const int64_t now = Utils::getTimeMicroseconds();
  if (!isReloadAsked && now >= nextScriptWatchUs) {
    nextScriptWatchUs = now + scriptWatchPeriodUs;
    int64_t time = -1;
    int64_t size = -1;
    readFileStamp(worldLuaFile, time, size);
    // An unreadable file (an editor replacing it) is waited for.
    isReloadAsked = time != -1 && (time != scriptFileTime || size != scriptFileSize);
  }
  if (!isReloadAsked) return;
  reloadScript(worldLuaFile);
  // The script functions reach the frame's parts again (the new host started from none).
  luaFuncsPrivate.editor = editor.get();
  luaFuncsPrivate.world = world.get();
}

void MainManager::drawScriptError() {
  const Int2 size = GLManager::getScene2D()->size2D;
  constexpr float scale = 0.5f;
  const int lineHeight = font->getHeight() / 2;
  const int margin = 10;
  const int width = size.x() - 2 * margin;

  // The mistake's lines, tabs opened, each cut to the width of the window.
  std::vector<std::string> lines = {std::string("Script stopped (development mode). Save the script file or press F8 to "
                                                "reload it."),
                                    ""};
  std::istringstream text(luaFuncs->getError());
  for (std::string line; std::getline(text, line);) {
    for (size_t tab; (tab = line.find('\t')) != std::string::npos;) line.replace(tab, 1, "    ");
    while (font->getTextWidth(line.c_str(), -1, scale) > width) {
      size_t fits = line.size() - 1;
      while (fits > 1 && font->getTextWidth(line.c_str(), static_cast<int>(fits), scale) > width) --fits;
      lines.push_back(line.substr(0, fits));
      line = "  " + line.substr(fits);
    }
    lines.push_back(line);
  }
  const int maxLines = std::max(1, (size.y() - 2 * margin) / lineHeight);
  if (static_cast<int>(lines.size()) > maxLines) lines.resize(maxLines);

  glColor4ub(errorPanelColour[0], errorPanelColour[1], errorPanelColour[2], 255);
  Scene2D::drawRectangle(Int2(0, 0), Int2(size.x(), static_cast<int>(lines.size()) * lineHeight + 2 * margin), true);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == 0)
      glColor4ub(255, 230, 80, 255);
    else
      glColor4ub(255, 255, 255, 255);
    font->drawText(lines[i].c_str(), scale, scale, margin, margin + static_cast<int>(i) * lineHeight);
  }
  glColor4ub(255, 255, 255, 255);
}

void MainManager::releaseScript() {
  if (!luaFuncs) return;
  luaFuncs->gameUninit();
  CustomObject::resetUsedTypes();
  CustomObject::unloadUnusedTypes();
  luaFuncsPrivate.globalVariables.clear();
  luaFuncs.reset();
}

void MainManager::runPendingGameLoad() {
  const std::string name = luaFuncsPrivate.pendingLoadName;
  luaFuncsPrivate.pendingLoadName.clear();
  if (name.empty()) return;
  FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return;
  std::cout << "Loading game from file " << name << std::endl;
  // The player changes only once the whole file proved sound.
  Player::Record playerRecord;
  const bool isRead = Player::readRecord(file, playerRecord) &&
                      SaveGame::readGlobalVariables(file, luaFuncsPrivate.globalVariables);
  std::fclose(file);
  if (isRead)
    world->getPlayer()->applyRecord(playerRecord);
  else
    showProblem("Damaged save game file '" + name + "': the player and the global variables were left unchanged");
}

void MainManager::runPendingGameSave() {
  const std::string name = luaFuncsPrivate.pendingSaveName;
  luaFuncsPrivate.pendingSaveName.clear();
  if (name.empty()) return;
  std::cout << "Saving game into file " << name << std::endl;
  SaveGame::writeFile(name, world->getPlayer()->getRecord(), luaFuncsPrivate.globalVariables);
}

void MainManager::manage() {
  // 1. Swap buffers and pump the window events.
  const int64_t frameStart = Utils::getTimeMicroseconds();
  const int64_t frameStepCpu = Platform::getProcessCpuMicroseconds();
  timings.swapBuffers = GLManager::manageEvents();
  passTimings.add(PassTimings::swap, timings.swapBuffers, Platform::getProcessCpuMicroseconds() - frameStepCpu);
  passTimings.start();
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  const std::vector<int> typedKeys = keyboard->getKeysPressedThisFrame();

  // 2. Input: a shown menu takes all of it; a main-menu request takes this frame's (it is
  // dropped while the editor's step-by-step prompt is under way).
  const bool isEditorPrompting = editor->isPrompting();
  if (menu->getIsMenuShown()) {
    isRunning = menu->manageInput(typedKeys, GLManager::getMouseEvents(), isEditorPrompting);
  } else if (!menu->takeMainMenuRequest(luaFuncsPrivate.isMainMenuRequested, isEditorPrompting)) {
    for (const int key : typedKeys) {
      if (isEditorMode)
        editor->manageKey(key);
      else if (editor->manageCubeCreationKey(key))
        continue;
      if (luaFuncsPrivate.activeEditText) luaFuncsPrivate.activeEditText->key(key);
    }
    for (const MouseEvent& event : GLManager::getMouseEvents()) {
      if (isEditorMode)
        editor->manageMouseEvent(event);
      else if (!editor->manageCubeCreationMouseEvent(event))
        world->getPlayer()->mouseEvent(event);
    }
    if (editor->takeClearGlobalVariablesRequest()) luaFuncsPrivate.globalVariables.clear();
  }

  // 3. What the script functions reach.
  luaFuncsPrivate.editor = editor.get();
  luaFuncsPrivate.world = world.get();
  luaFuncsPrivate.isEditorMode = &isEditorMode;
  timings.events = (Utils::getTimeMicroseconds() - frameStart) - timings.swapBuffers;

  // Development mode: the script reloads on the reload key or a change of its file.
  if (isDevelopmentMode && !menu->getIsMenuShown()) watchScript(typedKeys);

  // Typing into the script's open text entry does not walk the player.
  world->getPlayer()->setAreKeysTaken(luaFuncsPrivate.activeEditText != nullptr);

  // 4. World manage. While the script is stopped the player stays where its mistake left it.
  int64_t phaseStart = Utils::getTimeMicroseconds();
  world->manage(!isEditorMode && !editor->isCubeCreationActive() && !isScriptStopped());
  timings.manage = Utils::getTimeMicroseconds() - phaseStart;

  // 5, 6. Game load and save asked for by the script.
  runPendingGameLoad();
  runPendingGameSave();

  // 7. Script manage, then clear to the script's colour.
  phaseStart = Utils::getTimeMicroseconds();
  luaFuncs->gameManage();
  timings.manageLua = Utils::getTimeMicroseconds() - phaseStart;
  const unsigned char* clearColor = luaFuncsPrivate.clearColor;
  world->setFogColour(clearColor);
  passTimings.endPass(PassTimings::manage);
  world->clearScreen(Color(clearColor[0], clearColor[1], clearColor[2], clearColor[3]));
  passTimings.endPass(PassTimings::clear);

  // 8. 3D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  Scene3D* scene = GLManager::getScene3D();
  if (isEditorMode) {
    editor->updateCamera();
    world->draw(true);
    editor->draw3D();
  } else {
    const Player* player = world->getPlayer();
    scene->placeCamera(player->getPosition() + Float3(0.f, 10.f, 0.f), player->getCameraDistance());
    world->draw(false);
    editor->drawCubeCreation();
  }
  world->drawWater();
  passTimings.endPass(PassTimings::water);
  timings.draw3D = Utils::getTimeMicroseconds() - phaseStart;

  // 9. The script's 3D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  luaFuncs->gameDraw3D();
  timings.draw3DLua = Utils::getTimeMicroseconds() - phaseStart;
  passTimings.endPass(PassTimings::script3D);

  // 10. Back to 2D, in window coordinates.
  GLManager::getScene2D()->apply2DState();

  // 11. The engine's 2D drawing.
  phaseStart = Utils::getTimeMicroseconds();
  world->setFullscreenSpriteShown(luaFuncsPrivate.isFullscreenSpriteDrawn);
  world->drawWaterScreenTint();
  glColor4ub(255, 255, 255, 255);
  timings.draw2D = Utils::getTimeMicroseconds() - phaseStart;
  passTimings.endPass(PassTimings::overlay2D);

  // 12. The script's 2D drawing, then what it scheduled.
  phaseStart = Utils::getTimeMicroseconds();
  luaFuncs->gameDraw2D();
  timings.draw2DLua = Utils::getTimeMicroseconds() - phaseStart;

  // 13. The editor's overlay, then a stopped script's mistake.
  if (isEditorMode) editor->drawOverlay();
  if (isScriptStopped()) drawScriptError();

  // 14. The menus over everything.
  menu->draw(*font, versionString, GLManager::getPeriodDuration(), isEditorMode);
  passTimings.endPass(PassTimings::script2D);

  // 15. Timing report while '*' is held.
  timings.period = GLManager::getPeriodDuration();
  if (keyboard->isKeyDown('*')) timings.print(std::cout);

  // 16. F12: the finished frame, before the next frame step swaps it to the screen. The press
  // list, not the held state: a tap shorter than a slow frame is released before it is read.
  if (std::find(typedKeys.begin(), typedKeys.end(), KeyboardManager::keyF12) != typedKeys.end()) {
    const std::string path = Screenshot::saveWindow(screenshotDirectory);
    if (!path.empty()) std::cout << "Screenshot saved to '" << path << "'" << std::endl;
  }

  // 17. The script asked to quit.
  if (luaFuncsPrivate.isQuitRequested) isRunning = false;
}
