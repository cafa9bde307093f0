#include <gtest/gtest.h>

#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "editor/Editor3D.h"
#include "editor/Editor3DMenuPage.h"
#include "Editor3DTestHelpers.h"
#include "GLManager.h"
#include "world/IndexedWorld.h"
#include "KeyboardManager.h"
#include "shell/MainManager.h"
#include "scene/Player.h"
#include "Scene2D.h"
#include "TempDir.h"
#include "editor/UndoLog.h"
#include "scene/World.h"
#include "world/WorldRegion.h"

// The editor driven through the main loop of the program: keys and clicks reach the engine
// during the frame step's event pump through the window system's callbacks, as a user's do.
// Each scenario runs in a process of its own, because the main manager opens the process's
// only window; the death test shows only standard error, so each failed check is written there.
namespace {

bool isLoopCheckFailed = false;
void loopCheck(bool isTrue, const std::string& what) {
  if (isTrue) return;
  std::fprintf(stderr, "failed: %s\n", what.c_str());
  isLoopCheckFailed = true;
}

/// Input that arrives during the next frame's event pump. Keys stay held until released.
struct FrameInput {
  std::vector<int> down;         // characters pressed
  std::vector<int> specialDown;  // GLUT_KEY_* pressed
  std::vector<int> up;           // characters released
  std::vector<int> specialUp;
  std::vector<Int2> clicks;      // left button pressed and released at window pixels
};

FrameInput pendingInput;
void deliverPendingInput(int) {
  KeyboardManager* keyboard = GLManager::getKeyboardManager();
  for (const Int2& click : pendingInput.clicks) {
    GLManager::mouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, click.x(), click.y());
    GLManager::mouseButton(GLUT_LEFT_BUTTON, GLUT_UP, click.x(), click.y());
  }
  for (const int key : pendingInput.down) keyboard->keyDown(key);
  for (const int key : pendingInput.specialDown) keyboard->specialKeyDown(key);
  for (const int key : pendingInput.up) keyboard->keyUp(key);
  for (const int key : pendingInput.specialUp) keyboard->specialKeyUp(key);
  pendingInput = FrameInput();
}

void frame(MainManager& manager, FrameInput input = FrameInput()) {
  pendingInput = std::move(input);
  glutTimerFunc(0, deliverPendingInput, 0);
  manager.manage();
}

/// A typed character: pressed in one frame, released in the next.
void type(MainManager& manager, int key) {
  frame(manager, {{key}, {}, {}, {}, {}});
  frame(manager, {{}, {}, {key}, {}, {}});
}

/// `key` typed while the special key `held` (F1..F12, page keys) is held.
void typeWithSpecialHeld(MainManager& manager, int held, int key, bool isKeySpecial = false) {
  frame(manager, {{}, {held}, {}, {}, {}});
  if (isKeySpecial) {
    frame(manager, {{}, {key}, {}, {}, {}});
    frame(manager, {{}, {}, {}, {key}, {}});
  } else {
    type(manager, key);
  }
  frame(manager, {{}, {}, {}, {held}, {}});
}

void click(MainManager& manager, int x, int y) { frame(manager, {{}, {}, {}, {}, {Int2(x, y)}}); }

constexpr int keyCtrlS = 19;
constexpr int keyCtrlL = 12;
constexpr int keyDelete = 127;

/// A script that declares two object types, whose tables do nothing, and starts in the editor.
const char* const objectsScript = R"(
Game = {}
local function objectType()
  return { load = function() end, init = function() end, manage = function() end,
           draw = function() end, uninit = function() end, unload = function() end }
end
Crate = objectType()
Tree = objectType()
function Game.init()
  initActiveObjects("Crate", "Tree")
  setEditorMode(true)
end
function Game.manage() end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)";

