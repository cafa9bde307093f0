#include <gtest/gtest.h>
#include <AL/al.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SoundManager.h"
#include "Sound_OpenAL.h"
#include "Sound_Silent.h"
#include "TempDir.h"

// The Ogg Vorbis fixtures are encoded here with libvorbisenc.
#include <vorbis/vorbisenc.h>

namespace {

// Every test program sends its sound to its own wave file, so that programs running side by side
// never share one and a test can read back what was mixed. OpenAL reads its configuration once,
// at the first device opened in the process: this runs before any sound system exists.
const std::string& mixedOutputPath() {
  static TempDir directory;
  static const std::string path = [] {
    const std::string output = directory.file("mixed.wav");
    const std::string config = directory.write(
        "alsoft.conf", "[general]\ndrivers = wave\nchannels = mono\nsample-type = int16\n"
                       "frequency = 22050\ndither = false\n[wave]\nfile = " + output + "\n");
    setenv("ALSOFT_CONF", config.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
    return output;
  }();
  return path;
}

std::unique_ptr<SoundManager> makeSoundManager() {
  mixedOutputPath();
  return std::make_unique<SoundManager>("SoundTest");
}

// The largest absolute 16-bit sample in the data chunk of a PCM wave file (-1 when unreadable).
int peakOfWave(const std::string& bytes) {
  size_t position = 12;
  while (position + 8 <= bytes.size()) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + position + 4, 4);
    if (bytes.compare(position, 4, "data") == 0) {
      const size_t end = std::min(bytes.size(), position + 8 + static_cast<size_t>(size));
      int peak = 0;
      for (size_t i = position + 8; i + 1 < end; i += 2) {
        int16_t sample;
        std::memcpy(&sample, bytes.data() + i, 2);
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
      }
      return peak;
    }
    position += 8 + size + (size & 1);
  }
  return -1;
}

std::string littleEndian(uint32_t value, int nbBytes) {
  std::string bytes;
  for (int i = 0; i < nbBytes; ++i) bytes += static_cast<char>((value >> (8 * i)) & 255);
  return bytes;
}

// A 16-bit mono PCM wave file holding a sine of the given length.
std::string sineWav(double seconds, int rate = 8000, double amplitude = 0.5) {
  const uint32_t count = static_cast<uint32_t>(seconds * rate);
  std::string data;
  for (uint32_t i = 0; i < count; ++i) {
    const double value = amplitude * std::sin(2.0 * 3.14159265 * 440.0 * i / rate);
    data += littleEndian(static_cast<uint16_t>(static_cast<int16_t>(value * 32767)), 2);
  }
  return "RIFF" + littleEndian(36 + data.size(), 4) + "WAVEfmt " + littleEndian(16, 4) +
         littleEndian(1, 2) + littleEndian(1, 2) + littleEndian(rate, 4) +
         littleEndian(rate * 2, 4) + littleEndian(2, 2) + littleEndian(16, 2) + "data" +
         littleEndian(data.size(), 4) + data;
}

// An Ogg Vorbis stream of `frames` frames of a sine on every channel; headerSize receives the
// size of its header pages (the audio pages follow). Streams of other serial numbers put one
// after the other make a chained file.
std::string encodeOgg(int channels, long rate, int frames, size_t* headerSize = nullptr,
                      int serial = 1) {
  vorbis_info info;
  vorbis_info_init(&info);
  EXPECT_EQ(vorbis_encode_init_vbr(&info, channels, rate, 0.4f), 0);
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);

  std::string bytes;
  ogg_page page;
  auto appendPage = [&bytes, &page] {
    bytes.append(reinterpret_cast<const char*>(page.header), page.header_len);
    bytes.append(reinterpret_cast<const char*>(page.body), page.body_len);
  };
  ogg_packet header, headerComment, headerCode;
  vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &headerComment);
  ogg_stream_packetin(&stream, &headerCode);
  while (ogg_stream_flush(&stream, &page) != 0) appendPage();
  if (headerSize != nullptr) *headerSize = bytes.size();

  // In slices: the encoder keeps one slice on the stack.
  ogg_packet packet;
  for (int done = 0; done <= frames;) {
    const int slice = std::min(frames - done, 4096);
    float** buffer = vorbis_analysis_buffer(&dsp, slice);
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < slice; ++i)
        buffer[c][i] = 0.5f * std::sin(2.0f * 3.14159265f * 440.0f * (done + i) / rate);
    vorbis_analysis_wrote(&dsp, slice);
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page) != 0) appendPage();
      }
    }
    done += slice == 0 ? 1 : slice;
  }
  while (ogg_stream_flush(&stream, &page) != 0) appendPage();
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return bytes;
}

