#ifndef ENGINE_MAINMANAGER_H
#define ENGINE_MAINMANAGER_H

#include <memory>
#include <string>

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

  /// Checks the three data files, opens the window, loads the configuration and the subsystems.
  MainManager(const std::string& programPath, bool fullscreen, const std::string& worldDataFile,
              const std::string& worldLuaFile, const std::string& worldConfigFile);
  ~MainManager();
  MainManager(const MainManager&) = delete;
  MainManager& operator=(const MainManager&) = delete;

  /// One frame: events, input, manage, game load and save, script, 3D, 2D, timing report.
  void manage();

  /// Replaces the script host (also used for the first load).
  void reloadScript(const std::string& worldLuaFile);

  bool getIsRunning() const { return isRunning; }
  bool getIsEditorMode() const { return isEditorMode; }
  const FrameTimings& getLastTimings() const { return timings; }
  MenuState* getMenu() const { return menu.get(); }
  World* getWorld() const { return world.get(); }
  Editor3D* getEditor() const { return editor.get(); }

 private:
  void runPendingGameLoad();
  void runPendingGameSave();
  /// Game.uninit, every loaded object type unloaded, global variables cleared, host destroyed.
  void releaseScript();

  std::unique_ptr<World> world;
  std::unique_ptr<Editor3D> editor;  ///< borrows the world's indexed world
  std::unique_ptr<LuaFuncs> luaFuncs;
  std::unique_ptr<Font> font;
  std::unique_ptr<MenuState> menu;
  std::unique_ptr<SoundManager> sound;
  bool isRunning = true;
  bool isEditorMode = false;
  std::string worldDataFile;
  FrameTimings timings;
  PassTimings passTimings;
};

#endif
