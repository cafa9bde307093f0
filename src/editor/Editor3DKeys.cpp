// Editor3D spans four source files:
//   Editor3D.cpp      construction, camera, cursor, the edit actions, the cube-type dialogue and
//                     the script's cube selection;
//   Editor3DKeys.cpp  the key table, key handling and the help;
//   Editor3DMenu.cpp  the mouse and the menu pages' actions;
//   Editor3DDraw.cpp  the 3D wireframes and the 2D overlay.

#include "editor/Editor3D.h"

#include <algorithm>

#include "editor/Editor3DCubeTypeDialogue.h"
#include "editor/Editor3DMenuPage.h"
#include "editor/Editor3DWorldGeneration.h"
#include "GLManager.h"
#include "world/IndexedWorld.h"
#include "KeyboardManager.h"
#include "editor/UndoLog.h"


namespace {

constexpr int keyCtrlL = 12;
constexpr int keyCtrlS = 19;
// The window system types Ctrl+Y and Ctrl+Z as these control characters.
constexpr int keyCtrlY = 25;
constexpr int keyCtrlZ = 26;
constexpr int keyDelete = 127;
constexpr int keyF2 = KeyboardManager::keyF1 + 1;
constexpr int keyF3 = KeyboardManager::keyF1 + 2;
constexpr int keyF4 = KeyboardManager::keyF1 + 3;
constexpr int keyF5 = KeyboardManager::keyF1 + 4;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Keys

bool Editor3D::isKeyHeld(int index) {
  const KeyboardManager* keyboard = GLManager::getKeyboardManager();
  return keyboard != nullptr && keyboard->isKeyDown(index);
}

int Editor3D::getHeldDigit() {
  for (int digit = 1; digit <= 9; ++digit)
    if (isKeyHeld('0' + digit)) return digit;
  return 0;
}

int Editor3D::getCursorStep() const {
  const int cubesPerRegion = Editor3DWorldGeneration::getCubesPerRegion(*indexedWorld);
  if (isKeyHeld(keyF4)) return std::max(1, static_cast<int>(cubesPerRegion * 8.0));
  if (isKeyHeld(keyF2)) return std::max(1, static_cast<int>(cubesPerRegion * 0.5));
  return 1;
}

const std::vector<Editor3D::KeyCommand>& Editor3D::getKeyCommands() {
  using E = Editor3D;
  constexpr int pageUp = KeyboardManager::keyPageUp;
  constexpr int pageDown = KeyboardManager::keyPageDown;
  // Most specific first: a command needing held keys comes before the same key alone.
  static const std::vector<KeyCommand> commands = {
      {pageUp, heldT, "t+PgUp", "Next script object type", [](E& e, int) { e.changeObjectType(1); }},
      {pageDown, heldT, "t+PgDown", "Previous script object type", [](E& e, int) { e.changeObjectType(-1); }},
      {pageUp, heldF3, "F3+PgUp", "Next cube type", [](E& e, int) { e.changeCubeType(1); }},
      {pageDown, heldF3, "F3+PgDown", "Previous cube type", [](E& e, int) { e.changeCubeType(-1); }},
      {cursorKeys, heldF4, "F4+arrows/PgUp/PgDown", "Move the cursor 8 regions",
       [](E& e, int key) { e.moveCursor(key, e.cursor); }},
      {cursorKeys, heldF2, "F2+arrows/PgUp/PgDown", "Move the cursor half a region",
       [](E& e, int key) { e.moveCursor(key, e.cursor); }},
      {cursorKeys, 0, "Arrows, PgUp/PgDown", "Move the cursor one cube (arrows as the camera looks)",
       [](E& e, int key) { e.moveCursor(key, e.cursor); }},
      {keyCtrlL, 0, "Ctrl+l", "Load the world from its file", [](E& e, int) { e.loadWorld(); }},
      {keyCtrlS, 0, "Ctrl+s", "Save the world into its file", [](E& e, int) { e.saveWorld(); }},
      {keyCtrlZ, 0, "Ctrl+z", "Undo the last edit", [](E& e, int) { e.undoOrRedo(true); }},
      {keyCtrlY, 0, "Ctrl+y", "Redo the last undone edit", [](E& e, int) { e.undoOrRedo(false); }},
      {' ', heldF5, "F5+Space", "Like Space, the box added as one block", [](E& e, int) { e.selectOrFill(true); }},
      {' ', 0, "Space", "Mark a corner; again: fill the box up to the cursor",
       [](E& e, int) { e.selectOrFill(false); }},
      {'d', 0, "d", "Empty the box from the marked corner to the cursor",
       [](E& e, int) {
         if (!e.selectionActive) return;
         e.indexedWorld->removeCubesParallelepiped(e.cursor, e.selectionStart);
         e.selectionActive = false;
       }},
      {'p', heldF5 | heldDigit, "F5+N+p", "Empty a box of N cubes around the cursor",
       [](E& e, int) { e.editBoxAroundCursor(getHeldDigit(), true); }},
      {'p', heldDigit, "N+p", "Fill a box of N cubes around the cursor",
       [](E& e, int) { e.editBoxAroundCursor(getHeldDigit(), false); }},
      {'s', heldF5 | heldDigit, "F5+N+s", "Empty a sphere of radius N.5 cubes",
       [](E& e, int) { e.editSphereAroundCursor(getHeldDigit(), true); }},
      {'s', heldDigit, "N+s", "Fill a sphere of radius N.5 cubes",
       [](E& e, int) { e.editSphereAroundCursor(getHeldDigit(), false); }},
      {'g', heldF4, "F4+g", "Generate 8x8 regions from 'world_heightmap.png'",
       [](E& e, int) {
         if (e.checkSixTypes()) e.generateFromHeightmap(8);
       }},
      {'g', heldDigit, "N+g", "Generate one region, hillside N (1 to 4)",
       [](E& e, int) {
         const int digit = getHeldDigit();
         if (e.checkSixTypes()) e.generateOneRegion(digit <= 4 ? digit : 0);
       }},
      {'g', 0, "g", "Generate one flat region",
       [](E& e, int) {
         if (e.checkSixTypes()) e.generateOneRegion(0);
       }},
      {'i', 0, "i", "Cursor back to 0, 0, 0", [](E& e, int) { e.cursor = Int3(0, 0, 0); }},
      {'m', heldF3, "F3+m", "Modify the current cube type",
       [](E& e, int) {
         if (e.indexedWorld->getNbCubeType() > 0) e.startDialogue(true);
       }},
      {'q', heldF3, "F3+q", "Add a new cube type", [](E& e, int) { e.startDialogue(false); }},
      {'r', heldF3, "F3+r", "Remove the last cube type", [](E& e, int) { e.removeLastCubeType(); }},
      {'v', 0, "v", "Place a script object on the ground below the cursor",
       [](E& e, int) {
         if (!e.indexedWorld->getObjectTypeNames().empty())
           Editor3DWorldGeneration::placeObjectOnGround(*e.indexedWorld, e.cursor.x(), e.cursor.z(),
                                                        e.currentObjectType);
       }},
      {'x', heldF5, "F5+x", "Place a global script object at the cursor",
       [](E& e, int) {
         if (!e.indexedWorld->getObjectTypeNames().empty()) e.createObjectAtCursor(true);
       }},
      {'x', 0, "x", "Place a script object at the cursor",
       [](E& e, int) {
         if (!e.indexedWorld->getObjectTypeNames().empty()) e.createObjectAtCursor(false);
       }},
      {keyDelete, heldF4, "F4+Del", "Clear all regions", [](E& e, int) { e.indexedWorld->reset(); }},
      {keyDelete, heldF2, "F2+Del", "Clear the cursor's region",
       [](E& e, int) { e.indexedWorld->clear(e.getCursorRealPosition(), true); }},
      {keyDelete, heldF5, "F5+Del", "Delete the nearest object, else cube, in the region",
       [](E& e, int) { e.deleteObjectOrCube(true); }},
      {keyDelete, 0, "Del", "Delete the object at the cursor, else the cube",
       [](E& e, int) { e.deleteObjectOrCube(false); }},
      {'h', 0, "h", "Show or hide this help", [](E& e, int) { e.toggleHelp(); }},
  };
  return commands;
}

unsigned Editor3D::getHeldKeys() {
  unsigned held = 0;
  if (isKeyHeld(keyF2)) held |= heldF2;
  if (isKeyHeld(keyF3)) held |= heldF3;
  if (isKeyHeld(keyF4)) held |= heldF4;
  if (isKeyHeld(keyF5)) held |= heldF5;
  if (isKeyHeld('t') || isKeyHeld('T')) held |= heldT;
  if (getHeldDigit() != 0) held |= heldDigit;
  return held;
}

std::vector<std::string> Editor3D::getHelpLines() {
  std::vector<std::string> lines;
  for (const KeyCommand& command : getKeyCommands()) lines.push_back(std::string(command.keys) + "\t" + command.label);
  return lines;
}

void Editor3D::manageKey(int keyIndex) {
  // Whatever the key changes in the world is one step to undo (undo and redo keep nothing).
  const UndoLog::Recording recording(*undoLog);
  if (dialogue->isRunning()) {
    if (dialogue->manageKey(keyIndex, getCurrentTypeNames())) finishDialogue();
    return;
  }
  const unsigned char key = static_cast<unsigned char>(keyIndex & 0xFF);
  runKeyCommand((key >= 'A' && key <= 'Z') ? key - 'A' + 'a' : key);
}

void Editor3D::runKeyCommand(int key) {
  const bool isCursorKey = (key >= KeyboardManager::keyRight && key <= KeyboardManager::keyCursorDown) ||
                           key == KeyboardManager::keyPageUp || key == KeyboardManager::keyPageDown;
  const unsigned held = getHeldKeys();
  for (const KeyCommand& command : getKeyCommands()) {
    if (command.key != key && !(command.key == cursorKeys && isCursorKey)) continue;
    if ((command.held & held) != command.held) continue;
    command.action(*this, key);
    return;
  }
}

void Editor3D::toggleHelp() {
  for (size_t i = 0; i < menuPages.size(); ++i)
    if (menuPages[i]->title == Page::helpTitle) {
      closePage(i);
      return;
    }
  openPage(Page::helpTitle);
}