// The sound handed out for a file whose format cannot be played: one that never plays, kept
// under its name like any other.
void expectSilent(SoundManager& sounds, const std::string& name, Sound_Abstract* sound) {
  ASSERT_NE(dynamic_cast<Sound_Silent*>(sound), nullptr) << name;
  sound->setVolume(255);
  sound->play(true);
  EXPECT_FALSE(sound->isPlaying());
  sound->stop();
  EXPECT_EQ(sounds.getSound(name), sound);
}

ALint bufferInteger(const Sound_Abstract* sound, ALenum parameter) {
  ALint value = -1;
  alGetBufferi(dynamic_cast<const Sound_OpenAL*>(sound)->getBuffer(), parameter, &value);
  return value;
}

float sourceGain(const Sound_Abstract* sound) {
  float gain = -1.0f;
  alGetSourcef(dynamic_cast<const Sound_OpenAL*>(sound)->getSource(), AL_GAIN, &gain);
  return gain;
}

// Loads `name` with the working directory set to `directory` (for names without a directory).
Sound_Abstract* loadIn(SoundManager& sounds, const std::string& directory,
                       const std::string& name) {
  char previous[4096];
  EXPECT_NE(getcwd(previous, sizeof(previous)), nullptr);
  EXPECT_EQ(chdir(directory.c_str()), 0);
  Sound_Abstract* sound = sounds.getSound(name);
  EXPECT_EQ(chdir(previous), 0);
  return sound;
}

TEST(SoundTest, GameSoundPlaysToItsEndAndReachesTheOutput) {
  {
    auto sounds = makeSoundManager();
    Sound_Abstract* jump = sounds->getSound("sounds/jump.wav");
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(bufferInteger(jump, AL_FREQUENCY), 22050);
    EXPECT_EQ(bufferInteger(jump, AL_CHANNELS), 1);
    EXPECT_FALSE(jump->isPlaying());
    jump->setVolume(255);
    EXPECT_FLOAT_EQ(sourceGain(jump), 0.99609375f);
    jump->play(true);
    EXPECT_FALSE(jump->isPlaying());
    EXPECT_NE(sounds->getSound("sounds/walk.wav"), nullptr);
  }
  EXPECT_GT(peakOfWave(readFile(mixedOutputPath())), 3000);
}

TEST(SoundTest, VolumeZeroSilencesTheSource) {
  {
    auto sounds = makeSoundManager();
    Sound_Abstract* jump = sounds->getSound("sounds/jump.wav");
    jump->setVolume(128);
    EXPECT_FLOAT_EQ(sourceGain(jump), 0.5f);
    jump->setVolume(0);
    EXPECT_FLOAT_EQ(sourceGain(jump), 0.0f);
    jump->play(true);
  }
  const int peak = peakOfWave(readFile(mixedOutputPath()));
  EXPECT_GE(peak, 0);
  EXPECT_LE(peak, 1);
}

TEST(SoundTest, WithoutAnAudioDeviceTheSoundIsOffAndEverySoundIsSilent) {
  TempDir directory;
  const std::string path = directory.write("beep.wav", sineWav(0.5));
  // Only the child process opens a device: it asks for an output driver that does not exist.
  // One problem report (the whole of standard error), then sounds that never play.
  EXPECT_EXIT(
      {
        setenv("ALSOFT_DRIVERS", "nosuchdriver", 1);
        SoundManager sounds("SoundTest");
        Sound_Abstract* beep = sounds.getSound(path);
        beep->setVolume(255);
        beep->play(false);
        beep->play(true);  // returns: there is nothing to wait for
        const bool isPlaying = beep->isPlaying();
        beep->stop();
        const bool isSilent = !sounds.getIsSoundOn() && !isPlaying && sounds.getSound(path) == beep &&
                              sounds.getSound("other.ogg") != beep && sounds.getNbSounds() == 2;
        std::exit(isSilent ? 0 : 2);
      },
      testing::ExitedWithCode(0),
      "^ERROR : Sound is off: no usable audio device \\(alutInit: [^\n]+\\)\n$");
  // ALUT serves one sound system at a time: a second one is silent.
  auto first = makeSoundManager();
  testing::internal::CaptureStderr();
  auto second = makeSoundManager();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR : Sound is off"), std::string::npos);
  EXPECT_TRUE(first->getIsSoundOn());
  EXPECT_FALSE(second->getIsSoundOn());
}

