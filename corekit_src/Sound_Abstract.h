#ifndef COREKIT_SOUND_ABSTRACT_H
#define COREKIT_SOUND_ABSTRACT_H

/// A sound effect or a piece of music, loaded once and played any number of times. The game
/// reaches sounds only through this interface; the sound system owns every instance.
class Sound_Abstract {
 public:
  /// Starts the sound from its beginning. With waitUntilEnd, blocks until it has stopped.
  virtual void play(bool waitUntilEnd) = 0;
  virtual void stop() = 0;
  /// 0 is silent, 255 the loudest.
  virtual void setVolume(unsigned char volume) = 0;
  /// True while playing or paused; false before the first play and once the sound has ended.
  virtual bool isPlaying() = 0;
  virtual ~Sound_Abstract() = default;
};

#endif
