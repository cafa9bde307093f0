#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Camera.h"
#include "world/CubeType.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "editor/Editor3D.h"
#include "editor/Editor3DMenuPage.h"
#include "Editor3DTestHelpers.h"
#include "editor/Editor3DWorldGeneration.h"
#include "Font.h"
#include "GLTestWindow.h"
#include "world/IndexedWorld.h"
#include "KeyboardManager.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "TempDir.h"
#include "editor/UndoLog.h"
#include "world/WorldRegion.h"

// Cubes of edge 1, regions of 8 cubes. The editor is driven by the same key indices and mouse
// events the main manager hands it; held keys are injected into the keyboard manager.
namespace {

using Page = Editor3DMenuPage;

const bool defaultOptions[3] = {true, true, true};
constexpr int keyEnter = 13;
constexpr int keyEscape = 27;
constexpr int keyDelete = 127;
constexpr int ctrlS = 19;
constexpr int ctrlL = 12;
constexpr int ctrlY = 25;
constexpr int ctrlZ = 26;

KeyboardManager* keyboard() { return GLManager::getKeyboardManager(); }

MouseEvent press(int x, int y, int button = 0) { return MouseEvent{x, y, button, MouseEvent::buttonPressed}; }
MouseEvent release(int x, int y, int button = 0) { return MouseEvent{x, y, button, MouseEvent::buttonReleased}; }

class Editor3DTest : public testing::Test {
 protected:
  void SetUp() override {
    world = GLTestWindow::openSmallEmptyWorld();
    GLTestWindow::get()->getConfig().setBool("editor_autolock_camera", false);
    keyboard()->releaseAllKeys();
    font.reset(new Font());
    worldFile = dir.file("edited.dat");
    editor.reset(new Editor3D(font.get(), world.get(), worldFile, "world.lua"));
    GLManager::getScene3D()->getCamera()->setYaw(-180.f);
  }
  void TearDown() override {
    keyboard()->releaseAllKeys();
    editor.reset();
    world.reset();
    font.reset();
    Editor3DWorldGeneration::resetSettings();
  }
  void addTypes(int count) {
    const std::string names[6];
    for (int i = 0; i < count; ++i) world->addCubeType(names, defaultOptions, true);
  }
  void keys(const std::string& text) {
    for (char c : text) editor->manageKey(static_cast<unsigned char>(c));
  }
  /// Holds a key while `body` runs.
  template <typename Body>
  void holding(int key, Body body) {
    if (key >= KeyboardManager::keyF1) keyboard()->specialKeyDown(GLUT_KEY_F1 + key - KeyboardManager::keyF1);
    else keyboard()->keyDown(key);
    body();
    if (key >= KeyboardManager::keyF1) keyboard()->specialKeyUp(GLUT_KEY_F1 + key - KeyboardManager::keyF1);
    else keyboard()->keyUp(key);
  }
  int32_t typeAt(int x, int y, int z) const { return world->getCubeTypeAtCell(Int3(x, y, z)); }
  int countCubes() const { return countEditorCubes(*world); }
  int countObjects() const { return countEditorObjects(*world); }
  /// A click in the middle of entry `index` of a page.
  void clickEntry(const Page& page, int index) {
    const int x = page.position.x() + 20;
    const int y = page.position.y() + page.getTitleHeight() + index * page.getEntryHeight() + page.getEntryHeight() / 2;
    editor->manageMouseEvent(press(x, y));
    editor->manageMouseEvent(release(x, y));
  }
  Page* openFromMenu(int entry) {
    const int width = GLManager::getScene2D()->size2D.x();
    editor->manageMouseEvent(press(width - 50, 10));
    editor->manageMouseEvent(release(width - 50, 10));
    Page* menu = editor->findPage(Page::menuTitle);
    EXPECT_NE(menu, nullptr);
    clickEntry(*menu, entry);
    Page* page = editor->getMenuPages().back().get();
    return page;
  }

