#ifndef SRC_CONFIGUREDFILES_H
#define SRC_CONFIGUREDFILES_H

#include <string>

/// The configuration keys naming files that the world scene loads while the game runs (the
/// water's two textures, the skybox directory, the player's sounds and model directory), and
/// whether a value names files that load. A file the scene cannot load would end the game at
/// the frame that loads it; a change to such a value is refused instead, so that the previous
/// value stays.
class ConfiguredFiles {
 public:
  /// Why `value` cannot serve as the key's file or directory ("cannot open 'x' as an image",
  /// ...); empty when it can, and for every key that names no such file.
  static std::string findProblem(const std::string& key, const std::string& value);
};

#endif
