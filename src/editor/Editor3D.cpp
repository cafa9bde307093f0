// Editor3D spans four source files:
//   Editor3D.cpp      construction, camera, cursor, the edit actions, the cube-type dialogue and
//                     the script's cube selection;
//   Editor3DKeys.cpp  the key table, key handling and the help;
//   Editor3DMenu.cpp  the mouse and the menu pages' actions;
//   Editor3DDraw.cpp  the 3D wireframes and the 2D overlay.

#include "editor/Editor3D.h"

#include <algorithm>
#include <cmath>

#include "world/CubeType.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "editor/Editor3DCubeTypeDialogue.h"
#include "editor/Editor3DMenuPage.h"
#include "editor/Editor3DWorldGeneration.h"
#include "world/IndexedWorld.h"
#include "KeyboardManager.h"
#include "Scene3D.h"
#include "editor/UndoLog.h"
#include "world/WorldRegion.h"
#include "Assert.h"


namespace {

constexpr int keyEnter = 13;
/// The cursor stays well inside the range in which cube positions convert to world floats.
constexpr int maxCursorCoordinate = 1 << 24;

int clampCoordinate(long long value) {
  return static_cast<int>(std::max<long long>(-maxCursorCoordinate, std::min<long long>(maxCursorCoordinate, value)));
}

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
// Cursor

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

// ---------------------------------------------------------------------------------------------
// Edit actions

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
