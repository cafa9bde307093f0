// Editor3D spans four source files:
//   Editor3D.cpp      construction, camera, cursor, the edit actions, the cube-type dialogue and
//                     the script's cube selection;
//   Editor3DKeys.cpp  the key table, key handling and the help;
//   Editor3DMenu.cpp  the mouse and the menu pages' actions;
//   Editor3DDraw.cpp  the 3D wireframes and the 2D overlay.

#include "editor/Editor3D.h"

#include "meshing/CubesTable.h"
#include "editor/Editor3DMenuPage.h"
#include "editor/Editor3DWorldGeneration.h"
#include "GLManager.h"
#include "world/IndexedWorld.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "editor/UndoLog.h"


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