  TempDir dir;
  std::string worldFile;
  std::unique_ptr<IndexedWorld> world;
  std::unique_ptr<Font> font;
  std::unique_ptr<Editor3D> editor;
};

TEST_F(Editor3DTest, OrientationFollowsTheCameraYawAndTurnsTheArrowKeys) {
  EXPECT_EQ(Editor3D::computeOrientation(-180.f), 0);
  EXPECT_EQ(Editor3D::computeOrientation(-90.f), 3);
  EXPECT_EQ(Editor3D::computeOrientation(0.f), 2);
  EXPECT_EQ(Editor3D::computeOrientation(90.f), 1);
  EXPECT_EQ(Editor3D::computeOrientation(-180.f + 3600.f), 0);
  EXPECT_EQ(Editor3D::computeOrientation(std::nanf("")), Editor3D::computeOrientation(0.f));
  EXPECT_EQ(Editor3D::computeOrientation(1e30f), Editor3D::computeOrientation(std::fmod(1e30f, 360.f)));

  editor->updateCamera();
  EXPECT_EQ(editor->getOrientation(), 0);
  editor->manageKey(KeyboardManager::keyRight);
  EXPECT_EQ(editor->getCursorPosition(), Int3(-1, 0, 0));
  editor->manageKey(KeyboardManager::keyCursorUp);
  EXPECT_EQ(editor->getCursorPosition(), Int3(-1, 0, 1));
  editor->manageKey(KeyboardManager::keyPageUp);
  editor->manageKey(KeyboardManager::keyPageUp);
  editor->manageKey(KeyboardManager::keyPageDown);
  EXPECT_EQ(editor->getCursorPosition(), Int3(-1, 1, 1));

  GLManager::getScene3D()->getCamera()->setYaw(-90.f);
  editor->updateCamera();
  EXPECT_EQ(editor->getOrientation(), 3);
  editor->manageKey(KeyboardManager::keyRight);
  EXPECT_EQ(editor->getCursorPosition(), Int3(-1, 1, 2));
  editor->manageKey(KeyboardManager::keyCursorDown);
  EXPECT_EQ(editor->getCursorPosition(), Int3(-2, 1, 2));
  keys("i");
  EXPECT_EQ(editor->getCursorPosition(), Int3(0, 0, 0));
}

TEST_F(Editor3DTest, F4AndF2StepByRegions) {
  editor->updateCamera();
  holding(KeyboardManager::keyF1 + 3, [&] { editor->manageKey(KeyboardManager::keyLeft); });
  EXPECT_EQ(editor->getCursorPosition(), Int3(64, 0, 0));
  holding(KeyboardManager::keyF1 + 1, [&] { editor->manageKey(KeyboardManager::keyPageDown); });
  EXPECT_EQ(editor->getCursorPosition(), Int3(64, -4, 0));
}

TEST_F(Editor3DTest, DigitAndPFillOrEmptyABoxAroundTheCursor) {
  keys("2p");  // no digit held: nothing
  EXPECT_EQ(countCubes(), 0);
  holding('2', [&] { keys("p"); });  // no cube types: nothing
  EXPECT_EQ(countCubes(), 0);
  addTypes(2);
  editor->setCursorPosition(Int3(3, 3, 3));
  holding('2', [&] { keys("p"); });
  EXPECT_EQ(countCubes(), 8);
  EXPECT_EQ(typeAt(2, 2, 2), 0);
  EXPECT_EQ(typeAt(3, 3, 3), 0);
  EXPECT_EQ(typeAt(4, 3, 3), -1);
  EXPECT_EQ(typeAt(1, 3, 3), -1);
  editor->setCursorPosition(Int3(-5, 0, 0));
  holding('1', [&] { keys("P"); });
  EXPECT_EQ(countCubes(), 9);
  EXPECT_EQ(typeAt(-5, 0, 0), 0);
  editor->setCursorPosition(Int3(3, 3, 3));
  holding(KeyboardManager::keyF1 + 4, [&] { holding('1', [&] { keys("p"); }); });
  EXPECT_EQ(countCubes(), 8);
  EXPECT_EQ(typeAt(3, 3, 3), -1);
}

TEST_F(Editor3DTest, DigitAndSFillOrEmptyASphere) {
  addTypes(1);
  holding('1', [&] { keys("s"); });
  const int filled = countCubes();
  EXPECT_GT(filled, 0);
  EXPECT_EQ(typeAt(0, 0, 0), 0);
  EXPECT_EQ(typeAt(-1, 0, 0), 0);
  EXPECT_EQ(typeAt(3, 0, 0), -1);
  holding(KeyboardManager::keyF1 + 4, [&] { holding('3', [&] { keys("s"); }); });
  EXPECT_EQ(countCubes(), 0);
  // Removal takes exactly the cubes the same addition adds, also inside a bigger block and
  // for a radius off the half-cube steps of the keys.
  holding('3', [&] { keys("s"); });
  EXPECT_EQ(countCubes(), 179);
  holding(KeyboardManager::keyF1 + 4, [&] { holding('3', [&] { keys("s"); }); });
  EXPECT_EQ(countCubes(), 0);
  world->addCubesParallelepiped(Int3(-6, -6, -6), Int3(6, 6, 6), 0);
  world->addCubesSphere(Int3(0, 0, 0), 2.3f, 0);
  world->removeCubesSphere(Int3(0, 0, 0), 2.3f);
  const int holed = countCubes();
  world->reset();
  world->addCubesSphere(Int3(0, 0, 0), 2.3f, 0);
  EXPECT_EQ(holed, 12 * 12 * 12 - countCubes());
}

TEST_F(Editor3DTest, SpaceSelectsThenFillsAndDRemoves) {
  keys(" ");
  EXPECT_FALSE(editor->getIsSelectionActive());  // no cube types
  addTypes(2);
  editor->setCurrentCubeType(1);
  keys(" ");
  EXPECT_TRUE(editor->getIsSelectionActive());
  editor->setCursorPosition(Int3(3, 2, 1));
  keys(" ");
  EXPECT_FALSE(editor->getIsSelectionActive());
  EXPECT_EQ(countCubes(), 6);
  EXPECT_EQ(typeAt(2, 1, 0), 1);
  keys("d");  // no selection: nothing
  EXPECT_EQ(countCubes(), 6);
  editor->setCursorPosition(Int3(0, 0, 0));
  keys(" ");
  editor->setCursorPosition(Int3(2, 2, 1));
  keys("d");
  EXPECT_FALSE(editor->getIsSelectionActive());
  EXPECT_EQ(countCubes(), 2);
  EXPECT_EQ(typeAt(2, 0, 0), 1);
  // F5: the box goes in directly as new zones.
  editor->setCursorPosition(Int3(10, 0, 0));
  keys(" ");
  editor->setCursorPosition(Int3(12, 3, 1));
  holding(KeyboardManager::keyF1 + 4, [&] { keys(" "); });
  EXPECT_EQ(countCubes(), 8);
  EXPECT_EQ(typeAt(11, 2, 0), 1);
}

TEST_F(Editor3DTest, GenerationNeedsSixTypesFromTheCurrentOne) {
  addTypes(6);
  editor->setCurrentCubeType(1);
  keys("g");
  EXPECT_EQ(countCubes(), 0);
  ASSERT_EQ(editor->getMenuPages().size(), 1u);
  EXPECT_EQ(editor->getMenuPages()[0]->title, Page::sixTypesMessage);
  EXPECT_EQ(editor->getMenuPages()[0]->entries, std::vector<std::string>{"Ok"});
  editor->setCurrentCubeType(0);
  testing::internal::CaptureStdout();
  keys("g");
  holding('2', [&] {
    editor->setCursorPosition(Int3(40, 0, 0));
    keys("g");
  });
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(countCubes(), 64 + 64);
  EXPECT_EQ(typeAt(3, 0, 3), 1);
  EXPECT_EQ(typeAt(40 - 4, 4, 0), 1);  // hillside 2 falls toward +x from y0 + 4
  EXPECT_EQ(typeAt(40 + 3, -3, 0), 1);
}

TEST_F(Editor3DTest, MissingHeightmapOpensItsPageAndOkClosesIt) {
  addTypes(6);
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  holding(KeyboardManager::keyF1 + 3, [&] { keys("g"); });
  ASSERT_EQ(chdir(previous), 0);
  ASSERT_EQ(editor->getMenuPages().size(), 1u);
  Page& page = *editor->getMenuPages()[0];
  EXPECT_EQ(page.title, Page::missingHeightmapMessage);
  clickEntry(page, 0);
  EXPECT_TRUE(editor->getMenuPages().empty());
}

TEST_F(Editor3DTest, DialogueAddsATypeWithTheAnswers) {
  addTypes(1);
  keys("q");  // without F3: nothing
  EXPECT_FALSE(editor->isPrompting());
  holding(KeyboardManager::keyF1 + 2, [&] { keys("q"); });
  EXPECT_EQ(editor->getDialogueStep(), 1);
  EXPECT_TRUE(editor->isPrompting());
  // It offers the texture files it finds and refuses a name without its file (or none),
  // keeping the text for correction.
  const std::vector<std::string>& offered = editor->getDialogueTextureFiles();
  EXPECT_NE(std::find(offered.begin(), offered.end(), "grass_top.png"), offered.end());
  EXPECT_TRUE(std::is_sorted(offered.begin(), offered.end()));
  editor->manageKey(keyEnter);
  EXPECT_TRUE(editor->getIsTextureNameRefused());
  keys("grass_top.pn");
  editor->manageKey(keyEnter);
  EXPECT_EQ(editor->getDialogueStep(), 1);
  EXPECT_TRUE(editor->getIsTextureNameRefused());
  keys("g");
  editor->manageKey(keyEnter);
  EXPECT_EQ(editor->getDialogueStep(), 2);
  EXPECT_FALSE(editor->getIsTextureNameRefused());
  const char* names[6] = {"grass_top.png", "dirt.png", "grass_side.png", "stone.png", "sand.png", "wood.png"};
  for (int face = 1; face < 6; ++face) {
    keys(names[face]);
    editor->manageKey(keyEnter);
  }
  EXPECT_EQ(editor->getDialogueStep(), 7);
  keys("xz");  // ignored
  EXPECT_EQ(editor->getDialogueStep(), 7);
  keys("yny");
  EXPECT_EQ(editor->getDialogueStep(), 10);
  EXPECT_EQ(world->getNbCubeType(), 1);
  keys("n");
  EXPECT_EQ(editor->getDialogueStep(), 0);
  ASSERT_EQ(world->getNbCubeType(), 2);
  EXPECT_EQ(editor->getCurrentCubeType(), 1);
  CubeType* type = world->getCubeType(1);
  for (int face = 0; face < 6; ++face) EXPECT_EQ(type->textureNames[face], names[face]);
  EXPECT_FALSE(type->textureOptions[0]);
  EXPECT_TRUE(type->textureOptions[1]);
  EXPECT_FALSE(type->textureOptions[2]);
  EXPECT_FALSE(type->collidable);
}

TEST_F(Editor3DTest, DialogueModifiesTheCurrentTypeAndEscapeChangesNothing) {
  addTypes(2);
  editor->setCurrentCubeType(0);
  holding(KeyboardManager::keyF1 + 2, [&] { keys("m"); });
  for (int i = 0; i < 6; ++i) {
    keys("stone.png");
    editor->manageKey(keyEnter);
  }
  keys("y");
  editor->manageKey(keyEscape);  // in step 8
  EXPECT_FALSE(editor->isPrompting());
  EXPECT_EQ(world->getNbCubeType(), 2);
  EXPECT_EQ(world->getCubeType(0)->textureNames[0], "");
  // Keys of the dialogue never reach the commands.
  EXPECT_EQ(editor->getCursorPosition(), Int3(0, 0, 0));

  holding(KeyboardManager::keyF1 + 2, [&] { keys("m"); });
  for (int i = 0; i < 6; ++i) {
    keys(i == 0 ? "snow.png" : "stone.png");
    editor->manageKey(keyEnter);
  }
  keys("nnny");
  EXPECT_EQ(world->getCubeType(0)->textureNames[0], "snow.png");
  // Modifying again offers each face's current name: Enter keeps it.
  holding(KeyboardManager::keyF1 + 2, [&] { keys("m"); });
  for (int i = 0; i < 6; ++i) editor->manageKey(keyEnter);
  keys("nnny");
  EXPECT_EQ(world->getNbCubeType(), 2);
  EXPECT_EQ(world->getCubeType(0)->textureNames[0], "snow.png");
  EXPECT_EQ(world->getCubeType(0)->textureNames[5], "stone.png");
  EXPECT_TRUE(world->getCubeType(0)->collidable);
  EXPECT_EQ(editor->getCurrentCubeType(), 0);
}

TEST_F(Editor3DTest, CubeTypeKeysStayInRangeAndRemoveTheLastType) {
  holding(KeyboardManager::keyF1 + 2, [&] {
    keys("r");
    editor->manageKey(KeyboardManager::keyPageUp);
  });
  EXPECT_EQ(editor->getCurrentCubeType(), 0);
  addTypes(3);
  editor->setCursorPosition(Int3(1, 1, 1));
  editor->setCurrentCubeType(2);
  holding('1', [&] { keys("p"); });
  EXPECT_EQ(typeAt(1, 1, 1), 2);
  holding(KeyboardManager::keyF1 + 2, [&] {
    editor->manageKey(KeyboardManager::keyPageUp);
    EXPECT_EQ(editor->getCurrentCubeType(), 2);
    editor->manageKey(KeyboardManager::keyPageDown);
    EXPECT_EQ(editor->getCurrentCubeType(), 1);
    keys("r");
  });
  EXPECT_EQ(world->getNbCubeType(), 2);
  EXPECT_EQ(editor->getCurrentCubeType(), 1);
  EXPECT_EQ(typeAt(1, 1, 1), -1);  // the removed type's cubes went with it
  EXPECT_EQ(editor->getCursorPosition(), Int3(1, 1, 1));
}

TEST_F(Editor3DTest, ObjectKeysPlaceAndDeleteScriptObjects) {
  addTypes(1);
  keys("x");  // no object types: nothing
  EXPECT_EQ(countObjects(), 0);
  world->setObjectTypeNames({"Crate", "Tree"});
  holding('t', [&] {
    editor->manageKey(KeyboardManager::keyPageUp);
    editor->manageKey(KeyboardManager::keyPageUp);
  });
  EXPECT_EQ(editor->getCurrentObjectType(), 1);
  EXPECT_EQ(editor->getCursorPosition(), Int3(0, 0, 0));
  editor->setCursorPosition(Int3(2, 0, 2));
  holding('1', [&] { keys("p"); });
  editor->setCursorPosition(Int3(2, 5, 2));
  keys("v");
  keys("x");
  EXPECT_EQ(countObjects(), 2);
  // Delete: the object at the cursor first, then the cube there.
  editor->manageKey(keyDelete);
  EXPECT_EQ(countObjects(), 1);
  editor->setCursorPosition(Int3(2, 0, 2));
  editor->manageKey(keyDelete);
  EXPECT_EQ(countObjects(), 1);
  EXPECT_EQ(typeAt(2, 0, 2), -1);
  // The object of "v" stood on the cube's top in the column middle: with the cube gone it is
  // in the cursor's cube, and Delete takes it rather than the cube below.
  holding('1', [&] { keys("p"); });
  editor->setCursorPosition(Int3(2, 1, 2));
  editor->manageKey(keyDelete);
  EXPECT_EQ(countObjects(), 0);
  EXPECT_EQ(typeAt(2, 0, 2), 0);
}

TEST_F(Editor3DTest, DeleteWithF2ClearsTheRegionAndF4Everything) {
  addTypes(1);
  editor->setCursorPosition(Int3(1, 1, 1));
  holding('1', [&] { keys("p"); });
  editor->setCursorPosition(Int3(20, 1, 1));
  holding('1', [&] { keys("p"); });
  editor->setCursorPosition(Int3(2, 2, 2));
  holding(KeyboardManager::keyF1 + 1, [&] { editor->manageKey(keyDelete); });
  EXPECT_EQ(countCubes(), 1);
  holding(KeyboardManager::keyF1 + 3, [&] { editor->manageKey(keyDelete); });
  EXPECT_EQ(countCubes(), 0);
}

TEST_F(Editor3DTest, WheelChangesTheCameraDistanceWithinItsBounds) {
  EXPECT_FLOAT_EQ(editor->getCameraDistance(), 30.f);
  editor->manageMouseEvent(press(400, 300, 3));
  EXPECT_FLOAT_EQ(editor->getCameraDistance(), 15.f);
  editor->manageMouseEvent(press(400, 300, 3));
  EXPECT_FLOAT_EQ(editor->getCameraDistance(), 0.f);
  editor->manageMouseEvent(press(400, 300, 3));
  EXPECT_FLOAT_EQ(editor->getCameraDistance(), 0.f);
  for (int i = 0; i < 100; ++i) editor->manageMouseEvent(press(400, 300, 4));
  EXPECT_FLOAT_EQ(editor->getCameraDistance(), 900.f);
}

TEST_F(Editor3DTest, MenuHotZonesOpenChooseDragAndClosePages) {
  const int width = GLManager::getScene2D()->size2D.x();
  editor->manageMouseEvent(press(width - 150, 10));  // left of the hot zone
  EXPECT_TRUE(editor->getMenuPages().empty());
  editor->manageMouseEvent(press(width - 50, 10));
  ASSERT_EQ(editor->getMenuPages().size(), 1u);
  Page& menu = *editor->getMenuPages()[0];
  EXPECT_EQ(menu.title, "Menu");
  EXPECT_EQ(menu.position, Int2(100, 50));
  ASSERT_EQ(menu.entries.size(), 9u);
  EXPECT_EQ(menu.entries[8], "Save and load");
  EXPECT_EQ(menu.width, font->getTextWidth("Delete cubes and objects", -1, 1.f) + 40);

  clickEntry(menu, 8);
  ASSERT_EQ(editor->getMenuPages().size(), 2u);
  Page& saveLoad = *editor->getMenuPages()[1];
  EXPECT_EQ(saveLoad.title, "Save and load");
  EXPECT_EQ(saveLoad.position, Int2(150, 100));
  EXPECT_EQ(saveLoad.entries[1], "Load world from world.dat [Ctrl+l]");

  // Drag by the title bar: the grab point follows the mouse.
  editor->manageMouseEvent(press(160, 110));
  editor->manageMouseEvent(MouseEvent{260, 160, -1, MouseEvent::motionWithButton});
  editor->manageMouseEvent(release(260, 160));
  EXPECT_EQ(saveLoad.position, Int2(250, 150));
  EXPECT_EQ(menu.position, Int2(100, 50));

  // The close box: a strict hot zone at the top right.
  const int right = saveLoad.position.x() + saveLoad.width;
  editor->manageMouseEvent(press(right - 10, saveLoad.position.y() + 10));
  ASSERT_EQ(editor->getMenuPages().size(), 1u);
  EXPECT_EQ(editor->getMenuPages()[0]->title, "Menu");
  // Below the last entry: nothing.
  editor->manageMouseEvent(press(120, 50 + 30 + 9 * 50 + 1));
  EXPECT_EQ(editor->getMenuPages().size(), 1u);
}

TEST_F(Editor3DTest, ConfigurationPagesMarkTheValueAndCloseWhenChosen) {
  Page* landscapes = openFromMenu(3);
  ASSERT_EQ(landscapes->title, "Generate landscapes");
  clickEntry(*landscapes, 2);
  Page* factor = editor->getMenuPages().back().get();
  ASSERT_EQ(factor->title, "Configure heightmap height factor");
  EXPECT_EQ(factor->entries[1], "x0.2 (medium) <= ");
  EXPECT_EQ(factor->entries[3], "x1 (very big)");
  clickEntry(*factor, 3);
  EXPECT_FLOAT_EQ(Editor3DWorldGeneration::heightmapHeightFactor, 1.f);
  EXPECT_EQ(editor->findPage("Configure heightmap height factor"), nullptr);
  EXPECT_NE(editor->findPage("Generate landscapes"), nullptr);

  editor->chooseEntry("Generate landscapes", 0);
  EXPECT_EQ(editor->findPage("Configure number of additional random cubes")->entries[0], "None <= ");
  editor->chooseEntry("Configure number of additional random cubes", 5);
  EXPECT_EQ(Editor3DWorldGeneration::nbAdditionalRandomCubes, 600);
  editor->chooseEntry("Generate landscapes", 1);
  editor->chooseEntry("Configure heightmap accuracy", 2);
  EXPECT_EQ(Editor3DWorldGeneration::heightmapAccuracy, 4);
  editor->chooseEntry("Generate random objects", 0);
  editor->chooseEntry("Configure number of custom objects", 3);
  EXPECT_EQ(Editor3DWorldGeneration::nbCustomObjects, 100);
  EXPECT_EQ(Page::getEntries("Configure number of custom objects", 0)[3], "From 0 to 100 <= ");
}

TEST_F(Editor3DTest, MenuEntriesEditTheWorld) {
  addTypes(6);
  // Cube types: the select page lists the types as numbers from 1.
  Page* types = openFromMenu(1);
  clickEntry(*types, 0);
  Page* select = editor->getMenuPages().back().get();
  ASSERT_EQ(select->title, "Select a cube type");
  EXPECT_EQ(select->entries, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(select->entryIcons.size(), 6u);
  clickEntry(*select, 4);
  EXPECT_EQ(editor->getCurrentCubeType(), 4);
  editor->chooseEntry("Cube aggregate types", 2);
  EXPECT_EQ(editor->getCurrentCubeType(), 5);
  editor->chooseEntry("Cube aggregate types", 1);
  editor->chooseEntry("Cube aggregate types", 1);
  EXPECT_EQ(editor->getCurrentCubeType(), 3);
  // The one-region entries pass the six-type check.
  editor->chooseEntry("Generate one region", 0);
  EXPECT_EQ(countCubes(), 0);
  EXPECT_NE(editor->findPage(Page::sixTypesMessage), nullptr);
  editor->setCurrentCubeType(0);
  testing::internal::CaptureStdout();
  editor->chooseEntry("Generate one region", 3);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(countCubes(), 64);
  EXPECT_EQ(typeAt(0, -4, -4), 1);  // hillside 3 rises toward +z
  // Holes from the menu, around the cursor.
  editor->chooseEntry("Delete cubes and objects", 7);
  addTypes(0);
  editor->setCursorPosition(Int3(0, 0, 0));
  holding('8', [&] { keys("p"); });
  EXPECT_EQ(countCubes(), 512);
  editor->chooseEntry("Delete cubes and objects", 2);
  EXPECT_EQ(countCubes(), 512 - 125);
  EXPECT_EQ(typeAt(-2, -2, -2), -1);
  EXPECT_EQ(typeAt(2, 2, 2), -1);
  EXPECT_EQ(typeAt(3, 0, 0), 0);
  editor->chooseEntry("Delete cubes and objects", 3);
  EXPECT_LT(countCubes(), 512 - 125);
  EXPECT_EQ(typeAt(-4, 0, 0), -1);
  EXPECT_EQ(typeAt(-4, -4, -4), 0);
  // Optimisation keeps the cubes and merges the zones.
  const int cubes = countCubes();
  testing::internal::CaptureStdout();
  editor->chooseEntry("Cubes optimization", 1);
  editor->chooseEntry("Cubes optimization", 3);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(countCubes(), cubes);
  editor->chooseEntry("Delete cubes and objects", 5);
  EXPECT_EQ(countCubes(), 0);
}

TEST_F(Editor3DTest, SaveAndLoadRoundTripTheWorld) {
  addTypes(2);
  editor->setCurrentCubeType(1);
  editor->setCursorPosition(Int3(5, 1, 5));
  holding('3', [&] { keys("p"); });
  EXPECT_EQ(countCubes(), 27);
  testing::internal::CaptureStdout();
  editor->manageKey(ctrlS);
  holding('3', [&] { keys("s"); });  // changed after the save
  EXPECT_NE(countCubes(), 27);
  EXPECT_FALSE(editor->takeClearGlobalVariablesRequest());
  editor->manageKey(ctrlL);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("==== Saving world to file '" + worldFile + "'"), std::string::npos);
  EXPECT_EQ(countCubes(), 27);
  EXPECT_EQ(typeAt(4, 0, 4), 1);
  EXPECT_EQ(world->getNbCubeType(), 2);
  EXPECT_EQ(editor->getCurrentCubeType(), 0);
  EXPECT_TRUE(editor->takeClearGlobalVariablesRequest());
  EXPECT_FALSE(editor->takeClearGlobalVariablesRequest());
  // The menu entries do the same.
  testing::internal::CaptureStdout();
  editor->chooseEntry("Save and load", 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(countCubes(), 27);
}

TEST_F(Editor3DTest, ScriptCubeSelectionTakesMouseAndKeysUntilConfirmed) {
  Int3 moving, start;
  EXPECT_FALSE(editor->manageCubeCreation(moving, start));
  EXPECT_FALSE(editor->manageCubeCreationMouseEvent(MouseEvent{10, 10, -1, MouseEvent::motionWithoutButton}));
  editor->startCubeCreation(Float3(3.5f, 2.2f, -0.5f));
  EXPECT_TRUE(editor->isCubeCreationActive());
  editor->startCubeCreation(Float3(100.f, 100.f, 100.f));  // ignored while under way
  EXPECT_FALSE(editor->manageCubeCreation(moving, start));
  EXPECT_EQ(start, Int3(3, 2, 0));
  EXPECT_EQ(moving, Int3(3, 2, 0));
  Camera* camera = GLManager::getScene3D()->getCamera();
  const float yaw = camera->getYaw();
  EXPECT_TRUE(editor->manageCubeCreationMouseEvent(MouseEvent{100, 100, -1, MouseEvent::motionWithoutButton}));
  EXPECT_TRUE(editor->manageCubeCreationMouseEvent(MouseEvent{110, 100, -1, MouseEvent::motionWithoutButton}));
  EXPECT_FLOAT_EQ(camera->getYaw(), yaw - 10.f);
  camera->setYaw(-180.f);
  EXPECT_TRUE(editor->manageCubeCreationKey(KeyboardManager::keyRight));
  EXPECT_TRUE(editor->manageCubeCreationKey(KeyboardManager::keyPageUp));
  EXPECT_FALSE(editor->manageCubeCreationKey('a'));
  EXPECT_FALSE(editor->manageCubeCreation(moving, start));
  EXPECT_EQ(moving, Int3(2, 3, 0));
  EXPECT_FALSE(editor->manageCubeCreationMouseEvent(press(5, 5, 2)));
  EXPECT_TRUE(editor->manageCubeCreationMouseEvent(press(5, 5, 0)));
  EXPECT_TRUE(editor->manageCubeCreation(moving, start));
  EXPECT_FALSE(editor->isCubeCreationActive());
  EXPECT_FALSE(editor->manageCubeCreation(moving, start));
  editor->startCubeCreation(Float3(0.f, 0.f, 0.f));
  EXPECT_TRUE(editor->manageCubeCreationKey(keyEnter));
  EXPECT_TRUE(editor->manageCubeCreation(moving, start));
}

TEST_F(Editor3DTest, OverlayAndCursorAreDrawn) {
  addTypes(1);
  SpriteManager::clearScreen(Color(255, 255, 255, 255));
  // The frame step's 2D set-up.
  GLManager::getScene2D()->apply2DState();
  glEnable(GL_CULL_FACE);
  editor->openPage("Menu");
  editor->openPage("Select a cube type");
  world->setObjectTypeNames({"Crate"});
  editor->drawOverlay();
  // The page background: black at half alpha over white.
  const auto pixel = GLTestWindow::readPixel2D(102, 300);
  EXPECT_NEAR(pixel[0], 127, 3);
  EXPECT_NEAR(pixel[1], 127, 3);
  const auto outside = GLTestWindow::readPixel2D(20, 500);
  EXPECT_EQ(outside[0], 255);
  // The dialogue draws its prompt instead of the selected types.
  holding(KeyboardManager::keyF1 + 2, [&] { keys("q"); });
  editor->drawOverlay();
  for (int i = 0; i < 6; ++i) editor->manageKey(keyEnter);
  editor->drawOverlay();
  keys("yyy");
  editor->drawOverlay();
  editor->manageKey(keyEscape);

  // The cursor and selection in the 3D pass: yellow lines.
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  keys(" ");
  editor->setCursorPosition(Int3(5, 5, 5));
  editor->updateCamera();
  editor->draw3D();
  const Int2 window = GLManager::getWindowSize();
  const std::vector<unsigned char> pixels = GLTestWindow::readPixels(0, 0, window.x(), window.y());
  int yellow = 0;
  for (size_t i = 0; i + 3 < pixels.size(); i += 4)
    if (pixels[i] > 200 && pixels[i + 1] > 200 && pixels[i + 2] < 50) ++yellow;
  EXPECT_GT(yellow, 10);
  // Texturing, culling and the colour are as they were.
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  GLfloat color[4];
  glGetFloatv(GL_CURRENT_COLOR, color);
  editor->startCubeCreation(Float3(2.f, 0.f, 0.f));
  editor->drawCubeCreation();
  GLfloat after[4];
  glGetFloatv(GL_CURRENT_COLOR, after);
  EXPECT_EQ(color[0], after[0]);
  EXPECT_EQ(color[2], after[2]);
}

TEST_F(Editor3DTest, TheOverlayKeepsTheTexturesOfTheTypesItShows) {
  addTypes(3);
  editor->setCurrentCubeType(1);
  editor->drawOverlay();
  EXPECT_FALSE(world->getCubeType(0)->keepTextures);
  EXPECT_TRUE(world->getCubeType(1)->keepTextures);
  EXPECT_TRUE(world->getCubeType(1)->areTexturesLoaded());
  editor->openPage("Select a cube type");
  editor->setCurrentCubeType(2);
  editor->drawOverlay();
  for (int type = 0; type < 3; ++type) EXPECT_TRUE(world->getCubeType(type)->keepTextures) << type;
  editor->chooseEntry("Cube aggregate types", 3);  // removes the last type
  ASSERT_EQ(world->getNbCubeType(), 2);
  editor->getMenuPages().front()->entryIcons.clear();
  editor->drawOverlay();
  EXPECT_FALSE(world->getCubeType(0)->keepTextures);
  EXPECT_TRUE(world->getCubeType(1)->keepTextures);
}

TEST_F(Editor3DTest, HelpListsTheKeyTableAndFitsTheScreen) {
  // From the menu's entry, then h closes it and opens it again.
  Page* help = openFromMenu(0);
  ASSERT_EQ(help->title, Page::helpTitle);
  EXPECT_NE(help->picture, nullptr);
  const std::vector<Editor3D::KeyCommand>& commands = Editor3D::getKeyCommands();
  ASSERT_EQ(help->lines.size(), commands.size());
  for (size_t i = 0; i < commands.size(); ++i)
    EXPECT_EQ(help->lines[i], std::string(commands[i].keys) + "\t" + commands[i].label);
  keys("h");
  EXPECT_EQ(editor->findPage(Page::helpTitle), nullptr);
  keys("H");
  help = editor->findPage(Page::helpTitle);
  ASSERT_NE(help, nullptr);
  const Int2 screen = GLManager::getScene2D()->size2D;
  EXPECT_GE(help->position.x(), 0);
  EXPECT_GE(help->position.y(), 0);
  EXPECT_LE(help->position.x() + help->width, screen.x());
  EXPECT_LE(help->position.y() + help->height, screen.y());
}

TEST_F(Editor3DTest, MenuEditsAreUndoneOneByOneAndALoadEndsTheHistory) {
  addTypes(6);
  world->setObjectTypeNames({"Crate"});
  const UndoLog& log = editor->getUndoLog();
  editor->chooseEntry("Generate one region", 0);
  const int cubes = countCubes();
  Editor3DWorldGeneration::nbCustomObjects = 100;
  editor->chooseEntry("Generate random objects", 1);
  const int objects = countObjects();
  editor->chooseEntry("Delete cubes and objects", 5);  // clears 8x8x8 regions around the cursor
  ASSERT_GT(cubes, 0);
  ASSERT_GT(objects, 0);
  EXPECT_EQ(countCubes() + countObjects(), 0);
  // An optimisation leaves the cubes as they are: no step.
  editor->chooseEntry("Cubes optimization", 3);
  EXPECT_EQ(log.getNbUndoSteps(), 3u);

  editor->manageKey(ctrlZ);
  EXPECT_EQ(countCubes(), cubes);
  EXPECT_EQ(countObjects(), objects);
  editor->manageKey(ctrlZ);
  EXPECT_EQ(countObjects(), 0);
  editor->manageKey(ctrlZ);
  EXPECT_EQ(countCubes(), 0);
  editor->manageKey(ctrlY);
  EXPECT_EQ(countCubes(), cubes);

  // A damaged file is not loaded and changes nothing; a load that worked leaves nothing to undo.
  dir.write("edited.dat", "WORLD but not much else");
  editor->manageKey(ctrlL);
  EXPECT_EQ(log.getNbUndoSteps(), 1u);
  editor->manageKey(ctrlS);
  editor->manageKey(ctrlL);
  EXPECT_EQ(log.getNbUndoSteps() + log.getNbRedoSteps(), 0u);
  EXPECT_EQ(countCubes(), cubes);
}

}  // namespace
