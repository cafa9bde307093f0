// Sound_OpenAL, part 1 of 3: loading a sound into a buffer, and playing it. The WAV
// conversions are in Sound_OpenAL_Wav.cpp, the Ogg Vorbis decoder in Sound_OpenAL_Ogg.cpp.
#include "Sound_OpenAL.h"

#include <AL/al.h>
#include <AL/alut.h>

#include <algorithm>
#include <cctype>

#include "Platform.h"
#include "Sound_Silent.h"
#include "Assert.h"

namespace {

bool isOggName(const std::string& fileName) {
  std::string lower = fileName;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".ogg") == 0;
}

// Sounds are not positional: the listener and every source stay at the origin.
void placeAtOrigin(ALuint source) {
  alListener3f(AL_POSITION, 0.0f, 0.0f, 0.0f);
  alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
}

}  // namespace

Sound_OpenAL::Sound_OpenAL(unsigned parBuffer, unsigned parSource)
    : buffer(parBuffer), source(parSource) {}

Sound_OpenAL::~Sound_OpenAL() {
  // A buffer still attached to a source cannot be deleted: detach it first.
  alSourceStop(source);
  alSourcei(source, AL_BUFFER, 0);
  alDeleteBuffers(1, &buffer);
  alDeleteSources(1, &source);
}

std::unique_ptr<Sound_Abstract> Sound_OpenAL::loadSound(const std::string& fileName) {
  Pcm16 pcm;
  bool isDecoded = true;
  if (isOggName(fileName))
    decodeOgg(fileName, pcm);
  else
    isDecoded = decodeWav(fileName, pcm);
  if (isDecoded && !pcm.unsupported.empty()) {
    showProblem(pcm.unsupported);
    return std::make_unique<Sound_Silent>();
  }
  ALuint buffer = 0;
  ALuint source = 0;
  if (isDecoded) {
    alGenBuffers(1, &buffer);
    alGenSources(1, &source);
    placeAtOrigin(source);
    alBufferData(buffer, pcm.channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16,
                 pcm.samples.data(), static_cast<ALsizei>(pcm.samples.size() * sizeof(int16_t)),
                 static_cast<ALsizei>(pcm.rate));
  } else {
    alGenSources(1, &source);
    buffer = alutCreateBufferFromFile(fileName.c_str());
    placeAtOrigin(source);
  }
  if (buffer == 0) {
    alDeleteSources(1, &source);
    const ALenum error = alutGetError();
    const std::string report = fileName + ": " + alutGetErrorString(error);
    // A file ALUT knows whose sample format or channel count it cannot play: the game goes on
    // without that sound.
    if (error == ALUT_ERROR_UNSUPPORTED_FILE_SUBTYPE) {
      showProblem(report);
      return std::make_unique<Sound_Silent>();
    }
    assert(false, report);
  }
  alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
  return std::make_unique<Sound_OpenAL>(buffer, source);
}

void Sound_OpenAL::play(bool waitUntilEnd) {
  alSourcePlay(source);
  if (!waitUntilEnd) return;
  for (;;) {
    ALint state = AL_STOPPED;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state == AL_STOPPED) return;
    Platform::sleepMs(10);
  }
}

void Sound_OpenAL::stop() { alSourceStop(source); }

void Sound_OpenAL::setVolume(unsigned char volume) {
  alSourcef(source, AL_GAIN, static_cast<float>(volume) / 256.0f);
}

bool Sound_OpenAL::isPlaying() {
  ALint state = AL_STOPPED;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  return state != AL_STOPPED && state != AL_INITIAL;
}
