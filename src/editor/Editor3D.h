#ifndef EDITOR3D_H
#define EDITOR3D_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BasicVector.h"
#include "MouseEvent.h"
#include "SpriteManager.h"

class Editor3DCubeTypeDialogue;
class Editor3DMenuPage;
class Font;
class IndexedWorld;
class UndoLog;

/// The in-game world editor: a cube cursor moved with the keyboard, command keys and a
/// mouse-driven menu that add and remove cubes, boxes, spheres, holes and script objects,
/// manage the cube types (with a ten-step dialogue), generate landscapes, compute shadows,
/// optimise regions and save or load the world file. Also holds the cube selection that the
/// script starts outside editor mode (startCubeCreation / manageCubeCreation).
///
/// The main manager owns it, hands it the typed keys and mouse events while editor mode is on,
/// lets it place the camera and draws its overlays. Font and indexed world are borrowed and
/// must outlive the editor.
///
/// The class spans four source files: Editor3D.cpp (construction, camera, cursor, the edit
/// actions, the cube-type dialogue and the script's cube selection), Editor3DKeys.cpp (the key
/// table, key handling and the help), Editor3DMenu.cpp (the mouse and the menu pages' actions)
/// and Editor3DDraw.cpp (the 3D wireframes and the 2D overlay).
class Editor3D {
 public:
  Editor3D(Font* parFont, IndexedWorld* parIndexedWorld, const std::string& parWorldFileName,
           const std::string& parScriptFileName);
  ~Editor3D();
  Editor3D(const Editor3D&) = delete;
  Editor3D& operator=(const Editor3D&) = delete;

  // ---- Frame calls of the main manager (editor mode)
  /// Orientation from the camera yaw, camera angles, then the camera placed at the cursor.
  void updateCamera();
  /// One typed key (an entry of the frame's press list).
  void manageKey(int keyIndex);
  /// One mouse event (window pixels).
  void manageMouseEvent(const MouseEvent& event);
  /// The wireframe cursor (and selection) in the 3D pass.
  void draw3D();
  /// The 2D overlay: status line, menu pages, selected types or the dialogue.
  void drawOverlay();

  /// True while the cube-type dialogue runs: the main menu request and the script's key
  /// reads must leave the keys to it.
  bool isPrompting() const;
  /// True once after a world load from the editor: the script's global variables belong to
  /// the old world and the main manager clears them.
  bool takeClearGlobalVariablesRequest();

  // ---- Script cube selection (outside editor mode)
  /// Starts the selection with both corners on the cube holding the real point; ignored while
  /// one is under way.
  void startCubeCreation(const Float3& realPoint);
  /// False while none is under way; otherwise writes the corners and answers the confirmed
  /// flag, ending the selection when it is true.
  bool manageCubeCreation(Int3& movingCornerOut, Int3& startCornerOut);
  bool isCubeCreationActive() const { return cubeSelectionActive; }
  /// Mouse events while a selection is under way: motion turns the camera, a left click
  /// confirms; answers whether the event was taken (then nobody else sees it).
  bool manageCubeCreationMouseEvent(const MouseEvent& event);
  /// Keys while a selection is under way: arrows and page up/down move the moving corner
  /// (as they move the cursor), Enter confirms. Answers whether the key was taken.
  bool manageCubeCreationKey(int keyIndex);
  /// The three wireframe boxes of the selection (3D pass, play mode).
  void drawCubeCreation();

  // ---- State
  const Int3& getCursorPosition() const { return cursor; }
  void setCursorPosition(const Int3& position) { cursor = position; }
  int getCurrentCubeType() const { return currentCubeType; }
  void setCurrentCubeType(int type) { currentCubeType = type; }
  int getCurrentObjectType() const { return currentObjectType; }
  int getOrientation() const { return orientation; }
  /// The cube-type dialogue's step: 0 none, 1..6 face names, 7..9 texture options, 10 collidable.
  int getDialogueStep() const;
  /// The texture files the dialogue offers (read when it starts).
  const std::vector<std::string>& getDialogueTextureFiles() const;
  /// Whether the dialogue refused the last face name typed (no such texture file).
  bool getIsTextureNameRefused() const;
  float getCameraDistance() const { return cameraDistance; }
  const Float3& getCameraAngles() const { return cameraAngles; }
  bool getIsSelectionActive() const { return selectionActive; }
  const Int3& getSelectionStart() const { return selectionStart; }
  const std::vector<std::unique_ptr<Editor3DMenuPage>>& getMenuPages() const { return menuPages; }
  /// Opens a page (position from the parent, the last page, or (100, 50) without one).
  Editor3DMenuPage* openPage(const std::string& title);
  /// The page of that title, null when it is not open.
  Editor3DMenuPage* findPage(const std::string& title) const;
  /// Runs the action of entry `index` of the page (as a click on it does).
  void chooseEntry(const std::string& title, int index);
  /// Orientation 0..3 of a camera yaw (degrees).
  static int computeOrientation(float cameraYaw);
  /// Every edit made through the keys and the menus (Ctrl+Z undoes, Ctrl+Y redoes).
  UndoLog& getUndoLog() { return *undoLog; }

