// Sound_OpenAL, part 3 of 3: Ogg Vorbis files decoded completely to 16-bit samples. The rest of
// the class is in Sound_OpenAL.cpp and Sound_OpenAL_Wav.cpp.
#include "Sound_OpenAL.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "Assert.h"

namespace {

// Rates above this are taken as this (no real sound comes near it); it keeps the arithmetic
// of the conversion within 64 bits.
constexpr long maxRate = 1L << 24;

// The length in frames of `nbFrames` frames at `inRate` once converted to `outRate`.
int64_t convertedFrames(int64_t nbFrames, long inRate, long outRate) {
  return (nbFrames * outRate + inRate / 2) / inRate;
}

// Appends `nbFrames` frames of `in` (at `inRate`, `inChannels`) to `out` at `outRate` and
// `outChannels`, which are never below them: a mono frame is copied to both sides, and the
// frames in between are interpolated linearly, so that the link keeps its length and pitch.
void appendConverted(const std::vector<int16_t>& in, int inChannels, long inRate,
                     int outChannels, long outRate, std::vector<int16_t>& out) {
  const int64_t nbFrames = static_cast<int64_t>(in.size()) / inChannels;
  if (nbFrames == 0) return;
  const int64_t nbOutFrames = convertedFrames(nbFrames, inRate, outRate);
  out.reserve(out.size() + static_cast<size_t>(nbOutFrames) * outChannels);
  for (int64_t frame = 0; frame < nbOutFrames; ++frame) {
    const int64_t position = frame * inRate;
    const int64_t first = std::min(position / outRate, nbFrames - 1);
    const int64_t second = std::min(first + 1, nbFrames - 1);
    const int64_t fraction = position % outRate;
    for (int channel = 0; channel < outChannels; ++channel) {
      const int inChannel = std::min(channel, inChannels - 1);
      const int64_t a = in[static_cast<size_t>(first * inChannels + inChannel)];
      const int64_t b = in[static_cast<size_t>(second * inChannels + inChannel)];
      out.push_back(static_cast<int16_t>(a + (b - a) * fraction / outRate));
    }
  }
}

}  // namespace

void Sound_OpenAL::decodeOgg(const std::string& fileName, Pcm16& pcm) {
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
  // A chained file is played at the highest rate and channel count of its links: the others
  // are converted. OpenAL's core formats have one or two channels: more would be played as
  // scrambled stereo.
  const int nbLinks = static_cast<int>(std::max(1L, ov_streams(&oggFile)));
  for (int link = 0; link < nbLinks; ++link) {
    const vorbis_info* info = ov_info(&oggFile, link);
    if (info == NULL || info->channels < 1 || info->channels > 2 || info->rate < 1) {
      ov_clear(&oggFile);
      pcm.unsupported = fileName + ": only mono and stereo Ogg Vorbis sounds can be played";
      return;
    }
    pcm.channels = std::max(pcm.channels, info->channels);
    pcm.rate = static_cast<int>(std::clamp<long>(info->rate, pcm.rate, maxRate));
  }
  const int64_t bytesPerSecond = static_cast<int64_t>(pcm.rate) * pcm.channels * 2;
  const int64_t maxBytes = std::min<int64_t>(maxSeconds * bytesPerSecond, Sound_OpenAL::maxBytes);
  const int64_t maxFrames = maxBytes / (pcm.channels * 2);
  const std::string tooLong = fileName + ": the decoded sound is longer than " +
                              std::to_string(maxSeconds / 60) + " minutes or " +
                              std::to_string(Sound_OpenAL::maxBytes >> 20) + " MB";
  // The length the streams announce is refused before any decoding; a stream that hides its
  // length is stopped where it passes the limit.
  int64_t nbAnnouncedFrames = 0;
  for (int link = 0; link < nbLinks && nbAnnouncedFrames <= maxFrames; ++link) {
    const int64_t nbLinkFrames = std::min<int64_t>(ov_pcm_total(&oggFile, link), maxFrames + 1);
    if (nbLinkFrames > 0)
      nbAnnouncedFrames += convertedFrames(nbLinkFrames, ov_info(&oggFile, link)->rate, pcm.rate);
  }
  if (nbAnnouncedFrames > maxFrames) {
    ov_clear(&oggFile);
    assert(false, tooLong);
  }

  // vorbisfile leaves a chained file at its second link once opened: back to the start.
  if (nbLinks > 1 && ov_raw_seek(&oggFile, 0) != 0) {
    ov_clear(&oggFile);
    std::cerr << "Error decoding " << fileName << std::endl;
    assert(false, "error decoding ogg file");
  }

  std::vector<int16_t>& samples = pcm.samples;
  if (nbAnnouncedFrames > 0) samples.reserve(static_cast<size_t>(nbAnnouncedFrames) * pcm.channels);
  // The samples of links whose rate or channel count differs from the whole's wait here until
  // the format changes or the file ends.
  std::vector<int16_t> linkSamples;
  int linkChannels = pcm.channels;
  long linkRate = pcm.rate;
  char block[32768];
  int bitStream = 0;
  for (;;) {
    const long nbRead = ov_read(&oggFile, block, sizeof(block), 0, 2, 1, &bitStream);
    if (nbRead < 0) {
      ov_clear(&oggFile);
      std::cerr << "Error decoding " << fileName << std::endl;
      assert(false, "error decoding ogg file");
    }
    const vorbis_info* info = nbRead > 0 ? ov_info(&oggFile, bitStream) : nullptr;
    if (nbRead == 0 || info == nullptr || info->channels != linkChannels ||
        std::min<long>(info->rate, maxRate) != linkRate) {
      appendConverted(linkSamples, linkChannels, linkRate, pcm.channels, pcm.rate, samples);
      linkSamples.clear();
    }
    if (nbRead == 0) break;
    if (info == nullptr) info = ov_info(&oggFile, -1);
    linkChannels = info->channels;
    linkRate = std::min<long>(info->rate, maxRate);
    const bool isConverted = linkChannels != pcm.channels || linkRate != pcm.rate;
    std::vector<int16_t>& target = isConverted ? linkSamples : samples;
    const size_t nbSamples = static_cast<size_t>(nbRead) / 2;
    const int64_t nbFramesAfter =
        static_cast<int64_t>(samples.size()) / pcm.channels +
        convertedFrames(static_cast<int64_t>(linkSamples.size() + (isConverted ? nbSamples : 0)) /
                            linkChannels,
                        linkRate, pcm.rate) +
        (isConverted ? 0 : static_cast<int64_t>(nbSamples) / pcm.channels);
    if (nbFramesAfter > maxFrames) {
      ov_clear(&oggFile);
      assert(false, tooLong);
    }
    const size_t at = target.size();
    target.resize(at + nbSamples);
    std::memcpy(target.data() + at, block, nbSamples * sizeof(int16_t));
  }
  ov_clear(&oggFile);
}
