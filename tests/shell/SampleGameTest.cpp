#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "meshing/CubeZone.h"
#include "FileManager.h"
#include "TempDir.h"
#include "world/WorldFile.h"

// The sample game as shipped in game/: its world file, rebuilt by tools/make_world from the
// committed images and description, and its script run headless by the real program.
namespace {

const std::string gameDir = ENGINE_GAME_DIR;
const std::string sampleWorld = gameDir + "/world.dat";
constexpr float regionEdge = 320.f;  // 32 cubes of 10 units (world.xml)

struct CommandRun {
  int exitCode = -1;
  std::string output;
};

// Runs a shell command, standard output and error together. Without a display the command
// gets a private X server.
CommandRun runWithDisplay(const std::string& command) {
  const char* display = std::getenv("DISPLAY");
  const std::string launcher =
      display != nullptr && *display != '\0' ? "" : "xvfb-run -a -s '-screen 0 1024x768x24 -noreset' ";
  CommandRun run;
  FILE* pipe = popen((launcher + command + " 2>&1 </dev/null").c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

TEST(SampleWorldTest, HoldsReadyCubeTypesALandscapeAtSeaLevelAndTheGameObjects) {
  WorldFile file;
  ASSERT_TRUE(file.read(sampleWorld, regionEdge)) << file.getProblem();

  // At least eight types, every face with its texture, shadowed texture and bump map.
  ASSERT_GE(file.cubeTypes.size(), 8u);
  for (const WorldFile::CubeTypeRecord& type : file.cubeTypes)
    for (const std::string& name : type.textureNames) {
      ASSERT_FALSE(name.empty());
      for (const char* directory : {"/cube_textures/", "/cube_shadowed_textures/", "/cube_bumpmap_textures/"})
        EXPECT_TRUE(FileManager::fileExists(gameDir + directory + name)) << directory << name;
    }

  // Ground both under the sea (height 0) and above it, and cubes of every type used.
  std::map<int32_t, int> zonesByType;
  int underWater = 0, aboveWater = 0;
  std::map<uint32_t, int> objects, globalObjects;
  for (const WorldFile::RegionRecord& region : file.regions) {
    for (const CubeZone& zone : region.zones) {
      ++zonesByType[zone.id];
      const float top = zone.centre.y() + zone.size.y() / 2;
      (top <= 0.f ? underWater : aboveWater)++;
    }
    for (const WorldFile::ObjectRecord& record : region.objects) {
      uint32_t typeId;
      std::memcpy(&typeId, &record[12], 4);
      (record[16] != 0 ? globalObjects : objects)[typeId]++;
    }
  }
  EXPECT_GT(underWater, 100);
  EXPECT_GT(aboveWater, 1000);
  for (int32_t id = 0; id < static_cast<int32_t>(file.cubeTypes.size()); ++id)
    EXPECT_GT(zonesByType[id], 0) << "cube type " << id << " is not used";

  // world.lua's types: 20 coins (type 0) lying about, one global drone (type 1).
  EXPECT_EQ(objects, (std::map<uint32_t, int>{{0, 20}}));
  EXPECT_EQ(globalObjects, (std::map<uint32_t, int>{{1, 1}}));
}

#ifdef ENGINE_MAKE_WORLD
TEST(SampleWorldTest, TheGeneratorRebuildsTheCommittedWorldFromTheImagesAndTheDescription) {
  TempDir dir;
  for (const char* input : {"world.xml", "world_heightmap.png", "world_groundmap.png", "images_engine"}) {
    const std::string target = gameDir + "/" + input;
    ASSERT_EQ(0, symlink(target.c_str(), dir.file(input).c_str())) << input;
  }
  const CommandRun run = runWithDisplay("'" + std::string(ENGINE_MAKE_WORLD) + "' '" + dir.path() + "' '" +
                                 std::string(ENGINE_SOURCE_DIR) + "/tools/sample_world.txt'");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Objects of type Coin: 20"), std::string::npos) << run.output;
  const std::string rebuilt = readFile(dir.file("world.dat"));
  EXPECT_TRUE(rebuilt == readFile(sampleWorld))
      << "game/world.dat differs from what tools/make_world builds (" << rebuilt.size() << " bytes): rebuild it";
}
#endif

TEST(SampleGameTest, RunsHeadlessTakesACoinAndQuitsCleanly) {
  // The sample script as it is, with a wrapper that puts the player on the first coin the
  // engine manages; once the coin counter moved it saves the game, clears the counter, loads
  // the game back and quits.
  TempDir dir;
  const std::string wrapper = dir.write("wrapper.lua", "local savePath = '" + dir.file("game.sav") + "'\n" + R"(
dofile("world.lua")
local frames, isOnCoin, step = 0, false, 0
local sampleInit, sampleManage, coinManage = Game.init, Game.manage, Coin.manage
function Game.init()
  sampleInit()
  print("mode " .. getPlayerMovementType())
  local x, y, z = getPlayerPositionReal()
  print(string.format("start %d %d %d", x, y, z))
end
function Game.manage()
  sampleManage()
  frames = frames + 1
  if step == 1 then  -- saved before this frame's manage
    setGlobalVar("coins", 0)
    loadGame(savePath)
    step = 2
  elseif step == 2 then  -- loaded
    print("coins after loading " .. getGlobalVar("coins"))
    quitGame()
  elseif getGlobalVar("coins") > 0 then
    print("coins " .. getGlobalVar("coins") .. " after " .. frames .. " frames")
    saveGame(savePath)
    step = 1
  elseif frames > 400 then
    print("no coin taken")
    quitGame()
  end
end
function Coin.manage()
  if not isOnCoin then
    local x, y, z = getCurrentObjectPosition()
    setPlayerPositionReal(x, y + 1, z)
    isOnCoin = true
  end
  coinManage()
end
)");
  const CommandRun run = runWithDisplay("cd '" + gameDir + "' && ALSOFT_DRIVERS=null timeout 120 '" +
                                 std::string(ENGINE_PROGRAM) + "' --world_lua '" + wrapper + "'");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  // The player starts walking on the ground of the start column (-20, 34): above the sea.
  EXPECT_NE(run.output.find("lua print: mode 0\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("lua print: start -195 "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("lua print: coins 1 after "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("lua print: coins after loading 1\n"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("ERROR"), std::string::npos) << run.output;
}
