#ifndef COREKIT_SOUNDMANAGER_H
#define COREKIT_SOUNDMANAGER_H

#include <map>
#include <memory>
#include <string>

#include "Sound_Abstract.h"

/// The sound system: initialises ALUT (and with it the OpenAL device and context) for its
/// lifetime and keeps every sound loaded, once per file name. Only one may exist at a time.
/// Without a usable audio device the sound is off: one problem report at start, then every
/// sound is one that never plays. A file whose sound format cannot be played is one problem
/// report naming it, and a sound that never plays, kept under its name like the others.
class SoundManager {
 public:
  explicit SoundManager(const std::string& programPath);
  /// Destroys every cached sound, then shuts ALUT down.
  ~SoundManager();
  SoundManager(const SoundManager&) = delete;
  SoundManager& operator=(const SoundManager&) = delete;

  /// The sound of that file name (exact, case-sensitive), loaded and cached on first use. The
  /// sound system keeps ownership: the pointer stays valid until the sound system is destroyed.
  Sound_Abstract* getSound(const std::string& fileName);

  int getNbSounds() const { return static_cast<int>(sounds.size()); }
  /// False when no audio device could be opened: sounds are silent.
  bool getIsSoundOn() const { return isSoundOn; }

 private:
  std::map<std::string, std::unique_ptr<Sound_Abstract>> sounds;
  bool isSoundOn = false;
};

#endif
