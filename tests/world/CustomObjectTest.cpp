#include <gtest/gtest.h>

#include <cmath>

#include <lua.hpp>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "world/CustomObject.h"
#include "world/CustomObjectsCallback.h"
#include "GLTestWindow.h"
#include "script/LuaArgs.h"
#include "script/LuaFuncs.h"
#include "script/LuaFuncsPrivate.h"
#include "TempDir.h"
#include "Assert.h"

namespace {

// Writes down every call the objects make, as "operation type" or "operation type #object".
class RecordingCallback : public CustomObjectsCallback {
 public:
  void load(uint32_t typeId) override { add("load", typeId, nullptr); }
  void init(uint32_t typeId, CustomObject* object) override { add("init", typeId, object); }
  void manage(uint32_t typeId, CustomObject* object) override {
    add("manage", typeId, object);
    if (onManage) onManage(object);
  }
  void draw(uint32_t typeId, CustomObject* object) override { add("draw", typeId, object); }
  void uninit(uint32_t typeId, CustomObject* object) override { add("uninit", typeId, object); }
  void unload(uint32_t typeId) override { add("unload", typeId, nullptr); }

  std::string take() {
    std::string result = calls;
    calls.clear();
    return result;
  }

  std::function<void(CustomObject*)> onManage;

 private:
  void add(const char* operation, uint32_t typeId, CustomObject* object) {
    calls += std::string(operation) + " " + std::to_string(typeId);
    if (object != nullptr && object->getName() != "") calls += " " + object->getName();
    calls += ",";
  }
  std::string calls;
};

class CustomObjectTest : public testing::Test {
 protected:
  void SetUp() override { CustomObject::setCallback(&recorder); }
  void TearDown() override {
    CustomObject::resetUsedTypes();
    CustomObject::unloadUnusedTypes();
    CustomObject::setCallback(nullptr);
  }

  static CustomObject named(const std::string& name, bool isGlobal, uint32_t typeId) {
    CustomObject object(isGlobal, Float3(1.f, 2.f, 3.f), typeId, "start");
    object.setName(name);
    return object;
  }

  RecordingCallback recorder;
};

}  // namespace

TEST_F(CustomObjectTest, LifeOfAnObjectAndItsType) {
  {
    CustomObject object = named("a", false, 3);
    EXPECT_TRUE(object.getNeedsInit());
    EXPECT_EQ("start", object.getObjectLocalVariableString("init"));
    EXPECT_EQ(0, CustomObject::getTypeState(3));

    EXPECT_FALSE(object.manage());
    EXPECT_EQ("load 3,init 3 a,manage 3 a,", recorder.take());
    EXPECT_EQ(2, CustomObject::getTypeState(3));
    EXPECT_FALSE(object.getNeedsInit());
    EXPECT_FALSE(object.manage());
    EXPECT_EQ("manage 3 a,", recorder.take());

    // A frame in which the type is managed keeps it; a frame without unloads it.
    CustomObject::resetUsedTypes();
    EXPECT_EQ(1, CustomObject::getTypeState(3));
    object.manage();
    CustomObject::unloadUnusedTypes();
    EXPECT_EQ("manage 3 a,", recorder.take());
    CustomObject::resetUsedTypes();
    CustomObject::unloadUnusedTypes();
    EXPECT_EQ("unload 3,", recorder.take());
    EXPECT_EQ(0, CustomObject::getTypeState(3));
    object.manage();
    EXPECT_EQ("load 3,manage 3 a,", recorder.take());
  }
  EXPECT_EQ("uninit 3 a,", recorder.take());
}

TEST_F(CustomObjectTest, AutoDestroyInInitStopsManagingButStillUninits) {
  struct DestroyingInInit : RecordingCallback {
    void init(uint32_t typeId, CustomObject* object) override {
      RecordingCallback::init(typeId, object);
      object->setAutoDestroy();
    }
  } destroying;
  CustomObject::setCallback(&destroying);
  {
    CustomObject object = named("b", false, 1);
    EXPECT_TRUE(object.manage());
    EXPECT_EQ("load 1,init 1 b,", destroying.take());
    EXPECT_TRUE(object.manage());
    EXPECT_EQ("", destroying.take());
  }
  EXPECT_EQ("uninit 1 b,", destroying.take());
  CustomObject::setCallback(&recorder);
}