TEST(SoundTest, SameNameSharesOneSoundAndStoppingStopsEveryUser) {
  TempDir directory;
  const std::string path = directory.write("long.wav", sineWav(60.0));
  auto sounds = makeSoundManager();
  Sound_Abstract* first = sounds->getSound(path);
  Sound_Abstract* second = sounds->getSound(path);
  EXPECT_EQ(first, second);
  EXPECT_EQ(sounds->getNbSounds(), 1);
  first->play(false);
  EXPECT_TRUE(second->isPlaying());  // a minute-long sound cannot have ended yet
  second->stop();
  EXPECT_FALSE(first->isPlaying());
}

TEST(SoundTest, NamesDifferingInCaseAreSeparateSounds) {
  TempDir directory;
  const std::string lower = directory.write("beep.wav", sineWav(0.05));
  const std::string upper = directory.write("BEEP.wav", sineWav(0.05));
  auto sounds = makeSoundManager();
  EXPECT_NE(sounds->getSound(lower), sounds->getSound(upper));
  EXPECT_EQ(sounds->getNbSounds(), 2);
}

TEST(SoundTest, OggVorbisIsDecodedWhateverTheCaseOfItsExtension) {
  TempDir directory;
  const std::string mono = directory.write("mono.ogg", encodeOgg(1, 22050, 22050));
  const std::string stereo = directory.write("music.OGG", encodeOgg(2, 44100, 10000));
  auto sounds = makeSoundManager();
  Sound_Abstract* monoSound = sounds->getSound(mono);
  EXPECT_EQ(bufferInteger(monoSound, AL_FREQUENCY), 22050);
  EXPECT_EQ(bufferInteger(monoSound, AL_CHANNELS), 1);
  EXPECT_EQ(bufferInteger(monoSound, AL_SIZE), 22050 * 2);
  // ALUT cannot read Ogg Vorbis: loading at all shows the upper-case name went to the decoder.
  Sound_Abstract* stereoSound = sounds->getSound(stereo);
  EXPECT_EQ(bufferInteger(stereoSound, AL_FREQUENCY), 44100);
  EXPECT_EQ(bufferInteger(stereoSound, AL_CHANNELS), 2);
  EXPECT_EQ(bufferInteger(stereoSound, AL_SIZE), 10000 * 2 * 2);
  EXPECT_FALSE(stereoSound->isPlaying());
  stereoSound->play(true);
  EXPECT_FALSE(stereoSound->isPlaying());

  // More channels than OpenAL plays: one report, and the game goes on with a silent sound.
  const std::string threeChannels = directory.write("three.ogg", encodeOgg(3, 22050, 2000));
  testing::internal::CaptureStderr();
  Sound_Abstract* three = sounds->getSound(threeChannels);
  EXPECT_EQ("ERROR : " + threeChannels + ": only mono and stereo Ogg Vorbis sounds can be played\n",
            testing::internal::GetCapturedStderr());
  expectSilent(*sounds, threeChannels, three);
}

// Ten minutes decode; a sample more is refused (before decoding: the stream announces its length).
TEST(SoundTest, OggLongerThanTenMinutesIsRefused) {
  TempDir directory;
  const long rate = 8000;
  const int frames = static_cast<int>(Sound_OpenAL::maxSeconds * rate);
  const std::string longest = directory.write("longest.ogg", encodeOgg(1, rate, frames));
  const std::string tooLong = directory.write("toolong.ogg", encodeOgg(1, rate, frames + 1));
  auto sounds = makeSoundManager();
  EXPECT_EQ(bufferInteger(sounds->getSound(longest), AL_SIZE), frames * 2);
  EXPECT_EXIT(sounds->getSound(tooLong), testing::ExitedWithCode(1),
              "toolong.ogg: the decoded sound is longer than 10 minutes or 256 MB");
}

