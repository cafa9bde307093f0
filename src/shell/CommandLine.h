#ifndef ENGINE_COMMANDLINE_H
#define ENGINE_COMMANDLINE_H

#include <string>
#include <vector>

/// What the command line asks for: the three data files and the full-screen choice.
class CommandLine {
 public:
  /// Reads `arguments` from index 1, left to right; a later option overrides an earlier one and
  /// unknown arguments are ignored. An option missing its file name is a fatal report.
  explicit CommandLine(const std::vector<std::string>& arguments);

  std::string programPath;
  bool isFullscreen = false;
  std::string worldDataFile = "world.dat";
  std::string worldLuaFile = "world.lua";
  std::string worldConfigFile = "world.xml";
};

#endif
