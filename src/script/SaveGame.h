#ifndef ENGINE_SAVEGAME_H
#define ENGINE_SAVEGAME_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "scene/Player.h"

/// The script's part of a save-game file: the global variables, little-endian. The player's
/// state comes before it in the file.
class SaveGame {
 public:
  using GlobalVariables = std::map<std::string, int32_t>;

  /// Entry count, then for each entry in ascending name order: name length, name bytes, value.
  static bool writeGlobalVariables(FILE* file, const GlobalVariables& variables);

  /// Reads a table written by writeGlobalVariables. Never reads or allocates past the end of
  /// the file: a truncated or damaged table gives false and leaves `variables` untouched.
  static bool readGlobalVariables(FILE* file, GlobalVariables& variables);

  /// Writes a whole save game in place of the file `name`: the player's record, then the
  /// variables. The bytes go through a temporary file renamed over the old one, so that an
  /// interrupted save leaves the previous file whole. A failure is reported ("Cannot create the
  /// save game file '...'" or "Cannot write ...") and leaves the previous file as it was; answers false then.
  static bool writeFile(const std::string& name, const Player::Record& player, const GlobalVariables& variables);

  /// The world file's name without its directories, followed by ".savegame".
  static std::string defaultName(const std::string& worldFile);

  static bool writeInt32(FILE* file, int32_t value);
  static bool readInt32(FILE* file, int32_t& value);
};

#endif