TEST(SoundTest, ShortNamesGoToAlut) {
  TempDir directory;
  directory.write("w", sineWav(0.05));
  directory.write("ogg", std::string("OggS\0\2", 6) + std::string(200, '\0'));
  auto sounds = makeSoundManager();
  EXPECT_EQ(bufferInteger(loadIn(*sounds, directory.path(), "w"), AL_FREQUENCY), 8000);
  EXPECT_EXIT(loadIn(*sounds, directory.path(), "ogg"), testing::ExitedWithCode(1),
              "Condition: false.*Message: ogg: Unsupported file type");
}

// Death tests run the test again in a child process, whose temporary directory has another name:
// the reports are matched on the file's own name.
TEST(SoundTest, UnreadableOrDamagedFilesAreFatalReportsNamingThem) {
  TempDir directory;
  const std::string wav = sineWav(0.5);
  const std::string missingWav = directory.file("missing.wav");
  const std::string garbageWav = directory.write("garbage.wav", std::string(300, '\x7f'));
  const std::string cutHeader = directory.write("header.wav", wav.substr(0, 30));
  const std::string cutData = directory.write("data.wav", wav.substr(0, 44 + 100));
  // Files ALUT reads, whose chunks run past their end: ALUT would read past the bytes it
  // loaded, or take gigabytes for 20 bytes.
  std::string garbledTag = wav;
  garbledTag.replace(36, 4, std::string("d\x01\0a", 4));
  const std::string lostData = directory.write("lostdata.wav", garbledTag);
  const std::string bomb = directory.write("bomb.wav", std::string("RIFF\x96\x03\0 WAVEfm\x07\0\0\0t\xfe", 20));
  const std::string missingOgg = directory.file("missing.ogg");
  const std::string notOgg = directory.write("text.ogg", "this is not an Ogg stream");
  const std::string emptyOgg = directory.write("empty.ogg", "");
  auto sounds = makeSoundManager();
  EXPECT_EXIT(sounds->getSound(missingWav), testing::ExitedWithCode(1),
              "Condition: false.*Message: /.*/missing.wav: ");
  EXPECT_EXIT(sounds->getSound(garbageWav), testing::ExitedWithCode(1),
              "Condition: false.*Message: /.*/garbage.wav: ");
  EXPECT_EXIT(sounds->getSound(cutHeader), testing::ExitedWithCode(1),
              "Condition: false.*Message: /.*/header.wav: ");
  EXPECT_EXIT(sounds->getSound(cutData), testing::ExitedWithCode(1),
              "Condition: false.*Message: /.*/data.wav: The sound data was corrupt or truncated");
  EXPECT_EXIT(sounds->getSound(lostData), testing::ExitedWithCode(1),
              "Message: /.*/lostdata.wav: The sound data was corrupt or truncated");
  // With a gigabyte of address space to spare, the 20 bytes that claim 4 GB are refused as
  // damaged, not as a failed allocation.
  const auto loadWithLittleMemory = [&] {
#ifndef __SANITIZE_ADDRESS__
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t room = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (1ull << 30);
    const rlimit limit{room, room};
    setrlimit(RLIMIT_AS, &limit);
#endif
    sounds->getSound(bomb);
  };
  EXPECT_EXIT(loadWithLittleMemory(), testing::ExitedWithCode(1),
              "Message: /.*/bomb.wav: The sound data was corrupt or truncated");
  EXPECT_EXIT(sounds->getSound(missingOgg), testing::ExitedWithCode(1),
              "Cannot open /.*/missing.ogg for reading\\.\\.\\..*"
              "Condition: false.*Message: cannot open ogg file for reading");
  EXPECT_EXIT(sounds->getSound(notOgg), testing::ExitedWithCode(1),
              "Error opening /.*/text.ogg for decoding.*"
              "Condition: false.*Message: error opening ogg file for decoding");
  EXPECT_EXIT(sounds->getSound(emptyOgg), testing::ExitedWithCode(1),
              "Error opening /.*/empty.ogg for decoding.*error opening ogg file for decoding");
  EXPECT_EQ(sounds->getNbSounds(), 0);
}

