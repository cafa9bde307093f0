#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TempDir.h"

// How the program ends when the script quits: what the script forgot to unload is the engine's
// to free, with one report, and the program still ends well.
namespace {

// Runs the engine program in a game directory of its own (the sample configuration, an empty
// world, the engine's assets linked in) with `script`; standard output and standard error are
// kept apart. The exit status, or -1 when the program did not exit.
int runGame(const std::string& script, std::string& output, std::string& errors) {
  TempDir dir;
  dir.write("world.lua", script);
  dir.write("world.xml", readFile(std::string(ENGINE_GAME_DIR) + "/world.xml"));
  dir.write("world.dat", readFile(emptyWorldFile()));
  for (const char* shared : {"images_engine", "whiteTexture.png", "models", "sounds", "skybox", "water", "cube_textures",
                             "cube_shadowed_textures", "cube_bumpmap_textures"}) {
    const std::string target = std::string(ENGINE_GAME_DIR) + "/" + shared;
    EXPECT_EQ(0, symlink(target.c_str(), dir.file(shared).c_str())) << shared;
  }
  const char* display = std::getenv("DISPLAY");
  const std::string launcher =
      display != nullptr && *display != '\0' ? "" : "xvfb-run -a -s '-screen 0 1024x768x24 -noreset' ";
  const std::string command = "cd '" + dir.path() + "' && " + launcher + "timeout 60 '" +
                              std::string(ENGINE_PROGRAM) + "' 2>'" + dir.file("stderr.txt") + "' </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  errors = readFile(dir.file("stderr.txt"));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace

TEST(QuitTest, SpritesAndModelsTheScriptStillHoldsAreFreedWithOneReport) {
  std::string output;
  std::string errors;
  const int status = runGame(R"(
Game = {}
function Game.init()
  first = load2DSprite("whiteTexture.png")
  second = load2DSprite("models/drone/drone.png")
  unload2DSprite(load2DSprite("images_engine/editor_box.png"))
  third = load2DSprite("whiteTexture.png")
  coin = load3DModel("models/coin/coin.obj")
end
function Game.manage() quitGame() end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)",
                             output, errors);
  EXPECT_EQ(status, 0) << output << errors;
  EXPECT_EQ(countOf(errors, "ERROR : "), 1) << errors;
  EXPECT_NE(errors.find("ERROR : The script ended holding 3 sprites and 1 model it never unloaded "
                        "(whiteTexture.png, models/drone/drone.png, whiteTexture.png and 1 more): "
                        "the engine freed them\n"),
            std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("sprites.size() == 0"), std::string::npos) << errors;
  // Freed by the engine: the images go with their last sprite.
  EXPECT_EQ(countOf(output, "Freeing image 'models/drone/drone.png'"), 1) << output;
}
