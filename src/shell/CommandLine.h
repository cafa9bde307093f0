#ifndef ENGINE_COMMANDLINE_H
#define ENGINE_COMMANDLINE_H

#include <string>
#include <vector>

/// What the command line asks for: the three data files, the full-screen choice and the
/// script's development mode ("--dev").
class CommandLine {
 public:
  /// Reads `arguments` from index 1, left to right; a later option overrides an earlier one and
  /// unknown arguments are ignored. An option missing its file name is a fatal report.
  explicit CommandLine(const std::vector<std::string>& arguments);

  std::string programPath;
  bool isFullscreen = false;
  /// "--dev": a script's mistake stops the script and shows it, and the script reloads when its
  /// file changes (the world.xml key "script_development_mode" sets it too).
  bool isDevelopmentMode = false;
  std::string worldDataFile = "world.dat";
  std::string worldLuaFile = "world.lua";
  std::string worldConfigFile = "world.xml";
};

#endif
