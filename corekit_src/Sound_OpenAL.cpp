#include "Sound_OpenAL.h"

#include <AL/al.h>
#include <AL/alut.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <vector>

#include "Platform.h"
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

// Decodes the whole Ogg Vorbis file into the buffer as 16-bit little-endian PCM.
void decodeOgg(const std::string& fileName, ALuint buffer) {
  FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) {
    std::cerr << "Cannot open " << fileName << " for reading..." << std::endl;
    assert(false, "cannot open ogg file for reading");
  }
  OggVorbis_File oggFile;
  if (ov_open(file, &oggFile, nullptr, 0) != 0) {
    std::fclose(file);  // vorbisfile takes the file over only when it opens
    std::cerr << "Error opening " << fileName << " for decoding" << std::endl;
    assert(false, "error opening ogg file for decoding");
  }
  const vorbis_info* info = ov_info(&oggFile, -1);
  // OpenAL's core formats have one or two channels: more would be played as scrambled stereo.
  assert(info != NULL && (info->channels == 1 || info->channels == 2),
         fileName + ": only mono and stereo Ogg Vorbis sounds can be played");
  const ALenum format = info->channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
  const ALsizei frequency = static_cast<ALsizei>(info->rate);
  const int64_t bytesPerSecond = static_cast<int64_t>(info->rate) * info->channels * 2;
  const int64_t maxBytes = std::min<int64_t>(
      Sound_OpenAL::maxSeconds * bytesPerSecond, Sound_OpenAL::maxBytes);
  const std::string tooLong = fileName + ": the decoded sound is longer than " +
                              std::to_string(Sound_OpenAL::maxSeconds / 60) + " minutes or " +
                              std::to_string(Sound_OpenAL::maxBytes >> 20) + " MB";
  // The length the stream announces is refused before any decoding; a stream that hides its
  // length is stopped where it passes the limit.
  const ogg_int64_t nbAnnouncedSamples = ov_pcm_total(&oggFile, -1);
  if (nbAnnouncedSamples > maxBytes / (info->channels * 2)) {
    ov_clear(&oggFile);
    assert(false, tooLong);
  }

  std::vector<char> pcm;
  if (nbAnnouncedSamples > 0) pcm.reserve(static_cast<size_t>(nbAnnouncedSamples) * info->channels * 2);
  char block[32768];
  int bitStream = 0;
  for (;;) {
    const long nbRead = ov_read(&oggFile, block, sizeof(block), 0, 2, 1, &bitStream);
    if (nbRead == 0) break;
    if (nbRead < 0) {
      ov_clear(&oggFile);
      std::cerr << "Error decoding " << fileName << std::endl;
      assert(false, "error decoding ogg file");
    }
    if (static_cast<int64_t>(pcm.size()) + nbRead > maxBytes) {
      ov_clear(&oggFile);
      assert(false, tooLong);
    }
    pcm.insert(pcm.end(), block, block + nbRead);
  }
  ov_clear(&oggFile);
  alBufferData(buffer, format, pcm.data(), static_cast<ALsizei>(pcm.size()), frequency);
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

std::unique_ptr<Sound_OpenAL> Sound_OpenAL::loadSound(const std::string& fileName) {
  ALuint buffer = 0;
  ALuint source = 0;
  if (isOggName(fileName)) {
    alGenBuffers(1, &buffer);
    alGenSources(1, &source);
    placeAtOrigin(source);
    decodeOgg(fileName, buffer);
  } else {
    alGenSources(1, &source);
    buffer = alutCreateBufferFromFile(fileName.c_str());
    placeAtOrigin(source);
  }
  if (buffer == 0) {
    alDeleteSources(1, &source);
    assert(false, fileName + ": " + alutGetErrorString(alutGetError()));
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
