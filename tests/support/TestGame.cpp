#include "TestGame.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

TestGame::TestGame(const std::string& script) {
  dir.write("world.lua", script);
  dir.write("world.xml", readFile(std::string(ENGINE_GAME_DIR) + "/world.xml"));
  dir.write("world.dat", readFile(emptyWorldFile()));
  for (const char* shared : {"images_engine", "whiteTexture.png", "models", "sounds", "skybox", "water",
                             "cube_textures", "cube_shadowed_textures", "cube_bumpmap_textures"}) {
    const std::string target = std::string(ENGINE_GAME_DIR) + "/" + shared;
    EXPECT_EQ(0, symlink(target.c_str(), dir.file(shared).c_str())) << shared;
  }
}

int TestGame::run(const std::string& environment) {
  const char* display = std::getenv("DISPLAY");
  const std::string launcher = display != nullptr && *display != '\0' ? "" : "xvfb-run -a -s '-screen 0 1024x768x24 -noreset' ";
  const std::string command = "cd '" + dir.path() + "' && " + environment + " " + launcher + "timeout 60 '" +
                              std::string(ENGINE_PROGRAM) + "' 2>'" + dir.file("stderr.txt") + "' </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> TestGame::lines(const std::vector<std::string>& prefixes) const {
  std::vector<std::string> kept;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line))
    for (const std::string& prefix : prefixes)
      if (line.compare(0, prefix.size(), prefix) == 0) {
        kept.push_back(line);
        break;
      }
  return kept;
}

std::string TestGame::errors() const { return readFile(dir.file("stderr.txt")); }
