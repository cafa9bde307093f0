#ifndef COREKIT_SOUND_OPENAL_H
#define COREKIT_SOUND_OPENAL_H

#include <cstdint>
#include <memory>
#include <string>

#include "Sound_Abstract.h"

/// A sound held in one OpenAL buffer, played through its own source at the origin. Owns both.
/// Needs a current OpenAL context (the sound system initialises ALUT) for its whole life.
class Sound_OpenAL : public Sound_Abstract {
 public:
  Sound_OpenAL(unsigned parBuffer, unsigned parSource);
  ~Sound_OpenAL() override;
  Sound_OpenAL(const Sound_OpenAL&) = delete;
  Sound_OpenAL& operator=(const Sound_OpenAL&) = delete;

  /// Loads a sound file: names ending in ".ogg" (any letter case) are decoded completely with
  /// vorbisfile; every other name goes to ALUT (WAV and the other formats it reads). A file that
  /// cannot be read or decoded is a fatal report naming the file.
  static std::unique_ptr<Sound_OpenAL> loadSound(const std::string& fileName);
  /// A decoded Ogg Vorbis sound may last this long and take this many bytes (the smaller of
  /// the two limits applies); a longer one is refused with a fatal report naming the file, so
  /// that a small file cannot take gigabytes (nor overflow OpenAL's 32-bit size).
  static constexpr int64_t maxSeconds = 10 * 60;
  static constexpr int64_t maxBytes = 256LL * 1024 * 1024;

  void play(bool waitUntilEnd) override;
  void stop() override;
  void setVolume(unsigned char volume) override;
  bool isPlaying() override;

  unsigned getBuffer() const { return buffer; }
  unsigned getSource() const { return source; }

 private:
  unsigned buffer;
  unsigned source;
};

#endif