  /// Keys held with a command key (bits of KeyCommand::held).
  enum HeldKeys : unsigned { heldF2 = 1, heldF3 = 2, heldF4 = 4, heldF5 = 8, heldT = 16, heldDigit = 32 };
  /// KeyCommand::key of the commands typed with any arrow key, page up or page down.
  static constexpr int cursorKeys = -1;
  /// One command of the key handler. A typed key runs the first command of the table whose key
  /// it is and whose held keys are all down; the help page lists the same table, so what it
  /// says cannot drift from what the keys do.
  struct KeyCommand {
    int key;            ///< typed key, letters in lower case, or cursorKeys
    unsigned held;      ///< HeldKeys bits that must be down
    const char* keys;   ///< the keys as the help page names them
    const char* label;  ///< what they do
    void (*action)(Editor3D& editor, int key);
  };
  static const std::vector<KeyCommand>& getKeyCommands();
  /// The held-key bits now down.
  static unsigned getHeldKeys();
  /// The help page's lines: the keys, a tab, then what they do.
  static std::vector<std::string> getHelpLines();

 private:
  /// Short name of the menu page class in the source files of the editor.
  using Page = Editor3DMenuPage;

  void startDialogue(bool parModify);
  /// Applies the answers of the completed dialogue: a new cube type, or the current one changed.
  void finishDialogue();
  /// The face names of the current cube type, null when there is none.
  const std::string* getCurrentTypeNames() const;
  /// Runs the first command of the key table that the key and the held keys match.
  void runKeyCommand(int key);
  /// Space: marks the selection start, or fills the box to the cursor (one box with F5).
  void selectOrFill(bool asOneBox);
  /// N + p: a box of edge N around the cursor, filled or (F5) emptied.
  void editBoxAroundCursor(int n, bool isRemoval);
  /// N + s: a sphere of radius N + 0.5 cubes around the cursor, filled or (F5) emptied.
  void editSphereAroundCursor(int n, bool isRemoval);
  void toggleHelp();
  void undoOrRedo(bool isUndo);
  void moveCursor(int key, Int3& position) const;
  /// Cube step of the arrow keys (F4 and F2 multiply it).
  int getCursorStep() const;
  /// Digit 1..9 held, 0 for none.
  static int getHeldDigit();
  static bool isKeyHeld(int index);
  /// The script object at the cursor (or standing in the cursor's cube), else the cube there
  /// (nearest: the nearest ones in the cursor's region).
  void deleteObjectOrCube(bool nearest);
  void loadWorld();
  void saveWorld();
  /// True when six types start at the current one; otherwise opens the message page.
  bool checkSixTypes();
  void generateOneRegion(int hillside);
  void generateFromHeightmap(int n);
  void removeLastCubeType();
  void changeCubeType(int delta);
  void changeObjectType(int delta);
  void clearRegionsAround(int radius);
  void optimizeRegionsAround(int radius);
  void createObjectAtCursor(bool isGlobal);
  /// Real position of the cursor cube's lower corner.
  Float3 getCursorRealPosition() const;
  /// Closes the page at that index of the list.
  void closePage(size_t index);
  void menuAction(const std::string& title, int index);
  void drawMenuPages();
  void drawSelectedTypes();
  /// Wireframe box between two cube positions (lower corners), and the markers.
  void drawWireBox(const Float3& from, const Float3& to) const;
  void drawMarker(const Float3& position) const;
  /// Starts a wireframe pass (texturing and culling off, fixed colour); the end restores.
  void beginWireframe() const;
  void endWireframe() const;
  /// Marks exactly these cube types as kept (their textures stay loaded).
  void keepCubeTypeTextures(const std::vector<int>& types);

  Int3 cursor{0, 0, 0};
  Int3 selectionStart{0, 0, 0};
  bool selectionActive = false;
  Float3 cameraAngles{30.f, 180.f, 0.f};
  int orientation = 0;
  int currentObjectType = 0;
  int currentCubeType = 0;
  std::unique_ptr<Editor3DCubeTypeDialogue> dialogue;
  IndexedWorld* indexedWorld;
  Font* font;
  float cameraDistance = 30.f;
  std::vector<std::unique_ptr<Editor3DMenuPage>> menuPages;
  bool cubeSelectionActive = false;
  Int3 cubeSelectionStart{0, 0, 0};
  Int3 cubeSelectionMoving{0, 0, 0};
  bool cubeSelectionConfirmed = false;
  Int2 cubeSelectionLastMouse{0, 0};
  bool cubeSelectionHasLastMouse = false;
  float markerSize;
  std::string worldFileName;
  std::string scriptFileName;
  Color textColor{255, 255, 255, 255};
  bool isClearGlobalVariablesRequested = false;
  /// Cube types whose textures the overlay keeps loaded.
  std::vector<int> keptCubeTypes;
  std::unique_ptr<UndoLog> undoLog;
};

#endif