TEST_F(CustomObjectTest, AnObjectReadFromAWorldFileWithoutNeedsInitIsNotInitialised) {
  unsigned char record[CustomObject::recordSize];
  CustomObject original(true, Float3(1.5f, -2.f, 1024.25f), 7, "x");
  original.manage();
  recorder.take();
  original.toRecord(record);
  const unsigned char expected[CustomObject::recordSize] = {0x00, 0x00, 0xc0, 0x3f, 0x00, 0x00, 0x00, 0xc0, 0x00, 0x08,
                                                            0x80, 0x44, 7,    0,    0,    0,    1,    0,    0,    0};
  EXPECT_EQ(0, std::memcmp(expected, record, sizeof record));

  EXPECT_EQ(1, CustomObject::getNbGlobalObjects());
  {
    CustomObject loaded = CustomObject::fromRecord(record);
    EXPECT_EQ(2, CustomObject::getNbGlobalObjects());
    EXPECT_TRUE(loaded.getIsGlobal());
    EXPECT_FALSE(loaded.getNeedsInit());
    EXPECT_EQ(7u, loaded.getTypeId());
    EXPECT_EQ(Float3(1.5f, -2.f, 1024.25f), loaded.getPosition());
    loaded.manage();
    EXPECT_EQ("manage 7,", recorder.take());
    unsigned char again[CustomObject::recordSize];
    loaded.toRecord(again);
    EXPECT_EQ(0, std::memcmp(record, again, sizeof record));
  }
  EXPECT_EQ("uninit 7,", recorder.take());
  EXPECT_EQ(1, CustomObject::getNbGlobalObjects());

  // A fresh record asks for init; reserved bytes are ignored.
  record[16] = 0;
  record[17] = 1;
  record[18] = 0xff;
  CustomObject fresh = CustomObject::fromRecord(record);
  EXPECT_FALSE(fresh.getIsGlobal());
  fresh.manage();
  EXPECT_EQ("init 7,manage 7,", recorder.take());
}

TEST_F(CustomObjectTest, GlobalObjectsAreManagedOnceEachWithSlotsReused) {
  std::vector<CustomObject> region;
  for (int i = 0; i < 3; ++i) region.push_back(named("g" + std::to_string(i), true, 0));
  region.push_back(named("local", false, 0));
  // Moving the objects around (the list grew) neither uninits them nor loses their slots.
  EXPECT_EQ("", recorder.take());
  EXPECT_EQ(3, CustomObject::getNbGlobalObjects());

  CustomObject::manageGlobalObjects();
  EXPECT_EQ("load 0,init 0 g0,manage 0 g0,init 0 g1,manage 0 g1,init 0 g2,manage 0 g2,", recorder.take());

  // Erasing destroys exactly the erased object.
  region.erase(region.begin());
  EXPECT_EQ("uninit 0 g0,", recorder.take());
  EXPECT_EQ(2, CustomObject::getNbGlobalObjects());
  // Its empty slot is taken by the next registration (so it is managed first).
  region.push_back(named("g3", true, 0));
  recorder.take();
  CustomObject::manageGlobalObjects();
  EXPECT_EQ("init 0 g3,manage 0 g3,manage 0 g1,manage 0 g2,", recorder.take());

  // A copy of a global object is a second global object.
  CustomObject copy = region[0];
  EXPECT_EQ(4, CustomObject::getNbGlobalObjects());
  copy.setName("copy");
  CustomObject::manageGlobalObjects();
  EXPECT_EQ("manage 0 g3,manage 0 g1,manage 0 g2,manage 0 copy,", recorder.take());
}

TEST_F(CustomObjectTest, GlobalObjectsCreatedOrRemovedWhileManagingAreSafe) {
  auto created = std::make_unique<std::vector<CustomObject>>();
  created->reserve(1);
  std::unique_ptr<CustomObject> victim(new CustomObject(named("victim", true, 2)));
  CustomObject first = named("first", true, 2);
  recorder.onManage = [&](CustomObject* object) {
    if (object->getName() != "first") return;
    victim.reset();
    // The list grows during the walk, and a region list reallocates.
    for (int i = 0; i < 4; ++i) created->push_back(named("new" + std::to_string(i), true, 2));
  };
  recorder.take();
  CustomObject::manageGlobalObjects();
  const std::string calls = recorder.take();
  EXPECT_EQ(0u, calls.find("load 2,init 2 victim,manage 2 victim,init 2 first,manage 2 first,uninit 2 victim,"))
      << calls;
  recorder.onManage = nullptr;
  EXPECT_EQ(5, CustomObject::getNbGlobalObjects());
}

