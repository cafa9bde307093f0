// The sound decoders the engine runs itself: WAV sample formats converted to 16 bits, and Ogg
// Vorbis, built once per format; FUZZ_SOUND_PATH names the file, and its end picks the decoder.
#include <cstring>

#include "FuzzHarness.h"
#include "Sound_OpenAL.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzHarness::writeFile(FUZZ_SOUND_PATH, data, size);
  FuzzHarness::run([&path] {
    Sound_OpenAL::Pcm16 pcm;
    if (std::strstr(FUZZ_SOUND_PATH, ".ogg") != nullptr)
      Sound_OpenAL::decodeOgg(path, pcm);
    else
      Sound_OpenAL::decodeWav(path, pcm);
  });
  return 0;
}