// A damaged file may lose samples but never more than the file holds; every cut and every
// damaged page either loads or ends in the decoding report.
TEST(SoundTest, CutOrCorruptedOggNeverReadsPastItsData) {
  TempDir directory;
  size_t headerSize = 0;
  const int nbFrames = 22050 * 20;  // long enough for many audio pages
  const std::string ogg = encodeOgg(1, 22050, nbFrames, &headerSize);
  auto sounds = makeSoundManager();
  const size_t audioSize = ogg.size() - headerSize;
  for (size_t cut : {headerSize + 10, headerSize + audioSize / 2, ogg.size() - 7}) {
    const std::string name = directory.write("cut" + std::to_string(cut) + ".ogg",
                                             ogg.substr(0, cut));
    const Sound_Abstract* sound = sounds->getSound(name);
    EXPECT_LT(bufferInteger(sound, AL_SIZE), nbFrames * 2) << cut;
  }
  std::string damaged = ogg;
  for (size_t i = headerSize + audioSize / 2; i < headerSize + audioSize / 2 + 64; ++i)
    damaged[i] = '\x55';
  const std::string name = directory.write("damaged.ogg", damaged);
  EXPECT_EXIT(sounds->getSound(name), testing::ExitedWithCode(1),
              "Error decoding /.*/damaged.ogg.*error decoding ogg file");
  const std::string cutHeaders = directory.write("headers.ogg", ogg.substr(0, headerSize / 2));
  EXPECT_EXIT(sounds->getSound(cutHeaders), testing::ExitedWithCode(1),
              "Error opening /.*/headers.ogg for decoding.*error opening ogg file for decoding");
}

// ------------------------------------------------------------ WAV sample formats, chained Ogg

// A WAV file of a 440 Hz sine at half the full scale on every channel. `code` 1 is integer
// samples, 3 float; `isExtensible` writes the extensible header with that code as its
// sub-format (`validBits` then says how many bits of each sample are used).
std::string sineWavOf(int code, int bits, int channels, int rate, double seconds,
                      bool isExtensible = false, int validBits = 0) {
  const uint32_t nbFrames = static_cast<uint32_t>(seconds * rate);
  std::string data;
  for (uint32_t i = 0; i < nbFrames; ++i) {
    const double value = 0.5 * std::sin(2.0 * 3.14159265 * 440.0 * i / rate);
    for (int c = 0; c < channels; ++c) {
      if (code == 3 && bits == 32) {
        const float single = static_cast<float>(value);
        data.append(reinterpret_cast<const char*>(&single), 4);
      } else if (code == 3) {
        data.append(reinterpret_cast<const char*>(&value), 8);
      } else if (bits == 8) {
        data += static_cast<char>(128 + std::lround(value * 127));
      } else {
        // Signed, little-endian, the value in the top bits.
        const int64_t full = std::llround(value * 2147483647.0);
        data += littleEndian(static_cast<uint32_t>(full), 4).substr(4 - bits / 8);
      }
    }
  }
  const int blockAlign = channels * bits / 8;
  std::string format = littleEndian(isExtensible ? 0xFFFE : code, 2) + littleEndian(channels, 2) +
                       littleEndian(rate, 4) + littleEndian(rate * blockAlign, 4) +
                       littleEndian(blockAlign, 2) + littleEndian(bits, 2);
  if (isExtensible)
    format += littleEndian(22, 2) + littleEndian(validBits > 0 ? validBits : bits, 2) +
              littleEndian(channels == 1 ? 4 : 3, 4) + littleEndian(code, 4) +
              std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
  const std::string chunks = "fmt " + littleEndian(format.size(), 4) + format + "data" +
                             littleEndian(data.size(), 4) + data;
  return "RIFF" + littleEndian(4 + chunks.size(), 4) + "WAVE" + chunks;
}

// What reached the mixed output (mono, 22050 Hz): from the first to the last loud sample, how
// long and at what pitch (zero crossings of the sine).
struct Heard {
  double seconds = 0;
  double hertz = 0;
};

