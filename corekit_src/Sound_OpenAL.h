#ifndef COREKIT_SOUND_OPENAL_H
#define COREKIT_SOUND_OPENAL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Sound_Abstract.h"

/// A sound held in one OpenAL buffer, played through its own source at the origin. Owns both.
/// Needs a current OpenAL context (the sound system initialises ALUT) for its whole life.
/// The class spans three source files: Sound_OpenAL.cpp (loading and playing),
/// Sound_OpenAL_Wav.cpp (WAV sample formats ALUT does not read) and Sound_OpenAL_Ogg.cpp
/// (Ogg Vorbis).
class Sound_OpenAL : public Sound_Abstract {
 public:
  Sound_OpenAL(unsigned parBuffer, unsigned parSource);
  ~Sound_OpenAL() override;
  Sound_OpenAL(const Sound_OpenAL&) = delete;
  Sound_OpenAL& operator=(const Sound_OpenAL&) = delete;

  /// Loads a sound file: names ending in ".ogg" (any letter case) are decoded completely with
  /// vorbisfile, each link of a chained file at the rate and channel count of the whole; WAV
  /// files of 24 or 32-bit integer or 32 or 64-bit float samples, and those with the extensible
  /// header, are converted to 16 bits; every other file goes to ALUT (8 and 16-bit WAV and the
  /// other formats it reads). A file that cannot be read or decoded is a fatal report naming the
  /// file. A sound whose format cannot be played (more than two channels, a sample format none
  /// of the readers knows) is one problem report naming the file, and a sound that never plays
  /// (Sound_Silent), so that the game goes on.
  static std::unique_ptr<Sound_Abstract> loadSound(const std::string& fileName);
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

  /// The decoders loadSound uses, pure functions of a file (the fuzzing targets run them).
  /// A sound decoded to interleaved 16-bit samples, or why its format cannot be played.
  struct Pcm16 {
    std::vector<int16_t> samples;
    int channels = 0;
    int rate = 0;
    /// The problem report for a format that cannot be played; empty when decoded.
    std::string unsupported;
  };

  /// Reads a WAV file whose samples ALUT cannot read into `pcm` (decoded, or unsupported with
  /// its report). False, with `pcm` untouched, for every file ALUT reads or judges itself; but
  /// a WAV file whose samples are missing or lie past its end is a fatal report here, as ALUT
  /// would give, before ALUT reads past the bytes it loaded.
  /// A converted file that is cut or damaged is a fatal report.
  static bool decodeWav(const std::string& fileName, Pcm16& pcm);
  /// Decodes a whole Ogg Vorbis file into `pcm` (or marks it unsupported); an unreadable or
  /// damaged file, or one too long, is a fatal report.
  static void decodeOgg(const std::string& fileName, Pcm16& pcm);

 private:
  unsigned buffer;
  unsigned source;
};

#endif
