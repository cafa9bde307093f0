// Sound_OpenAL, part 2 of 3: WAV files whose samples ALUT cannot read (24 and 32-bit integers,
// 32 and 64-bit floats, the extensible header over any of those or over 8 and 16 bits),
// converted to 16 bits. The rest of the class is in Sound_OpenAL.cpp and Sound_OpenAL_Ogg.cpp.
#include "Sound_OpenAL.h"

#include <AL/alut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "FileCloser.h"
#include "Assert.h"

namespace {

constexpr int formatPcm = 1;
constexpr int formatFloat = 3;
constexpr int formatExtensible = 0xFFFE;
// The extensible header's sub-format is a GUID whose first four bytes are the format code and
// whose other twelve are always these.
constexpr unsigned char subFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Frames converted at a time.
constexpr size_t blockFrames = 4096;

uint32_t readLittleEndian(const unsigned char* bytes, int nbBytes) {
  uint32_t value = 0;
  for (int i = nbBytes - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

struct WavFormat {
  int code = 0;  // formatPcm or formatFloat, the extensible header's sub-format resolved
  int channels = 0;
  uint32_t rate = 0;
  int blockAlign = 0;
  int bytesPerSample = 0;
};

// What the "fmt " chunk says of the file.
enum class WavVerdict { forAlut, converted, unsupported, damaged };

// Reads the "fmt " chunk (`size` bytes, of which `fmt` holds the first min(size, 40)).
WavVerdict readFormat(const unsigned char* fmt, uint32_t size, WavFormat& format,
                      std::string& detail) {
  if (size < 16) return WavVerdict::forAlut;
  int code = static_cast<int>(readLittleEndian(fmt, 2));
  format.channels = static_cast<int>(readLittleEndian(fmt + 2, 2));
  format.rate = readLittleEndian(fmt + 4, 4);
  format.blockAlign = static_cast<int>(readLittleEndian(fmt + 12, 2));
  const int bits = static_cast<int>(readLittleEndian(fmt + 14, 2));
  format.bytesPerSample = bits / 8;
  if (code == formatExtensible) {
    if (size < 40 || readLittleEndian(fmt + 16, 2) < 22) return WavVerdict::damaged;
    const uint32_t subFormat = readLittleEndian(fmt + 24, 4);
    if (memcmp(fmt + 28, subFormatTail, sizeof(subFormatTail)) != 0 ||
        (subFormat != formatPcm && subFormat != formatFloat)) {
      detail = "extensible header of an unknown sub-format";
      return WavVerdict::unsupported;
    }
    code = static_cast<int>(subFormat);
  } else if (code != formatFloat && !(code == formatPcm && (bits == 24 || bits == 32))) {
    // 8 and 16-bit samples, mu-law and the formats ALUT does not read either: its verdict.
    return WavVerdict::forAlut;
  }
  format.code = code;
  const bool isKnownSize = bits % 8 == 0 && (code == formatPcm ? bits >= 8 && bits <= 32
                                                               : bits == 32 || bits == 64);
  if (!isKnownSize) {
    detail = std::to_string(bits) + "-bit " + (code == formatPcm ? "integer" : "float") +
             " samples";
    return WavVerdict::unsupported;
  }
  if (format.channels > 2) {
    detail = std::to_string(format.channels) + " channels; mono and stereo sounds can be played";
    return WavVerdict::unsupported;
  }
  if (format.channels < 1 || format.rate < 1 ||
      format.blockAlign != format.channels * format.bytesPerSample)
    return WavVerdict::damaged;
  if (format.rate > static_cast<uint32_t>(std::numeric_limits<int>::max())) {
    detail = std::to_string(format.rate) + " samples per second";
    return WavVerdict::unsupported;
  }
  return WavVerdict::converted;
}

// One sample to 16 bits: integers keep their most significant 16 bits (8-bit samples are
// unsigned), floats are scaled from -1..1 and clipped.
int16_t convertSample(const unsigned char* in, const WavFormat& format) {
  if (format.code == formatFloat) {
    double value;
    if (format.bytesPerSample == 4) {
      const uint32_t bits = readLittleEndian(in, 4);
      float single;
      memcpy(&single, &bits, sizeof(single));
      value = single;
    } else {
      const uint64_t bits = readLittleEndian(in, 4) | uint64_t{readLittleEndian(in + 4, 4)} << 32;
      memcpy(&value, &bits, sizeof(value));
    }
    if (std::isnan(value)) return 0;
    return static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
  }
  if (format.bytesPerSample == 1) return static_cast<int16_t>((in[0] - 128) * 256);
  const unsigned char* top = in + format.bytesPerSample - 2;
  return static_cast<int16_t>(static_cast<uint16_t>(top[0] | top[1] << 8));
}

}  // namespace

bool Sound_OpenAL::decodeWav(const std::string& fileName, Pcm16& pcm) {
  // Anything that is not a WAV file with a complete format chunk of a converted format goes to
  // ALUT unread, for its own verdict and reports.
  UniqueFile file(std::fopen(fileName.c_str(), "rb"));
  if (!file) return false;
  std::fseek(file.get(), 0, SEEK_END);
  const long fileSize = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);
  unsigned char riff[12];
  if (std::fread(riff, 1, 12, file.get()) != 12 || memcmp(riff, "RIFF", 4) != 0 ||
      memcmp(riff + 8, "WAVE", 4) != 0)
    return false;

  // The report ALUT's own refusal gives (Sound_OpenAL::loadSound), whichever reader finds it.
  const std::string damaged =
      fileName + ": " + alutGetErrorString(ALUT_ERROR_CORRUPT_OR_TRUNCATED_DATA);
  const auto check = [&damaged](bool isSound) {
    if (!isSound) assert(false, damaged);
  };
  WavFormat format;
  // A format this reader converts, or one ALUT reads: the chunks are walked to the samples in
  // either case, and a file whose samples lie past its end is damaged before ALUT sees it
  // (ALUT would read past the bytes it loaded).
  bool hasFormat = false;
  bool isForAlut = false;
  for (;;) {
    unsigned char chunk[8];
    if (std::fread(chunk, 1, 8, file.get()) != 8) break;
    const uint32_t size = readLittleEndian(chunk + 4, 4);
    const long position = std::ftell(file.get());
    // A chunk running past the end leaves no samples after it.
    check(static_cast<long>(size) <= fileSize - position);
    if (memcmp(chunk, "fmt ", 4) == 0 && !hasFormat && !isForAlut) {
      unsigned char fmt[40] = {};
      const size_t nbRead = std::min<uint32_t>(size, sizeof(fmt));
      if (std::fread(fmt, 1, nbRead, file.get()) != nbRead) return false;
      std::string detail;
      const WavVerdict verdict = readFormat(fmt, size, format, detail);
      check(verdict != WavVerdict::damaged);
      if (verdict == WavVerdict::unsupported) {
        pcm.unsupported = fileName + ": " +
                          alutGetErrorString(ALUT_ERROR_UNSUPPORTED_FILE_SUBTYPE) + " (" +
                          detail + ")";
        return true;
      }
      hasFormat = verdict == WavVerdict::converted;
      isForAlut = verdict == WavVerdict::forAlut;
    } else if (memcmp(chunk, "data", 4) == 0) {
      if (!hasFormat) return false;
      const size_t nbFrames = size / static_cast<size_t>(format.blockAlign);
      if (nbFrames * format.channels > static_cast<size_t>(std::numeric_limits<int>::max() / 2)) {
        pcm.unsupported = fileName + ": " +
                          alutGetErrorString(ALUT_ERROR_UNSUPPORTED_FILE_SUBTYPE) +
                          " (longer than an OpenAL buffer can hold)";
        return true;
      }
      pcm.channels = format.channels;
      pcm.rate = static_cast<int>(format.rate);
      pcm.samples.resize(nbFrames * format.channels);
      std::vector<unsigned char> block(blockFrames * format.blockAlign);
      for (size_t frame = 0; frame < nbFrames; frame += blockFrames) {
        const size_t count = std::min(blockFrames, nbFrames - frame);
        const size_t nbRead = std::fread(block.data(), format.blockAlign, count, file.get());
        check(nbRead == count);
        int16_t* out = pcm.samples.data() + frame * format.channels;
        for (size_t i = 0; i < count * format.channels; ++i)
          out[i] = convertSample(block.data() + i * format.bytesPerSample, format);
      }
      return true;
    }
    // Chunks are padded to an even size.
    if (std::fseek(file.get(), position + static_cast<long>(size) + (size & 1), SEEK_SET) != 0)
      break;
  }
  // A format chunk without samples within the file: a damaged file.
  check(!hasFormat && !isForAlut);
  return false;
}