Heard hear(const std::string& bytes) {
  Heard heard;
  const size_t data = bytes.find("data");
  if (data == std::string::npos) return heard;
  std::vector<int> samples;
  for (size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
    int16_t sample;
    std::memcpy(&sample, bytes.data() + i, 2);
    samples.push_back(sample);
  }
  const auto isLoud = [](int sample) { return std::abs(sample) > 2000; };
  const auto first = std::find_if(samples.begin(), samples.end(), isLoud);
  const auto last = std::find_if(samples.rbegin(), samples.rend(), isLoud);
  if (first == samples.end()) return heard;
  const size_t begin = first - samples.begin();
  const size_t end = samples.rend() - last;
  heard.seconds = static_cast<double>(end - begin) / 22050;
  int crossings = 0;
  int sign = 0;
  for (size_t i = begin; i < end; ++i) {
    const int now = samples[i] > 500 ? 1 : samples[i] < -500 ? -1 : sign;
    if (sign != 0 && now != sign) ++crossings;
    sign = now;
  }
  heard.hertz = crossings / 2.0 / heard.seconds;
  return heard;
}

// Loads the file, checks its buffer, plays it to its end and returns what was heard.
Heard playToTheEnd(const std::string& path, int rate, int channels, int nbFrames) {
  {
    auto sounds = makeSoundManager();
    Sound_Abstract* sound = sounds->getSound(path);
    EXPECT_NE(dynamic_cast<Sound_OpenAL*>(sound), nullptr);
    if (dynamic_cast<Sound_OpenAL*>(sound) == nullptr) return Heard();
    EXPECT_EQ(bufferInteger(sound, AL_FREQUENCY), rate);
    EXPECT_EQ(bufferInteger(sound, AL_CHANNELS), channels);
    EXPECT_EQ(bufferInteger(sound, AL_BITS), 16);
    EXPECT_EQ(bufferInteger(sound, AL_SIZE), nbFrames * channels * 2);
    sound->play(true);
  }
  return hear(readFile(mixedOutputPath()));
}

TEST(SoundTest, WavSampleFormatsAreConvertedTo16BitsAndPlayAtTheirLengthAndPitch) {
  struct Variant {
    const char* name;
    int code, bits, channels, rate;
    bool isExtensible;
    int validBits;
  };
  const Variant variants[] = {
      {"int24.wav", 1, 24, 1, 8000, false, 0},
      {"int32.wav", 1, 32, 2, 22050, false, 0},
      {"float32.wav", 3, 32, 1, 16000, false, 0},
      {"float64.wav", 3, 64, 2, 11025, false, 0},
      {"extensible8.wav", 1, 8, 1, 8000, true, 0},
      {"extensible16.wav", 1, 16, 2, 22050, true, 0},
      {"extensible24in32.wav", 1, 32, 1, 44100, true, 24},
      {"extensible24.wav", 1, 24, 2, 11025, true, 20},
      {"extensiblefloat.wav", 3, 32, 2, 8000, true, 0},
  };
  TempDir directory;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string path = directory.write(
        v.name, sineWavOf(v.code, v.bits, v.channels, v.rate, 0.3, v.isExtensible, v.validBits));
    const Heard heard = playToTheEnd(path, v.rate, v.channels, static_cast<int>(0.3 * v.rate));
    EXPECT_NEAR(heard.seconds, 0.3, 0.01);
    EXPECT_NEAR(heard.hertz, 440, 10);
  }
}

TEST(SoundTest, UnsupportedSoundFormatIsOneReportAndASilentSound) {
  TempDir directory;
  std::string threeChannels = sineWav(0.5);
  threeChannels[22] = 3;   // three channels
  threeChannels[34] = 24;  // 24-bit samples
  std::string adpcm = sineWav(0.5);
  adpcm[20] = 2;  // a compressed format
  std::string unknownSubFormat = sineWavOf(1, 16, 1, 8000, 0.1, true);
  unknownSubFormat[44] = 2;  // the sub-format GUID's code
  std::string halfFloat = sineWavOf(3, 32, 1, 8000, 0.1);
  halfFloat[34] = 16;
  halfFloat[32] = 2;  // block alignment of 16-bit samples
  const struct {
    const char* name;
    std::string bytes;
    const char* detail;
  } files[] = {
      {"format.wav", threeChannels, " (3 channels; mono and stereo sounds can be played)"},
      {"stereo3.wav", sineWavOf(1, 16, 3, 8000, 0.1), ""},
      {"ext3.wav", sineWavOf(3, 32, 3, 8000, 0.1, true),
       " (3 channels; mono and stereo sounds can be played)"},
      {"adpcm.wav", adpcm, ""},
      {"subformat.wav", unknownSubFormat, " (extensible header of an unknown sub-format)"},
      {"half.wav", halfFloat, " (16-bit float samples)"},
  };
  auto sounds = makeSoundManager();
  for (const auto& file : files) {
    const std::string path = directory.write(file.name, file.bytes);
    testing::internal::CaptureStderr();
    Sound_Abstract* sound = sounds->getSound(path);
    EXPECT_EQ("ERROR : " + path + ": Unsupported mode within an otherwise usable file type" +
                  file.detail + "\n",
              testing::internal::GetCapturedStderr());
    expectSilent(*sounds, path, sound);
  }
  EXPECT_EQ(sounds->getNbSounds(), 6);
  // The sounds that can be played still play.
  Sound_Abstract* jump = sounds->getSound("sounds/jump.wav");
  EXPECT_NE(dynamic_cast<Sound_OpenAL*>(jump), nullptr);
}

