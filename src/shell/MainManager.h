#ifndef ENGINE_MAINMANAGER_H
#define ENGINE_MAINMANAGER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shell/FrameTimings.h"
#include "scene/PassTimings.h"

class Editor3D;
class Font;
class LuaFuncs;
class MenuState;
class SoundManager;
class World;

/// Owns every long-lived subsystem, runs one frame per call of manage() in a fixed order of
/// phases, times each phase, and runs the game loads and saves that the script asks for.
class MainManager {
 public:
  static constexpr const char* versionString = "Engine made by Quillmark, version 0.54";
  /// Where F12 writes its pictures of the window, relative to the game's directory.
  static constexpr const char* screenshotDirectory = "screenshots";

  /// Development mode: how often the script file's modification time is looked at.
  static constexpr int64_t scriptWatchPeriodUs = 500000;
  /// The colour of the panel that shows a stopped script's mistake.
  static constexpr unsigned char errorPanelColour[3] = {110, 0, 0};

  /// Checks the three data files, opens the window, loads the configuration and the subsystems.
  /// Development mode is on with `isDevelopmentMode` ("--dev") or the configuration's
  /// "script_development_mode".
  MainManager(const std::string& programPath, bool fullscreen, const std::string& worldDataFile,
              const std::string& worldLuaFile, const std::string& worldConfigFile,
              bool isDevelopmentMode = false);
  ~MainManager();
  MainManager(const MainManager&) = delete;
  MainManager& operator=(const MainManager&) = delete;

  /// One frame: events, input, manage, game load and save, script, 3D, 2D, timing report.
  void manage();

  /// Replaces the script host (also used for the first load).
  void reloadScript(const std::string& worldLuaFile);

  bool getIsRunning() const { return isRunning; }
  bool getIsEditorMode() const { return isEditorMode; }
  bool getIsDevelopmentMode() const { return isDevelopmentMode; }
  /// Development mode: whether a mistake stopped the script.
  bool isScriptStopped() const;
  const FrameTimings& getLastTimings() const { return timings; }
  MenuState* getMenu() const { return menu.get(); }
  World* getWorld() const { return world.get(); }
  Editor3D* getEditor() const { return editor.get(); }

 private:
  void runPendingGameLoad();
  void runPendingGameSave();
  /// Game.uninit, every loaded object type unloaded, global variables cleared, host destroyed.
  void releaseScript();
  /// Development mode: reloads the script (world, player and world file kept) when the reload
  /// key was typed or, looked at every scriptWatchPeriodUs, the script file changed on disk.
  void watchScript(const std::vector<int>& typedKeys);
  /// The stopped script's mistake, its traceback and how to go on, over the frame.
  void drawScriptError();

  std::unique_ptr<World> world;
  std::unique_ptr<Editor3D> editor;  ///< borrows the world's indexed world
  std::unique_ptr<LuaFuncs> luaFuncs;
  std::unique_ptr<Font> font;
  std::unique_ptr<MenuState> menu;
  std::unique_ptr<SoundManager> sound;
  bool isRunning = true;
  bool isEditorMode = false;
  std::string worldDataFile;
  std::string worldLuaFile;
  bool isDevelopmentMode = false;
  /// The script file's modification time and size when it was last loaded (-1: none).
  int64_t scriptFileTime = -1;
  int64_t scriptFileSize = -1;
  int64_t nextScriptWatchUs = 0;
  FrameTimings timings;
  PassTimings passTimings;
};

#endif
