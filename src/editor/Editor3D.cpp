#include "editor/Editor3D.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "world/CubeType.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "editor/Editor3DCubeTypeDialogue.h"
#include "editor/Editor3DMenuPage.h"
#include "editor/Editor3DWorldGeneration.h"
#include "Font.h"
#include "world/IndexedWorld.h"
#include "KeyboardManager.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "Sprite.h"
#include "editor/UndoLog.h"
#include "world/WorldRegion.h"
#include "Assert.h"


namespace {

constexpr int keyCtrlL = 12;
constexpr int keyCtrlS = 19;
// The window system types Ctrl+Y and Ctrl+Z as these control characters.
constexpr int keyCtrlY = 25;
constexpr int keyCtrlZ = 26;
constexpr int keyEnter = 13;
constexpr int keyDelete = 127;
constexpr int keyF2 = KeyboardManager::keyF1 + 1;
constexpr int keyF3 = KeyboardManager::keyF1 + 2;
constexpr int keyF4 = KeyboardManager::keyF1 + 3;
constexpr int keyF5 = KeyboardManager::keyF1 + 4;
/// The cursor stays well inside the range in which cube positions convert to world floats.
constexpr int maxCursorCoordinate = 1 << 24;
/// Space between the overlay's status line and the screen's edge or the line above.
constexpr int statusMargin = 10;

std::string joined(const Int3& v) {
  std::ostringstream text;
  text << v.x() << " x " << v.y() << " x " << v.z();
  return text.str();
}

int clampCoordinate(long long value) {
  return static_cast<int>(std::max<long long>(-maxCursorCoordinate, std::min<long long>(maxCursorCoordinate, value)));
}

using Page = Editor3DMenuPage;

}  // namespace

Editor3D::Editor3D(Font* parFont, IndexedWorld* parIndexedWorld, const std::string& parWorldFileName,
                   const std::string& parScriptFileName)
    : dialogue(new Editor3DCubeTypeDialogue(parFont)),
      indexedWorld(parIndexedWorld),
      font(parFont),
      markerSize(CubesTable::getSizeOneCube() * 0.25f),
      worldFileName(parWorldFileName),
      scriptFileName(parScriptFileName),
      undoLog(new UndoLog(*parIndexedWorld, UndoLog::readMaxSteps())) {
  assert(indexedWorld != NULL);
}

// The kept flags belong to the cube types, which end with the world: nothing to undo here.
Editor3D::~Editor3D() = default;

// ---------------------------------------------------------------------------------------------
// Camera

int Editor3D::computeOrientation(float cameraYaw) {
  // A whole turn leaves the quarter unchanged, so the yaw is wrapped before it becomes an int.
  const double yaw = std::isfinite(cameraYaw) ? std::fmod(static_cast<double>(cameraYaw), 360.0) : 0.0;
  const int quarter = static_cast<int>(std::floor((45.0 - (yaw + 180.0)) / 90.0));
  return ((quarter % 4) + 4) % 4;
}

void Editor3D::updateCamera() {
  Scene3D* scene = GLManager::getScene3D();
  Camera* camera = scene->getCamera();
  orientation = computeOrientation(camera->getYaw());
  if (GLManager::isMouseButtonDown(0)) {
    cameraAngles.y() = static_cast<float>(orientation * 90 + 180);
  } else if (DeviceManager::getInstance()->getConfig().getBool("editor_autolock_camera")) {
    scene->smoothCameraAngles(-cameraAngles.x(), -cameraAngles.y(), -cameraAngles.z());
  }
  scene->placeCamera(getCursorRealPosition(), cameraDistance);
}

Float3 Editor3D::getCursorRealPosition() const { return IndexedWorld::cubeToWorld(cursor); }

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