// Every cut of a converted file's header and data, and headers claiming more than the file
// holds, end in the damaged-file report naming the file (ALUT's, or the converter's with
// ALUT's text); never in a read past the file (the sanitized run checks).
TEST(SoundTest, DamagedConvertedWavIsAFatalReportNamingIt) {
  TempDir directory;
  const std::string whole = sineWavOf(1, 24, 2, 8000, 0.1, true);
  std::vector<std::pair<std::string, std::string>> damaged;
  for (size_t cut = 6; cut < 80; cut += 8)
    damaged.emplace_back("cut" + std::to_string(cut) + ".wav", whole.substr(0, cut));
  damaged.emplace_back("cutdata.wav", whole.substr(0, whole.size() - 1));
  std::string hugeFormat = whole;
  hugeFormat.replace(16, 4, littleEndian(0xFFFFFFF0u, 4));
  damaged.emplace_back("hugeformat.wav", hugeFormat);
  std::string shortExtension = whole;
  shortExtension.replace(36, 2, littleEndian(0, 2));  // no room said for the sub-format
  damaged.emplace_back("shortextension.wav", shortExtension);
  std::string badAlignment = whole;
  badAlignment.replace(32, 2, littleEndian(5, 2));
  damaged.emplace_back("alignment.wav", badAlignment);
  std::string hugeData = whole;
  hugeData.replace(64, 4, littleEndian(0xFFFFFFFFu, 4));
  damaged.emplace_back("hugedata.wav", hugeData);
  auto sounds = makeSoundManager();
  for (const auto& [name, bytes] : damaged) {
    const std::string path = directory.write(name, bytes);
    EXPECT_EXIT(sounds->getSound(path), testing::ExitedWithCode(1),
                "Message: /.*/" + name + ": (The sound data was corrupt or truncated|"
                "Unsupported file type)") << name;
  }
}

TEST(SoundTest, ChainedOggPlaysEachLinkAtItsOwnRateAndChannels) {
  TempDir directory;
  // Half a second of mono at 22050 Hz, then half a second of stereo at 44100 Hz: all of it
  // stereo at 44100 Hz, one second long at 440 Hz.
  const std::string mixed =
      directory.write("mixed.ogg", encodeOgg(1, 22050, 11025, nullptr, 1) +
                                       encodeOgg(2, 44100, 22050, nullptr, 2));
  const Heard heard = playToTheEnd(mixed, 44100, 2, 44100);
  EXPECT_NEAR(heard.seconds, 1.0, 0.02);
  EXPECT_NEAR(heard.hertz, 440, 10);

  // Links of one format follow each other unchanged.
  const std::string same = directory.write(
      "same.ogg", encodeOgg(1, 22050, 5000, nullptr, 1) + encodeOgg(1, 22050, 7000, nullptr, 2));
  auto sounds = makeSoundManager();
  EXPECT_EQ(bufferInteger(sounds->getSound(same), AL_SIZE), 12000 * 2);
  // A link OpenAL cannot play makes the whole file a silent sound, with one report.
  const std::string withThree =
      directory.write("withthree.ogg", encodeOgg(1, 22050, 5000, nullptr, 1) +
                                           encodeOgg(3, 22050, 5000, nullptr, 2));
  testing::internal::CaptureStderr();
  Sound_Abstract* three = sounds->getSound(withThree);
  EXPECT_EQ("ERROR : " + withThree + ": only mono and stereo Ogg Vorbis sounds can be played\n",
            testing::internal::GetCapturedStderr());
  expectSilent(*sounds, withThree, three);
}

}  // namespace
