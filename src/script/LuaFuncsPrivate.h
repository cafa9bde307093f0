#ifndef ENGINE_LUAFUNCSPRIVATE_H
#define ENGINE_LUAFUNCSPRIVATE_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/SaveGame.h"
#include "script/ScriptHandles.h"

class CustomObject;
class EditText;
class Editor3D;
class Font;
class SoundManager;
class Sprite;
class World;

/// What the engine functions offered to the script share: the engine parts they reach (all
/// borrowed) and the requests the script leaves for the main loop. One process-wide record,
/// `luaFuncsPrivate`, reset whenever a script host is created.
class LuaFuncsPrivate {
 public:
  LuaFuncsPrivate();
  ~LuaFuncsPrivate();
  LuaFuncsPrivate(const LuaFuncsPrivate&) = delete;
  LuaFuncsPrivate& operator=(const LuaFuncsPrivate&) = delete;

  /// Back to the defaults: no engine parts, no requests, white clear colour, no variables, no
  /// type names, nothing scheduled, no text entry, no handles. The world file's path is kept.
  void reset();

  /// Draws the scheduled sprites and texts, then forgets those whose end time (ms) is before
  /// `nowMs` (sprites released through the sprite manager); then the active text entry.
  void drawScheduled(int64_t nowMs);
  /// Releases every scheduled sprite and forgets every scheduled text.
  void releaseScheduled();
  /// Draws the text with the default font at scale 1, centred on the 2D area.
  void drawTextCentred(const std::string& text) const;
  /// The world scene, or a fatal report naming the function that needed it when there is none.
  World& requireWorld(const char* function) const;

  /// Set at construction of the script host; republished by the main loop every frame.
  World* world = nullptr;
  /// Published by the main loop every frame.
  Editor3D* editor = nullptr;
  /// The main manager's editor-mode flag, published every frame.
  bool* isEditorMode = nullptr;
  Font* font = nullptr;
  SoundManager* sound = nullptr;

  bool isQuitRequested = false;
  /// Taken (and emptied) by the main loop once per frame; empty when none.
  std::string pendingLoadName;
  std::string pendingSaveName;
  /// Screen clear colour and fog colour, R G B A; A stays 255.
  unsigned char clearColor[4] = {255, 255, 255, 255};
  /// Whether this frame's Game.draw2D drew a full-screen sprite.
  bool isFullscreenSpriteDrawn = false;
  /// The object whose callback runs now, null outside object callbacks.
  CustomObject* currentObject = nullptr;
  SaveGame::GlobalVariables globalVariables;
  /// Script object type names; the index is the type id.
  std::vector<std::string> activeObjectsNames;
  /// Sprite (owned through the sprite manager) -> end time in ms.
  std::map<Sprite*, int64_t> scheduledSprites;
  /// Text drawn centred -> end time in ms.
  std::map<std::string, int64_t> scheduledTexts;
  std::unique_ptr<EditText> activeEditText;
  bool isMainMenuRequested = false;
  /// The sprites, models and sounds handed to the script and not destroyed since.
  ScriptHandles handles;
  /// Development mode: a mistake of the script (a Lua error, or a report raised while an engine
  /// function runs for it) stops the script instead of ending the program. Set by the host.
  bool isDevelopmentMode = false;
  /// In development mode, the first mistake's text with its traceback; while it is not empty
  /// the script is stopped: the host calls none of its functions and every engine function it
  /// still reaches raises a Lua error.
  std::string scriptError;
  /// The world file's path, for the default save-game name (published by the main manager).
  std::string worldDataFile = "world.dat";
  /// The port getPageFromWebServer asks the server on when the URL names none; kept by reset
  /// (tests serve pages on a port of their own).
  int webServerPort = 80;
};

extern LuaFuncsPrivate luaFuncsPrivate;

#endif
