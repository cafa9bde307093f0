#include "shell/CommandLine.h"

#include "Assert.h"

CommandLine::CommandLine(const std::vector<std::string>& arguments) {
  if (!arguments.empty()) programPath = arguments[0];
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string* fileName = nullptr;
    if (argument == "--fullscreen")
      isFullscreen = true;
    else if (argument == "--dev")
      isDevelopmentMode = true;
    else if (argument == "--world_dat")
      fileName = &worldDataFile;
    else if (argument == "--world_lua")
      fileName = &worldLuaFile;
    else if (argument == "--world_xml")
      fileName = &worldConfigFile;
    if (fileName != nullptr) {
      ++i;  // the option's value
      assert(arguments.size() >= i+1, "Bad arguments!");
      *fileName = arguments[i];
    }
  }
}