TEST_F(CustomObjectTest, AnAutoDestroyedGlobalObjectStaysListedButIdle) {
  CustomObject object = named("idle", true, 4);
  object.manage();
  object.setAutoDestroy();
  recorder.take();
  CustomObject::manageGlobalObjects();
  EXPECT_TRUE(object.manage());
  EXPECT_EQ("", recorder.take());
  EXPECT_EQ(1, CustomObject::getNbGlobalObjects());
}

TEST_F(CustomObjectTest, LocalVariables) {
  CustomObject object = named("v", false, 0);
  object.setObjectLocalVariable("hp", 10.5);
  object.setObjectLocalVariable("hp", 11.5);
  object.setObjectLocalVariablePos(-2, Float3(1.f, 2.f, 3.f));
  object.setObjectLocalVariableString("init", "changed");
  EXPECT_EQ(11.5, object.getObjectLocalVariable("hp"));
  EXPECT_EQ(Float3(1.f, 2.f, 3.f), object.getObjectLocalVariablePos(-2));
  EXPECT_EQ("changed", object.getObjectLocalVariableString("init"));
  CustomObject copy = object;
  EXPECT_EQ(11.5, copy.getObjectLocalVariable("hp"));
  EXPECT_EQ("v", copy.getName());
}

TEST_F(CustomObjectTest, MissingVariablesAndBadTypesAreFatal) {
  CustomObject object = named("v", false, 0);
  EXPECT_EXIT(object.getObjectLocalVariable("none"), testing::ExitedWithCode(1),
              "Condition: it!=localVariables.end\\(\\)\n");
  EXPECT_EXIT(object.getObjectLocalVariablePos(3), testing::ExitedWithCode(1),
              "Condition: it!=localVariablesPos.end\\(\\)\n");
  EXPECT_EXIT(object.getObjectLocalVariableString("none"), testing::ExitedWithCode(1),
              "Condition: it!=localVariablesString.end\\(\\)\n");
  CustomObject damaged(false, Float3(0.f, 0.f, 0.f), 0xffffff00u, "");
  EXPECT_EXIT(damaged.manage(), testing::ExitedWithCode(1), "type id out of range");
}

namespace {

const char* const objectGame = R"(
log = ""
Game = {}
initActiveObjects("Crate", "Bomb")
Crate = {}
function Crate.load() log = log .. "load," end
function Crate.init()
  log = log .. "init(" .. getObjectLocalVariableString("init") .. "),"
  setObjectLocalVariable("n", 0)
  setObjectLocalVariablePos(1, getCurrentObjectPosition())
end
function Crate.manage()
  setObjectLocalVariable("n", getObjectLocalVariable("n") + 1)
  local x, y, z = getObjectLocalVariablePos(1)
  setCurrentObjectPosition(x + 1, y, z)
  setObjectLocalVariableString("seen", "yes")
  log = log .. "manage,"
end
function Crate.draw() log = log .. "draw," end
function Crate.uninit() log = log .. "uninit," end
function Crate.unload() log = log .. "unload," end
Bomb = {}
function Bomb.load() end
function Bomb.init() log = log .. "bomb init," autoDestroyCurrentObject() end
function Bomb.manage() log = log .. "bomb manage," end
function Bomb.uninit() log = log .. "bomb uninit," end
function Bomb.unload() log = log .. "bomb unload," end
)";

class ScriptObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    scriptFile = dir.write("objects.lua", objectGame);
    host = std::make_unique<LuaFuncs>(scriptFile, nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    CustomObject::resetUsedTypes();
    CustomObject::unloadUnusedTypes();
    host.reset();
  }

  std::string takeLog() {
    lua_State* lua = host->getLuaState();
    lua_getglobal(lua, "log");
    const std::string log = LuaArgs::argString(lua, -1);
    lua_pop(lua, 1);
    lua_pushstring(lua, "");
    lua_setglobal(lua, "log");
    return log;
  }

  TempDir dir;
  std::string scriptFile;
  std::unique_ptr<LuaFuncs> host;
};

}  // namespace