std::string readWholeFile(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

void runObjectCommands() {
  TempDir dir;
  const std::string script = dir.write("world.lua", objectsScript);
  // An empty world of its own: the editor saves into it.
  const std::string worldFile = dir.write("edited.dat", readWholeFile(emptyWorldFile()));
  {
    MainManager manager("editorlooptest", false, worldFile, script, "world.xml");
    Editor3D* editor = manager.getEditor();
    IndexedWorld& world = manager.getWorld()->getIndexedWorld();
    frame(manager);
    loopCheck(manager.getIsEditorMode(), "the script turned editor mode on");
    loopCheck(world.getObjectTypeNames() == std::vector<std::string>({"Crate", "Tree"}),
              "the editor sees the types the script declared");
    world.reset();
    const float s = CubesTable::getSizeOneCube();

    // x places an object of the current type (Crate) at the cursor.
    editor->setCursorPosition(Int3(3, 2, 3));
    type(manager, 'x');
    loopCheck(world.getCustomObjectIdAt(Float3(3 * s, 2 * s, 3 * s)) == 0, "x placed a Crate at the cursor");

    // t + page up selects the next type; x then places a Tree.
    frame(manager, {{'t'}, {}, {}, {}, {}});
    frame(manager, {{}, {GLUT_KEY_PAGE_UP}, {}, {}, {}});
    frame(manager, {{}, {}, {'t'}, {GLUT_KEY_PAGE_UP}, {}});
    loopCheck(editor->getCurrentObjectType() == 1, "t + page up selected the next type");
    editor->setCursorPosition(Int3(6, 2, 3));
    type(manager, 'x');
    loopCheck(world.getCustomObjectIdAt(Float3(6 * s, 2 * s, 3 * s)) == 1, "x placed a Tree");

    // The menu's "Script object types" page: "Menu" at the top right, then its third entry,
    // then the page's first entry selects the previous type (Crate) again.
    click(manager, 800 - 50, 10);
    click(manager, 150, 50 + 30 + 2 * 50 + 20);
    loopCheck(editor->findPage("Script object types") != nullptr, "the menu opened the object types page");
    click(manager, 200, 100 + 30 + 20);
    loopCheck(editor->getCurrentObjectType() == 0, "the page's entry selected the previous type");

    // v places an object standing on the ground of the cursor's column; F5 + x a global one.
    editor->setCursorPosition(Int3(9, 5, 9));
    type(manager, 'v');
    loopCheck(world.getCustomObjectIdAt(Float3(9.5f * s, 0.f, 9.5f * s)) == 0, "v placed a Crate on the ground");
    editor->setCursorPosition(Int3(12, 2, 3));
    typeWithSpecialHeld(manager, GLUT_KEY_F5, 'x');
    loopCheck(world.getCustomObjectIdAt(Float3(12 * s, 2 * s, 3 * s)) == 0, "F5 + x placed an object");
    loopCheck(CustomObject::getNbGlobalObjects() == 1, "F5 + x made it global");

    // Delete removes the object at the cursor.
    editor->setCursorPosition(Int3(3, 2, 3));
    type(manager, keyDelete);
    loopCheck(world.getCustomObjectIdAt(Float3(3 * s, 2 * s, 3 * s)) == -1, "delete removed the object at the cursor");

    // Ctrl+S saves them; after clearing everything, Ctrl+L brings them back from the file.
    type(manager, keyCtrlS);
    typeWithSpecialHeld(manager, GLUT_KEY_F4, keyDelete);
    loopCheck(world.getCustomObjectIdAt(Float3(6 * s, 2 * s, 3 * s)) == -1, "F4 + delete cleared every region");
    type(manager, keyCtrlL);
    loopCheck(world.getCustomObjectIdAt(Float3(6 * s, 2 * s, 3 * s)) == 1, "the Tree came back from the world file");
    loopCheck(world.getCustomObjectIdAt(Float3(9.5f * s, 0.f, 9.5f * s)) == 0, "so did the Crate on the ground");
    loopCheck(world.getCustomObjectIdAt(Float3(3 * s, 2 * s, 3 * s)) == -1, "the removed one did not");
    frame(manager);
  }
  loopCheck(DeviceManager::getInstance() == nullptr, "the device manager is gone");
  std::fprintf(stderr, "object command checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

int countBuiltRegions(const IndexedWorld& world) {
  int built = 0;
  const Int3 size = world.getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k) built += world.getRegion(Int3(i, j, k))->isBuilt() ? 1 : 0;
  return built;
}

/// Every open page lies inside the 2D area, its close box included.
void checkPagesOnScreen(const Editor3D& editor, const std::string& when) {
  const Int2 area = GLManager::getScene2D()->size2D;
  for (const auto& page : editor.getMenuPages())
    loopCheck(page->position.x() >= 0 && page->position.y() >= 0 && page->position.x() + page->width <= area.x() &&
                  page->position.y() + page->height <= area.y(),
              "page '" + page->title + "' on screen " + when);
}

/// Clicks the close box of the page of that title.
void clickCloseBox(MainManager& manager, const Editor3DMenuPage& page) {
  click(manager, page.position.x() + page.width - page.getCloseBoxSize() / 2, page.position.y() + page.getCloseBoxSize() / 2);
}

void clickEntry(MainManager& manager, const Editor3DMenuPage& page, int index) {
  click(manager, page.position.x() + page.width / 2,
        page.position.y() + page.getTitleHeight() + index * page.getEntryHeight() + page.getEntryHeight() / 2);
}

void runMenusAndOptions() {
  TempDir dir;
  const std::string script = dir.write("world.lua", R"(
Game = {}
function Game.init() setEditorMode(true) end
function Game.manage()
  if getKeyNoRepeat("ASCII:257") then startMainMenu() end
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  const std::string worldFile = dir.write("edited.dat", readWholeFile(emptyWorldFile()));
  {
    MainManager manager("editorlooptest", false, worldFile, script, "world.xml");
    Editor3D* editor = manager.getEditor();
    IndexedWorld& world = manager.getWorld()->getIndexedWorld();
    frame(manager);
    const std::string textures[6] = {"brick.png", "brick.png", "brick.png", "brick.png", "brick.png", "brick.png"};
    const bool options[3] = {true, true, true};
    world.addCubeType(textures, options, true);

    // The six-type message: g without six cube types opens it, its Ok closes it.
    type(manager, 'g');
    const Editor3DMenuPage* message = editor->findPage(Editor3DMenuPage::sixTypesMessage);
    loopCheck(message != nullptr, "g opened the six-type message");
    if (message != nullptr) clickEntry(manager, *message, 0);
    loopCheck(editor->findPage(Editor3DMenuPage::sixTypesMessage) == nullptr, "Ok closed the six-type message");

    // The widest pages fit 800 x 600, then a bigger window; their close boxes work.
    click(manager, 800 - 50, 10);
    for (const int entry : {3, 5}) clickEntry(manager, *editor->findPage("Menu"), entry);
    type(manager, 'h');
    type(manager, 'g');
    frame(manager);
    loopCheck(editor->getMenuPages().size() == 5, "five pages open");
    checkPagesOnScreen(*editor, "at 800 x 600");
    glutReshapeWindow(1280, 1000);
    frame(manager);
    frame(manager);
    loopCheck(GLManager::getScene2D()->size2D == Int2(1280, 1000), "the window grew");
    checkPagesOnScreen(*editor, "at 1280 x 1000");
    while (!editor->getMenuPages().empty()) {
      const size_t before = editor->getMenuPages().size();
      clickCloseBox(manager, *editor->getMenuPages().back());
      if (editor->getMenuPages().size() != before - 1) break;
    }
    loopCheck(editor->getMenuPages().empty(), "every close box closed its page");

    // Options: the shadow switch frees every region; the reversed mouse look is applied and
    // logged on every click.
    world.addCubesParallelepiped(Int3(0, 0, 0), Int3(4, 4, 4), 0);
    frame(manager);
    frame(manager);
    loopCheck(countBuiltRegions(world) > 0, "regions were built");
    frame(manager, {{}, {GLUT_KEY_F2}, {}, {}, {}});
    frame(manager, {{}, {}, {}, {GLUT_KEY_F2}, {}});
    frame(manager);
    click(manager, 100, 260);  // options
    frame(manager);
    const int built = countBuiltRegions(world);
    // The frame builds again what the click freed; each region built prints one mark.
    testing::internal::CaptureStdout();
    click(manager, 400, 325);  // shadows on, as they were
    const std::string buildLog = testing::internal::GetCapturedStdout();
    const long rebuilt = std::count(buildLog.begin(), buildLog.end(), '+') + std::count(buildLog.begin(), buildLog.end(), '%');
    loopCheck(built > 0 && rebuilt >= built, "the shadow switch freed every region: " + std::to_string(built) +
                                                 " built, then " + std::to_string(rebuilt) + " rebuilt");
    testing::internal::CaptureStdout();
    click(manager, 400, 375);
    click(manager, 400, 375);
    click(manager, 300, 375);
    const std::string log = testing::internal::GetCapturedStdout();
    loopCheck(log.find("isReverseMouseYCamera: 1\nisReverseMouseYCamera: 1\nisReverseMouseYCamera: 0\n") != std::string::npos,
              "every click on the reversed mouse look is logged: " + log);
    loopCheck(!manager.getWorld()->getPlayer()->getIsReverseMouseYCamera(), "the last choice is applied");
  }
  std::fprintf(stderr, "menu checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

}  // namespace

TEST(EditorLoopDeathTest, MenusFitTheScreenAndOptionsActAtOnce) {
  EXPECT_EXIT(runMenusAndOptions(), testing::ExitedWithCode(0), "menu checks done");
}

TEST(EditorLoopDeathTest, ObjectCommandsPlaceSelectRemoveAndSaveScriptObjects) {
  EXPECT_EXIT(runObjectCommands(), testing::ExitedWithCode(0), "object command checks done");
}

namespace {

// GLX's current drawable (an X window id); <GL/glx.h> itself would bring X11's `Font` typedef,
// which clashes with the engine's class.
extern "C" unsigned long glXGetCurrentDrawable(void);

/// xdotool on the test's display (real key events through the X server and freeglut).
bool xdotool(const std::string& arguments) { return std::system(("timeout 60 xdotool " + arguments).c_str()) == 0; }

/// Frames until `isDone` holds; the typed keys travel through the X server first.
template <typename Condition>
bool frameUntil(MainManager& manager, Condition isDone) {
  for (int i = 0; i < 1000 && !isDone(); ++i) frame(manager);
  return isDone();
}

void runUndoRedo() {
  TempDir dir;
  const std::string script = dir.write("world.lua", objectsScript);
  const std::string worldFile = dir.write("edited.dat", readWholeFile("world.dat"));
  {
    MainManager manager("editorundotest", false, worldFile, script, "world.xml");
    Editor3D* editor = manager.getEditor();
    IndexedWorld& world = manager.getWorld()->getIndexedWorld();
    const UndoLog& log = editor->getUndoLog();
    frame(manager);
    world.reset();
    const std::string names[6] = {"brick.png", "brick.png", "brick.png", "brick.png", "brick.png", "brick.png"};
    const bool options[3] = {true, true, true};
    while (world.getNbCubeType() < 6) world.addCubeType(names, options, true);
    const int nbTypes = world.getNbCubeType();
    editor->setCurrentCubeType(0);

    // Edits through the keys: a 3 x 3 x 3 box (3 + p), an object (x), a generated region (g),
    // and a new cube type through the dialogue (F3 + q, six texture names, four answers).
    editor->setCursorPosition(Int3(2, 2, 2));
    frame(manager, {{'3'}, {}, {}, {}, {}});
    type(manager, 'p');
    frame(manager, {{}, {}, {'3'}, {}, {}});
    type(manager, 'x');
    editor->setCursorPosition(Int3(40, 0, 40));
    type(manager, 'g');
    typeWithSpecialHeld(manager, GLUT_KEY_F3, 'q');
    const std::vector<int> faceName = {'d', 'i', 'r', 't', '.', 'p', 'n', 'g', '\r'};
    for (int i = 0; i < 6; ++i) {
      frame(manager, {faceName, {}, {}, {}, {}});
      frame(manager, {{}, {}, faceName, {}, {}});
    }
    frame(manager, {{'y', 'y', 'y', 'y'}, {}, {}, {}, {}});
    frame(manager, {{}, {}, {'y'}, {}, {}});
    const int cubes = countEditorCubes(world);
    loopCheck(cubes > 27 && countEditorObjects(world) == 1, "the cubes and the object were placed");
    loopCheck(world.getNbCubeType() == nbTypes + 1 && editor->getCurrentCubeType() == nbTypes, "the type was added");
    loopCheck(log.getNbUndoSteps() == 4, "each edit is one step");

    // Ctrl+Z typed on the keyboard undoes them one by one, the new type first (the overlay then
    // shows an existing type); Ctrl+Y puts them back.
    // The engine's window is the current GL drawable; typed keys go to the window with the focus.
    const unsigned long window = glXGetCurrentDrawable();
    loopCheck(xdotool("windowfocus --sync " + std::to_string(window)), "xdotool focused the window");
    loopCheck(xdotool("key ctrl+z"), "xdotool typed Ctrl+Z");
    loopCheck(frameUntil(manager, [&] { return log.getNbUndoSteps() == 3; }), "Ctrl+Z undid the last edit");
    loopCheck(world.getNbCubeType() == nbTypes && editor->getCurrentCubeType() == nbTypes - 1,
              "the new cube type is gone");
    frame(manager);
    loopCheck(xdotool("key ctrl+z ctrl+z ctrl+z"), "xdotool typed Ctrl+Z three times");
    loopCheck(frameUntil(manager, [&] { return log.getNbUndoSteps() == 0; }), "Ctrl+Z undid every edit");
    loopCheck(countEditorCubes(world) == 0 && countEditorObjects(world) == 0, "the world is empty again");
    loopCheck(xdotool("key ctrl+y ctrl+y ctrl+y ctrl+y"), "xdotool typed Ctrl+Y four times");
    loopCheck(frameUntil(manager, [&] { return log.getNbRedoSteps() == 0; }), "Ctrl+Y redid every edit");
    loopCheck(countEditorCubes(world) == cubes && countEditorObjects(world) == 1 &&
                  world.getNbCubeType() == nbTypes + 1,
              "the edits are back");
    frame(manager);
  }
  std::fprintf(stderr, "undo checks done\n");
  std::exit(isLoopCheckFailed ? 2 : 0);
}

}  // namespace

TEST(EditorLoopDeathTest, CtrlZAndCtrlYUndoAndRedoTheEditorsEdits) {
  EXPECT_EXIT(runUndoRedo(), testing::ExitedWithCode(0), "undo checks done");
}
