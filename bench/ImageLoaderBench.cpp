#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ImageLoader.h"

// Decoding of 1024 x 1024 TGA files (power-of-two sides: no stretching, no OpenGL needed).

namespace {

std::string writeTga(bool isRunLength) {
  const int side = 1024;
  std::vector<unsigned char> bytes{0, 0, static_cast<unsigned char>(isRunLength ? 10 : 2),
                                   0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0, 4, 0, 4, 24, 0};
  for (int y = 0; y < side; ++y) {
    if (isRunLength) {
      // Runs of 16 equal pixels, as in flat-coloured art.
      for (int x = 0; x < side; x += 16)
        bytes.insert(bytes.end(), {0x8F, static_cast<unsigned char>(x), static_cast<unsigned char>(y),
                                   7});
    } else {
      for (int x = 0; x < side; ++x)
        bytes.insert(bytes.end(), {static_cast<unsigned char>(x), static_cast<unsigned char>(y), 7});
    }
  }
  char path[] = "/tmp/engine-bench-XXXXXX.tga";
  const int descriptor = mkstemps(path, 4);
  FILE* file = fdopen(descriptor, "wb");
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  return path;
}

void decodeTga(benchmark::State& state, bool isRunLength) {
  const std::string path = writeTga(isRunLength);
  for (auto _ : state) {
    int width = 0;
    int height = 0;
    bool isAlpha = false;
    auto pixels = ImageLoader::loadImage(path, height, width, isAlpha, false);
    benchmark::DoNotOptimize(pixels.get());
  }
  state.SetBytesProcessed(state.iterations() * 1024 * 1024 * 3);
  unlink(path.c_str());
}

void BM_DecodeTgaUncompressed(benchmark::State& state) { decodeTga(state, false); }
void BM_DecodeTgaRunLength(benchmark::State& state) { decodeTga(state, true); }

}  // namespace

BENCHMARK(BM_DecodeTgaUncompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaRunLength)->Unit(benchmark::kMillisecond);