void Editor3D::moveCursor(int key, Int3& position) const {
  const long long step = getCursorStep();
  long long dx = 0, dy = 0, dz = 0;
  if (key == KeyboardManager::keyPageUp) dy = step;
  if (key == KeyboardManager::keyPageDown) dy = -step;
  const int direction = key == KeyboardManager::keyRight ? 0
                        : key == KeyboardManager::keyLeft ? 1
                        : key == KeyboardManager::keyCursorUp ? 2
                        : key == KeyboardManager::keyCursorDown ? 3
                                                                : -1;
  if (direction >= 0) {
    // Rows: orientation; columns: right, left, up, down as (axis 0 = x, 2 = z, sign).
    static const int axes[4][4] = {{0, 0, 2, 2}, {2, 2, 0, 0}, {0, 0, 2, 2}, {2, 2, 0, 0}};
    static const int signs[4][4] = {{-1, 1, 1, -1}, {-1, 1, -1, 1}, {1, -1, -1, 1}, {1, -1, 1, -1}};
    if (orientation < 0 || orientation > 3) assert(false);
    const long long delta = step * signs[orientation][direction];
    if (axes[orientation][direction] == 0) dx = delta;
    else dz = delta;
  }
  position = Int3(clampCoordinate(position.x() + dx), clampCoordinate(position.y() + dy),
                  clampCoordinate(position.z() + dz));
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

void Editor3D::selectOrFill(bool asOneBox) {
  if (indexedWorld->getNbCubeType() == 0) return;
  if (!selectionActive) {
    selectionStart = cursor;
    selectionActive = true;
    return;
  }
  if (asOneBox) {
    Int3 lo, hi;
    bool isEmpty = false;
    for (int axis = 0; axis < 3; ++axis) {
      lo[axis] = std::min(selectionStart[axis], cursor[axis]);
      hi[axis] = std::max(selectionStart[axis], cursor[axis]);
      isEmpty = isEmpty || lo[axis] == hi[axis];
    }
    if (!isEmpty) {
      const Float3 low = IndexedWorld::cubeToWorld(lo);
      const Float3 high = IndexedWorld::cubeToWorld(hi);
      indexedWorld->addBox((low + high) / 2.f, high - low, currentCubeType);
    }
  } else {
    indexedWorld->addCubesParallelepiped(selectionStart, cursor, currentCubeType);
  }
  selectionActive = false;
}

void Editor3D::editBoxAroundCursor(int n, bool isRemoval) {
  const Int3 lo = cursor - Int3(n / 2, n / 2, n / 2);
  const Int3 hi = cursor + Int3((n + 1) / 2, (n + 1) / 2, (n + 1) / 2);
  if (isRemoval) indexedWorld->removeCubesParallelepiped(lo, hi);
  else if (indexedWorld->getNbCubeType() > 0) indexedWorld->addCubesParallelepiped(lo, hi, currentCubeType);
}

void Editor3D::editSphereAroundCursor(int n, bool isRemoval) {
  const float radius = CubesTable::getSizeOneCube() * (static_cast<float>(n) + 0.5f);
  if (isRemoval) indexedWorld->removeCubesSphere(cursor, radius);
  else if (indexedWorld->getNbCubeType() > 0) indexedWorld->addCubesSphere(cursor, radius, currentCubeType);
}

void Editor3D::toggleHelp() {
  for (size_t i = 0; i < menuPages.size(); ++i)
    if (menuPages[i]->title == Page::helpTitle) {
      closePage(i);
      return;
    }
  openPage(Page::helpTitle);
}

void Editor3D::createObjectAtCursor(bool isGlobal) {
  indexedWorld->addCustomObject(
      CustomObject(isGlobal, getCursorRealPosition(), static_cast<uint32_t>(currentObjectType), ""));
}

void Editor3D::deleteObjectOrCube(bool nearest) {
  const Float3 point = getCursorRealPosition();
  if (indexedWorld->removeCustomObject(point, nearest)) return;
  const float s = CubesTable::getSizeOneCube();
  const float half = s * 0.5f;
  const Float3 middle = point + Float3(half, half, half);
  // An object standing in the cursor's cube goes before the cube: "v" places objects on the
  // ground in the middle of the column, never at the cursor's corner.
  if (!nearest)
    if (const WorldRegion* region = indexedWorld->getRegionAt(middle))
      for (const std::unique_ptr<CustomObject>& object : region->getCustomObjects()) {
        const Float3 p = object->getPosition();
        bool isInCube = true;
        for (int axis = 0; axis < 3; ++axis) isInCube = isInCube && point[axis] <= p[axis] && p[axis] < point[axis] + s;
        if (isInCube && indexedWorld->removeCustomObject(p, false)) return;
      }
  if (nearest) {
    indexedWorld->removeCubeZone(middle, true);
    return;
  }
  // One cube when it belongs to a collidable zone (the box edit splits that zone); otherwise
  // the zone under the cursor, which the edits cannot see.
  Float3 centre, size;
  if (indexedWorld->getCollidingCubeInfos(middle, centre, size) >= 0) indexedWorld->removeCube(cursor);
  else indexedWorld->removeCubeZone(middle, false);
}

void Editor3D::undoOrRedo(bool isUndo) {
  // The kept flags name types by id, and the types may change.
  keepCubeTypeTextures({});
  if (isUndo ? undoLog->undo() : undoLog->redo()) changeCubeType(0);
}

void Editor3D::loadWorld() {
  // A load is no step to undo; once it succeeded, the steps belong to the world it replaced.
  undoLog->discardStep();
  keepCubeTypeTextures({});
  if (indexedWorld->loadWorld(worldFileName)) undoLog->clear();
  currentCubeType = 0;
  isClearGlobalVariablesRequested = true;
}

void Editor3D::saveWorld() { indexedWorld->saveWorld(worldFileName); }

bool Editor3D::takeClearGlobalVariablesRequest() {
  const bool requested = isClearGlobalVariablesRequested;
  isClearGlobalVariablesRequested = false;
  return requested;
}

bool Editor3D::checkSixTypes() {
  if (currentCubeType < indexedWorld->getNbCubeType() - 5) return true;
  openPage(Page::sixTypesMessage);
  return false;
}

void Editor3D::generateOneRegion(int hillside) {
  Editor3DWorldGeneration::generateRegion(*indexedWorld, cursor, hillside, currentCubeType, currentCubeType + 1,
                                          currentObjectType);
}

void Editor3D::generateFromHeightmap(int n) {
  const int32_t types[6] = {currentCubeType,     currentCubeType + 1, currentCubeType + 2,
                            currentCubeType + 3, currentCubeType + 4, currentCubeType + 5};
  if (!Editor3DWorldGeneration::generateFromHeightmap(*indexedWorld, cursor, n, types, currentObjectType))
    openPage(Page::missingHeightmapMessage);
}

void Editor3D::removeLastCubeType() {
  const int count = indexedWorld->getNbCubeType();
  if (count == 0) return;
  keepCubeTypeTextures({});
  currentCubeType = std::max(0, count - 2);
  indexedWorld->removeLastCubeType();
  indexedWorld->freeAllRegions();
}

void Editor3D::changeCubeType(int delta) {
  const int last = indexedWorld->getNbCubeType() - 1;
  currentCubeType = std::max(0, std::min(std::max(0, last), currentCubeType + delta));
}

void Editor3D::changeObjectType(int delta) {
  const int last = static_cast<int>(indexedWorld->getObjectTypeNames().size()) - 1;
  currentObjectType = std::max(0, std::min(std::max(0, last), currentObjectType + delta));
}

// ---------------------------------------------------------------------------------------------
// Cube-type dialogue

void Editor3D::startDialogue(bool parModify) { dialogue->start(parModify, getCurrentTypeNames()); }

const std::string* Editor3D::getCurrentTypeNames() const {
  if (currentCubeType < 0 || currentCubeType >= indexedWorld->getNbCubeType()) return nullptr;
  return indexedWorld->getCubeType(currentCubeType)->textureNames;
}

bool Editor3D::isPrompting() const { return dialogue->isRunning(); }
int Editor3D::getDialogueStep() const { return dialogue->getStep(); }
const std::vector<std::string>& Editor3D::getDialogueTextureFiles() const { return dialogue->getTextureFiles(); }
bool Editor3D::getIsTextureNameRefused() const { return dialogue->getIsTextureNameRefused(); }

void Editor3D::finishDialogue() {
  keepCubeTypeTextures({});
  if (dialogue->isModify()) {
    if (currentCubeType >= 0 && currentCubeType < indexedWorld->getNbCubeType())
      indexedWorld->getCubeType(currentCubeType)->modify(dialogue->getNames(), dialogue->getOptions(),
                                                         dialogue->getIsCollidable());
  } else {
    indexedWorld->addCubeType(dialogue->getNames(), dialogue->getOptions(), dialogue->getIsCollidable());
    currentCubeType = indexedWorld->getNbCubeType() - 1;
  }
  indexedWorld->freeAllRegions();
}

// ---------------------------------------------------------------------------------------------
// Mouse and menu

void Editor3D::manageMouseEvent(const MouseEvent& event) {
  if (event.kind == MouseEvent::buttonPressed && event.button == 3) {
    if (cameraDistance > 0.f) cameraDistance -= 15.f;
  } else if (event.kind == MouseEvent::buttonPressed && event.button == 4) {
    if (cameraDistance < 900.f) cameraDistance += 15.f;
  }
  if (event.kind == MouseEvent::motionWithButton || event.kind == MouseEvent::motionWithoutButton)
    GLManager::getScene3D()->turnCameraWithMouse(Int2(event.x, event.y), GLManager::isMouseButtonDown(0));

  const Int2 mouse = GLManager::getScene2D()->windowTo2D(Int2(event.x, event.y));
  // The last page is drawn on top, so it is the first to see the event. Pages come before the
  // "Menu" hot zone: one kept on screen may lie over it, and its close box must work there.
  for (size_t i = menuPages.size(); i-- > 0;) {
    int chosen = -1;
    const Page::Answer answer = menuPages[i]->manageMouseEvent(event, mouse, chosen);
    if (answer == Page::Answer::notHandled) continue;
    if (answer == Page::Answer::closed) closePage(i);
    if (answer == Page::Answer::chosen) {
      // The action may open or close pages: work on a copy of the title.
      const std::string title = menuPages[i]->title;
      menuAction(title, chosen);
    }
    return;
  }
  if (event.kind == MouseEvent::buttonPressed && mouse.x() > GLManager::getScene2D()->size2D.x() - 100 &&
      mouse.y() < 30)
    openPage(Page::menuTitle);
}

Editor3DMenuPage* Editor3D::findPage(const std::string& title) const {
  for (const std::unique_ptr<Editor3DMenuPage>& page : menuPages)
    if (page->title == title) return page.get();
  return nullptr;
}

void Editor3D::closePage(size_t index) {
  if (index < menuPages.size()) menuPages.erase(menuPages.begin() + static_cast<std::ptrdiff_t>(index));
}

Editor3DMenuPage* Editor3D::openPage(const std::string& title) {
  const Int2 position = menuPages.empty() ? Int2(100, 50) : menuPages.back()->position + Int2(50, 50);
  const bool isHelp = title == Page::helpTitle;
  menuPages.emplace_back(new Editor3DMenuPage(position, title, Page::getEntries(title, indexedWorld->getNbCubeType()),
                                              isHelp ? "images_engine/editor_box.png" : ""));
  Editor3DMenuPage* page = menuPages.back().get();
  if (isHelp) page->lines = getHelpLines();
  if (title == "Select a cube type")
    for (int i = 0; i < indexedWorld->getNbCubeType(); ++i) page->entryIcons[i] = i;
  // Laid out at once, so that clicks before the next draw meet the page where it will be.
  page->layout(*font, GLManager::getScene2D()->size2D);
  return page;
}

void Editor3D::chooseEntry(const std::string& title, int index) { menuAction(title, index); }

void Editor3D::clearRegionsAround(int radius) {
  const float edge = indexedWorld->getSizeOneRegion();
  const Float3 point = getCursorRealPosition();
  for (int i = -radius; i < radius; ++i)
    for (int j = -radius; j < radius; ++j)
      for (int k = -radius; k < radius; ++k)
        indexedWorld->clear(point + Float3(i * edge, j * edge, k * edge), true);
}

void Editor3D::optimizeRegionsAround(int radius) {
  const float edge = indexedWorld->getSizeOneRegion();
  const Float3 point = getCursorRealPosition();
  for (int i = -radius; i < radius; ++i)
    for (int j = -radius; j < radius; ++j)
      for (int k = -radius; k < radius; ++k) indexedWorld->optimizeRegion(point + Float3(i * edge, j * edge, k * edge));
}

void Editor3D::menuAction(const std::string& title, int index) {
  const UndoLog::Recording recording(*undoLog);
  const bool hasCubeTypes = indexedWorld->getNbCubeType() > 0;
  const bool hasObjectTypes = !indexedWorld->getObjectTypeNames().empty();
  const float s = CubesTable::getSizeOneCube();
  if (title == Page::menuTitle) {
    const std::vector<std::string> entries = Page::getEntries(title, 0);
    if (index >= 0 && index < static_cast<int>(entries.size())) openPage(entries[static_cast<size_t>(index)]);
  } else if (title == "Cube aggregate types") {
    if (index == 0) openPage("Select a cube type");
    if (index == 1) changeCubeType(-1);
    if (index == 2) changeCubeType(1);
    if (index == 3) removeLastCubeType();
    if (index == 4 && hasCubeTypes) startDialogue(true);
    if (index == 5) startDialogue(false);
  } else if (title == "Select a cube type") {
    if (index >= 0 && index < indexedWorld->getNbCubeType()) currentCubeType = index;
  } else if (title == "Script object types") {
    changeObjectType(index == 0 ? -1 : 1);
  } else if (title == "Generate landscapes") {
    if (index >= 0 && index <= 4) openPage(Page::getEntries(title, indexedWorld->getNbCubeType())[static_cast<size_t>(index)]);
    static const int sizes[3] = {8, 32, 64};
    if (index >= 5 && index <= 7 && checkSixTypes()) generateFromHeightmap(sizes[index - 5]);
    if (index == 8 && hasCubeTypes)
      Editor3DWorldGeneration::generateFloatingIslands(*indexedWorld, cursor, currentCubeType);
  } else if (title == "Generate one region") {
    if (index >= 0 && index <= 4 && checkSixTypes()) generateOneRegion(index);
  } else if (title == "Generate random objects") {
    static const int sizes[3] = {2, 8, 32};
    if (index == 0) openPage(Page::configurationPages[3]);
    if (index >= 1 && index <= 3 && hasObjectTypes)
      Editor3DWorldGeneration::addRandomObjects(*indexedWorld, sizes[index - 1], cursor, currentObjectType);
  } else if (title == "Delete cubes and objects") {
    const Float3 point = getCursorRealPosition();
    switch (index) {
      case 0:
      case 1:
        deleteObjectOrCube(index == 1);
        break;
      case 2: {
        // A box hole of radius 5 around the cursor, as the key 5 + p with F5 makes.
        indexedWorld->removeCubesParallelepiped(cursor - Int3(2, 2, 2), cursor + Int3(3, 3, 3));
        break;
      }
      case 3:
        indexedWorld->removeCubesSphere(cursor, 5.5f * s);
        break;
      case 4:
        indexedWorld->clear(point, true);
        break;
      case 5:
        clearRegionsAround(4);
        break;
      case 6:
        clearRegionsAround(16);
        break;
      case 7:
        indexedWorld->reset();
        break;
      default:
        break;
    }
  } else if (title == "Shadows calculation") {
    if (index == 0) indexedWorld->calculateShadowsAt(getCursorRealPosition());
    if (index == 1) indexedWorld->calculateShadowsAll();
  } else if (title == "Cubes optimization") {
    // The cubes stay as they are: the steps before remain valid and this is no step to undo.
    undoLog->discardStep();
    if (index == 0) indexedWorld->optimizeRegion(getCursorRealPosition());
    if (index == 1) optimizeRegionsAround(4);
    if (index == 2) optimizeRegionsAround(16);
    if (index == 3) indexedWorld->optimizeAll();
  } else if (title == "Save and load") {
    if (index == 0) saveWorld();
    if (index == 1) loadWorld();
  } else if (title == Page::configurationPages[0] || title == Page::configurationPages[1] || title == Page::configurationPages[2] ||
             title == Page::configurationPages[3]) {
    if (index < 0) return;
    const size_t i = static_cast<size_t>(index);
    if (title == Page::configurationPages[0] && i < 7) Editor3DWorldGeneration::nbAdditionalRandomCubes = Page::randomCubesValues[i];
    if (title == Page::configurationPages[1] && i < 4) Editor3DWorldGeneration::heightmapAccuracy = Page::accuracyValues[i];
    if (title == Page::configurationPages[2] && i < 4) Editor3DWorldGeneration::heightmapHeightFactor = Page::heightFactorValues[i];
    if (title == Page::configurationPages[3] && i < 4) Editor3DWorldGeneration::nbCustomObjects = Page::customObjectsValues[i];
    for (size_t p = 0; p < menuPages.size(); ++p)
      if (menuPages[p]->title == title) {
        closePage(p);
        break;
      }
  } else if (title == Page::missingHeightmapMessage || title == Page::sixTypesMessage) {
    for (size_t p = 0; p < menuPages.size(); ++p)
      if (menuPages[p]->title == title) {
        closePage(p);
        break;
      }
  }
}

// ---------------------------------------------------------------------------------------------
// Script cube selection

void Editor3D::startCubeCreation(const Float3& realPoint) {
  if (cubeSelectionActive) return;
  cubeSelectionActive = true;
  cubeSelectionConfirmed = false;
  cubeSelectionStart = IndexedWorld::worldToCube(realPoint);
  cubeSelectionMoving = cubeSelectionStart;
  cubeSelectionHasLastMouse = false;
}

bool Editor3D::manageCubeCreation(Int3& movingCornerOut, Int3& startCornerOut) {
  if (!cubeSelectionActive) return false;
  movingCornerOut = cubeSelectionMoving;
  startCornerOut = cubeSelectionStart;
  if (cubeSelectionConfirmed) cubeSelectionActive = false;
  return cubeSelectionConfirmed;
}

bool Editor3D::manageCubeCreationMouseEvent(const MouseEvent& event) {
  if (!cubeSelectionActive) return false;
  if (event.kind == MouseEvent::motionWithButton || event.kind == MouseEvent::motionWithoutButton) {
    const Int2 position(event.x, event.y);
    if (cubeSelectionHasLastMouse) {
      Camera* camera = GLManager::getScene3D()->getCamera();
      camera->rotatePitch(-static_cast<float>(position.y() - cubeSelectionLastMouse.y()));
      camera->rotateYaw(-static_cast<float>(position.x() - cubeSelectionLastMouse.x()));
    }
    cubeSelectionLastMouse = position;
    cubeSelectionHasLastMouse = true;
    return true;
  }
  if (event.kind == MouseEvent::buttonPressed && event.button == 0) {
    cubeSelectionConfirmed = true;
    return true;
  }
  return false;
}

bool Editor3D::manageCubeCreationKey(int keyIndex) {
  if (!cubeSelectionActive) return false;
  const unsigned char key = static_cast<unsigned char>(keyIndex & 0xFF);
  if (key == keyEnter) {
    cubeSelectionConfirmed = true;
    return true;
  }
  if ((key >= KeyboardManager::keyRight && key <= KeyboardManager::keyCursorDown) ||
      key == KeyboardManager::keyPageUp || key == KeyboardManager::keyPageDown) {
    orientation = computeOrientation(GLManager::getScene3D()->getCamera()->getYaw());
    moveCursor(key, cubeSelectionMoving);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void Editor3D::beginWireframe() const {
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_POLYGON_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  // The markers keep their colour at any distance.
  glDisable(GL_FOG);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glColor4ub(255, 255, 0, 255);
}

void Editor3D::endWireframe() const { glPopAttrib(); }

void Editor3D::drawMarker(const Float3& position) const {
  glPushMatrix();
  glTranslatef(position.x(), position.y(), position.z());
  Scene3D::drawBox(nullptr, false, Float3(markerSize, markerSize, markerSize), Float3(1.f, 1.f, 1.f));
  glPopMatrix();
}

void Editor3D::drawWireBox(const Float3& from, const Float3& to) const {
  const Float3 centre = (from + to) / 2.f;
  const Float3 size(std::fabs(to.x() - from.x()), std::fabs(to.y() - from.y()), std::fabs(to.z() - from.z()));
  glPushMatrix();
  glTranslatef(centre.x(), centre.y(), centre.z());
  Scene3D::drawBox(nullptr, false, size, Float3(1.f, 1.f, 1.f));
  glPopMatrix();
}

void Editor3D::draw3D() {
  beginWireframe();
  drawMarker(getCursorRealPosition());
  if (selectionActive) {
    drawMarker(IndexedWorld::cubeToWorld(selectionStart));
    drawWireBox(IndexedWorld::cubeToWorld(selectionStart), getCursorRealPosition());
  }
  endWireframe();
}

void Editor3D::drawCubeCreation() {
  if (!cubeSelectionActive) return;
  beginWireframe();
  drawMarker(IndexedWorld::cubeToWorld(cubeSelectionStart));
  drawMarker(IndexedWorld::cubeToWorld(cubeSelectionMoving));
  drawWireBox(IndexedWorld::cubeToWorld(cubeSelectionStart), IndexedWorld::cubeToWorld(cubeSelectionMoving));
  endWireframe();
}

void Editor3D::keepCubeTypeTextures(const std::vector<int>& types) {
  // The world frees the textures of types its regions did not use in a frame, before the
  // overlay is drawn: the types the overlay shows are kept instead of reloaded every frame.
  const int count = indexedWorld->getNbCubeType();
  for (const int type : keptCubeTypes)
    if (type >= 0 && type < count && std::find(types.begin(), types.end(), type) == types.end())
      indexedWorld->getCubeType(type)->keepTextures = false;
  keptCubeTypes.clear();
  for (const int type : types)
    if (type >= 0 && type < count) {
      indexedWorld->getCubeType(type)->keepTextures = true;
      keptCubeTypes.push_back(type);
    }
}

void Editor3D::drawMenuPages() {
  std::vector<int> shownTypes;
  if (!dialogue->isRunning() && currentCubeType >= 0 && currentCubeType < indexedWorld->getNbCubeType())
    shownTypes.push_back(currentCubeType);
  for (const std::unique_ptr<Editor3DMenuPage>& page : menuPages)
    for (const auto& icon : page->entryIcons) shownTypes.push_back(icon.second);
  keepCubeTypeTextures(shownTypes);
  for (const std::unique_ptr<Editor3DMenuPage>& page : menuPages) {
    std::map<int, int> icons;
    for (const auto& icon : page->entryIcons) {
      if (icon.second < 0 || icon.second >= indexedWorld->getNbCubeType()) continue;
      CubeType* type = indexedWorld->getCubeType(icon.second);
      type->loadTextures();
      icons[icon.first] = CubeType::getTextureId(type->textureFace[0]);
    }
    page->draw(*font, textColor, icons);
  }
}

void Editor3D::drawOverlay() {
  const Int2 size2D = GLManager::getScene2D()->size2D;
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
  font->drawText("Menu", 1.f, 1.f, size2D.x() - 100, 0);
  const double edge = Editor3DWorldGeneration::getCubesPerRegion(*indexedWorld);
  const Int3 region(static_cast<int>(std::floor(cursor.x() / edge)), static_cast<int>(std::floor(cursor.y() / edge)),
                    static_cast<int>(std::floor(cursor.z() / edge)));
  // Under "Menu", ending at the right edge, smaller when it would not fit the width.
  const std::string status = "Region: " + joined(region) + "   Cubes: " + joined(cursor);
  const int statusWidth = font->getTextWidth(status.c_str(), -1, 1.f);
  const int room = std::max(1, size2D.x() - 2 * statusMargin);
  const float statusScale = std::min(1.f, static_cast<float>(room) / static_cast<float>(std::max(1, statusWidth)));
  font->drawText(status.c_str(), statusScale, statusScale,
                 size2D.x() - statusMargin - static_cast<int>(static_cast<float>(statusWidth) * statusScale),
                 font->getHeight() + statusMargin);
  drawMenuPages();
  if (dialogue->isRunning()) dialogue->draw(textColor);
  else drawSelectedTypes();
  glColor4ub(255, 255, 255, 255);
}

void Editor3D::drawSelectedTypes() {
  const std::vector<std::string>& objectTypeNames = indexedWorld->getObjectTypeNames();
  const Int2 size2D = GLManager::getScene2D()->size2D;
  if (!objectTypeNames.empty()) {
    const int count = static_cast<int>(objectTypeNames.size());
    const int shown = std::max(0, std::min(count - 1, currentObjectType));
    // Counted from 1, as the cube types are.
    const std::string text = "Object selected: " + std::to_string(shown + 1) + "/" + std::to_string(count) + " " +
                             objectTypeNames[static_cast<size_t>(shown)];
    Editor3DCubeTypeDialogue::drawTextFitted(*font, text, 10, size2D.y() - 50);
  }
  if (indexedWorld->getNbCubeType() == 0) return;
  assert(currentCubeType >= 0 && currentCubeType < indexedWorld->getNbCubeType());
  // Counted from 1, as the "Select a cube type" page lists them.
  const std::string text = "Cube selected: " + std::to_string(currentCubeType + 1);
  const Int2 end = font->drawText(text.c_str(), 1.f, 1.f, 10, 10);
  CubeType* type = indexedWorld->getCubeType(currentCubeType);
  type->loadTextures();
  glColor4ub(255, 255, 255, 255);
  for (int face = 0; face < 6; ++face)
    Scene2D::drawTexturedRectangle(end.x() + 10 + face * 34, 10, CubeType::getTextureId(type->textureFace[face]), 0.f,
                                   0.f, 1.f, 1.f, 30, 30);
  glColor4ub(textColor[0], textColor[1], textColor[2], textColor[3]);
}
