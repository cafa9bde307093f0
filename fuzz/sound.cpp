// The sound decoders: WAV sample formats converted to 16 bits (and every other WAV file handed
// to ALUT as the engine hands it, so that the checks made before ALUT reads are fuzzed too),
// and Ogg Vorbis; built once per format: FUZZ_SOUND_PATH names the file, and its end picks the
// decoder.
#include <AL/alut.h>

#include <cstdlib>
#include <cstring>

#include "FuzzHarness.h"
#include "Sound_OpenAL.h"

namespace {

// ALUT needs a context: OpenAL's null output gives one without a sound device.
bool initAlut() {
  setenv("ALSOFT_DRIVERS", "null", 1);
  return alutInit(nullptr, nullptr) == AL_TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool isAlut = initAlut();
  const std::string path = FuzzHarness::writeFile(FUZZ_SOUND_PATH, data, size);
  FuzzHarness::run([&path] {
    Sound_OpenAL::Pcm16 pcm;
    if (std::strstr(FUZZ_SOUND_PATH, ".ogg") != nullptr) {
      Sound_OpenAL::decodeOgg(path, pcm);
    } else if (!Sound_OpenAL::decodeWav(path, pcm) && isAlut) {
      ALenum format;
      ALsizei bytes;
      ALfloat frequency;
      std::free(alutLoadMemoryFromFile(path.c_str(), &format, &bytes, &frequency));
    }
  });
  return 0;
}