TEST_F(ScriptObjectTest, TheHostIsTheObjectsCallbackWhileItLives) {
  EXPECT_EQ(host.get(), CustomObject::getCallback());
  host.reset();
  EXPECT_NE(nullptr, CustomObject::getCallback());
  {
    // Without a host objects do nothing, safely.
    CustomObject object(false, Float3(0.f, 0.f, 0.f), 0, "");
    EXPECT_FALSE(object.manage());
  }
  CustomObject::resetUsedTypes();
  CustomObject::unloadUnusedTypes();
  host = std::make_unique<LuaFuncs>(scriptFile, nullptr, nullptr, nullptr);
}

TEST_F(ScriptObjectTest, InitOnceThenManageWithVariables) {
  {
    CustomObject crate(false, Float3(10.f, 20.f, 30.f), 0, "hello");
    EXPECT_FALSE(crate.manage());
    EXPECT_EQ(nullptr, luaFuncsPrivate.currentObject);
    EXPECT_FALSE(crate.manage());
    EXPECT_EQ("load,init(hello),manage,manage,", takeLog());
    EXPECT_EQ(2.0, crate.getObjectLocalVariable("n"));
    EXPECT_EQ(Float3(10.f, 20.f, 30.f), crate.getObjectLocalVariablePos(1));
    EXPECT_EQ(Float3(11.f, 20.f, 30.f), crate.getPosition());
    EXPECT_EQ("yes", crate.getObjectLocalVariableString("seen"));
    EXPECT_EQ(0, lua_gettop(host->getLuaState()));

    // A position that is not a number is not kept (a saved world would be unreadable).
    crate.setObjectLocalVariablePos(1, Float3(std::nanf(""), 20.f, 30.f));
    EXPECT_FALSE(crate.manage());
    EXPECT_EQ(Float3(11.f, 20.f, 30.f), crate.getPosition());
    takeLog();
  }
  EXPECT_EQ("uninit,", takeLog());
  EXPECT_EQ(nullptr, luaFuncsPrivate.currentObject);
}

TEST_F(ScriptObjectTest, AutoDestroyInInitStillRunsUninit) {
  {
    CustomObject bomb(false, Float3(0.f, 0.f, 0.f), 1, "");
    EXPECT_TRUE(bomb.manage());
    EXPECT_EQ("bomb init,", takeLog());
  }
  EXPECT_EQ("bomb uninit,", takeLog());
}

TEST_F(ScriptObjectTest, ATypeOnlyDrawnInAFrameIsUnloadedAtItsEnd) {
  GLTestWindow::get();
  CustomObject crate(false, Float3(0.f, 0.f, 0.f), 0, "");
  crate.manage();
  takeLog();
  // Frame 1: managed and drawn, the type stays.
  CustomObject::resetUsedTypes();
  crate.manage();
  crate.draw();
  CustomObject::unloadUnusedTypes();
  EXPECT_EQ("manage,draw,", takeLog());
  // Frame 2: only drawn (out of the managed range): unloaded at the end.
  CustomObject::resetUsedTypes();
  crate.draw();
  CustomObject::unloadUnusedTypes();
  EXPECT_EQ("draw,unload,", takeLog());
  // Frame 3: the next draw loads it again, and it goes again at the end.
  CustomObject::resetUsedTypes();
  crate.draw(true);
  CustomObject::unloadUnusedTypes();
  EXPECT_EQ("load,draw,unload,", takeLog());
}

TEST_F(ScriptObjectTest, ReleasingTheHostUnloadsEveryLoadedType) {
  CustomObject crate(false, Float3(0.f, 0.f, 0.f), 0, "");
  CustomObject bomb(false, Float3(0.f, 0.f, 0.f), 1, "");
  crate.manage();
  bomb.manage();
  takeLog();
  CustomObject::resetUsedTypes();
  CustomObject::unloadUnusedTypes();
  EXPECT_EQ("unload,bomb unload,", takeLog());
}

TEST_F(ScriptObjectTest, ATypeIdWithoutANameIsReportedOnceAndNotRun) {
  CustomObject first(false, Float3(0.f, 0.f, 0.f), 5, "");
  CustomObject second(false, Float3(0.f, 0.f, 0.f), 5, "");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(first.manage());
  EXPECT_FALSE(second.manage());
  const std::string reports = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::string::npos, reports.find("type id 5", reports.find("type id 5") + 1)) << reports;
  EXPECT_NE(std::string::npos, reports.find("The script defines no script object type id 5")) << reports;
  EXPECT_EQ("", takeLog());
}
