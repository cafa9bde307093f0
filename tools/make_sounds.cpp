// Writes the sample game's sound effects as 16-bit mono PCM WAV files, computed from formulas
// so that they can be regenerated at any time:
//   sounds/jump.wav: a rising chirp with a quick decay (0.25 s);
//   sounds/walk.wav: two soft footsteps, low-passed noise bursts (0.4 s);
//   sounds/pickup.wav: two bright rising notes, the sample game's coin (0.3 s).
//
// Usage: make_sounds [game directory]   (default: "game")

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int sampleRate = 22050;
constexpr double pi = 3.14159265358979323846;

void writeLittleEndian(FILE* file, uint32_t value, int nbBytes) {
  for (int i = 0; i < nbBytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 255), file);
}

bool writeWav(const std::string& path, const std::vector<double>& samples) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot write '%s'\n", path.c_str());
    return false;
  }
  const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
  std::fwrite("RIFF", 1, 4, file);
  writeLittleEndian(file, 36 + dataSize, 4);
  std::fwrite("WAVEfmt ", 1, 8, file);
  writeLittleEndian(file, 16, 4);              // format chunk size
  writeLittleEndian(file, 1, 2);               // PCM
  writeLittleEndian(file, 1, 2);               // mono
  writeLittleEndian(file, sampleRate, 4);
  writeLittleEndian(file, sampleRate * 2, 4);  // bytes per second
  writeLittleEndian(file, 2, 2);               // bytes per frame
  writeLittleEndian(file, 16, 2);              // bits per sample
  std::fwrite("data", 1, 4, file);
  writeLittleEndian(file, dataSize, 4);
  for (double sample : samples) {
    const double clamped = sample < -1.0 ? -1.0 : (sample > 1.0 ? 1.0 : sample);
    writeLittleEndian(file, static_cast<uint16_t>(static_cast<int16_t>(std::lround(clamped * 32767))),
                      2);
  }
  return std::fclose(file) == 0;
}

std::vector<double> makeJump() {
  const int count = sampleRate / 4;
  std::vector<double> samples(count);
  double phase = 0.0;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / count;
    const double frequency = 300.0 + 600.0 * t;  // rising pitch
    phase += 2.0 * pi * frequency / sampleRate;
    const double attack = std::fmin(1.0, i / (0.01 * sampleRate));
    samples[i] = 0.6 * attack * std::exp(-4.0 * t) * std::sin(phase);
  }
  return samples;
}

std::vector<double> makeWalk() {
  const int count = sampleRate * 2 / 5;
  std::vector<double> samples(count, 0.0);
  uint32_t seed = 12345;
  double lowPassed = 0.0;
  for (int step = 0; step < 2; ++step) {
    const int start = step * count / 2;
    const int length = sampleRate / 12;
    for (int i = 0; i < length && start + i < count; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = static_cast<double>(seed >> 8) / (1u << 24) * 2.0 - 1.0;
      lowPassed += 0.15 * (noise - lowPassed);
      const double t = static_cast<double>(i) / length;
      samples[start + i] = 2.5 * lowPassed * std::exp(-5.0 * t);
    }
  }
  return samples;
}

std::vector<double> makePickup() {
  const int count = sampleRate * 3 / 10;
  std::vector<double> samples(count);
  double phase = 0.0;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / count;
    const double frequency = t < 0.35 ? 988.0 : 1319.0;  // B5 then E6
    phase += 2.0 * pi * frequency / sampleRate;
    const double noteTime = t < 0.35 ? t / 0.35 : (t - 0.35) / 0.65;
    const double attack = std::fmin(1.0, (t < 0.35 ? i : i - 0.35 * count) / (0.005 * sampleRate));
    samples[i] = 0.5 * attack * std::exp(-3.0 * noteTime) * (std::sin(phase) + 0.3 * std::sin(2.0 * phase));
  }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string gameDir = argc > 1 ? argv[1] : "game";
  const std::string soundDir = gameDir + "/sounds";
  mkdir(soundDir.c_str(), 0755);
  const bool ok = writeWav(soundDir + "/jump.wav", makeJump()) &&
                  writeWav(soundDir + "/walk.wav", makeWalk()) &&
                  writeWav(soundDir + "/pickup.wav", makePickup());
  return ok ? 0 : 1;
}
