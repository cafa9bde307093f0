#ifndef ENGINE_MENUSTATE_H
#define ENGINE_MENUSTATE_H

#include <cstdint>
#include <vector>

#include "MouseEvent.h"

class Font;
class Sprite;
class World;

/// The engine's own two full-window menus, drawn over the scene: the main menu (resume,
/// options, quit, with the version and the frame rate) and the options menu (display modes,
/// view distance, shadows, reversed mouse look, streaming options). Owned by the main manager,
/// which hands it the frame's keys and mouse events while a menu is shown. Needs the device
/// manager (its three sprites come from the texture registry and go back there on
/// destruction).
class MenuState {
 public:
  static constexpr const char* mainMenuImage = "images_engine/main_menu.png";
  static constexpr const char* optionsMenuImage = "images_engine/options_menu.png";
  static constexpr const char* mouseImage = "images_engine/menu_mouse.png";
  static constexpr int keyEscape = 27;

  /// Loads the three sprites; the view distance starts at "default_distance_vision".
  MenuState();
  /// Releases the three sprites.
  ~MenuState();
  MenuState(const MenuState&) = delete;
  MenuState& operator=(const MenuState&) = delete;

  /// The typed keys, then the mouse events (window pixels) of one frame, while a menu is
  /// shown. Returns false when the program is to end.
  bool manageInput(const std::vector<int>& typedKeys, const std::vector<MouseEvent>& mouseEvents,
                   bool isEditorPrompting);
  /// Takes the script's main-menu request (read and cleared): the menu shows unless the
  /// editor's prompt is under way, in which case the request is dropped. Returns true when the
  /// menu was shown (the frame's input stops there).
  bool takeMainMenuRequest(bool& isRequested, bool isEditorPrompting);
  void showMainMenu();
  /// The translucent veil, the shown menu with its texts, and the cursor while a menu is shown
  /// or in editor mode. `periodDuration`: the last frame period in microseconds.
  void draw(Font& font, const char* versionText, int64_t periodDuration, bool isEditorMode);

  bool getIsMainMenuShown() const { return isMainMenuShown; }
  bool getIsOptionsMenuShown() const { return isOptionsMenuShown; }
  bool getIsMenuShown() const { return isMainMenuShown || isOptionsMenuShown; }

  /// The world scene the option choices act on (borrowed; null while there is none, when the
  /// choices are only remembered).
  void setWorld(World* parWorld) { world = parWorld; }
  /// The world scene's view distance as the menu last set it.
  float getViewDistance() const { return viewDistance; }
  void setViewDistance(float distance) { viewDistance = distance; }
  /// Reversed vertical mouse look as the menu last set it.
  bool getIsReverseMouseY() const { return isReverseMouseY; }

  /// Full screen was entered during this run (start option or a full-screen choice); never
  /// cleared. The windowed choice is refused once it is set.
  static bool getIsFullscreenEntered();
  /// The window is full screen now, as far as the start option and the menu's choices know.
  static bool getIsFullscreenNow() { return isFullscreenNow; }

 private:
  /// Returns false for the quit choice.
  bool clickMainMenu(int x, int y);
  void clickOptionsMenu(int x, int y);
  void chooseDisplayMode(int row, int column);
  void chooseSetting(int row, int choice);
  void enterFullscreen(int width, int height);

  bool isMainMenuShown = false;
  bool isOptionsMenuShown = false;
  Sprite* mainMenuSprite = nullptr;     ///< owned through the texture registry
  Sprite* optionsMenuSprite = nullptr;  ///< owned through the texture registry
  Sprite* mouseSprite = nullptr;        ///< owned through the texture registry
  float viewDistance = 0.f;
  bool isReverseMouseY = false;
  World* world = nullptr;

  static bool isFullscreenEnteredFromMenu;
  static bool isFullscreenNow;
  /// A display choice was made: from then on the start option no longer tells the state.
  static bool isDisplayChosen;
};

#endif
