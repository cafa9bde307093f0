#include <gtest/gtest.h>

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CubesTable.h"
#include "CustomObject.h"
#include "DeviceManager.h"
#include "Editor3D.h"
#include "GLManager.h"
#include "IndexedWorld.h"
#include "KeyboardManager.h"
#include "MainManager.h"
#include "TempDir.h"
#include "World.h"

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
  const std::string worldFile = dir.write("edited.dat", readWholeFile("world.dat"));
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

}  // namespace

TEST(EditorLoopDeathTest, ObjectCommandsPlaceSelectRemoveAndSaveScriptObjects) {
  EXPECT_EXIT(runObjectCommands(), testing::ExitedWithCode(0), "object command checks done");
}
