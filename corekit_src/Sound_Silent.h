#ifndef COREKIT_SOUND_SILENT_H
#define COREKIT_SOUND_SILENT_H

#include "Sound_Abstract.h"

/// A sound that never plays: what the sound system hands out when there is no audio device, or
/// for a file whose sound format cannot be played, so that the game runs on, silent, with every
/// sound it asks for.
class Sound_Silent : public Sound_Abstract {
 public:
  /// Returns at once, even when asked to wait: there is nothing to wait for.
  void play(bool waitUntilEnd) override;
  void stop() override;
  void setVolume(unsigned char volume) override;
  /// Always false.
  bool isPlaying() override;
};

#endif
